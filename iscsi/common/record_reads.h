// The firmware records a request reads, each read once.
//
// One client read of a property runs that property's handler alone, and
// one firmware record may hold the values of several groups: a session's
// record those of its Session and its Connection, its statistics those of
// the session and of its target's alias. A client (the IMA plug-in above
// all) reads such groups one after the other. So a branch keeps, per kind
// of record, the one it last fetched and the group whose property read
// fetched it, and a handler's read of a property answers from it when
//   - the property belongs to another group than that one,
//   - that property has not been answered from it yet,
//   - no public call that may change state (tree/state_changes.h) has run
//     since it was fetched, and none runs now, and
//   - it was fetched less than kFreshMs ago.
// A pass over the groups of one record thus reads it once (the host's
// session properties: the Session, then its Connection). A read of a
// property again, of the group whose read fetched the record, after any
// change or after kFreshMs asks the firmware again: each value a client
// reads is at most one pass old, and a client that polls sees every
// change.
//
// Inside an action or a refresh, what the call's handlers read of a record
// is kept for the rest of a ReadScope. The command table says what drops
// it: the row of the command a kind reads names the changes
// (records_until), and a command that changes records names them in its
// row (transport/record_changes.h). Once such a command is sent, nothing
// kept of what it changed stands, in a scope or between calls.
#pragma once

#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <array>
#include <bit>
#include <functional>
#include <map>
#include <memory>
#include <type_traits>
#include <vector>

#include "base/no_destructor.h"
#include "base/probe_table.h"
#include "base/read_scope.h"
#include "transport/command_table.h"
#include "transport/record_changes.h"
#include "tree/state_changes.h"
#include "tree/tree.h"

namespace tavo::iscsi {

// Where a record lives: the function, domain and port it is asked on and
// what names it there (a session handle, a LUN ...); unused words 0.
using RecordKey = std::array<uint32_t, 6>;

inline constexpr uint64_t kFreshMs = 1000;

// The scope a request's handlers read in (base/read_scope.h).
using ReadScope = base::ReadScope;

namespace reads {

// What every kind keeps, so that the end of a scope reaches them all.
using Kept = base::ScopedKept;

// Whether a client's read of property may answer from what a read of
// group fetched at at_ms with the count changes, having answered the
// properties answered; never for a read of the library's own (no
// property).
bool last_fetch_stands(TavoNodeRef group, uint64_t changes, uint64_t at_ms, const std::vector<TavoNodeRef>& answered,
                       TavoNode* property);
uint64_t now_ms();

// The records kept for a scope, with no allocation per record: in blocks
// that never move (twice the last one's room each), so no record is copied
// about or left behind in memory freed, and found by a hash of their keys.
// A record dropped is wiped; the last one takes its place.
template <typename Record>
class KeptRecords {
 public:
  KeptRecords() = default;
  KeptRecords(const KeptRecords&) = delete;
  KeptRecords& operator=(const KeptRecords&) = delete;
  ~KeptRecords() { clear(); }

  bool empty() const { return keys_.empty(); }
  Record* find(const RecordKey& key) {
    if (keys_.empty()) return nullptr;
    const uint32_t held = slots_[slot_of(key)];
    return held == 0 ? nullptr : &record(held - 1);
  }
  void put(const RecordKey& key, const Record& r) {
    if (Record* kept = find(key)) {
      *kept = r;
      return;
    }
    if (2 * (keys_.size() + 1) > slots_.size()) grow();
    const size_t at = keys_.size();
    if (at == kFirst * ((size_t{1} << blocks_.size()) - 1))
      blocks_.push_back(std::make_unique_for_overwrite<Record[]>(kFirst << blocks_.size()));
    record(at) = r;
    keys_.push_back(key);
    slots_[slot_of(key)] = static_cast<uint32_t>(at + 1);
  }
  void erase(const RecordKey& key) {
    if (keys_.empty()) return;
    const size_t slot = slot_of(key);
    if (slots_[slot] == 0) return;
    const size_t at = slots_[slot] - 1, last = keys_.size() - 1;
    free_slot(slot);
    if (at != last) {
      record(at) = record(last);
      keys_[at] = keys_[last];
      slots_[slot_of(keys_[at])] = static_cast<uint32_t>(at + 1);
    }
    wipe(&record(last));
    keys_.pop_back();
  }
  void clear() {
    for (size_t i = 0; i < keys_.size(); ++i) wipe(&record(i));
    blocks_.clear();
    keys_.clear();
    slots_.clear();
  }
  // The same, the room of the keys and slots given back too.
  void release() {
    clear();
    std::vector<std::unique_ptr<Record[]>>().swap(blocks_);
    std::vector<RecordKey>().swap(keys_);
    std::vector<uint32_t>().swap(slots_);
  }
  static void wipe(Record* r) {
    static_assert(std::is_trivially_copyable_v<Record>);
    explicit_bzero(static_cast<void*>(r), sizeof *r);
  }

 private:
  static constexpr size_t kFirst = 4;
  Record& record(size_t i) {
    const auto block = static_cast<size_t>(std::bit_width(i / kFirst + 1) - 1);
    return blocks_[block][i - kFirst * ((size_t{1} << block) - 1)];
  }
  static size_t hash(const RecordKey& key) {
    uint64_t h = 0x243f6a8885a308d3u;
    for (const uint32_t word : key) h = (h ^ word) * 0x9e3779b97f4a7c15u;
    return static_cast<size_t>(h ^ (h >> 32));
  }
  // The slot holding the key, or the free one it would take.
  size_t slot_of(const RecordKey& key) const {
    const size_t mask = slots_.size() - 1;
    for (size_t at = hash(key) & mask;; at = (at + 1) & mask)
      if (slots_[at] == 0 || keys_[slots_[at] - 1] == key) return at;
  }
  void grow() {
    slots_.assign(std::max<size_t>(16, 2 * slots_.size()), 0);
    for (size_t i = 0; i < keys_.size(); ++i) slots_[slot_of(keys_[i])] = static_cast<uint32_t>(i + 1);
  }
  void free_slot(size_t hole) {
    hole = base::close_probe_gap(
        slots_, hole, [](uint32_t held) { return held != 0; }, [this](uint32_t held) { return hash(keys_[held - 1]); });
    slots_[hole] = 0;
  }

  std::vector<std::unique_ptr<Record[]>> blocks_;
  std::vector<RecordKey> keys_;  // by place
  std::vector<uint32_t> slots_;  // place + 1, 0 for a free slot
};

}  // namespace reads

template <typename Record>
class RecordReads final : public reads::Kept {
 public:
  // read: the command whose answers the records are; its row says which
  // changes drop them.
  explicit RecordReads(command::CommandId read) : drops_(command::command_row(read).dropped_by) {}
  // The record at key into *out: kept from before when it may stand (see
  // above), else fetch(out), kept when it answers 0. property: the
  // property whose handler reads (null for a read of the library's own).
  // 0, or fetch's answer.
  // fetch is called as it is given: no std::function made per read.
  template <typename Fetch>
  uint32_t read(const RecordKey& key, TavoNode* property, Record* out, Fetch&& fetch) {
    catch_up();
    if (ReadScope::open()) {
      if (const Record* kept = scoped_.find(key)) {
        *out = *kept;
        return 0;
      }
    } else if (last_.valid && last_.key == key &&
               reads::last_fetch_stands(last_.group, last_.changes, last_.at_ms, last_.answered, property)) {
      last_.answered.push_back(tree::node_ref(property));
      *out = last_.record;
      return 0;
    }
    if (const uint32_t status = fetch(out)) return status;
    if (ReadScope::open()) scoped_.put(key, *out);
    last_.valid = true;
    last_.key = key;
    last_.record = *out;
    last_.changes = tree::state_changes();
    last_.at_ms = reads::now_ms();
    last_.group = tree::node_ref(property != nullptr ? property->parent : nullptr);
    last_.answered.clear();
    return 0;
  }
  // A record read earlier, kept for the rest of the open ReadScope as one
  // read in it would be (nothing outside one).
  void keep(const RecordKey& key, const Record& record) {
    catch_up();
    if (ReadScope::open()) scoped_.put(key, record);
  }
  // The firmware's record at key changed: nothing kept of it stands.
  void forget(const RecordKey& key) {
    scoped_.erase(key);
    if (last_.key == key) drop_last();
  }
  // The firmware's records of this kind changed: nothing kept stands.
  void forget_all() {
    scope_ended();
    drop_last();
  }
  void scope_ended() override { scoped_.clear(); }
  void release() override {
    scoped_.release();
    drop_last();
    std::vector<TavoNodeRef>().swap(last_.answered);
  }

 private:
  struct Last {
    bool valid = false;
    RecordKey key{};
    TavoNodeRef group{};
    Record record{};
    uint64_t changes = 0;
    uint64_t at_ms = 0;
    std::vector<TavoNodeRef> answered;
  };
  // Records may hold CHAP secrets: none stays behind in freed memory.
  void drop_last() {
    last_.valid = false;
    reads::KeptRecords<Record>::wipe(&last_.record);
  }
  // Drops what the commands sent since the last read changed.
  void catch_up() {
    drops_.catch_up(last_.valid || !scoped_.empty(), [&] { forget_all(); },
                    [&](const RecordKey& key) { forget(key); });
  }

  command::DropFollower drops_;
  Last last_;
  reads::KeptRecords<Record> scoped_;
};

// The lists a request reads (a function's active sessions), kept for the
// rest of a ReadScope as the records are; outside one nothing is kept.
class ListReads final : public reads::Kept {
 public:
  // read: the command whose answers the lists are; its row says which
  // changes drop them.
  explicit ListReads(command::CommandId read) : drops_(command::command_row(read).dropped_by) {}
  // The list kept at key into *out; false when none is.
  bool kept(const RecordKey& key, std::vector<uint32_t>* out) {
    catch_up();
    const List* at = find(key);
    if (at == nullptr) return false;
    out->assign(handles_.begin() + at->at, handles_.begin() + at->at + at->length);
    return true;
  }
  void keep(const RecordKey& key, const std::vector<uint32_t>& list) {
    catch_up();
    if (!ReadScope::open()) return;
    // A list kept again is appended; the room of the one it replaces goes
    // at the scope's end (a scope is one call).
    forget(key);
    lists_.push_back({key, static_cast<uint32_t>(handles_.size()), static_cast<uint32_t>(list.size())});
    handles_.insert(handles_.end(), list.begin(), list.end());
  }
  // The firmware's lists changed: none kept stands.
  void forget_all() {
    lists_.clear();
    handles_.clear();
  }
  void scope_ended() override { forget_all(); }
  void release() override {
    std::vector<List>().swap(lists_);
    std::vector<uint32_t>().swap(handles_);
  }

 private:
  // A list's handles in handles_ (a function's few; one list per place).
  struct List {
    RecordKey key;
    uint32_t at, length;
  };
  List* find(const RecordKey& key) {
    for (List& l : lists_)
      if (l.key == key) return &l;
    return nullptr;
  }
  void forget(const RecordKey& key) {
    std::erase_if(lists_, [&](const List& l) { return l.key == key; });
    if (lists_.empty()) handles_.clear();
  }
  // Drops what the commands sent since the last read changed.
  void catch_up() {
    drops_.catch_up(!lists_.empty(), [&] { forget_all(); }, [&](const RecordKey& key) { forget(key); });
  }

  command::DropFollower drops_;
  // Kept in the order read: the handles of one list follow each other, and
  // nothing is allocated per list.
  std::vector<List> lists_;
  std::vector<uint32_t> handles_;
};
// The functions' active session lists (29/6), by function, domain and port.
ListReads& session_list_reads();

}  // namespace tavo::iscsi
