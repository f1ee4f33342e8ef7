// Nodes filed under keys, so that a lookup reads the few nodes filed under
// its key rather than walking every group of their kind. Each entry keeps
// its node's reference: an entry whose node the tree deleted, or that no
// longer answers to its key, is dropped when met, never read through its
// (maybe freed) node. Whoever changes what a node answers to files it
// again; the index answers only nodes that answer to the key now.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <functional>
#include <iterator>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "tree/tree.h"

namespace tavo::iscsi {

// What nodes are filed by: the group they are found under and a number
// that stands for what they answer to there.
struct GroupKey {
  const TavoNode* group;
  uint64_t value;
  bool operator==(const GroupKey&) const = default;
};
struct GroupKeyHash {
  size_t operator()(const GroupKey& k) const {
    return std::hash<const void*>()(k.group) ^ static_cast<size_t>(k.value * 0x9E3779B97F4A7C15ull);
  }
};

// answers(key, node): whether a live node answers to key. A parameter of
// the type, not a pointer the index keeps: each index has its one rule.
template <bool (*answers)(const GroupKey& key, TavoNode* node)>
class NodeIndex {
 public:
  using Key = GroupKey;

  void note(const Key& key, TavoNode* node) {
    const TavoHierarchy* h = hm_find_hierarchy_by_node(node);
    if (h == nullptr) return;
    // Entries of deleted nodes go once they may outnumber the live ones.
    if (entries_ >= 2 * swept_ + 64) sweep();
    std::vector<Entry>& at = map_[key];
    const Entry entry{h, tree::node_ref(node), node};
    for (Entry& e : at) {
      if (e.node == node) {
        e = entry;
        return;
      }
    }
    at.push_back(entry);
    ++entries_;
  }

  // Every entry goes, with the room (the library stops).
  void release() {
    std::unordered_map<Key, std::vector<Entry>, GroupKeyHash>().swap(map_);
    entries_ = swept_ = 0;
  }
  // Calls f(node) for each node filed under key that answers to it; f
  // files nothing.
  template <typename F>
  void each(const Key& key, F&& f) {
    const auto it = map_.find(key);
    if (it == map_.end()) return;
    std::vector<Entry>& at = it->second;
    // One pass: an entry that holds is answered where it stays.
    for (size_t i = 0; i < at.size();) {
      if (holds(key, at[i])) {
        f(at[i++].node);
        continue;
      }
      at[i] = at.back();
      at.pop_back();
      --entries_;
    }
    if (at.empty()) map_.erase(it);
  }

 private:
  struct Entry {
    const TavoHierarchy* h;
    TavoNodeRef ref;
    TavoNode* node;
  };
  bool holds(const Key& key, const Entry& e) const {
    return tree::ref_node(e.h, e.ref) == e.node && answers(key, e.node);
  }
  void sweep() {
    entries_ = 0;
    for (auto it = map_.begin(); it != map_.end();) {
      std::erase_if(it->second, [&](const Entry& e) { return !holds(it->first, e); });
      entries_ += it->second.size();
      it = it->second.empty() ? map_.erase(it) : std::next(it);
    }
    swept_ = entries_;
  }

  std::unordered_map<Key, std::vector<Entry>, GroupKeyHash> map_;
  size_t entries_ = 0;
  size_t swept_ = 0;  // the entries the last sweep left
};

}  // namespace tavo::iscsi

namespace tavo::target_data {

// The hook of the Target builder: built_target knows every Target by the
// name the code that built it gives it.
void note_target(TavoNode* target);
// The first (instance order) built Target under lhba named name, case
// aside; null for none. find_target (iscsi/targets/targets.h) finds one
// that waits too.
TavoNode* built_target(TavoNode* lhba, const char* name);
// Every Target forgotten, with the index's room (the library stops).
void release_target_names();
// The stored TargetISCSIName of a Target (never its handler), found among
// its first children; null without one.
const char* target_stored_name(TavoNode* target);
// A hash of a target's name as Targets are told apart (strcasecmp): names
// that differ only in ASCII case hash alike.
uint64_t target_name_hash(std::string_view name);

}  // namespace tavo::target_data
