// How nodes are made and given back: the library's nodes one block each,
// from the node pool (or tavo_dmalloc); a caller's nodes, added through the
// exported add_node, each part a block of tavo_dmalloc; ROOT and its
// properties static. release_node frees every node the way it was made.
#include <stdlib.h>
#include <string.h>

#include <atomic>
#include <cstddef>
#include <thread>
#include <unordered_set>

#include "tree/tree_internal.h"

namespace tavo::tree {
namespace {

// Node blocks of up to kPooledTo bytes are carved in order from chunks,
// and a freed one waits on its size's list for the next node of that size:
// a group's build makes dozens of nodes of a few sizes, and malloc would
// look for each among the heap's freed blocks. Every block starts with a
// header naming its size class (0: a block of tavo_dmalloc's); the classes
// are one alignment apart, so that a node takes little more than it needs
// (thousands of targets are built at start-up). Under AddressSanitizer
// every block is tavo_dmalloc's (base/memory.h decides).
constexpr bool kPooled = base::kReuseFreedBlocks;
constexpr size_t kBlockAlign = alignof(std::max_align_t);
constexpr size_t kHeader = kBlockAlign;
constexpr size_t kClassStep = kBlockAlign, kPooledTo = 2048, kPoolClasses = kPooledTo / kClassStep;
// Large chunks (base::large_chunk), which the kernel may back with huge
// pages: every tree is larger than a few of them (the tree of a start-up
// without targets takes over 9 MiB), and a start-up that builds thousands
// of targets then faults a few dozen times rather than tens of thousands.
// Chunks of malloc's when no mapping can be had.
constexpr size_t kChunk = size_t{64} << 10;
// A chunk starts with the one made before it and whether it is large.
struct ChunkHead {
  void* before;
  bool large;
};
static_assert(kClassStep % kBlockAlign == 0 && sizeof(void*) <= kHeader && sizeof(uint32_t) <= kHeader);
static_assert(sizeof(ChunkHead) <= kBlockAlign);

// Never destroyed (a node may be freed while the process exits); a freed
// block is kept for the next node. Once no block is in use (the trees are
// gone) the chunks go back to malloc, so a stopped library holds nothing.
struct NodePool {
  std::atomic_flag busy;
  void* free[kPoolClasses];  // a freed block's header links the next
  char* carve;
  size_t left;
  bool carve_zeroed;  // carving a fresh mapping: what is left is zero
  void* chunks;  // each chunk's head links the one made before
  size_t used;   // blocks given out and not yet back
  size_t made;   // bytes of the chunks
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

// A block of class c, the pool held; zeroed is set when the block is
// known to be zero.
void* take_pooled(size_t c, bool* zeroed) {
  const size_t bytes = (c + 1) * kClassStep;
  void* block = node_pool.free[c];
  if (block != nullptr) {
    memcpy(&node_pool.free[c], block, sizeof(void*));
    ++node_pool.used;
    return block;
  }
  if (node_pool.left < bytes) {
    auto* chunk = static_cast<char*>(base::large_chunk());
    const size_t size = chunk != nullptr ? base::kLargeChunk : kChunk;
    if (chunk == nullptr) chunk = static_cast<char*>(malloc(kChunk));
    if (chunk == nullptr) return nullptr;
    const ChunkHead head{node_pool.chunks, size != kChunk};
    memcpy(chunk, &head, sizeof head);
    node_pool.chunks = chunk;
    node_pool.carve = chunk + kBlockAlign;
    node_pool.left = size - kBlockAlign;
    node_pool.made += size;
    // A fresh mapping is zero; malloc's memory may hold what it held.
    node_pool.carve_zeroed = size != kChunk;
  }
  *zeroed = node_pool.carve_zeroed;
  block = node_pool.carve;
  node_pool.carve += bytes;
  node_pool.left -= bytes;
  ++node_pool.used;
  return block;
}

void* pooled_block(size_t c, bool* zeroed) {
  PoolHold hold;
  return take_pooled(c, zeroed);
}

// Every chunk back to malloc, once no block is in use; under the hold.
void drop_chunks() {
  for (void* chunk = node_pool.chunks; chunk != nullptr;) {
    ChunkHead head;
    memcpy(&head, chunk, sizeof head);
    if (head.large)
      base::free_large_chunk(chunk);
    else
      ::free(chunk);
    chunk = head.before;
  }
  node_pool.made = 0;
  for (void*& list : node_pool.free) list = nullptr;
  node_pool.chunks = nullptr;
  node_pool.carve = nullptr;
  node_pool.left = 0;
  node_pool.carve_zeroed = false;
}

// A block back on its list; with the last one every chunk goes.
void pool_release(char* block, uint32_t c) {
  PoolHold hold;
  memcpy(block, &node_pool.free[c], sizeof(void*));
  node_pool.free[c] = block;
  if (--node_pool.used == 0) drop_chunks();
}

// The pool's class of a block of size bytes after its header.
size_t pool_class(size_t size) { return (size + kHeader - 1) / kClassStep; }

// A node's header and record at the start of block, cleared unless known
// to be zero: most of a large tree's nodes come from fresh mappings, and
// clearing them again would cost as much as the rest of the node.
constexpr size_t kRecordAt = (sizeof(TavoNode) + kBlockAlign - 1) / kBlockAlign * kBlockAlign;
TavoNode* start_node(char* block, bool zeroed, uint32_t kind, TavoNode* parent, size_t record_size) {
  if (!zeroed) memset(block, 0, kRecordAt + record_size);
  auto* n = reinterpret_cast<TavoNode*>(block);
  n->kind = kind;
  n->parent = parent;
  if (record_size != 0) n->record = block + kRecordAt;
  return n;
}

// size bytes after a header: the node's block; zeroed is set when they
// are known to be zero.
char* node_block(size_t size, bool* zeroed) {
  uint32_t c = 0;
  char* block = nullptr;
  *zeroed = false;
  if (kPooled && size + kHeader <= kPooledTo) {
    const size_t index = pool_class(size);
    block = static_cast<char*>(pooled_block(index, zeroed));
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

// The nodes a caller made and added through the exported add_node that are
// still in a tree: made when the first is added, never destroyed (a node
// may be freed while the process exits), and kept under the tree's lock as
// the tree is.
constinit std::unordered_set<const TavoNode*>* caller_made = nullptr;

// The records a node points at that are its own: a group's instance record
// and group record, a property's or a link's record (an action's
// descriptor is static).
void free_own_records(TavoNode* node) {
  switch (node->kind) {
    case TAVO_KIND_GROUP:
      if (node->record != nullptr) tavo_dfree(group_record(node)->instance);
      tavo_dfree(node->record);
      break;
    case TAVO_KIND_PROPERTY:
    case TAVO_KIND_LINK:
      tavo_dfree(node->record);
      break;
    default:
      break;
  }
  node->record = nullptr;
}

}  // namespace

TavoNode* new_node(uint32_t kind, const char* name, const char* description, TavoNode* parent, size_t record_size,
                   Texts texts) {
  const size_t name_at = kRecordAt + record_size;
  const bool copied = texts == Texts::Copied;
  const size_t name_size = copied && name != nullptr ? strlen(name) + 1 : 0;
  const size_t description_size = copied && description != nullptr ? strlen(description) + 1 : 0;
  bool zeroed = false;
  char* block = node_block(name_at + name_size + description_size, &zeroed);
  if (block == nullptr) return nullptr;
  TavoNode* n = start_node(block, zeroed, kind, parent, record_size);
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

size_t new_kept_nodes(std::span<const NodeShape> shapes, TavoNode* parent, TavoNode** out) {
  size_t made = 0;
  if (kPooled) {
    // One hold of the pool for them all.
    PoolHold hold;
    for (; made < shapes.size(); ++made) {
      const NodeShape& shape = shapes[made];
      const size_t c = pool_class(kRecordAt + shape.record_size);
      bool zeroed = false;
      char* block = c < kPoolClasses ? static_cast<char*>(take_pooled(c, &zeroed)) : nullptr;
      if (block == nullptr) break;
      const auto header = static_cast<uint32_t>(c + 1);
      memcpy(block, &header, sizeof header);
      TavoNode* n = start_node(block + kHeader, zeroed, shape.kind, parent, shape.record_size);
      n->name = const_cast<char*>(shape.name);
      n->description = const_cast<char*>(shape.description);
      out[made] = n;
    }
  }
  __atomic_fetch_add(&tavo_counter, static_cast<uint32_t>(made), __ATOMIC_RELAXED);
  // Past the pool (or where it is off) one by one.
  for (; made < shapes.size(); ++made) {
    const NodeShape& shape = shapes[made];
    out[made] = new_node(shape.kind, shape.name, shape.description, parent, shape.record_size, Texts::Kept);
    if (out[made] == nullptr) break;
  }
  return made;
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

bool pool_holds_all_of(const TavoNode* n) {
  if (!kPooled || is_static_node(n) || (caller_made != nullptr && !caller_made->empty() && caller_made->count(n) != 0))
    return false;
  uint32_t c;
  memcpy(&c, reinterpret_cast<const char*>(n) - kHeader, sizeof c);
  return c != 0;
}

bool release_pool_whole(size_t blocks) {
  PoolHold hold;
  if (blocks == 0 || node_pool.used != blocks) return false;
  __atomic_fetch_sub(&tavo_counter, static_cast<uint32_t>(blocks), __ATOMIC_RELAXED);
  node_pool.used = 0;
  drop_chunks();
  return true;
}

size_t pooled_nodes() {
  PoolHold hold;
  return node_pool.used;
}

bool remember_caller_made(const TavoNode* node) {
  try {
    if (caller_made == nullptr) caller_made = new std::unordered_set<const TavoNode*>;
    caller_made->insert(node);
    return true;
  } catch (...) {  // no memory: the node is not added
    return false;
  }
}

void forget_caller_made(const TavoNode* node) {
  if (caller_made != nullptr) caller_made->erase(node);
}

void release_node(TavoNode* node) {
  if (is_static_node(node)) {
    free_own_records(node);  // the header and its texts stay
    return;
  }
  if (caller_made == nullptr || caller_made->empty() || caller_made->erase(node) == 0) {
    free_node(node);  // its record and texts with it
    return;
  }
  free_own_records(node);
  tavo_dfree(node->name);
  tavo_dfree(node->description);
  tavo_dfree(node);
}

}  // namespace tavo::tree
