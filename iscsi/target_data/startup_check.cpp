// The start-up check of the saved iSCSI files. It never destroys
// configuration: a malformed line goes alone, after the file as it was is
// kept beside it, and every other line stays as it was but for the form of
// its address.
#include <errno.h>
#include <string.h>

#include <algorithm>
#include <string>

#include "base/file_utils.h"
#include "base/save_file.h"
#include "base/validate.h"
#include "iscsi/common/saved_records.h"
#include "iscsi/common/saved_view.h"
#include "iscsi/target_data/target_data.h"

using namespace tavo::iscsi;

namespace {

constexpr mode_t kCheckMode = 0600;

// Whether every line of the file's view is kept as it is: the file is
// then read once, by the view that start-up reads it through anyway.
bool all_lines_kept(Saved s) {
  bool kept = false;
  with_view(s, [&](const SavedView& view) {
    kept = !view.ends_cut_short() && std::all_of(view.lines().begin(), view.lines().end(), [](const auto& line) {
      return line->well_formed() && line->text.size() <= kMaxSavedLine;
    });
  });
  return kept;
}

void check_file(Saved s) {
  const std::string path = record_def(s).path;
  if (tavo::files::never_saved(path)) return;  // nothing to check; no lock to make
  // Read before the lock: bringing a view up to date may take the files' locks.
  const bool clean = all_lines_kept(s);
  tavo::files::SaveLock lock(path);
  if (!lock.held()) return;
  tavo::files::remove_leftover_temporaries(path);
  if (clean) return;
  std::string text;
  tavo::files::FileIdentity id;
  if (tavo::files::read_saved(path, 0, &text, &id) != 0) {
    if (errno != ENOENT)
      pdebug(TAVO_LOG_BACKEND, 3, "%s: cannot read %s: %s\n", __func__, path.c_str(), strerror(errno));
    return;
  }
  uint32_t dropped = 0;
  const std::string kept = well_formed_lines(s, text, &dropped);
  if (dropped == 0) return;
  // The file as it was goes first, so nothing is lost whatever happens next.
  if (!text.empty() && text.back() != '\n') text.push_back('\n');
  const std::string corrupt = path + ".corrupt";
  if (tavo::files::append_lines(corrupt, text, kCheckMode) != 0 ||
      tavo::files::replace_file(path, kept, kCheckMode) != 0) {
    pdebug(TAVO_LOG_BACKEND, 2, "%s: %s kept as it was\n", __func__, path.c_str());
    return;
  }
  pdebug(TAVO_LOG_BACKEND, 2, "%s: %s held %u corrupted lines; the file as it was is kept in %s\n", __func__,
         path.c_str(), dropped, corrupt.c_str());
}

// Whether an address is written as the tree takes it: four dotted parts
// of digits without a leading zero, none over 255. The tree's check leaves
// such a text as it is, or refuses it (and the text stays): most saved
// addresses, checked without a copy.
bool taken_as_written(std::string_view text) {
  int parts = 0, digits = 0, value = 0;
  for (size_t at = 0; at <= text.size(); ++at) {
    if (at == text.size() || text[at] == '.') {
      if (digits == 0 || value > 255 || ++parts > 4) return false;
      digits = value = 0;
      continue;
    }
    const char c = text[at];
    // A digit after a leading zero, or a fourth, is not written so.
    if (c < '0' || c > '9' || (digits == 1 && value == 0) || ++digits > 3) return false;
    value = value * 10 + (c - '0');
  }
  return parts == 4;
}

// An address as the tree takes it now (no blank, sign or leading zero;
// IPv6 in its full form); a text the tree refuses stays as it is.
std::string taken_address(std::string_view text) {
  char value[TAVO_VALUE_SIZE];
  if (text.size() >= sizeof value) return std::string(text);
  memcpy(value, text.data(), text.size());
  value[text.size()] = '\0';
  return tavo_validate_ip(value) == TAVO_OK ? std::string(value) : std::string(text);
}

// Addresses an older release saved as they were given (" 10.9.0.1") are
// written as the tree takes them, before any LogicalHBA lists the
// firmware's targets: the firmware's answer then finds its line, and no
// start adds a second line, portal and session beside it.
void take_addresses(Saved s) {
  const int at = position(s, Field::Address);
  if (at < 0 || tavo::files::never_saved(record_def(s).path)) return;
  // Most starts find every address written so: the lines are looked at
  // first, and rewritten only when one is not.
  const auto address_at = static_cast<size_t>(at);
  bool unwritten = false;
  const bool read = with_view(s, [&](const SavedView& view) {
    for (const SavedView::Line* line : view.lines()) {
      if (line->well_formed() && !taken_as_written(line->field(address_at))) {
        unwritten = true;
        return;
      }
    }
  });
  if (read && !unwritten) return;
  rewrite(s, [&](std::span<const std::string_view> fields, std::string* rebuilt) {
    if (fields.empty() || taken_as_written(fields[static_cast<size_t>(at)])) return LineEdit::Keep;
    const std::string address = taken_address(fields[static_cast<size_t>(at)]);
    if (address == fields[static_cast<size_t>(at)]) return LineEdit::Keep;
    // Only the address changes: every other field stays as it was written.
    rebuilt->clear();
    for (size_t i = 0; i < fields.size(); ++i) {
      if (i > 0) rebuilt->push_back(',');
      rebuilt->append(i == static_cast<size_t>(at) ? std::string_view(address) : fields[i]);
    }
    rebuilt->push_back('\n');
    return LineEdit::Replace;
  });
}

}  // namespace

uint32_t TAVO_check_for_corrupted_database(void) {
  // A change of several files that a kill cut short is completed (or
  // dropped) first: the files are checked as they are meant to be.
  complete_saved_changes();
  for (Saved s : kAllSaved) {
    check_file(s);
    take_addresses(s);
  }
  return 0;
}
