// A persistent session lives in two stores, a persistent target of the
// firmware and a session line of savetgt.txt, which no write changes at
// once. A change of both notes the session here first, durably, and lets
// it go once both are done; a change cut short (a kill, a power cut)
// leaves its note for whoever comes next, who makes the firmware agree
// with the lines: a noted session without its line goes from the firmware.
// Adding writes the firmware first and the line last, and removing the
// line first and the firmware last, so the line tells whether the change
// went through: the next start finds the session as it was or as asked.
//
// The notes' file holds one line per session: the LogicalHBA's key, the
// target's name, address and port, the ISID qualifier and the initiator's
// name, comma-separated as the saved files are.
#include <errno.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "base/file_utils.h"
#include "base/library_lock.h"
#include "base/save_file.h"
#include "iscsi/common/saved_view.h"
#include "iscsi/sessions/sessions_internal.h"
#include "transport/commands.h"
#include "tree/handler_context.h"

using namespace tavo::iscsi;

namespace tavo::sessions {
namespace {

constexpr char kNotes[] = "/etc/config/QVL/tavo/iscsi_pending.txt";
constexpr mode_t kNotesMode = 0600;  // as the saved target files

std::string note_line(const PendingEntry& e) {
  return e.key.text[0] + "," + e.key.text[1] + "," + e.key.text[2] + "," + e.name + "," + e.address + "," + e.port +
         "," + std::to_string(e.qualifier) + "," + e.initiator;
}

bool parse_note(const std::string& line, PendingEntry* e) {
  std::vector<std::string> f;
  std::istringstream in(line);
  for (std::string field; std::getline(in, field, ',');) f.push_back(field);
  if (f.size() != 8) return false;
  e->key.text = {f[0], f[1], f[2]};
  e->name = f[3];
  e->address = f[4];
  e->port = f[5];
  char* end = nullptr;
  errno = 0;
  const unsigned long q = strtoul(f[6].c_str(), &end, 10);
  if (errno != 0 || end == f[6].c_str() || *end != '\0' || q > 0xFFFF) return false;
  e->qualifier = static_cast<uint32_t>(q);
  e->initiator = f[7];
  return true;
}

// The notes as the file holds them (a line that cannot be read is kept as
// text, so that a rewrite never loses it).
bool read_notes(std::vector<std::string>* lines) {
  std::string text;
  files::FileIdentity id;
  if (files::read_saved(kNotes, 0, &text, &id) != 0) return errno == ENOENT;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) lines->push_back(line);
  return true;
}

uint32_t write_notes(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& l : lines) text += l + "\n";
  return files::replace_file(kNotes, text, kNotesMode);
}

// The function of a key's controller and iSCSI function; null when the
// tree has none.
TavoNode* note_function(const LhbaKey& key) {
  TavoNode* controller = internal_get_node(get_node(0), key.text[0].c_str(), TAVO_KIND_GROUP);
  return controller != nullptr ? internal_get_node(controller, key.text[1].c_str(), TAVO_KIND_GROUP) : nullptr;
}

// Whether the session's line is saved.
bool line_saved(const PendingEntry& e, bool* saved) {
  const std::vector<Match> match = key_matches(e.key, {{Field::TargetName, e.name},
                                                       {Field::Address, e.address},
                                                       {Field::Port, e.port},
                                                       {Field::Qualifier, std::to_string(e.qualifier)}});
  return with_view(Saved::Targets, [&](const SavedView& view) { *saved = view.find(match) != nullptr; });
}

}  // namespace

bool pending_entry(TavoNode* target, const char* name, const char* address, const char* port,
                   uint32_t isid_qualifier, const char* initiator_name, PendingEntry* e) {
  if (target == nullptr || name == nullptr || address == nullptr || port == nullptr || initiator_name == nullptr ||
      !lhba_key(target->parent, &e->key))
    return false;
  e->name = name;
  e->address = address;
  e->port = port;
  e->qualifier = isid_qualifier;
  e->initiator = initiator_name;
  return true;
}

void let_go_after(const PendingEntry& e) {
  SavedBatch::after([e] { let_go_pending(e); });
  SavedBatch::on_failure([e] { let_go_pending(e); });
}

uint32_t note_pending(const PendingEntry& e) {
  TAVO_LIBRARY_LOCK;
  uint32_t noted = 1;
  // A change goes on when the disk refuses its note: what it answers is its
  // own files' save.
  keeping_last_status([&] { noted = files::append_lines(kNotes, note_line(e) + "\n", kNotesMode); });
  if (noted != 0) pdebug(TAVO_LOG_BACKEND, 3, "%s: %s is not guarded against a cut\n", __func__, e.name.c_str());
  return noted;
}

void let_go_pending(const PendingEntry& e) {
  TAVO_LIBRARY_LOCK;
  const files::SaveLock lock(kNotes);
  std::vector<std::string> lines;
  if (!lock.held() || !read_notes(&lines)) return;
  const auto at = std::find(lines.begin(), lines.end(), note_line(e));
  if (at == lines.end()) return;
  lines.erase(at);
  // What stays of a note not let go is settled by whoever comes next.
  if (write_notes(lines) != 0) pdebug(TAVO_LOG_BACKEND, 4, "%s: a note stays in %s\n", __func__, kNotes);
}

void settle_pending() {
  TAVO_LIBRARY_LOCK;
  if (files::never_saved(kNotes)) return;
  const files::SaveLock lock(kNotes);
  std::vector<std::string> lines, kept;
  if (!lock.held() || !read_notes(&lines) || lines.empty()) return;
  for (const std::string& line : lines) {
    PendingEntry e;
    bool saved = false;
    TavoNode* function = nullptr;
    if (!parse_note(line, &e) || !line_saved(e, &saved)) {
      kept.push_back(line);
      continue;
    }
    if (saved) continue;  // the change went through: the firmware holds it
    function = note_function(e.key);
    const tree::HandlerContext p = tree::handler_context(function);
    // A function the tree lacks keeps its note for a start that has it. A
    // removal the firmware refuses is the entry gone already.
    if (!p) {
      kept.push_back(line);
      continue;
    }
    keeping_last_status([&] {
      if (remove_firmware_entry(p.number, p.port, e.name.c_str(), e.address.c_str(), e.port.c_str(), e.qualifier,
                                e.initiator.c_str()) != 0)
        pdebug(TAVO_LOG_BACKEND, 4, "%s: the firmware holds no entry of %s\n", "settle_pending", e.name.c_str());
    });
  }
  if (kept != lines && write_notes(kept) != 0)
    pdebug(TAVO_LOG_BACKEND, 3, "%s: %s was not rewritten\n", __func__, kNotes);
}

}  // namespace tavo::sessions
