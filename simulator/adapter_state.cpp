// The simulated adapters outlive a process, as real ones do: what their
// firmware keeps is kept under the root (StateFile) for every process that
// uses it. Before each command the simulator takes in what other processes
// changed; after a command that may change the adapters it compares the
// parts the command reached with what the root keeps and writes the items
// that differ, under the exclusive lock held for the whole command. A
// command that only reads writes nothing, nor does one that leaves the
// adapters as they were.
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <set>

#include "simulator/simulator.h"
#include "simulator/state_codec.h"

namespace tavo::sim {
namespace {

// Flash objects are kept in pages: a chunk written to a large object
// rewrites one page, not the object.
constexpr size_t kFlashPage = size_t{64} << 10;
// An iSCSI state is kept as its fields ('I'), each target id and each
// session apart, and the sessions' order where it is not the handles' (a
// test laid them out so).
constexpr char kSessionItem = 'S', kTargetIdsItem = 'T', kOrderItem = 'O';

bool iscsi_item(char kind) { return kind == kSessionItem || kind == kTargetIdsItem || kind == kOrderItem; }

// Mailbox commands (subsystem, opcode) whose standard responders only read:
// no need to compare after them. Any other command, and every command a
// test answers itself, is compared.
constexpr std::pair<uint8_t, uint8_t> kReads[] = {
    {1, 1},   {1, 5},   {1, 6},   {1, 27},  {1, 32},  {1, 37},  {1, 58},  {1, 64},  {1, 66},  {1, 70},
    {1, 71},  {1, 72},  {1, 73},  {1, 76},  {1, 78},  {1, 83},  {1, 84},  {1, 86},  {1, 88},  {1, 91},
    {1, 94},  {1, 102}, {1, 108}, {1, 113}, {1, 114}, {1, 120}, {1, 121}, {1, 123}, {1, 125}, {1, 128},
    {1, 130}, {1, 133}, {1, 134}, {1, 147}, {1, 152}, {1, 161}, {1, 164}, {1, 166}, {1, 167}, {1, 171},
    {1, 191}, {1, 201},
    {2, 6},   {2, 7},   {2, 8},   {2, 10},  {2, 22},  {2, 24},  {2, 25},  {2, 28},  {2, 30},  {2, 63},
    {6, 6},   {6, 14},  {6, 16},  {6, 29},  {6, 30},  {6, 32},  {6, 34},  {6, 46},  {6, 47},  {6, 48},
    {6, 52},  {6, 54},  {6, 57},  {11, 21}, {11, 22}, {11, 23}, {11, 24}, {15, 1},  {15, 3},  {16, 1},
    {16, 3},  {16, 4},  {19, 3},
};

// Keys: the part's kind, then its numbers big-endian (so a controller's
// or a device's items sort together), then a flash object's name and page.
void put_number(std::string* key, int value) {
  const auto v = static_cast<uint32_t>(value);
  for (int shift = 24; shift >= 0; shift -= 8) key->push_back(static_cast<char>(v >> shift));
}

int number_at(std::string_view key, size_t at) {
  uint32_t v = 0;
  for (size_t i = 0; i < 4 && at + i < key.size(); ++i) v = v << 8 | static_cast<uint8_t>(key[at + i]);
  return static_cast<int>(v);
}

std::string item_key(char kind, int a = 0, int b = 0) {
  std::string key(1, kind);
  put_number(&key, a);
  put_number(&key, b);
  return key;
}

std::string flash_prefix(int controller) {
  std::string key(1, 'F');
  put_number(&key, controller);
  return key;
}

std::string flash_key(int controller, const std::string& name, size_t page) {
  std::string key = flash_prefix(controller) + name;
  key.push_back('\0');
  put_number(&key, static_cast<int>(page));
  return key;
}

size_t flash_pages(const std::vector<uint8_t>& object) {
  return std::max<size_t>(1, (object.size() + kFlashPage - 1) / kFlashPage);
}

// A flash item's object name and page; false for another key.
bool flash_item(std::string_view key, size_t prefix, std::string* name, size_t* page) {
  const size_t end = key.find('\0', prefix);
  if (end == std::string::npos || key.size() != end + 5) return false;
  name->assign(key.substr(prefix, end - prefix));
  *page = static_cast<size_t>(number_at(key, end + 1));
  return true;
}

template <typename T>
bool read_into(const std::string& bytes, T* value) {
  state::Reader r{bytes};
  return state::get(r, *value) && r.in.empty();
}

// The items the root keeps as this process knows them, with the sessions
// of each iSCSI state at hand (in handle order) for its comparisons, and
// their bytes counted.
struct KeptItems {
  StateFile::Items& items;
  std::map<int, std::vector<uint32_t>>& handles;
  size_t& bytes;

  // One item put (value) or gone (null); at: where it is or would go.
  template <typename Key, typename Value>
  void keep(StateFile::Items::iterator at, Key&& key, Value* value) {
    if (key.size() == 9 && key[0] == kSessionItem) {
      std::vector<uint32_t>& held = handles[number_at(key, 1)];
      const auto h = static_cast<uint32_t>(number_at(key, 5));
      const auto place = std::lower_bound(held.begin(), held.end(), h);
      const bool there = place != held.end() && *place == h;
      if (value != nullptr && !there) held.insert(place, h);
      if (value == nullptr && there) held.erase(place);
    }
    const bool there = at != items.end() && at->first == key;
    if (there) bytes -= at->first.size() + at->second.size();
    if (value == nullptr) {
      if (there) items.erase(at);
      return;
    }
    bytes += key.size() + value->size();
    if (there)
      at->second = std::move(*value);
    else
      items.emplace_hint(at, std::forward<Key>(key), std::move(*value));
  }
};

// A change read, for putting the changes in key order: the key's first
// 16 bytes, big-endian, order most keys (short ones) without a call to
// compare their bytes; ties go by the order they were read in.
struct Ordered {
  uint64_t high = 0, low = 0;
  const StateFile::Read::Item* item = nullptr;
  size_t index = 0;

  static constexpr size_t kPrefix = 16;
  Ordered(const StateFile::Read::Item& c, size_t at) : item(&c), index(at) {
    unsigned char prefix[kPrefix] = {};
    memcpy(prefix, c.key.data(), std::min(c.key.size(), kPrefix));
    for (size_t i = 0; i < 8; ++i) high = high << 8 | prefix[i];
    for (size_t i = 8; i < kPrefix; ++i) low = low << 8 | prefix[i];
  }
  // Negative, zero or positive as a's key is below, the same as or above
  // b's.
  static int compare(const Ordered& a, const Ordered& b) {
    if (a.high != b.high) return a.high < b.high ? -1 : 1;
    if (a.low != b.low) return a.low < b.low ? -1 : 1;
    const size_t na = a.item->key.size(), nb = b.item->key.size();
    // Past the prefix only when both go on; else the shorter, padded with
    // zeros, is the front of the other.
    if (na > kPrefix && nb > kPrefix) return a.item->key.compare(b.item->key);
    return na == nb ? 0 : na < nb ? -1 : 1;
  }
  bool operator<(const Ordered& other) const {
    const int c = compare(*this, other);
    return c != 0 ? c < 0 : index < other.index;
  }
};

}  // namespace

Topology& Simulator::topology() {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  // A test may change any port or disk through it.
  if (in_command_ == 0) {
    touch(kPartPort, -1);
    touch(kPartLuns);
  }
  return topology_;
}

std::map<std::string, std::vector<uint8_t>>& Simulator::flash(int controller) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  touch(kPartFlash, controller);
  return flash_[controller];
}

void Simulator::touch(char kind, int a, int b) {
  std::vector<Part>& parts = in_command_ > 0 ? touched_ : dirty_;
  const Part part{kind, a, b};
  if (std::find(parts.begin(), parts.end(), part) == parts.end()) parts.push_back(part);
}

void Simulator::command_begin(bool changes) {
  if (in_command_++ > 0) return;
  touched_.clear();
  if (!state_file_) return;
  // Readers take no lock: a batch is read only once it is whole.
  locked_ = changes && state_file_->lock();
  StateFile::Read read;
  const StateFile::Seen what = state_file_->look(&read);
  take_changes(what, read);
}

bool Simulator::command_end(bool changes, const SimController* controller, bool disks) {
  if (--in_command_ > 0) return true;
  if (!state_file_) {
    forget_reached();
    return true;
  }
  bool kept = true;
  if (changes) {
    std::vector<Part> parts = touched_;
    for (const Part& p : dirty_)
      if (std::find(parts.begin(), parts.end(), p) == parts.end()) parts.push_back(p);
    // Ports and disks are reached through the topology: the controller's
    // ports after its commands that may reach one, the disks after SCSI
    // commands.
    if (controller != nullptr) parts.push_back(Part{kPartPort, controller->index});
    if (disks) parts.push_back(Part{kPartLuns});
    std::vector<StateFile::Change> batch;
    for (const Part& p : parts) diff_part(p, &batch);
    dirty_.clear();
    kept = batch.empty() || (locked_ && state_file_->append(batch));
    if (!batch.empty() && kept) {
      for (StateFile::Change& c : batch) keep_item(std::move(c));
      if (state_file_->worth_compacting(saved_bytes_)) state_file_->replace(saved_);
    } else if (!kept) {
      // Not kept (no lock, or the root refused the write): the command
      // fails, and the adapters are again as the root keeps them, so that
      // this process holds no change the others never see.
      state_file_->forget();
      reset_adapters();
      StateFile::Read read;
      const StateFile::Seen what = state_file_->look(&read);
      take_changes(what, read);
    }
  }
  // A command that changes nothing may still have found sessions by
  // handle: what target records answer from is made again.
  for (const Part& p : touched_)
    if (p.kind == kPartIscsi)
      if (auto it = sessions_.find(p.a); it != sessions_.end()) {
        if (!it->second.reached.empty()) it->second.target_records.reset();
        it->second.reached.clear();
      }
  touched_.clear();
  if (locked_) state_file_->unlock();
  locked_ = false;
  return kept;
}

void Simulator::forget_reached() {
  // Nothing to compare: what commands reached would only pile up.
  for (const Part& p : touched_)
    if (p.kind == kPartIscsi)
      if (auto it = sessions_.find(p.a); it != sessions_.end()) {
        if (it->second.changes_noted()) it->second.target_records.reset();
        it->second.reached.clear();
        it->second.reached_targets.clear();
        it->second.reached_all = false;
      }
  touched_.clear();
  dirty_.clear();
}

void Simulator::keep_adapters_in_process() {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  state_file_.reset();
  saved_.clear();
  saved_handles_.clear();
  saved_bytes_ = 0;
  dirty_.clear();
}

void Simulator::take_changes(StateFile::Seen seen, const StateFile::Read& read) {
  if (seen == StateFile::Seen::Same) return;
  if (seen == StateFile::Seen::Gone || seen == StateFile::Seen::Replaced) reset_adapters();
  // An item changed again and again (an iSCSI state at each add) is kept
  // once, as its last change has it; in key order, each goes in beside
  // the one before.
  std::vector<Ordered> order;
  order.reserve(read.items.size());
  for (size_t i = 0; i < read.items.size(); ++i)
    if (!read.items[i].key.empty()) order.emplace_back(read.items[i], i);
  std::sort(order.begin(), order.end());
  KeptItems kept{saved_, saved_handles_, saved_bytes_};
  std::vector<Part> parts;
  std::vector<std::pair<int, std::string>> objects;  // flash objects, in order
  const bool fresh = saved_.empty();                 // each goes in last
  for (size_t i = 0; i < order.size(); ++i) {
    if (i + 1 < order.size() && Ordered::compare(order[i], order[i + 1]) == 0) continue;
    const StateFile::Read::Item& c = *order[i].item;
    const std::string_view key = c.key;
    std::string name;
    size_t page = 0;
    if (key[0] == kPartFlash && flash_item(key, 5, &name, &page)) {
      if (objects.empty() || objects.back().first != number_at(key, 1) || objects.back().second != name)
        objects.emplace_back(number_at(key, 1), std::move(name));
    } else {
      const char kind = iscsi_item(key[0]) ? static_cast<char>(kPartIscsi) : key[0];
      const Part part{kind, number_at(key, 1), kind == kPartIscsi ? 0 : number_at(key, 5)};
      if (std::find(parts.begin(), parts.end(), part) == parts.end()) parts.push_back(part);
    }
    const auto at = fresh ? saved_.end() : saved_.lower_bound(key);
    kept.keep(at, key, c.put ? &c.value : nullptr);
  }
  for (const auto& [controller, name] : objects) {
    const std::string prefix = flash_key(controller, name, 0).substr(0, 5 + name.size() + 1);
    const auto first = saved_.lower_bound(prefix);
    auto last = first;
    size_t size = 0;
    for (; last != saved_.end() && last->first.starts_with(prefix); ++last) size += last->second.size();
    auto& held = flash_[controller];
    if (first == last) {
      held.erase(name);
      continue;
    }
    std::vector<uint8_t> object;
    object.reserve(size);
    for (auto it = first; it != last; ++it) object.insert(object.end(), it->second.begin(), it->second.end());
    held[name] = std::move(object);
  }
  for (const Part& p : parts) load_part(p);
}

void Simulator::keep_item(StateFile::Change&& c) {
  KeptItems kept{saved_, saved_handles_, saved_bytes_};
  const auto at = saved_.lower_bound(c.key);
  kept.keep(at, std::move(c.key), c.value ? &*c.value : nullptr);
}

void Simulator::load_part(const Part& part) {
  auto it = saved_.find(item_key(part.kind, part.a, part.b));
  if (it == saved_.end()) return;
  const std::string& bytes = it->second;
  switch (part.kind) {
    case kPartNetwork:
      for (const SimFunction& f : topology_.functions)
        if (f.kind == FunctionKind::Iscsi && f.iscsi_device == part.a) {
          SimNetwork net(f);
          if (read_into(bytes, &net)) networks_.insert_or_assign(part.a, std::move(net));
        }
      return;
    case kPartNic:
      for (const SimFunction& f : topology_.functions)
        if (f.controller == part.a && f.pci_function == part.b) {
          SimNicState nic(f);
          if (read_into(bytes, &nic)) nic_states_.insert_or_assign({part.a, part.b}, std::move(nic));
        }
      return;
    case kPartPort:
      if (SimPort* p = find_port(topology_, part.a, part.b)) {
        SimPort read = *p;
        if (read_into(bytes, &read)) *p = std::move(read);
      }
      return;
    case kPartLuns:
      if (part.a >= 0 && part.b >= 0 && part.a < static_cast<int>(topology_.targets.size()) &&
          part.b < static_cast<int>(topology_.targets[part.a].luns.size())) {
        SimLun& lun = topology_.targets[part.a].luns[part.b];
        std::pair<std::map<uint64_t, std::vector<uint8_t>>, int> disk;
        if (read_into(bytes, &disk)) std::tie(lun.written, lun.check_conditions) = std::move(disk);
      }
      return;
    case kPartHost: {
      std::set<std::string> down;
      if (read_into(bytes, &down)) interfaces_down_ = std::move(down);
      return;
    }
    case kPartIscsi: {
      SimIscsi st;
      if (!read_into(bytes, &st)) return;
      const std::string ids = item_key(kTargetIdsItem, part.a).substr(0, 5);
      for (auto t = saved_.lower_bound(ids); t != saved_.end() && t->first.starts_with(ids); ++t)
        if (!read_into(t->second, &st.target_ids.emplace_back(static_cast<uint32_t>(number_at(t->first, 5)), "").second))
          return;
      // The sessions in handle order, then in the order kept if another.
      const std::string prefix = item_key(kSessionItem, part.a).substr(0, 5);
      if (auto kept = saved_handles_.find(part.a); kept != saved_handles_.end())
        st.sessions.reserve(kept->second.size());
      for (auto s = saved_.lower_bound(prefix); s != saved_.end() && s->first.starts_with(prefix); ++s)
        if (!read_into(s->second, &st.sessions.emplace_back())) return;
      if (auto order = saved_.find(item_key(kOrderItem, part.a)); order != saved_.end()) {
        std::vector<uint32_t> handles;
        if (!read_into(order->second, &handles)) return;
        std::vector<SimSession> ordered;
        for (uint32_t h : handles)
          if (const SimSession* s = std::as_const(st).find(h)) ordered.push_back(*s);
        if (ordered.size() == st.sessions.size()) st.sessions = std::move(ordered);
      }
      if (network(part.a) != nullptr) sessions_.insert_or_assign(part.a, std::move(st));
      return;
    }
    default:
      return;
  }
}

// Each item is written into one buffer kept between commands, and copied
// out only when it differs from what the root keeps.
struct Simulator::ItemDiff {
  state::Writer w;
  const StateFile::Items& saved;
  std::vector<StateFile::Change>* batch;
  template <typename... V>
  void put(std::string key, const V&... values) {
    w.out.clear();
    (state::put(w, values), ...);
    auto it = saved.find(key);
    if (it == saved.end() || it->second != w.out) batch->push_back({std::move(key), w.out});
  }
  // An item the root keeps that is no longer there.
  void drop_kept(std::string key) {
    if (saved.count(key) != 0) batch->push_back({std::move(key), {}});
  }
};

void Simulator::diff_part(const Part& part, std::vector<StateFile::Change>* batch) {
  ItemDiff d{state::Writer{scratch_}, saved_, batch};
  switch (part.kind) {
    case kPartFlash:
      diff_flash(part.a, d);
      return;
    case kPartNetwork:
      if (auto it = networks_.find(part.a); it != networks_.end()) d.put(item_key(kPartNetwork, part.a), it->second);
      return;
    case kPartNic:
      if (auto it = nic_states_.find({part.a, part.b}); it != nic_states_.end())
        d.put(item_key(kPartNic, part.a, part.b), it->second);
      return;
    case kPartPort:
      for (const SimPort& p : topology_.ports)
        if (part.a < 0 || p.controller == part.a) d.put(item_key(kPartPort, p.controller, p.port), p);
      return;
    case kPartLuns:
      for (size_t t = 0; t < topology_.targets.size(); ++t)
        for (size_t l = 0; l < topology_.targets[t].luns.size(); ++l) {
          const SimLun& lun = topology_.targets[t].luns[l];
          d.put(item_key(kPartLuns, static_cast<int>(t), static_cast<int>(l)), lun.written, lun.check_conditions);
        }
      return;
    case kPartHost:
      d.put(item_key(kPartHost), interfaces_down_);
      return;
    case kPartIscsi:
      diff_iscsi(part.a, d);
      return;
    default:
      return;
  }
}

void Simulator::diff_flash(int controller, ItemDiff& d) {
  const auto held = flash_.find(controller);
  if (held == flash_.end()) return;
  for (const auto& [name, object] : held->second)
    for (size_t page = 0; page < flash_pages(object); ++page) {
      const size_t from = page * kFlashPage, n = std::min(kFlashPage, object.size() - std::min(from, object.size()));
      const std::string_view now =
          n > 0 ? std::string_view(reinterpret_cast<const char*>(object.data()) + from, n) : std::string_view();
      std::string key = flash_key(controller, name, page);
      auto it = saved_.find(key);
      if (it == saved_.end() || it->second != now) d.batch->push_back({std::move(key), std::string(now)});
    }
  const std::string prefix = flash_prefix(controller);
  for (auto it = saved_.lower_bound(prefix); it != saved_.end() && it->first.starts_with(prefix); ++it) {
    std::string name;
    size_t page = 0;
    if (!flash_item(it->first, prefix.size(), &name, &page)) continue;
    const auto object = held->second.find(name);
    if (object == held->second.end() || page >= flash_pages(object->second)) d.batch->push_back({it->first, {}});
  }
}

void Simulator::diff_iscsi(int device, ItemDiff& d) {
  auto held = sessions_.find(device);
  if (held == sessions_.end()) return;
  SimIscsi& st = held->second;
  if (st.changes_noted()) st.target_records.reset();
  d.put(item_key(kPartIscsi, device), st);
  // Target ids are given in rising order and taken back as their last
  // session goes: those reached, or all of them.
  const std::string ids_prefix = item_key(kTargetIdsItem, device).substr(0, 5);
  std::vector<uint32_t> ids = std::move(st.reached_targets);
  if (st.reached_all) {
    for (const auto& [id, name] : st.target_ids) ids.push_back(id);
    for (auto it = saved_.lower_bound(ids_prefix); it != saved_.end() && it->first.starts_with(ids_prefix); ++it)
      ids.push_back(static_cast<uint32_t>(number_at(it->first, 5)));
  }
  std::sort(ids.begin(), ids.end());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  for (uint32_t id : ids) {
    std::string key = item_key(kTargetIdsItem, device, static_cast<int>(id));
    const auto t = std::find_if(st.target_ids.begin(), st.target_ids.end(), [id](const auto& e) { return e.first == id; });
    if (t != st.target_ids.end())
      d.put(std::move(key), t->second);
    else
      d.drop_kept(std::move(key));
  }
  const std::string order_key = item_key(kOrderItem, device);
  std::vector<uint32_t>& before = saved_handles_[device];
  std::vector<uint32_t> compare = std::move(st.reached);
  std::sort(compare.begin(), compare.end());
  compare.erase(std::unique(compare.begin(), compare.end()), compare.end());
  // Responders make and take away sessions only as they reach them: the
  // sessions reached are all that changed, unless a test changed any, the
  // sessions lie in an order of their own, or the count says otherwise.
  bool all = st.reached_all || saved_.count(order_key) != 0;
  int64_t kept = static_cast<int64_t>(before.size());
  for (uint32_t h : compare) {
    const bool was = std::binary_search(before.begin(), before.end(), h);
    const bool is = std::as_const(st).find(h) != nullptr;
    kept += int{is} - int{was};
  }
  all |= kept != static_cast<int64_t>(st.sessions.size());
  if (all) {
    std::vector<uint32_t> now;
    now.reserve(st.sessions.size());
    for (const SimSession& s : st.sessions) now.push_back(s.handle);
    if (!std::is_sorted(now.begin(), now.end()))
      d.put(order_key, now);
    else
      d.drop_kept(order_key);
    // Every session there, and every one kept that went.
    compare = now;
    std::sort(now.begin(), now.end());
    for (uint32_t h : before)
      if (!std::binary_search(now.begin(), now.end(), h)) compare.push_back(h);
  }
  for (uint32_t h : compare) {
    std::string key = item_key(kSessionItem, device, static_cast<int>(h));
    if (const SimSession* s = std::as_const(st).find(h))
      d.put(std::move(key), *s);
    else if (std::binary_search(before.begin(), before.end(), h))
      d.batch->push_back({std::move(key), {}});
  }
  st.reached.clear();
  st.reached_targets.clear();
  st.reached_all = false;
}

void Simulator::reset_adapters() {
  for (auto& [controller, objects] : flash_) objects.clear();
  for (const SimFunction& f : topology_.functions) {
    if (auto it = networks_.find(f.iscsi_device); f.kind == FunctionKind::Iscsi && it != networks_.end())
      it->second = SimNetwork(f);
    if (auto it = nic_states_.find({f.controller, f.pci_function}); it != nic_states_.end())
      it->second = SimNicState(f);
  }
  for (auto& [device, st] : sessions_) {
    st = SimIscsi{};
    if (auto net = networks_.find(device); net != networks_.end()) initial_sessions(device, net->second, st);
  }
  for (size_t i = 0; i < topology_.ports.size() && i < initial_.ports.size(); ++i) topology_.ports[i] = initial_.ports[i];
  for (size_t t = 0; t < topology_.targets.size() && t < initial_.targets.size(); ++t)
    for (size_t l = 0; l < topology_.targets[t].luns.size() && l < initial_.targets[t].luns.size(); ++l) {
      topology_.targets[t].luns[l].written = initial_.targets[t].luns[l].written;
      topology_.targets[t].luns[l].check_conditions = initial_.targets[t].luns[l].check_conditions;
    }
  interfaces_down_.clear();
  saved_.clear();
  saved_handles_.clear();
  saved_bytes_ = 0;
}

StateFile::Items Simulator::adapter_items() {
  // Compared against nothing, every item of every part is written.
  StateFile::Items kept;
  std::map<int, std::vector<uint32_t>> kept_handles;
  std::swap(kept, saved_);
  std::swap(kept_handles, saved_handles_);
  std::vector<StateFile::Change> batch;
  for (const auto& [controller, objects] : flash_) diff_part(Part{kPartFlash, controller}, &batch);
  for (const auto& [device, net] : networks_) diff_part(Part{kPartNetwork, device}, &batch);
  for (auto& [device, st] : sessions_) {
    st.reached_all = true;
    diff_part(Part{kPartIscsi, device}, &batch);
  }
  for (const auto& [key, nic] : nic_states_) diff_part(Part{kPartNic, key.first, key.second}, &batch);
  for (const Part& p : {Part{kPartPort, -1}, Part{kPartLuns}, Part{kPartHost}}) diff_part(p, &batch);
  std::swap(kept, saved_);
  std::swap(kept_handles, saved_handles_);
  StateFile::Items items;
  for (StateFile::Change& c : batch) items[std::move(c.key)] = std::move(*c.value);
  return items;
}

void Simulator::power_cycle() {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (state_file_) {
    const bool locked = state_file_->lock();
    state_file_->remove();
    if (locked) state_file_->unlock();
  }
  reset_adapters();
  dirty_.clear();
}

void Simulator::rewind_adapters() {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (!state_file_ || !state_file_->lock()) return;
  if (!state_file_->rewind()) {
    StateFile::Items items = adapter_items();
    saved_.clear();
    saved_handles_.clear();
    saved_bytes_ = 0;
    if (state_file_->replace(items))
      for (auto& [key, value] : items) keep_item(StateFile::Change{key, std::move(value)});
  }
  state_file_->unlock();
}

void Simulator::install_state_file() {
  for (const auto& read : kReads) reads_.insert(read);
  initial_ = topology_;
  if (root_.empty()) return;
  // Another topology's adapters, or another build's bytes, are not these.
  uint64_t fingerprint = topology_.fingerprint;
  for (const uint64_t layout : {uint64_t{1}, uint64_t{sizeof(void*)}, uint64_t{sizeof(SimSession)},
                                uint64_t{sizeof(SimPort)}, uint64_t{sizeof(SimNetwork)}, uint64_t{sizeof(SimNicState)}})
    fingerprint = (fingerprint ^ layout) * 0x100000001B3ull;
  state_file_ = std::make_unique<StateFile>(root_, fingerprint);
  // A root that is no folder keeps nothing (the library refuses it).
  if (!state_file_->open(&state_failure_)) state_file_.reset();
}

}  // namespace tavo::sim
