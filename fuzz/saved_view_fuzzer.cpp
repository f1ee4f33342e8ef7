// The parsed view of a saved iSCSI file in memory, no file per input: a
// file read whole and the same file read in two parts (as when a writer
// appended to it) hold the same lines, and the view's indexed lookups find
// what a scan of its lines with the key matcher finds. Input: the file
// (first byte, modulo 3), where the first part ends (second byte, a share
// of the text), which line's fields to look up (third byte) and how (fourth
// byte), then the file's text. Last, lines are dropped and one replaced,
// as a rewrite does, and the lookups checked again. At each step a whole
// write of the view gives its lines.
#include <ctype.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "iscsi/common/saved_view.h"

namespace {

using namespace tavo::iscsi;

// The fields looked up together, as the library's lookups combine them.
struct Lookup {
  int count;
  Field fields[4];
};
constexpr Lookup kLookups[] = {
    {3, {Field::Controller, Field::Function, Field::Logical}},
    {4, {Field::Controller, Field::Function, Field::Logical, Field::TargetName}},
    {2, {Field::Address, Field::Port}},
    {2, {Field::TargetName, Field::Qualifier}},
    {2, {Field::Port, Field::MacAddress}},
};

void check_same_lines(const SavedView& a, const SavedView& b) {
  FUZZ_CHECK(a.lines().size() == b.lines().size());
  for (size_t i = 0; i < a.lines().size(); ++i) {
    FUZZ_CHECK(a.lines()[i]->text == b.lines()[i]->text);
    FUZZ_CHECK(std::ranges::equal(a.lines()[i]->fields(), b.lines()[i]->fields()));
  }
}

// What a whole write of the view gives: its lines in order, each with its
// line feed.
void check_content(const SavedView& view) {
  std::string lines, content;
  for (const auto& line : view.lines()) lines.append(line->text).push_back('\n');
  for (const std::string_view stretch : view.content()) content.append(stretch);
  FUZZ_CHECK(content == lines);
  FUZZ_CHECK(view.size() == static_cast<off_t>(lines.size()));
}

// The first and last line a scan finds, against the view's index.
void check_find(const SavedView& view, const std::vector<Match>& match) {
  const SavedView::Line *first = nullptr, *last = nullptr;
  for (const auto& line : view.lines()) {
    if (line->fields().empty() || !matches(view.saved(), line->fields(), match)) continue;
    if (first == nullptr) first = line;
    last = line;
  }
  FUZZ_CHECK(view.find(match) == first);
  FUZZ_CHECK(view.find(match, true) == last);
}

// Match values are texts from the tree: no NUL; some in another case.
std::vector<Match> lookup(Saved s, std::span<const std::string_view> fields, uint8_t how) {
  std::vector<Match> match;
  const Lookup& l = kLookups[how % std::size(kLookups)];
  for (int i = 0; i < l.count; ++i) {
    const Field f = l.fields[i];
    const int at = position(s, f);
    std::string value(
        fuzz_c_text(at >= 0 && static_cast<size_t>(at) < fields.size() ? fields[static_cast<size_t>(at)] : ""));
    if (how & 0x80)
      for (char& c : value) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    match.push_back({f, value});
  }
  return match;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  const Saved s = kAllSaved[in.byte() % 3];
  const uint8_t split = in.byte();
  const uint8_t which = in.byte();
  const uint8_t how = in.byte();
  const std::string_view text = in.rest();
  // A view costs nothing to make, and one made per input frees all it held
  // (libFuzzer takes an input that allocates more than it frees for a leak).
  SavedView whole(s), parts(s);

  // The view holds the non-empty lines in order, but for a last one a
  // write cut short may have left; the line looked up has the fields of a
  // well-formed line, else none.
  whole.load(text);
  size_t count = 0;
  for_each_line(text, [&](std::string_view line, bool complete) {
    if (line.empty() || (!complete && cut_short(s, line))) return;
    FUZZ_CHECK(count < whole.lines().size() && whole.lines()[count]->text == line);
    ++count;
  });
  FUZZ_CHECK(count == whole.lines().size());
  check_content(whole);
  if (count > 0) {
    const SavedView::Line& line = *whole.lines()[which % count];
    const std::vector<std::string_view> fields = split_fields(line.text);
    FUZZ_CHECK(std::ranges::equal(line.fields(), well_formed(s, fields) ? fields : std::vector<std::string_view>()));
  }

  // The first part ends anywhere, a line cut or not; the second is read
  // from after the last line feed of the first, as an appended file is.
  const std::string_view first = text.substr(0, text.size() * split / 255);
  parts.load(first);
  const size_t feed = first.rfind('\n');
  const SavedView::Fields no_fields;
  const SavedView::Fields some = parts.lines().empty() ? no_fields : parts.lines()[which % parts.lines().size()]->fields();
  check_find(parts, lookup(s, some, how));  // builds an index the second part must keep up
  parts.append(text.substr(feed == std::string_view::npos ? 0 : feed + 1));
  check_same_lines(whole, parts);
  check_content(parts);

  // The index kept up through the second part (the whole's is built as the
  // first part's was).
  const SavedView::Fields fields = whole.lines().empty() ? no_fields : whole.lines()[which % whole.lines().size()]->fields();
  check_find(parts, lookup(s, fields, how));

  // A rewrite's edit: a line (or two) dropped and another given a third's
  // text. The indexes follow, and the lines that stay keep their order.
  const uint32_t held = static_cast<uint32_t>(parts.lines().size());
  if (held > 0) {
    const uint32_t drop = which % held, moved = split % held;
    std::vector<uint32_t> dropped = {drop};
    if ((how & 0x40) != 0 && drop + 1 < held) dropped.push_back(drop + 1);
    std::vector<std::pair<uint32_t, std::string>> changed;
    if (std::find(dropped.begin(), dropped.end(), moved) == dropped.end())
      changed.emplace_back(moved, parts.lines()[(moved + 1 + how) % held]->text);
    std::vector<std::string> kept;
    for (uint32_t i = 0; i < held; ++i)
      if (std::find(dropped.begin(), dropped.end(), i) == dropped.end())
        kept.emplace_back(!changed.empty() && changed[0].first == i ? changed[0].second : parts.lines()[i]->text);
    parts.edited(changed, dropped, 0, false);
    FUZZ_CHECK(parts.lines().size() == kept.size());
    for (size_t i = 0; i < kept.size(); ++i) FUZZ_CHECK(parts.lines()[i]->text == kept[i]);
    check_content(parts);
    check_find(parts, lookup(s, fields, how));
    const SavedView::Fields now = changed.empty() || parts.lines().empty() ? no_fields
                                                               : parts.lines()[moved % parts.lines().size()]->fields();
    check_find(parts, lookup(s, now, how));
  }
  return 0;
}
