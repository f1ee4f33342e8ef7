// A parsed view of each saved iSCSI file, kept up to date cheaply: library
// writers only append lines (the size grows: only the new tail is read,
// from the last line known, which must read as it did) or rename a new file
// in (the identity changes: the file is read again), so reads and duplicate
// checks do not grow with the saved lines. A file changed in place is read
// again whole, and so is one whose identity is not settled (another writer
// changed it within a tick of the clock of the last look: a rewrite may
// have kept every field of its identity). Lookups go through indexes kept through every reread and
// rewrite (filled as the lines are parsed), so a lookup never walks the
// lines: those the record table lists are there from the first read on,
// others are built when first asked.
//
// The lines point into the bytes as read (or as added), which the view
// keeps: a whole write of the file gives those bytes as they lie, in
// stretches between the lines changed since, so its cost follows the lines
// changed, not the file's.
//
// Every change of a file goes through append_line or rewrite, under the
// file's SaveLock; readers take no lock, but look for a commit record left
// pending (one stat) whenever they read a file anew, and complete it, or
// read through it when they cannot (a read-only root). Within one library
// call a reader looks at the file and the record once, until this process
// writes a saved file.
#pragma once

#include <stdint.h>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "base/save_file.h"
#include "iscsi/common/saved_lines.h"
#include "iscsi/common/saved_records.h"

namespace tavo::iscsi {

class SavedView {
 public:
  // A line's fields, made when asked from the places of its commas (views
  // of every field held would take more room than the text). Points into
  // the line's text; empty when malformed.
  class Fields {
   public:
    size_t size() const { return n_; }
    bool empty() const { return n_ == 0; }
    const std::string_view& operator[](size_t i) const { return at_[i]; }
    const std::string_view* begin() const { return at_; }
    const std::string_view* end() const { return at_ + n_; }
    const std::string_view* data() const { return at_; }
    operator std::span<const std::string_view>() const { return {at_, n_}; }

    Fields() {}  // nothing set beyond the first n_: most lines are read once

   private:
    friend class SavedView;
    union {
      std::string_view at_[kMaxFields + 1];  // one more: a line with too many is told apart
    };
    size_t n_ = 0;
  };
  struct Line {
    std::string_view text;  // as in the file, without its line feed (which follows it in the view's bytes)
    uint64_t order = 0;  // rises with the line's place; kept while it stays
    // Where each field but the last ends in text, found as the line was
    // read: its fields are never looked for again. Null for a line too
    // long for them, split when asked.
    const uint16_t* commas = nullptr;
    uint8_t field_count = 0;  // its fields; 0 when malformed
    bool well_formed() const { return field_count != 0; }
    Fields fields() const;
    // Field i of a well-formed line alone.
    std::string_view field(size_t i) const {
      if (commas == nullptr) return fields()[i];
      const size_t from = i == 0 ? 0 : commas[i - 1] + 1u;
      return {text.data() + from, (i + 1 < field_count ? commas[i] : text.size()) - from};
    }
  };
  // The view of the file under the root in force.
  explicit SavedView(Saved s);
  SavedView(const SavedView&) = delete;
  SavedView& operator=(const SavedView&) = delete;

  Saved saved() const { return saved_; }
  bool exists() const { return identity_.size >= 0; }
  // The file's identity when the view was last brought up to date with it.
  const files::FileIdentity& identity() const { return identity_; }
  // The file's non-empty lines in order.
  std::span<const Line* const> lines() const { return {lines_.data(), lines_.size()}; }
  // The first (or last) well-formed line holding every match; null for none.
  const Line* find(std::span<const Match> match, bool last = false) const;
  // Every well-formed line holding every match, in order (until the view
  // changes).
  std::span<const Line* const> find_all(std::span<const Match> match) const;
  // The place of a line of the view in lines().
  uint32_t place(const Line* line) const;
  // The file as a whole write gives it, every line with its line feed: the
  // view's bytes in stretches to be written one after another, and their
  // size.
  std::vector<std::string_view> content() const;
  off_t size() const { return static_cast<off_t>(line_bytes_); }
  // The parser alone, on text the caller holds: load takes it as the whole
  // file, append as what follows the last line feed read (a last line read
  // without one is read again whole).
  void load(std::string_view text);
  void append(std::string_view tail);

  // Brings the view up to date with the file; whole reads the file from its
  // start whatever changed, as does a refresh after another process changed
  // the root. through: the path (under the root) its content is read at
  // instead, a copy a commit record renames over it
  // (files::Journal::read_through); the file itself once that is gone. 0,
  // or -1 with errno.
  int refresh(bool whole = false, const std::string* through = nullptr);
  // The file now holds the lines as they were with these lines replaced
  // (index and new text, without its line feed) and those dropped
  // (ascending indexes): only they are parsed again. written: the file was
  // written (else a batch writes it later, and settled takes its identity).
  void edited(const std::vector<std::pair<uint32_t, std::string>>& changed, const std::vector<uint32_t>& dropped,
              off_t size, bool written = true);
  // For a batch (below): lines added to the view before the file has them;
  // whether the file's last line lacks its line feed; the file now holds
  // the view's lines (whole: written anew, else the added lines appended);
  // the view forgotten, read again whole at the next refresh.
  void add(std::string_view lines) { parse(keep(lines)); }
  bool ends_without_line_feed() const { return partial_last_ || cut_tail_; }
  // Whether the file ends in bytes a write cut short left (cut_short):
  // read as no line, gone at the next whole write.
  bool ends_cut_short() const { return cut_tail_; }
  // written: the file's identity once written, when the writer knows it
  // (else it is looked up).
  void settled(bool whole, const files::FileIdentity* written = nullptr);
  void forget();
  // Another process changed the root: the next refresh reads the file
  // whole.
  void reread_whole() { whole_next_.store(true, std::memory_order_relaxed); }

  // Tests only: every view's keys of one set of fields all hash alike, so
  // that only comparing the texts tells them apart.
  static void colliding_keys_for_tests(bool on);

 private:
  // Room handed out in runs from blocks that never move nor shrink once
  // made: no allocation per line for its bytes, its fields or itself.
  template <typename T>
  class Slab {
   public:
    // n items in one run, from a new block of at least least items when
    // the last has no room; give_back returns the run's last unused items.
    T* take(size_t n, size_t least);
    void give_back(size_t n);
    void clear();
    size_t held() const { return held_; }

   private:
    struct Block {
      std::unique_ptr<T[]> items;
      size_t used = 0, capacity = 0;
    };
    std::vector<Block> blocks_;
    size_t held_ = 0;
  };
  // Per set of fields matched: the lines whose texts in those fields
  // compare alike, in order, under a hash of the texts as they compare.
  // Texts that differ but hash alike take keys of their own under one hash,
  // told apart by same (a line of the key given) comparing the texts. Open
  // addressing; a key's lines beyond its first lie in runs of one shared
  // array, so a line costs no allocation of its own.
  class Index {
   public:
    template <typename Same>
    std::span<const Line* const> find(uint64_t hash, Same same) const;
    template <typename Same>
    void add(uint64_t hash, const Line* line, Same same);
    // The same for a line whose texts in the index's fields are those of
    // the line this index was last given, byte for byte: its key's slot is
    // known without a probe.
    template <typename Same>
    void add_after_last(uint64_t hash, const Line* line, Same same);
    void drop(uint64_t hash, const Line* line);
    void clear();

   private:
    struct Slot {
      const Line* one = nullptr;  // the line of a key without a run
      // The hash's low half: enough to place the key and pass over most
      // others; same tells keys apart.
      uint32_t hash = 0;
      uint32_t count = 0, at = 0, room = 0;  // its lines (none: a free slot); its run
    };
    std::span<const Line* const> hits(const Slot& slot) const;
    // The slot of the key, or the free slot it would take.
    template <typename Same>
    size_t slot_of(uint64_t hash, Same same) const;
    void grow();
    void erase(size_t at);
    void insert_hit(Slot& slot, const Line* line);
    void repack();
    std::vector<Slot> slots_;
    std::vector<const Line*> runs_;
    size_t keys_ = 0, spare_ = 0;  // runs_ items no key holds any more
    static constexpr size_t kNoSlot = static_cast<size_t>(-1);
    size_t last_ = kNoSlot;  // the slot add last put a line in, while slots stay where they are
  };

  void clear();
  // Text held by the view from now on: taken as it is, or copied (a line
  // copied with a line feed after it).
  std::string_view keep(std::string&& text);
  std::string_view keep(std::string_view text);
  std::string_view keep_line(std::string_view body);
  char* room(size_t bytes);
  // A line made, or one no longer in lines_ given back.
  Line* new_line();
  void free_line(Line* line);
  // The fields of a line's text when it is well formed (else none), their
  // places kept with the line.
  void read_fields(Line* line, Fields* out);
  // A line's bytes given a place among the stretches (the line is in
  // lines_, its own bytes in none), or taken out of the stretch that holds
  // them.
  void add_stretch(const Line& line);
  void cut_stretch(uint32_t at);
  // The bytes of the lines copied into one block, when the stretches or the
  // bytes no line holds any more grow too many.
  void compact_if_scattered();
  // A last line read without its line feed (or bytes taken as none), read
  // again with what follows.
  void drop_partial_last();
  void parse(std::string_view text);
  // The hashes of the indexed fields of the line last indexed by one
  // parse: a field whose text is that line's again keeps its hash (the
  // lines of one LogicalHBA, or of one target, follow one another).
  struct FieldHashes {
    bool follows = false;
    Fields last;
    uint64_t hash[32];
  };
  void index_line(const Line* line, const Fields& fields, FieldHashes& hashes) const;
  void unindex_line(const Line* line) const;
  // A line edited in place moved within each index, from the keys of its
  // fields before (empty for a malformed line) to those it holds now.
  void rekey(const Line* line, std::span<const std::string_view> before) const;
  // The lookup's index, built over the lines when first asked.
  const Index& index_of(uint32_t mask) const;

  Saved saved_;
  std::string target_;  // the file's path under the root
  files::FileIdentity identity_;
  // Another process changed the root since the view was read (reread_whole):
  // an identity that looks the same may be another file's, so the file is
  // read again whole.
  std::atomic<bool> whole_next_{true};
  off_t consumed_ = 0;         // after the last line feed read
  std::string last_complete_;  // the line ending there, with its line feed
  bool partial_last_ = false;  // the last line has no line feed yet
  bool cut_tail_ = false;      // bytes after the last line feed are no line (cut_short)
  std::vector<Line*> lines_;
  uint64_t next_order_ = 0;
  Slab<Line> line_room_;
  std::vector<Line*> free_lines_;
  // The bytes the lines point into: texts read, taken whole, and room that
  // lines are copied into one after another.
  std::vector<std::unique_ptr<std::string>> taken_;  // never moved: a short text lies in its string
  Slab<char> byte_room_;
  Slab<uint16_t> comma_room_;  // the lines' commas
  // The lines' bytes with their line feeds in order, in stretches each of
  // consecutive lines, by the order of its first line.
  std::map<uint64_t, std::string_view> stretches_;
  size_t line_bytes_ = 0;  // the lines' bytes, line feeds included
  size_t held_bytes_ = 0;  // the bytes taken_ and byte_room_ hold, lines or not
  // Per set of fields matched, its index. Lines, not places, so a dropped
  // line leaves its own keys alone.
  mutable std::vector<std::pair<uint32_t, Index>> indexes_;
  mutable uint32_t indexed_fields_ = 0;  // every field some index matches
  // The text last looked up at each place (those of asked_) and its hash:
  // lookups ask for the same texts again and again (a LogicalHBA's key, a
  // target's name).
  mutable std::string asked_text_[32];
  mutable uint64_t asked_hash_[32] = {};
  mutable uint32_t asked_ = 0;
};

// Runs fn on the file's view brought up to date (as checked earlier in
// the same library call, when the library wrote no saved file since),
// under the view's mutex; false (errno kept) when the file could not be
// read.
bool with_view(Saved s, const std::function<void(const SavedView&)>& fn);
// Another process changed the root (a keeper of the gate's,
// backend/hooks.cpp): every view reads its file whole at its next refresh.
void reread_saved_views();

// The fields of the file's well-formed lines that hold every match, in
// file order, copied (the tree may be changed with them, which reads the
// views again). false (errno kept) when the file could not be read; a
// missing file has no lines.
using SavedFields = SavedLines::Line;
bool copy_lines(Saved s, std::span<const Match> match, SavedLines* out);

// What a rewrite does with one line; Refuse stops the rewrite, nothing
// written (the edit leaves the reason in the last status).
enum class LineEdit { Keep, Drop, Replace, Refuse };
// Rewrites the file under its lock from its current content (the view,
// checked against the file): edit decides per line (its fields; empty for a
// malformed line), filling *rebuilt for Replace. Empty lines go. Missing
// file: 1 without a status. A file that does not change is not written. 0,
// or 1 (a refusal or a failed save leaves its status).
uint32_t rewrite(Saved s,
                 const std::function<LineEdit(std::span<const std::string_view> fields, std::string* rebuilt)>& edit);
// The same, offering edit only the lines that hold every match of where
// (the others are kept): the cost follows those lines, not the file's.
uint32_t rewrite(Saved s, std::span<const Match> where,
                 const std::function<LineEdit(std::span<const std::string_view> fields, std::string* rebuilt)>& edit);
// Removes the lines that hold every match of where: rewrite's result.
uint32_t drop_lines(Saved s, std::span<const Match> where);
// Appends line under the file's lock unless present finds it there (0
// then too). 0, or 1 with the failed save's status.
uint32_t append_line(Saved s, const std::string& line, const std::function<bool(const SavedView&)>& present);

// Whether a removal's result (rewrite, TAVO_remove_entry_from_file) leaves
// no line of the entry in the file: a file known to be missing holds none,
// one that cannot be read may.
bool entry_removed(uint32_t result, Saved s = Saved::Targets);

// Forgets every view (the library's state is released).
void drop_saved_views();

// Completes a change of several files that a killed process or a power cut
// left after its commit, or drops one that never committed, and what a
// commit killed before its record left. Start-up calls it before it reads
// the files; besides, taking a file's lock and reading a file anew first
// complete a record that names the file.
void complete_saved_changes();

// The saved files an action changes are written once, when it ends, so a
// process killed at any moment leaves each file as it was or as the action
// left it. While a batch is open on the thread, appends and rewrites change
// the views only; the first change of a file takes its lock and those of
// the files before it in one order (savetgt.txt, savestp.txt,
// intr_logopts.txt), the same in every process, and holds them until the
// batch is written. The library lock is held meanwhile, so no other thread
// reads a view that holds lines not yet written. Batches nest: an inner one
// joins the outer, which alone writes.
class SavedBatch {
 public:
  SavedBatch();
  ~SavedBatch();  // commits what is left
  SavedBatch(const SavedBatch&) = delete;
  SavedBatch& operator=(const SavedBatch&) = delete;
  // Writes each changed file once and lets the locks go; later changes are
  // gathered again. One file changed alone takes its new lines appended
  // when it was only appended to, else it is replaced; several are replaced
  // together, all or none (files::ReplaceTogether). 0, or 1 with the failed
  // save's status (every file keeps its old content). An inner batch writes
  // nothing: 0. Once written, the steps kept by after run in the order
  // given; when a write failed, those kept by on_failure run instead,
  // newest first. Either way both lists are emptied.
  uint32_t commit();
  // The end of an action that answered result: the batch committed, and
  // result, or the failed save's 1 when result is 0. The steps kept by
  // after belong to an action that went through: a failed one drops them.
  uint32_t end(uint32_t result);

  // What an action changes beside its files, so that a failed save leaves
  // firmware and tree as they were: on_failure keeps the step that puts
  // back a change made (a node or a firmware entry added), after a change
  // that cannot be put back (a node or a firmware entry removed), made once
  // the files are written. Both join the outermost open batch; without
  // one, after runs the step at once and on_failure has nothing to keep.
  static void on_failure(std::function<void()> step);
  static void after(std::function<void()> step);
  // The locks the outermost open batch takes at the first change of s,
  // taken now by an action that reads s before it changes it: the file is
  // then looked at once, under the lock, for its reads and its change.
  // Without a batch, or when a lock cannot be had, nothing changes (the
  // change takes the lock, or fails, as it would have) and no status is
  // left.
  static void hold(Saved s);

 private:
  bool outer_ = false;
};

}  // namespace tavo::iscsi
