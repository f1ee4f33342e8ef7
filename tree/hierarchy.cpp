// Hierarchies and their tag tables.
#include <string.h>

#include <algorithm>

#include "tree/tree_internal.h"

TavoHierarchy hierarchy_name_;
char tavo_current_hierarchy[20] = "";
uint32_t persistency_priority = 1;

namespace {

constexpr int kHierarchySlots = 5;
// The first tag table's slots; a full table doubles, so its copies cost
// each tag a constant share however large the tree grows.
constexpr uint32_t kTagTableStart = 1024;
TavoHierarchy* hierarchy_table[kHierarchySlots];
// Per registered hierarchy: every tag below it is in use, so the lowest
// free tag is found without scanning from tag 0.
uint32_t free_tag_floor[kHierarchySlots];
int hierarchy_count = 0;

// Every slot generation a released tag table held is below this: a slot
// of a later table starts here, so that a reference kept from a tree torn
// down never names a node of the next one, whatever tag and memory it
// takes.
uint32_t generation_floor = 0;

uint32_t* tag_floor(const TavoHierarchy* h) {
  for (int i = 0; i < hierarchy_count; ++i)
    if (hierarchy_table[i] == h) return &free_tag_floor[i];
  return nullptr;
}

// kept: the generations live on in the table that takes this one's place.
void release_tag_table(TavoHierarchy* h, bool kept = false) {
  // Read through locals, so that the loop is one the compiler vectorizes.
  const uint32_t* generations = h->tag_generation;
  uint32_t top = generation_floor;
  for (uint32_t t = 0, n = generations != nullptr && !kept ? h->capacity : 0; t < n; ++t)
    top = std::max(top, generations[t]);
  generation_floor = top;
  tavo_dfree(h->tag_table);
  tavo_dfree(h->tag_bitmap);
  tavo_dfree(h->tag_generation);
  h->tag_table = nullptr;
  h->tag_bitmap = nullptr;
  h->tag_generation = nullptr;
  h->capacity = 0;
}

// Gives h a cleared tag table of capacity slots, keeping the entries (and
// slot generations) of the old one (none when keep is false).
uint32_t resize_tag_table(TavoHierarchy* h, uint32_t capacity, bool keep) {
  auto** table = static_cast<TavoNode**>(tavo_dmalloc(capacity * sizeof(TavoNode*)));
  auto* bitmap = static_cast<uint8_t*>(tavo_dmalloc(capacity / 8 + 1));
  auto* generations = static_cast<uint32_t*>(tavo_dmalloc(capacity * sizeof(uint32_t)));
  if (table == nullptr || bitmap == nullptr || generations == nullptr) {
    tavo_dfree(table);
    tavo_dfree(bitmap);
    tavo_dfree(generations);
    return 1;
  }
  // The kept entries are copied, and only the rest cleared.
  const uint32_t kept = keep && h->tag_table != nullptr && h->capacity <= capacity ? h->capacity : 0;
  if (kept != 0) {
    memcpy(table, h->tag_table, kept * sizeof(TavoNode*));
    memcpy(bitmap, h->tag_bitmap, kept / 8 + 1);
    memcpy(generations, h->tag_generation, kept * sizeof(uint32_t));
  }
  const uint32_t bitmap_kept = kept != 0 ? kept / 8 + 1 : 0;
  memset(table + kept, 0, (capacity - kept) * sizeof(TavoNode*));
  memset(bitmap + bitmap_kept, 0, capacity / 8 + 1 - bitmap_kept);
  release_tag_table(h, kept == h->capacity);
  std::fill(generations + kept, generations + capacity, generation_floor);
  h->tag_table = table;
  h->tag_bitmap = bitmap;
  h->tag_generation = generations;
  h->capacity = capacity;
  return 0;
}

// The tree's one hierarchy is called "" and every public call looks it up:
// the first characters are compared here, the rest by a call.
inline TavoHierarchy* named_hierarchy(const char* name) {
  if (name == nullptr) return nullptr;
  for (int i = 0; i < hierarchy_count; ++i) {
    const char* own = hierarchy_table[i]->name;
    if (own != nullptr && own[0] == name[0] && (name[0] == '\0' || strcmp(own + 1, name + 1) == 0))
      return hierarchy_table[i];
  }
  return nullptr;
}

}  // namespace

uint32_t hm_setup_hierarchy(TavoHierarchy* h) {
  if (h == nullptr) return 1;
  // A hierarchy is registered once, whatever a failed start left behind.
  bool registered = false;
  for (int i = 0; i < hierarchy_count; ++i) registered |= hierarchy_table[i] == h;
  if (!registered && hierarchy_count >= kHierarchySlots) return 1;
  if (resize_tag_table(h, kTagTableStart, false) != 0) return 1;
  persistency_priority = 1;
  if (!registered) hierarchy_table[hierarchy_count++] = h;
  *tag_floor(h) = 0;
  return 0;
}

uint32_t reinit_hm(TavoHierarchy* h) {
  if (h == nullptr) return 1;
  if (h->capacity > UINT32_MAX / 2 / sizeof(TavoNode*)) return 1;
  return resize_tag_table(h, h->capacity == 0 ? kTagTableStart : h->capacity * 2, true);
}

TavoHierarchy* hm_find_hierarchy(const char* name) { return named_hierarchy(name); }

TavoNode* hm_get_root(const char* name) {
  TavoHierarchy* h = hm_find_hierarchy(name);
  return h ? h->root : nullptr;
}

TavoHierarchy* hm_find_hierarchy_by_node(const TavoNode* node) {
  if (node == nullptr) return nullptr;
  for (int i = 0; i < hierarchy_count; ++i) {
    TavoHierarchy* h = hierarchy_table[i];
    if (node->tag < h->capacity && h->tag_table[node->tag] == node) return h;
  }
  return nullptr;
}

TavoNode* get_node(uint32_t tag) {
  TavoHierarchy* h = named_hierarchy(tavo_current_hierarchy);
  if (h == nullptr || tag >= h->capacity) return nullptr;
  return h->tag_table[tag];
}

namespace tavo::tree {

// Releases a hierarchy's tag table and drops its registration.
void unregister_hierarchy(TavoHierarchy* h) {
  for (int i = 0; i < hierarchy_count; ++i) {
    if (hierarchy_table[i] != h) continue;
    release_tag_table(h);
    for (int j = i; j + 1 < hierarchy_count; ++j) {
      hierarchy_table[j] = hierarchy_table[j + 1];
      free_tag_floor[j] = free_tag_floor[j + 1];
    }
    hierarchy_table[--hierarchy_count] = nullptr;
    return;
  }
}

namespace {

int32_t lowest_free_tag_above(TavoHierarchy* h, uint32_t* floor) {
  // Mostly the floor itself is free: the tag after the last one taken.
  if (floor != nullptr && *floor < h->capacity && (h->tag_bitmap[*floor / 8] >> (*floor % 8) & 1) == 0)
    return static_cast<int32_t>(*floor);
  // A floor at the capacity (every tag in use) starts past the end.
  const int32_t start = floor != nullptr && *floor <= h->capacity ? static_cast<int32_t>(*floor) : 0;
  const int32_t tag = base::first_bit_from(h->tag_bitmap, static_cast<int32_t>(h->capacity), start, 0);
  if (floor != nullptr) *floor = tag >= 0 ? static_cast<uint32_t>(tag) : h->capacity;
  return tag;
}

}  // namespace

int32_t lowest_free_tag(TavoHierarchy* h) { return lowest_free_tag_above(h, tag_floor(h)); }

int32_t take_lowest_free_tag(TavoHierarchy* h) {
  uint32_t* floor = tag_floor(h);
  const int32_t tag = lowest_free_tag_above(h, floor);
  if (tag < 0) return tag;
  const auto t = static_cast<uint32_t>(tag);
  set_bit(h->tag_bitmap, h->capacity, t);
  if (floor != nullptr && t == *floor) *floor = t + 1;
  return tag;
}

namespace {

// The mask of the bits of byte b within [first, end).
uint8_t run_mask(uint32_t b, uint32_t first, uint32_t end) {
  unsigned mask = 0xFF;
  if (b == first / 8) mask &= 0xFFu << (first % 8);
  if (b == (end - 1) / 8) mask &= 0xFFu >> (7 - (end - 1) % 8);
  return static_cast<uint8_t>(mask);
}

}  // namespace

int32_t take_tag_run(TavoHierarchy* h, uint32_t count) {
  uint32_t* floor = tag_floor(h);
  if (floor == nullptr || count == 0 || *floor >= h->capacity || count > h->capacity - *floor) return -1;
  const uint32_t first = *floor, end = first + count;
  // Past max_tag_count each tag is reported as it is taken.
  if (end - 1 > h->max_tag_count) return -1;
  uint8_t* bits = h->tag_bitmap;
  for (uint32_t b = first / 8; b <= (end - 1) / 8; ++b)
    if ((bits[b] & run_mask(b, first, end)) != 0) return -1;
  for (uint32_t b = first / 8; b <= (end - 1) / 8; ++b) bits[b] = static_cast<uint8_t>(bits[b] | run_mask(b, first, end));
  *floor = end;
  return static_cast<int32_t>(first);
}

void tag_taken(TavoHierarchy* h, uint32_t tag) {
  uint32_t* floor = tag_floor(h);
  if (floor != nullptr && tag == *floor) *floor = tag + 1;
}

void tag_freed(TavoHierarchy* h, uint32_t tag) {
  uint32_t* floor = tag_floor(h);
  if (floor != nullptr && tag < *floor) *floor = tag;
}

int registered_hierarchies(TavoHierarchy** out, int max) {
  int n = hierarchy_count < max ? hierarchy_count : max;
  for (int i = 0; i < n; ++i) out[i] = hierarchy_table[i];
  return n;
}

}  // namespace tavo::tree
