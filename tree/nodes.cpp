// Finding nodes: a child by its display name, an instance ring's lowest
// instance, a node by its reference; and the small node helpers every tree
// file uses. Nodes are made and given back in node_pool.cpp, added in
// node_add.cpp and deleted in node_delete.cpp.
#include <stddef.h>
#include <string.h>
#include <strings.h>

#include "tree/node_index.h"
#include "tree/tree_internal.h"
#include "tree/waiting.h"

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

TavoNode* first_instance_by_key(TavoNode* group, const char* name, uint64_t key) {
  if (group == nullptr || name == nullptr || group->kind != TAVO_KIND_GROUP || group->record == nullptr) return nullptr;
  build_waiting(group, name);
  return ring_first(group, name, key);
}

TavoNode* ring_first(TavoNode* group, const char* name, uint64_t key) {
  TavoNode* lowest = nullptr;
  ring_index().each(key, [&](TavoNode* sentinel) {
    TavoNode* first = group_record(sentinel)->instance->next_instance;
    if (first->parent != group || strcmp(first->name, name) != 0) return true;
    lowest = first;
    return false;
  });
  return lowest;
}

TavoNode* named_child(TavoNode* group, const char* name, ChildFilter keep, const void* filter) {
  build_waiting(group, name);
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
  for (TavoNode* c = first_child(group); c != group; c = c->next)
    if (shows_name(c, name) && keep(c, filter)) return c;
  return nullptr;
}

}  // namespace tavo::tree

using namespace tavo::tree;

TavoNode* get_dynamic_ancester(TavoNode* node) {
  for (int depth = 0; node != nullptr && depth < 4096; ++depth) {
    if (is_instanced_group(node)) return node;
    if (node->tag == 0 || node->parent == nullptr || node->parent == node) return nullptr;
    node = node->parent;
  }
  return nullptr;
}

TavoNode* get_first_instance(TavoNode* group, const char* name) {
  if (group == nullptr || name == nullptr || group->kind != TAVO_KIND_GROUP || group->record == nullptr) return nullptr;
  return first_instance_by_key(group, name, name_key(group, name));
}
