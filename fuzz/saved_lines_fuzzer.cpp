// The line rules of the saved iSCSI files in memory, no file per input:
// lines and fields, the well-formed test, a line's values written back, the
// key matcher, the readers' field extraction and what the start-up check
// keeps. Input: the file (first byte, modulo 3), a reader's field and key
// counts (second byte), which line the record and reader checks take and
// with which keys (third byte), then the file's text.
#include <ctype.h>
#include <stdio.h>
#include <strings.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "base/memory.h"
#include "fuzz/fuzz_support.h"
#include "iscsi/target_data/login_sets.h"
#include "iscsi/common/saved_records.h"
#include "iscsi/targets/targets.h"

namespace {

using namespace tavo::iscsi;
using namespace tavo::target_data;

// The rows a reader may fill, and one more that it must leave alone.
constexpr uint32_t kReaderRows = 24;
char reader_rows[kReaderRows + 1][TAVO_VALUE_SIZE];
char reader_keys[3][TAVO_VALUE_SIZE];
char fixed_keys[3][TAVO_VALUE_SIZE] = {"Corvane0", "iSCSIPhysicalHBA0", "LogicalHBA0"};

// A non-empty line of the input and whether it is one of the file's: its
// fields well-formed, and not what a write cut short left at the end.
struct Line {
  std::string_view text;
  bool well_formed;
};

std::string flipped_case(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    const int u = static_cast<unsigned char>(c);
    c = static_cast<char>(islower(u) ? toupper(u) : tolower(u));
  }
  return out;
}

// The fields lie end to end over the line, a comma between two, none in
// one.
void check_fields(std::string_view line, const std::vector<std::string_view>& fields) {
  if (fields.empty()) {
    FUZZ_CHECK(line.find(',') == std::string_view::npos);
    return;
  }
  const char* at = line.data();
  for (size_t i = 0; i < fields.size(); ++i) {
    FUZZ_CHECK(fields[i].data() == at && fields[i].find(',') == std::string_view::npos);
    at += fields[i].size();
    if (i + 1 < fields.size()) FUZZ_CHECK(*at++ == ',');
  }
  FUZZ_CHECK(at == line.data() + line.size());
}

// A well-formed line: its values write the same line back (or are refused
// for a line break), also when built as the writers build one; its key
// matches it, its fields in the other case match it unless an exact
// field's text or a port's number changed, one field's longer text never.
void check_record(Saved s, std::string_view line, const std::vector<std::string_view>& fields, size_t which) {
  const auto defs = record_def(s).fields;
  FUZZ_CHECK(fields.size() == defs.size());
  const RecordValues values(s, fields);
  for (size_t i = 0; i < defs.size(); ++i) FUZZ_CHECK(values.get(defs[i].field) == fields[i]);
  std::string written, expected;
  const bool ok = values.format(&written);
  // Written as read, but a port in decimal.
  for (size_t i = 0; i < defs.size(); ++i)
    expected.append(i > 0 ? "," : "").append(defs[i].compare == Compare::Port ? decimal_port(fields[i])
                                                                               : std::string(fields[i]));
  FUZZ_CHECK(!ok || written == expected + '\n');
  FUZZ_CHECK(!ok || line.find('\r') == std::string_view::npos);

  // Rebuilt as the writers build a line, from its key, its options as the
  // readers take them, and the rest field by field: the same line.
  const LhbaKey key{{std::string(fields[0]), std::string(fields[1]), std::string(fields[2])}};
  const auto options = line_options(s, fields);
  const std::vector<std::string> option_texts(options.begin(), options.end());
  RecordValues rebuilt(s);
  rebuilt.set_key(key).set_options(option_texts);
  for (size_t i = 0; i < defs.size(); ++i)
    if (defs[i].field > Field::Logical && defs[i].field < option_field(0)) rebuilt.set(defs[i].field, fields[i]);
  std::string again;
  FUZZ_CHECK(rebuilt.format(&again) == ok && (!ok || again == written));

  FUZZ_CHECK(matches(s, fields, key_matches(key)));
  std::vector<Match> every;
  bool exact_same = true;
  for (size_t i = 0; i < defs.size(); ++i) {
    every.push_back({defs[i].field, flipped_case(fields[i])});
    exact_same = exact_same && (defs[i].compare == Compare::NoCase || comparable(defs[i].compare, every.back().value) ==
                                                                          comparable(defs[i].compare, fields[i]));
  }
  FUZZ_CHECK(matches(s, fields, every) == exact_same);
  const Match longer[] = {{defs[which % defs.size()].field, std::string(fields[which % defs.size()]) + 'x'}};
  FUZZ_CHECK(!matches(s, fields, longer));
}

// The readers' extraction: on 0 the first key_count fields name the keys
// and every row filled holds its field cut to a value; rows past what the
// call may fill are left alone. text is the line as a C text, fields its
// fields.
void check_reader(const std::string& text, const std::vector<std::string_view>& fields,
                  char (*keys)[TAVO_VALUE_SIZE], uint32_t field_count, uint32_t key_count, bool own_keys) {
  // Rows are written in order: the row after the last one it may fill
  // shows a write past them.
  const size_t filled = std::max<size_t>(key_count, std::min<size_t>(field_count, fields.size()));
  fuzz_guard(reader_rows[filled], TAVO_VALUE_SIZE);
  const uint32_t r = TAVO_get_iscsi_data_from_file(text.c_str(), keys, reader_rows, field_count, key_count);
  FUZZ_CHECK(r == 0 || r == 1);
  FUZZ_CHECK(fuzz_guard_intact(reader_rows[filled], TAVO_VALUE_SIZE));
  if (own_keys && key_count <= fields.size()) FUZZ_CHECK(r == 0);
  if (r != 0) return;
  FUZZ_CHECK(key_count <= fields.size());
  for (size_t i = 0; i < filled; ++i) {
    FUZZ_CHECK(fuzz_terminated(reader_rows[i], TAVO_VALUE_SIZE));
    FUZZ_CHECK(reader_rows[i] == fields[i].substr(0, TAVO_VALUE_SIZE - 1));
    FUZZ_CHECK(i >= key_count || strcasecmp(reader_rows[i], keys[i]) == 0);
  }
}

// The start-up check keeps input lines in order, each well-formed, and
// counts every other; a line passed over is malformed or longer than a
// writer makes; what it keeps it keeps again whole.
void check_kept(Saved s, std::string_view text, const std::vector<Line>& lines) {
  uint32_t dropped = 0;
  const std::string kept = well_formed_lines(s, text, &dropped);
  size_t next = 0, count = 0;
  const auto passed_over = [&](size_t upto) {
    for (; next < upto; ++next) FUZZ_CHECK(!lines[next].well_formed || lines[next].text.size() > kMaxSavedLine);
  };
  for_each_line(kept, [&](std::string_view line, bool complete) {
    FUZZ_CHECK(complete && !line.empty());
    size_t at = next;
    while (at < lines.size() && lines[at].text != line) ++at;
    FUZZ_CHECK(at < lines.size() && lines[at].well_formed);
    passed_over(at);
    ++next;
    ++count;
  });
  passed_over(lines.size());
  FUZZ_CHECK(count + dropped == lines.size());
  uint32_t again = 0;
  FUZZ_CHECK(dropped == 0 || (well_formed_lines(s, kept, &again) == kept && again == 0));
}

// The whole-file reader: the bytes, their size and the line count.
void check_file_data(std::string_view text) {
  if (text.empty()) return;
  FILE* f = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
  FUZZ_CHECK(f != nullptr);
  uint32_t size = 0, lines = 0;
  char* data = TAVO_get_file_data(f, &size, &lines);
  fclose(f);
  FUZZ_CHECK(data != nullptr && size == text.size() && memcmp(data, text.data(), size) == 0 && data[size] == '\0');
  const size_t feeds = static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
  FUZZ_CHECK(lines == feeds + (text.back() != '\n' ? 1 : 0));
  tavo_dfree(data);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  const Saved s = kAllSaved[in.byte() % 3];
  const uint8_t counts = in.byte();
  const uint32_t field_count = counts % (kReaderRows + 1);
  const uint32_t key_count = counts / (kReaderRows + 1) % 4;
  const uint8_t pick = in.byte();
  const std::string_view text = in.rest();

  // Every line, in place and in order; the line picked also through the
  // record and reader checks (one line an input keeps inputs fast).
  size_t next = 0;
  std::vector<Line> lines;
  for_each_line(text, [&](std::string_view line, bool complete) {
    FUZZ_CHECK(line.data() == text.data() + next && line.find('\n') == std::string_view::npos);
    next += line.size() + (complete ? 1 : 0);
    if (line.empty()) return;
    const std::vector<std::string_view> fields = split_fields(line);
    lines.push_back({line, well_formed(s, fields) && (complete || !cut_short(s, line))});
    check_fields(line, fields);
    if (lines.size() != pick % 8u + 1) return;
    if (lines.back().well_formed) check_record(s, line, fields, pick);
    // The readers get C texts, and keys as the library gives them or the
    // line's own in capitals.
    const std::string c_text(fuzz_c_text(line));
    const std::vector<std::string_view> c_fields = c_text.size() == line.size() ? fields : split_fields(c_text);
    if (pick & 0x80) {
      check_reader(c_text, c_fields, fixed_keys, field_count, key_count, false);
      return;
    }
    for (size_t i = 0; i < 3; ++i) {
      const std::string_view key = i < fields.size() ? fuzz_c_text(fields[i]) : std::string_view();
      snprintf(reader_keys[i], TAVO_VALUE_SIZE, "%.*s", static_cast<int>(key.size()), key.data());
      for (char* c = reader_keys[i]; *c != '\0'; ++c) *c = static_cast<char>(toupper(static_cast<unsigned char>(*c)));
    }
    check_reader(c_text, c_fields, reader_keys, field_count, key_count, true);
  });
  FUZZ_CHECK(next == text.size());
  check_kept(s, text, lines);
  check_file_data(text);
  return 0;
}
