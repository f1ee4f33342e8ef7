// Adding, finding and deleting nodes; instance rings; links.
#include <ctype.h>
#include <stdio.h>
#include <stddef.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <atomic>
#include <bit>
#include <thread>
#include <cstddef>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "tree/state_changes.h"
#include "tree/tree_internal.h"

namespace tavo::tree {

bool is_instanced_group(const TavoNode* n) {
  return n != nullptr && n->kind == TAVO_KIND_GROUP && n->record != nullptr &&
         static_cast<const TavoGroupRecord*>(n->record)->instance != nullptr;
}

TavoNode* follow_links(TavoNode* n) {
  // A link never points at a link, but a bounded walk costs nothing.
  for (int i = 0; n != nullptr && n->kind == TAVO_KIND_LINK && i < 64; ++i) {
    TavoLinkRecord* l = link_record(n);
    n = l ? l->target : nullptr;
  }
  return n;
}

int32_t instance_number(const TavoNode* n) {
  return is_instanced_group(n) ? static_cast<const TavoGroupRecord*>(n->record)->instance->instance_number : -1;
}

void display_name(const TavoNode* n, char out[TAVO_NAME_SIZE]) {
  // "%s%d" cut to TAVO_NAME_SIZE - 1, without the cost of a format.
  size_t len = 0;
  for (const char* p = n->name; p != nullptr && *p != '\0' && len < TAVO_NAME_SIZE - 1; ++p) out[len++] = *p;
  if (is_instanced_group(n)) {
    char digits[12];
    const size_t count = write_decimal(digits, instance_number(n));
    for (size_t i = 0; i < count && len < TAVO_NAME_SIZE - 1; ++i) out[len++] = digits[i];
  }
  out[len] = '\0';
}

size_t write_decimal(char (&out)[12], int64_t number) {
  char reversed[10];  // enough for any 32-bit number
  size_t count = 0;
  uint64_t v = number < 0 ? 0u - static_cast<uint64_t>(number) : static_cast<uint64_t>(number);
  do {
    reversed[count++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0 && count < sizeof reversed);
  size_t len = 0;
  if (number < 0) out[len++] = '-';
  while (count > 0) out[len++] = reversed[--count];
  out[len] = '\0';
  return len;
}

void copy_params(char (*to)[TAVO_VALUE_SIZE], const char* from) {
  for (int i = 0; i < TAVO_MAX_PARAMS; ++i) {
    memcpy(to[i], from + i * TAVO_VALUE_SIZE, TAVO_VALUE_SIZE);
    to[i][TAVO_VALUE_SIZE - 1] = '\0';
  }
}

uint64_t runtime_name_hash(const char* name) { return name_hash(name, strnlen(name, TAVO_NAME_SIZE - 1)); }

namespace {

// Node blocks of up to kPooledTo bytes are carved in order from chunks,
// and a freed one waits on its size's list for the next node of that size:
// a group's build makes dozens of nodes of a few sizes, and malloc would
// look for each among the heap's freed blocks. Every block starts with a
// header naming its size class (0: a block of tavo_dmalloc's). Under
// AddressSanitizer every block is tavo_dmalloc's.
constexpr bool kPooled = tavo::base::kReuseFreedBlocks;
constexpr size_t kBlockAlign = alignof(std::max_align_t);
constexpr size_t kHeader = kBlockAlign;
constexpr size_t kClassStep = 64, kPooledTo = 2048, kPoolClasses = kPooledTo / kClassStep;
constexpr size_t kChunk = size_t{64} << 10;
static_assert(kClassStep % kBlockAlign == 0 && sizeof(void*) <= kHeader && sizeof(uint32_t) <= kHeader);

// Never destroyed (a node may be freed while the process exits); a freed
// block is kept for the next node. Once no block is in use (the trees are
// gone) the chunks go back to malloc, so a stopped library holds nothing.
struct NodePool {
  std::atomic_flag busy;
  void* free[kPoolClasses];  // a freed block's header links the next
  char* carve;
  size_t left;
  void* chunks;  // each chunk's first word links the one made before
  size_t used;   // blocks given out and not yet back
};
constinit NodePool node_pool{};

// A short hold: taking or giving back one block.
class PoolHold {
 public:
  PoolHold() {
    while (node_pool.busy.test_and_set(std::memory_order_acquire)) std::this_thread::yield();
  }
  ~PoolHold() { node_pool.busy.clear(std::memory_order_release); }
  PoolHold(const PoolHold&) = delete;
  PoolHold& operator=(const PoolHold&) = delete;
};

void* pooled_block(size_t c) {
  const size_t bytes = (c + 1) * kClassStep;
  PoolHold hold;
  void* block = node_pool.free[c];
  if (block != nullptr) {
    memcpy(&node_pool.free[c], block, sizeof(void*));
    ++node_pool.used;
    return block;
  }
  if (node_pool.left < bytes) {
    auto* chunk = static_cast<char*>(malloc(kChunk));
    if (chunk == nullptr) return nullptr;
    memcpy(chunk, &node_pool.chunks, sizeof(void*));
    node_pool.chunks = chunk;
    node_pool.carve = chunk + kBlockAlign;
    node_pool.left = kChunk - kBlockAlign;
  }
  block = node_pool.carve;
  node_pool.carve += bytes;
  node_pool.left -= bytes;
  ++node_pool.used;
  return block;
}

// A block back on its list; with the last one every chunk goes.
void pool_release(char* block, uint32_t c) {
  PoolHold hold;
  memcpy(block, &node_pool.free[c], sizeof(void*));
  node_pool.free[c] = block;
  if (--node_pool.used != 0) return;
  for (void* chunk = node_pool.chunks; chunk != nullptr;) {
    void* before;
    memcpy(&before, chunk, sizeof(void*));
    ::free(chunk);
    chunk = before;
  }
  for (void*& list : node_pool.free) list = nullptr;
  node_pool.chunks = nullptr;
  node_pool.carve = nullptr;
  node_pool.left = 0;
}

// size bytes after a header: the node's block.
char* node_block(size_t size) {
  uint32_t c = 0;
  char* block = nullptr;
  if (kPooled && size + kHeader <= kPooledTo) {
    const size_t index = (size + kHeader - 1) / kClassStep;
    block = static_cast<char*>(pooled_block(index));
    if (block == nullptr) return nullptr;
    __atomic_fetch_add(&tavo_counter, 1, __ATOMIC_RELAXED);
    c = static_cast<uint32_t>(index + 1);
  } else {
    block = static_cast<char*>(tavo_dmalloc(size + kHeader));
    if (block == nullptr) return nullptr;
  }
  memcpy(block, &c, sizeof c);
  return block + kHeader;
}

}  // namespace

TavoNode* new_node(uint32_t kind, const char* name, const char* description, TavoNode* parent, size_t record_size,
                   Texts texts) {
  constexpr size_t align = alignof(std::max_align_t);
  const size_t record_at = (sizeof(TavoNode) + align - 1) / align * align;
  const size_t name_at = record_at + record_size;
  const bool copied = texts == Texts::Copied;
  const size_t name_size = copied && name != nullptr ? strlen(name) + 1 : 0;
  const size_t description_size = copied && description != nullptr ? strlen(description) + 1 : 0;
  char* block = node_block(name_at + name_size + description_size);
  if (block == nullptr) return nullptr;
  memset(block, 0, name_at);
  auto* n = reinterpret_cast<TavoNode*>(block);
  n->kind = kind;
  n->parent = parent;
  if (record_size != 0) n->record = block + record_at;
  if (!copied) {
    // Never written through: the node's texts are only read.
    n->name = const_cast<char*>(name);
    n->description = const_cast<char*>(description);
  } else {
    if (name != nullptr) n->name = static_cast<char*>(memcpy(block + name_at, name, name_size));
    if (description != nullptr)
      n->description = static_cast<char*>(memcpy(block + name_at + name_size, description, description_size));
  }
  return n;
}

void free_node(TavoNode* n) {
  if (n == nullptr) return;
  char* block = reinterpret_cast<char*>(n) - kHeader;
  uint32_t c;
  memcpy(&c, block, sizeof c);
  if (c == 0) {
    tavo_dfree(block);
    return;
  }
  __atomic_fetch_sub(&tavo_counter, 1, __ATOMIC_RELAXED);
  pool_release(block, c - 1);
}

TavoNodeRef node_ref(const TavoNode* n) {
  const TavoHierarchy* h = hm_find_hierarchy_by_node(n);
  if (h == nullptr) return TavoNodeRef{0, 0};
  return TavoNodeRef{n->tag, h->tag_generation[n->tag]};
}

TavoNode* ref_node(const TavoHierarchy* h, TavoNodeRef ref) {
  if (h == nullptr || ref.generation == 0 || ref.tag >= h->capacity || h->tag_generation[ref.tag] != ref.generation)
    return nullptr;
  return h->tag_table[ref.tag];
}

bool shows_name(const TavoNode* n, const char* name) {
  if (!is_instanced_group(n)) return strncasecmp(n->name != nullptr ? n->name : "", name, TAVO_NAME_SIZE - 1) == 0;
  char shown[TAVO_NAME_SIZE];
  display_name(n, shown);
  return strncasecmp(shown, name, TAVO_NAME_SIZE - 1) == 0;
}

bool linked_from_outside(TavoNode* node) {
  bool any = false;
  for_each_in_subtree(node, [&](TavoNode* n) { any |= n->link_count != 0; });
  if (!any) return false;
  // Links inside the subtree go with it; only the others hold it in place.
  std::unordered_map<TavoNode*, uint32_t> inside;
  for_each_in_subtree(node, [&](TavoNode* n) { inside[n] = 0; });
  for_each_in_subtree(node, [&](TavoNode* n) {
    if (n->kind == TAVO_KIND_LINK && link_record(n) && inside.count(link_record(n)->target))
      ++inside[link_record(n)->target];
  });
  for (auto& [n, count] : inside)
    if (n->link_count > count) return true;
  return false;
}

}  // namespace tavo::tree

using namespace tavo::tree;

namespace {

// The key of a parent and a display name without case (cut as display
// names are): every key of the name and ring indexes is made so.
uint64_t name_key(const TavoNode* parent, const char* shown) { return child_key(parent, name_hash(shown)); }

// The same as name_key(n->parent, display name of n).
uint64_t name_key(const TavoNode* n) {
  if (!is_instanced_group(n)) return name_key(n->parent, n->name != nullptr ? n->name : "");
  char shown[TAVO_NAME_SIZE];
  display_name(n, shown);
  return name_key(n->parent, shown);
}

// Every node but a hierarchy's root by its parent and its display name
// without case, so that a child is found by name, and a new node's twin,
// without walking the siblings. Open addressing in one array: a node added
// or deleted costs no allocation of its own.
class NameIndex {
 public:
  void insert(uint64_t key, TavoNode* node) {
    if ((count_ + 1) * 2 > slots_.size()) grow();
    size_t i = home(key);
    while (slots_[i].node != nullptr) i = (i + 1) & mask();
    slots_[i] = Entry{key, node};
    ++count_;
  }

  // Starts bringing the slot a key's probe begins at into the cache.
  void prefetch(uint64_t key) const {
    if (!slots_.empty()) __builtin_prefetch(&slots_[home(key)], 1);
  }

  void erase(uint64_t key, const TavoNode* node) {
    if (slots_.empty()) return;
    size_t i = home(key);
    for (; slots_[i].node != nullptr; i = (i + 1) & mask())
      if (slots_[i].node == node) break;
    if (slots_[i].node == nullptr) return;
    // Entries after the hole that could not sit at their home move back,
    // so every probe still meets its entries before an empty slot.
    for (size_t j = (i + 1) & mask(); slots_[j].node != nullptr; j = (j + 1) & mask()) {
      const size_t h = home(slots_[j].key);
      if (((j - h) & mask()) >= ((j - i) & mask())) {
        slots_[i] = slots_[j];
        i = j;
      }
    }
    slots_[i] = Entry{};
    --count_;
  }

  // Calls fn(node) for each node of that key until fn answers false.
  template <typename Fn>
  void each(uint64_t key, Fn&& fn) const {
    if (slots_.empty()) return;
    for (size_t i = home(key); slots_[i].node != nullptr; i = (i + 1) & mask())
      if (slots_[i].key == key && !fn(slots_[i].node)) return;
  }

  // Drops every node for which drop(node) is true, at once.
  template <typename Drop>
  void drop_all(Drop&& drop) {
    std::vector<Entry> kept;
    for (const Entry& e : slots_)
      if (e.node != nullptr && !drop(e.node)) kept.push_back(e);
    slots_.assign(slots_.size(), Entry{});
    count_ = 0;
    for (const Entry& e : kept) insert(e.key, e.node);
  }

 private:
  struct Entry {
    uint64_t key = 0;
    TavoNode* node = nullptr;  // none: an empty slot
  };

  size_t mask() const { return slots_.size() - 1; }
  size_t home(uint64_t key) const { return static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> shift_); }

  void grow() {
    std::vector<Entry> old;
    old.swap(slots_);
    const size_t size = old.empty() ? 1024 : old.size() * 2;
    slots_.assign(size, Entry{});
    shift_ = 64 - std::countr_zero(size);
    // The count stays: every entry comes back, into room enough.
    for (const Entry& e : old) {
      if (e.node == nullptr) continue;
      size_t i = home(e.key);
      while (slots_[i].node != nullptr) i = (i + 1) & mask();
      slots_[i] = e;
    }
  }

  std::vector<Entry> slots_;
  size_t count_ = 0;
  int shift_ = 64;
};

NameIndex& name_index() {
  static NameIndex index;
  return index;
}

void name_index_forget(TavoNode* node) { name_index().erase(name_key(node), node); }

// Only an instance of the same number, or a link to the same target, of
// the same name counts as the node already there.
bool are_twins(const TavoNode* a, const TavoNode* b) {
  if (a->parent != b->parent || a->kind != b->kind || strcasecmp(a->name, b->name) != 0) return false;
  if (a->kind == TAVO_KIND_LINK)
    return a->record != nullptr && b->record != nullptr &&
           static_cast<const TavoLinkRecord*>(a->record)->target == static_cast<const TavoLinkRecord*>(b->record)->target;
  return is_instanced_group(a) && is_instanced_group(b) && instance_number(a) == instance_number(b);
}

void ring_insert_after(TavoNode* parent, TavoNode* after, TavoNode* node) {
  TavoGroupRecord* p = group_record(parent);
  node->prev = after;
  node->next = after->next;
  if (after->next == parent)
    p->last_child = node;
  else
    after->next->prev = node;
  after->next = node;
}

void ring_insert_before(TavoNode* parent, TavoNode* before, TavoNode* node) {
  TavoGroupRecord* p = group_record(parent);
  node->next = before;
  node->prev = before->prev;
  if (before->prev == parent)
    p->first_child = node;
  else
    before->prev->next = node;
  before->prev = node;
}

void ring_remove(TavoNode* node) {
  TavoNode* parent = node->parent;
  if (parent == nullptr || parent == node || parent->record == nullptr) return;
  TavoGroupRecord* p = group_record(parent);
  if (node->prev == parent)
    p->first_child = node->next == parent ? parent : node->next;
  else
    node->prev->next = node->next;
  if (node->next == parent)
    p->last_child = node->prev == parent ? parent : node->prev;
  else
    node->next->prev = node->prev;
  node->next = node->prev = node;
}

bool has_children(const TavoNode* group) {
  if (group == nullptr || group->kind != TAVO_KIND_GROUP || group->record == nullptr) return false;
  return static_cast<const TavoGroupRecord*>(group->record)->first_child != group;
}

// A ring's sentinel carries the key it is indexed by, so that it leaves the
// index even when the instances' parent is gone first (a tear-down).
struct SentinelRecord {
  TavoGroupRecord group;
  TavoInstanceRecord instance;
  uint64_t key;
};

// Every instance ring's sentinel by the ring's parent and exact group name
// (the key folds case, a hit is checked exactly): a ring is found without
// walking the parent's children.
NameIndex& ring_index() {
  static NameIndex index;
  return index;
}

// get_first_instance with the key of group and name worked out already.
TavoNode* first_instance_by_key(TavoNode* group, const char* name, uint64_t key) {
  if (group == nullptr || name == nullptr || group->kind != TAVO_KIND_GROUP || group->record == nullptr) return nullptr;
  TavoNode* lowest = nullptr;
  ring_index().each(key, [&](TavoNode* sentinel) {
    TavoNode* first = group_record(sentinel)->instance->next_instance;
    if (first->parent != group || strcmp(first->name, name) != 0) return true;
    lowest = first;
    return false;
  });
  return lowest;
}

// Puts a new instance into its ring (creating the sentinel for the first).
enum class Joined { Failed, NewRing, Ring };
Joined join_instance_ring(TavoNode* node) {
  TavoInstanceRecord* mine = group_record(node)->instance;
  // The ring's key, for the search and for a new sentinel alike.
  const uint64_t key = name_key(node->parent, node->name != nullptr ? node->name : "");
  TavoNode* first = first_instance_by_key(node->parent, node->name, key);
  if (first != nullptr) {
    // From the highest instance down: new instances mostly come last.
    TavoNode* cur = group_record(first)->instance->prev_instance;  // the sentinel
    for (TavoNode* below = group_record(cur)->instance->prev_instance;
         instance_number(below) != -1 && instance_number(below) > mine->instance_number;
         below = group_record(below)->instance->prev_instance)
      cur = below;
    TavoInstanceRecord* at = group_record(cur)->instance;
    mine->next_instance = cur;
    mine->prev_instance = at->prev_instance;
    group_record(at->prev_instance)->instance->next_instance = node;
    at->prev_instance = node;
    return Joined::Ring;
  }
  TavoNode* sentinel = new_node(TAVO_KIND_GROUP, nullptr, nullptr, nullptr, sizeof(SentinelRecord));
  if (sentinel == nullptr) return Joined::Failed;
  auto* record = static_cast<SentinelRecord*>(sentinel->record);
  auto* srec = &record->group;
  auto* sinst = &record->instance;
  record->key = key;
  srec->first_child = srec->last_child = sentinel;
  srec->instance = sinst;
  sinst->slot_bitmap = mine->slot_bitmap;
  sinst->max_instances = mine->max_instances;
  sinst->first_instance = mine->first_instance;
  sinst->instance_number = -1;
  sinst->next_instance = sinst->prev_instance = node;
  mine->next_instance = mine->prev_instance = sentinel;
  ring_index().insert(record->key, sentinel);
  return Joined::NewRing;
}

void free_sentinel(TavoNode* sentinel) {
  ring_index().erase(static_cast<SentinelRecord*>(sentinel->record)->key, sentinel);
  free_node(sentinel);
}

// Leaves the instance ring; releases the sentinel when the ring is empty.
void leave_instance_ring(TavoNode* node) {
  TavoInstanceRecord* mine = group_record(node)->instance;
  if (mine->next_instance == nullptr) return;
  TavoNode* next = mine->next_instance;
  TavoNode* prev = mine->prev_instance;
  group_record(prev)->instance->next_instance = next;
  group_record(next)->instance->prev_instance = prev;
  int32_t slot = mine->instance_number - mine->first_instance;
  if (slot >= 0) {
    clear_bit(mine->slot_bitmap, mine->max_instances, static_cast<uint32_t>(slot));
    slot_freed(mine->slot_bitmap, slot);
  }
  if (next == prev && instance_number(next) == -1) free_sentinel(next);
  mine->next_instance = mine->prev_instance = nullptr;
}

void release_node(TavoNode* node, bool dynamic) {
  if (dynamic) {
    free_node(node);  // its record with it
    return;
  }
  switch (node->kind) {
    case TAVO_KIND_GROUP:
      if (node->record != nullptr) tavo_dfree(group_record(node)->instance);
      tavo_dfree(node->record);
      break;
    case TAVO_KIND_PROPERTY:
    case TAVO_KIND_LINK:
      tavo_dfree(node->record);
      break;
    default:  // an action's descriptor is static
      break;
  }
  node->record = nullptr;
}

// Deletes one node whose children are gone already.
void delete_leaf(TavoHierarchy* h, TavoNode* node) {
  bool dynamic = !is_static_node(node);
  name_index_forget(node);
  if (node->kind == TAVO_KIND_LINK) {
    TavoLinkRecord* l = link_record(node);
    if (l && l->target && l->target->link_count > 0) --l->target->link_count;
  }
  if (is_instanced_group(node)) leave_instance_ring(node);
  if (node->tag < h->capacity && h->tag_table[node->tag] == node) {
    clear_bit(h->tag_bitmap, h->capacity, node->tag);
    h->tag_table[node->tag] = nullptr;
    tag_freed(h, node->tag);
  }
  ring_remove(node);
  release_node(node, dynamic);
}

// The whole tree of h goes (its tear-down): nothing outside it is left to
// keep in step, so its nodes are freed without leaving the name index, the
// tag table and their siblings one at a time. Instance rings are still
// left one by one, for their sentinels and the slot bitmaps, which outlive
// the tree until the slot areas are released.
void delete_whole_tree(TavoHierarchy* h) {
  const auto in_tree = [h](const TavoNode* n) { return n->tag < h->capacity && h->tag_table[n->tag] == n; };
  name_index().drop_all(in_tree);
  // Only a target elsewhere outlives the links to it.
  for (uint32_t t = 0; t < h->capacity; ++t) {
    TavoNode* n = h->tag_table[t];
    if (n == nullptr || n->kind != TAVO_KIND_LINK || link_record(n) == nullptr) continue;
    TavoNode* target = link_record(n)->target;
    if (target != nullptr && !in_tree(target) && target->link_count > 0) --target->link_count;
  }
  for_each_in_subtree(h->root, [](TavoNode* n) {
    if (is_instanced_group(n)) leave_instance_ring(n);
    release_node(n, !is_static_node(n));
  });
  memset(h->tag_table, 0, h->capacity * sizeof(TavoNode*));
  memset(h->tag_bitmap, 0, h->capacity / 8 + 1);
  tag_freed(h, 0);
}

}  // namespace

namespace {

// node_exists for an instance or a link whose key is worked out already.
bool has_twin(const TavoNode* node, uint64_t key) {
  if (node->parent == nullptr || node->parent == node || !has_children(node->parent)) return false;
  // A twin shows the same display name.
  bool twin = false;
  name_index().each(key, [&](const TavoNode* n) { return !(twin = are_twins(n, node)); });
  return twin;
}

// The lowest free tag of h for node, the table grown when full (taken at
// once with take); -1 when none can be had, or when twin_key is given and
// node has a twin.
int32_t free_tag(TavoHierarchy* h, const TavoNode* node, const uint64_t* twin_key, bool take = false) {
  for (;;) {
    const int32_t tag = take ? take_lowest_free_tag(h) : lowest_free_tag(h);
    if (twin_key != nullptr && has_twin(node, *twin_key)) return -1;
    if (tag >= 0 && static_cast<uint32_t>(tag) > h->max_tag_count) printf("BUG %d\n", tag);
    if (tag >= 0) return tag;
    if (h->capacity > 239343095u) {
      printf("Hierarchy FULL!");
      return -1;
    }
    if (reinit_hm(h) != 0) return -1;
  }
}

// The slot of a node's taken tag names it: a new generation of the slot,
// so references to its former nodes go stale.
void fill_tag_slot(TavoHierarchy* h, TavoNode* node) {
  const uint32_t tag = node->tag;
  h->tag_table[tag] = node;
  if (++h->tag_generation[tag] == 0) h->tag_generation[tag] = 1;
}

// The tag of a node put into its parent's ring is taken.
void take_tag(TavoHierarchy* h, TavoNode* node) {
  set_bit(h->tag_bitmap, h->capacity, node->tag);
  tag_taken(h, node->tag);
  fill_tag_slot(h, node);
}

}  // namespace

int32_t node_exists(const TavoNode* node) {
  if (node == nullptr) return 0;
  if (!is_instanced_group(node) && node->kind != TAVO_KIND_LINK) return 0;
  if (node->parent == nullptr || node->parent == node || !has_children(node->parent)) return 0;
  return has_twin(node, name_key(node)) ? 1 : 0;
}

int32_t add_node(TavoNode* node, TavoHierarchy* h) {
  if (node == nullptr || h == nullptr || h->tag_bitmap == nullptr) return -1;
  // Only an instance or a link can have a twin (node_exists); its key,
  // worked out once, serves the index too.
  const bool twin_possible = node->kind == TAVO_KIND_LINK || is_instanced_group(node);
  const bool indexed = node->parent != nullptr && node->parent != node;
  const uint64_t key = twin_possible && indexed ? name_key(node) : 0;
  const int32_t tag = free_tag(h, node, twin_possible && indexed ? &key : nullptr);
  if (tag < 0) return -1;
  node->tag = static_cast<uint32_t>(tag);
  bool joined_ring = false;
  if (node->kind == TAVO_KIND_GROUP) {
    if (node->record == nullptr) return -1;
    if (is_instanced_group(node) && node->parent != nullptr && node->parent != node) {
      const Joined joined = join_instance_ring(node);
      if (joined == Joined::Failed) return -1;
      joined_ring = joined == Joined::Ring;
    }
    group_record(node)->first_child = group_record(node)->last_child = node;
  }
  TavoNode* parent = node->parent;
  if (parent == nullptr || parent == node) {
    node->next = node->prev = node;
  } else if (!has_children(parent)) {
    node->next = node->prev = parent;
    group_record(parent)->first_child = group_record(parent)->last_child = node;
  } else if (joined_ring) {
    TavoInstanceRecord* mine = group_record(node)->instance;
    if (instance_number(mine->next_instance) == -1)
      ring_insert_after(parent, mine->prev_instance, node);
    else
      ring_insert_before(parent, mine->next_instance, node);
  } else {
    ring_insert_after(parent, group_record(parent)->last_child, node);
  }
  take_tag(h, node);
  if (indexed) name_index().insert(twin_possible ? key : name_key(node), node);
  return tag;
}

void tavo::tree::prefetch_child_slot(const TavoNode* parent, uint64_t hash) {
  name_index().prefetch(child_key(parent, hash));
}

int32_t tavo::tree::add_defined_child(TavoNode* node, TavoHierarchy* h, uint64_t hash) {
  // No twin to look for, the tag taken at once: nothing below can fail.
  const int32_t tag = free_tag(h, node, nullptr, true);
  if (tag < 0) return -1;
  node->tag = static_cast<uint32_t>(tag);
  TavoNode* parent = node->parent;
  TavoGroupRecord* p = group_record(parent);
  if (p->first_child == parent) {
    node->next = node->prev = parent;
    p->first_child = p->last_child = node;
  } else {
    ring_insert_after(parent, p->last_child, node);
  }
  fill_tag_slot(h, node);
  name_index().insert(child_key(parent, hash), node);
  return tag;
}

TavoNode* get_dynamic_ancester(TavoNode* node) {
  for (int depth = 0; node != nullptr && depth < 4096; ++depth) {
    if (is_instanced_group(node)) return node;
    if (node->tag == 0 || node->parent == nullptr || node->parent == node) return nullptr;
    node = node->parent;
  }
  return nullptr;
}

uint32_t delete_node(TavoNode* node) {
  if (node == nullptr) return 1;
  if (node->link_count != 0 || linked_from_outside(node)) return 4;
  _delete_node(node);
  return 0;
}

void _delete_node(TavoNode* node) {
  TavoHierarchy* h = hm_find_hierarchy_by_node(node);
  if (h == nullptr) return;
  tavo::tree::count_deletion();
  if (node == h->root) {
    delete_whole_tree(h);
    return;
  }
  // Links go first, so no link is ever left pointing at a freed node: those
  // inside the subtree, then any outside link that points into it. A link
  // may point at another link, so every doomed link lets go of its target
  // while all targets still stand, and only then are they freed.
  std::vector<TavoNode*> links;
  bool targeted = false;
  for_each_in_subtree(node, [&](TavoNode* n) {
    targeted |= n->link_count != 0;
    if (n->kind == TAVO_KIND_LINK && n != node) links.push_back(n);
  });
  if (targeted) {
    std::unordered_set<const TavoNode*> inside;
    for_each_in_subtree(node, [&](TavoNode* n) { inside.insert(n); });
    for (uint32_t t = 0; t < h->capacity; ++t) {
      TavoNode* n = h->tag_table[t];
      if (n && n->kind == TAVO_KIND_LINK && !inside.count(n) && link_record(n) && inside.count(link_record(n)->target))
        links.push_back(n);
    }
  }
  for (TavoNode* l : links) {
    TavoLinkRecord* r = link_record(l);
    if (r == nullptr || r->target == nullptr) continue;
    if (r->target->link_count > 0) --r->target->link_count;
    r->target = nullptr;
  }
  for (TavoNode* l : links) delete_leaf(h, l);
  for_each_in_subtree(node, [&](TavoNode* n) { delete_leaf(h, n); });
}

TavoNode* create_link(TavoNode* parent, const char* name, TavoNode* target, TavoNode* creating_node,
                      TavoNode* creating_action, const char* params) {
  if (parent == nullptr || name == nullptr || target == nullptr) return nullptr;
  TavoHierarchy* h = hm_find_hierarchy_by_node(parent);
  if (h == nullptr) return nullptr;
  TavoNode* node = new_node(TAVO_KIND_LINK, name, target->description != nullptr ? target->description : "", parent,
                            sizeof(TavoLinkRecord));
  if (node == nullptr) return nullptr;
  TavoLinkRecord* rec = link_record(node);
  rec->target = target;
  rec->creating_node = node_ref(creating_node);
  rec->creating_action = node_ref(creating_action);
  if (params != nullptr) copy_params(rec->params, params);
  if (add_node(node, h) < 0) {
    free_node(node);
    return nullptr;
  }
  if (rec->creating_action.generation != 0) rec->persistence_priority = persistency_priority++;
  ++target->link_count;
  return node;
}

TavoNode* get_first_instance(TavoNode* group, const char* name) {
  if (group == nullptr || name == nullptr || group->kind != TAVO_KIND_GROUP || group->record == nullptr) return nullptr;
  return first_instance_by_key(group, name, name_key(group, name));
}

namespace tavo::tree {

TavoNode* named_child(TavoNode* group, const char* name, ChildFilter keep, const void* filter) {
  TavoNode* found = nullptr;
  bool namesakes = false;
  name_index().each(name_key(group, name), [&](TavoNode* c) {
    if (c->parent != group || !shows_name(c, name) || !keep(c, filter)) return true;
    if (found == nullptr) {
      found = c;
      return true;
    }
    namesakes = true;
    return false;
  });
  if (!namesakes) return found;
  // Namesakes: the one that comes first among the children.
  for (TavoNode* c = group_record(group)->first_child; c != group; c = c->next)
    if (shows_name(c, name) && keep(c, filter)) return c;
  return nullptr;
}

}  // namespace tavo::tree
