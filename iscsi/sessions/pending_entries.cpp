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
// Some changes cannot be told by the session line alone: a note also says
// what its change does (NoteChange, sessions.h), which picks the line that
// tells and what settles it. A note of an older file, without that field,
// is one of a session made persistent or ended.
//
// The notes' file holds one line per session, a session line's first
// fields and the change (Saved::Pending), and is only ever appended to: a
// note is one write and one flush of its data, through a descriptor the
// process keeps (files::AppendedFile). Its line feed is its end mark: a write a power
// cut tore leaves a line without one, which names no session, and a note
// written after such a line first ends it with a line of more fields than
// a note has. Letting a note go writes nothing: the process keeps what the
// file holds, and which of its notes stay, for as long as no other process
// changed the root (forget_known_notes); notes it does not know of are
// settled first. The file is cut to nothing, never rewritten, where none
// of its notes stays: by a start that settled them, by the last exit, and
// in a process that lives on, by the change whose end lets the last note
// go once the file passed kNotesKeptBytes. Notes that stay then (one a
// process cannot settle yet) are put in a new file by rename instead.
#include <errno.h>

#include <algorithm>
#include <charconv>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/no_destructor.h"
#include "base/library_lock.h"
#include "base/save_file.h"
#include "iscsi/common/saved_view.h"
#include "iscsi/sessions/sessions_internal.h"
#include "transport/commands.h"
#include "tree/handler_context.h"

using namespace tavo::iscsi;

namespace tavo::sessions {
namespace {

constexpr mode_t kNotesMode = 0600;  // as the saved target files
// The bytes of notes let go past which a process that lives on cuts the
// file: about a hundred notes, which a start after a kill reads again.
constexpr size_t kNotesKeptBytes = 16384;
// Ends a line whose write was torn (its line feed missing): with the part
// before it, one line of more fields than a note has.
constexpr std::string_view kCutLineEnd = ",,,,,,,,,\n";

const char* notes_path() { return record_def(Saved::Pending).path; }

// A change as its note writes it; an older note's empty field is a
// session's.
constexpr std::string_view kChangeWords[] = {"",      "AddedPortal", "Deletion", "Options",
                                             "Erase", "Erased",      "Boot",     "BootOptions"};
static_assert(std::size(kChangeWords) == static_cast<size_t>(NoteChange::BootOptions) + 1);
bool change_of(std::string_view word, NoteChange* change) {
  for (size_t i = 0; i < std::size(kChangeWords); ++i)
    if (word == kChangeWords[i]) {
      *change = static_cast<NoteChange>(i);
      return true;
    }
  return false;
}

// The note's line with its line feed; false (logged) when a text cannot be
// a field.
bool note_line(const PendingEntry& e, std::string* line) {
  bool formatted = false;
  keeping_last_status([&] {
    formatted = RecordValues(Saved::Pending)
                    .set_key(e.key)
                    .set(Field::TargetName, e.name)
                    .set(Field::Address, e.address)
                    .set(Field::Port, e.port)
                    .set(Field::Qualifier, std::to_string(e.qualifier))
                    .set(Field::InitiatorName, e.initiator)
                    .set(Field::NoteChange, kChangeWords[static_cast<size_t>(e.change)])
                    .format(line);
  });
  if (!formatted) pdebug(TAVO_LOG_BACKEND, 3, "%s: %s cannot be noted\n", __func__, e.name.c_str());
  return formatted;
}

// The note of a whole line (without its line feed); an older note lacks
// the last field.
bool parse_note(std::string_view line, PendingEntry* e) {
  std::string_view f[kMaxFields + 1];
  size_t n = split_fields(line, f);
  if (n + 1 == record_def(Saved::Pending).fields.size()) f[n++] = {};
  if (line.find('\0') != std::string_view::npos || n > std::size(f) ||
      !well_formed(Saved::Pending, std::span<const std::string_view>(f, n)))
    return false;
  const auto field = [&](Field which) { return f[static_cast<size_t>(position(Saved::Pending, which))]; };
  const std::string_view q = field(Field::Qualifier);
  uint32_t qualifier = 0;
  const auto [end, err] = std::from_chars(q.data(), q.data() + q.size(), qualifier);
  if (err != std::errc() || end != q.data() + q.size() || q.empty() || qualifier > 0xFFFF ||
      !change_of(field(Field::NoteChange), &e->change))
    return false;
  e->key.text = {std::string(f[0]), std::string(f[1]), std::string(f[2])};
  e->name = field(Field::TargetName);
  e->address = field(Field::Address);
  e->port = field(Field::Port);
  e->qualifier = qualifier;
  e->initiator = field(Field::InitiatorName);
  return true;
}

// What the process knows the file holds while no other process changed
// the root: its lines in order, each with its line feed but a cut last
// one, and whether it stays (a note whose change is under way, or one not
// settled) or may go; and the descriptor its notes are appended through.
struct KnownLine {
  std::string text;
  bool stays = false;
};
struct KnownNotes {
  bool valid = false;
  std::vector<KnownLine> lines;
  files::AppendedFile file{notes_path(), kNotesMode};
  bool current() const { return valid; }
  void know(std::vector<KnownLine> now) {
    valid = true;
    lines = std::move(now);
  }
  bool ends_line() const { return lines.empty() || lines.back().text.ends_with('\n'); }
  // The bytes of the lines that stay (stays) or may go.
  size_t bytes(bool stays) const {
    size_t n = 0;
    for (const KnownLine& line : lines) n += line.stays == stays ? line.text.size() : 0;
    return n;
  }
};
// Under the library lock.
KnownNotes& known() {
  static base::NoDestructor<KnownNotes> notes;
  return *notes;
}

// The added notes (lines that stay) appended, a cut last line ended
// first. 0, or 1 with the failed save's status: how the file ends is then
// not known, and is taken for a cut line.
uint32_t append_notes(std::vector<KnownLine> added) {
  KnownNotes& k = known();
  std::string text(k.ends_line() ? "" : kCutLineEnd);
  for (const KnownLine& line : added) text += line.text;
  if (const uint32_t r = k.file.append(text)) {
    k.lines.push_back({});
    return r;
  }
  if (!k.ends_line()) k.lines.back().text += kCutLineEnd;
  for (KnownLine& line : added) k.lines.push_back(std::move(line));
  return 0;
}

// The file without the lines that may go: cut to nothing where none
// stays, else a new file of those that stay put in its place (by rename:
// a cut leaves the old file or the new, and no note that stays is lost).
void drop_lines_that_go() {
  KnownNotes& k = known();
  std::vector<KnownLine> staying;
  std::string text;
  for (const KnownLine& line : k.lines)
    if (line.stays) {
      text += line.text;
      staying.push_back(line);
    }
  if (!staying.empty()) k.file.close();  // the file goes by the rename
  if ((staying.empty() ? k.file.empty() : files::replace_file(notes_path(), text, kNotesMode)) != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: %s keeps notes that went\n", __func__, notes_path());
    return;
  }
  k.lines = std::move(staying);
}

// The function of a key's controller and iSCSI function; null when the
// tree has none.
TavoNode* note_function(const LhbaKey& key) {
  TavoNode* controller = internal_get_node(get_node(0), key.text[0].c_str(), TAVO_KIND_GROUP);
  return controller != nullptr ? internal_get_node(controller, key.text[1].c_str(), TAVO_KIND_GROUP) : nullptr;
}

// Whether the session's line is saved, and the target's own line of its
// portal.
bool lines_saved(const PendingEntry& e, bool* session, bool* portal, size_t* portal_lines) {
  const std::vector<Match> match = key_matches(e.key, {{Field::TargetName, e.name},
                                                       {Field::Address, e.address},
                                                       {Field::Port, e.port},
                                                       {Field::Qualifier, std::to_string(e.qualifier)}});
  std::vector<Match> own = match;
  own.back().value.clear();
  return with_view(Saved::Targets, [&](const SavedView& view) {
    *session = view.find(match) != nullptr;
    *portal = view.find(own) != nullptr;
    *portal_lines = view.find_all(std::span<const Match>(match).first(match.size() - 1)).size();
  });
}

// Went: nothing to do. Remove: the entry goes (the session logged out
// first). Undo: that and the portal's line. Remake: the entry made again
// as the line holds it. Erase: the function's erase finished. Boot: the
// boot flag set as the boot region holds the session.
enum class Settled { Went, Remove, Undo, Remake, Erase, Boot, Stays };

// What one note of a change that may have been cut short asks, by its
// change (NoteChange): the line that tells stands, or not. Only a start
// writes a line or makes an entry again, which another process's change
// under way may be doing (a live process may hold the files' locks too): a
// note that asks for it otherwise stays for the start. A function the
// tree lacks keeps its note for a start that has it.
Settled settle_note(const PendingEntry& e, bool at_start, tree::HandlerContext* function) {
  bool session = false, portal = false;
  size_t portal_lines = 0;
  if (e.change == NoteChange::Erased) return Settled::Went;
  const bool lines_tell = e.change != NoteChange::Erase && e.change != NoteChange::Boot;
  if (lines_tell && !lines_saved(e, &session, &portal, &portal_lines)) return Settled::Stays;
  Settled settled = e.change == NoteChange::Erase ? Settled::Erase : session ? Settled::Went : Settled::Remove;
  if (e.change == NoteChange::Boot) settled = Settled::Boot;
  if (e.change == NoteChange::Deletion) settled = portal ? Settled::Went : Settled::Remove;
  if ((e.change == NoteChange::Options || e.change == NoteChange::BootOptions) && session) settled = Settled::Remake;
  // The portal's line alone: another session's line of it (one that took
  // the session's place) keeps it.
  if (e.change == NoteChange::AddedPortal && !session && portal && portal_lines == 1) settled = Settled::Undo;
  if (!at_start && (settled == Settled::Remake || settled == Settled::Undo || settled == Settled::Erase ||
                    settled == Settled::Boot))
    return Settled::Stays;
  if (settled == Settled::Went) return settled;
  *function = tree::handler_context(note_function(e.key));
  return *function ? settled : Settled::Stays;
}

// A note's settlement carried out, under the notes' lock.
void settle_apply(Settled settled, const PendingEntry& e, const tree::HandlerContext& function) {
  keeping_last_status([&] {
    if (settled == Settled::Remove || settled == Settled::Undo) settle_removal(function, e);
    if (settled == Settled::Undo) settle_drop_portal_line(e);
    if (settled == Settled::Erase) settle_erase(function, e);
    if (settled == Settled::Boot) settle_boot(function, e);
    if (settled == Settled::Remake && settle_remake(function, e) != 0)
      pdebug(TAVO_LOG_BACKEND, 3, "%s: the entry of %s was not made again\n", "settle_pending", e.name.c_str());
  });
}

// A note's session: the note without its change.
std::string_view session_of(std::string_view note) {
  const size_t fields = static_cast<size_t>(std::count(note.begin(), note.end(), ',')) + 1;
  return fields == record_def(Saved::Pending).fields.size() ? note.substr(0, note.rfind(',')) : note;
}

// A line of the file and what settles it. Every byte has its place in the
// picture: the lines that stay are written again should the file be cut.
struct Found {
  KnownLine line;
  PendingEntry note;
  size_t latest = 0;  // the place of its session's latest note, for a note
  tree::HandlerContext function;
  Settled settled = Settled::Went;
};

// The lines of the file (text) with their settlement: a session noted again
// (by another change of it) is settled once, by its latest note; an
// earlier note of it stays only when that one does.
std::vector<Found> settle_lines(std::string_view text, bool at_start) {
  std::vector<Found> found;
  std::unordered_map<std::string_view, size_t> latest;
  for_each_line(text, [&](std::string_view line, bool whole) {
    Found& f = found.emplace_back(Found{{std::string(line) + (whole ? "\n" : ""), false}, {}, 0, {}, Settled::Went});
    // Only a whole line names a session: a torn write leaves a part.
    if (whole && parse_note(line, &f.note))
      latest[session_of(line)] = f.latest = found.size();
    else if (!line.empty())
      pdebug(TAVO_LOG_BACKEND, 4, "%s: a line that is no whole note is dropped\n", "settle_pending");
  });
  for (size_t i = 0; i < found.size(); ++i) {
    Found& f = found[i];
    if (f.latest == 0) continue;
    std::string_view line = f.line.text;
    line.remove_suffix(1);
    f.latest = latest[session_of(line)];
    if (f.latest == i + 1) f.settled = settle_note(f.note, at_start, &f.function);
  }
  for (Found& f : found) {
    if (f.latest != 0 && f.latest != static_cast<size_t>(&f - found.data()) + 1)
      f.settled = found[f.latest - 1].settled == Settled::Stays ? Settled::Stays : Settled::Went;
    f.line.stays = f.settled == Settled::Stays;
  }
  return found;
}

// Every note the file holds settled, and the file known. The lines that
// may go are dropped when at_start asks for it (a start leaves the file
// empty but for the notes that stay) or once an entry was removed, so
// that no one removes it again; else they stay until the file is cut.
// Only a process that may write the root settles what asks for a write:
// it holds the notes' lock to send a removal or write. A file that holds
// nothing asks for nothing: no lock is made, nothing written.
void settle_file(bool at_start) {
  KnownNotes& k = known();
  k.file.close();  // another process may have put a new file there
  // Most often there is nothing: a look tells.
  const files::FileIdentity look = files::identify(notes_path());
  if (files::known_missing(look) || look.size == 0) return k.know({});
  std::string text;
  files::FileIdentity id;
  if (files::read_saved(notes_path(), 0, &text, &id) != 0) {
    // A file the process may not read tells of nothing it can settle.
    if (errno == ENOENT) k.know({});
    return;
  }
  bool acts = false, going = false;
  std::vector<Found> found = settle_lines(text, at_start);
  for (const Found& f : found) {
    acts |= f.settled != Settled::Went && f.settled != Settled::Stays;
    going |= !f.line.stays;
  }
  const bool writes = acts || (at_start && going);
  std::optional<files::SaveLock> lock;
  if (writes) {
    keeping_last_status([&] { lock.emplace(notes_path()); });
    if (!lock->held()) return;
    // What a new file of the notes that stay left, killed before its
    // rename, goes too.
    if (at_start) files::remove_leftover_temporaries(notes_path());
  }
  std::vector<KnownLine> lines;
  for (Found& f : found) {
    settle_apply(f.settled, f.note, f.function);
    lines.push_back(std::move(f.line));
  }
  k.know(std::move(lines));
  if (writes) keeping_last_status([] { drop_lines_that_go(); });
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

bool note_erase(TavoNode* lhba, PendingEntry* e) {
  e->change = NoteChange::Erase;
  return lhba != nullptr && lhba_key(lhba, &e->key) && note_pending({e, 1}) == 0;
}

void let_go_after(const PendingEntry& e) {
  SavedBatch::after([e] { let_go_pending(e); });
  SavedBatch::on_failure([e] { let_go_pending(e); });
}

uint32_t note_pending(std::span<const PendingEntry> entries) {
  TAVO_LIBRARY_LOCK;
  std::vector<KnownLine> added;
  for (const PendingEntry& e : entries)
    if (std::string line; note_line(e, &line)) added.push_back({std::move(line), true});
  if (added.empty()) return 1;
  uint32_t noted = 1;
  // A change goes on when the disk refuses its note: what it answers is its
  // own files' save.
  keeping_last_status([&] {
    if (!known().current()) settle_file(false);
    if (known().current()) noted = append_notes(std::move(added));
  });
  if (noted != 0) pdebug(TAVO_LOG_BACKEND, 3, "%s: %s is not guarded against a cut\n", __func__, entries[0].name.c_str());
  return noted;
}

void let_go_pending(const PendingEntry& e) {
  TAVO_LIBRARY_LOCK;
  KnownNotes& k = known();
  std::string line;
  // Once another process changed the root, the note is settled as found.
  if (!k.current() || !note_line(e, &line)) return;
  for (KnownLine& known_line : k.lines)
    if (known_line.stays && known_line.text == line) {
      known_line.stays = false;
      break;
    }
  // An erase's note, which a start would finish again over what came after
  // it, is followed by the note that it is done (the latest of its
  // function's, which settles nothing).
  if (e.change == NoteChange::Erase) {
    PendingEntry done = e;
    done.change = NoteChange::Erased;
    if (note_pending({&done, 1}) == 0) let_go_pending(done);
  }
  // A process that lives on keeps the file small: the change that lets a
  // note go past the bound pays for the cut.
  if (k.bytes(false) > kNotesKeptBytes) keeping_last_status([] { drop_lines_that_go(); });
}

void settle_pending(bool at_start) {
  TAVO_LIBRARY_LOCK;
  if (!at_start && known().current()) return;
  settle_file(at_start);
}

void drop_finished_notes() {
  TAVO_LIBRARY_LOCK;
  KnownNotes& k = known();
  // A restart then settles nothing of this process's.
  if (k.current() && !k.lines.empty() && k.bytes(true) == 0) keeping_last_status([] { drop_lines_that_go(); });
  k.file.close();
  k.valid = false;
  k.lines = {};
}

void forget_known_notes() { known().valid = false; }

}  // namespace tavo::sessions
