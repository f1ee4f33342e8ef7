// Saving: the records of the persistent groups and links in the order they
// became persistent, then the properties of the static groups.
#include <string.h>

#include <vector>

#include "tree/api_guard.h"
#include "tree/persist.h"
#include "tree/tree_internal.h"

using namespace tavo::tree;

namespace {

uint32_t save_priority(TavoNode* n) {
  if (n->record == nullptr) return 0;
  if (n->kind == TAVO_KIND_GROUP) return group_record(n)->persistence_priority;
  if (n->kind == TAVO_KIND_LINK) return link_record(n)->persistence_priority;
  return 0;
}

// The length of a value as one field of one record: cut at the first line
// break.
size_t save_value_length(const char* value) { return strcspn(value, "\r\n"); }

bool save_holds_separator(const char* value) { return memchr(value, '|', save_value_length(value)) != nullptr; }

// A record whose values hold the separator is written with the keyword
// followed by '\' and every '\' and '|' of its fields escaped by a '\'.
// Other records are written as they always were.
void save_put_keyword(FILE* stream, const char* keyword, bool escaped) {
  fputs(keyword, stream);
  fputs(escaped ? "\\|" : "|", stream);
}

void save_put_value(FILE* stream, const char* value, bool escaped) {
  const size_t n = save_value_length(value);
  for (size_t i = 0; i < n; ++i) {
    if (escaped && (value[i] == '\\' || value[i] == '|')) fputc('\\', stream);
    fputc(value[i], stream);
  }
}

void save_put_path(FILE* stream, TavoNode* node, bool escaped) {
  char path[TAVO_PATH_SIZE];
  get_full_path(node, path);
  save_put_value(stream, path, escaped);
}

}  // namespace

uint32_t backend_make_persistent(TavoNode* group, TavoNode* creating_node, TavoNode* creating_action,
                                 const char* params) {
  if (group == nullptr || group->kind != TAVO_KIND_GROUP || group->record == nullptr) return 1;
  TavoGroupRecord* g = group_record(group);
  if (g->persistence_priority == 0) g->persistence_priority = persistency_priority++;
  g->creating_node = node_ref(creating_node);
  g->creating_action = node_ref(creating_action);
  if (params != nullptr) tavo::tree::copy_params(g->params, params);
  return 0;
}

void enumerate_nodes(TavoNode** table, TavoNode* node) {
  if (table == nullptr || node == nullptr) return;
  uint32_t p = save_priority(node);
  if (p > 0 && p < persistency_priority) table[p - 1] = node;
  if (node->kind != TAVO_KIND_GROUP || node->record == nullptr) return;
  for (TavoNode* c = group_record(node)->first_child; c != node; c = c->next) enumerate_nodes(table, c);
}

void dump_properties(TavoNode* group, FILE* stream, uint32_t mask) {
  if (group == nullptr || group->kind != TAVO_KIND_GROUP || group->record == nullptr) return;
  for (TavoNode* c = group_record(group)->first_child; c != group; c = c->next) {
    if (c->kind != TAVO_KIND_PROPERTY || (property_record(c)->flags & mask) == 0) continue;
    char value[TAVO_VALUE_SIZE] = "";
    if (TAVO_get_property_val(group->tag, c->tag, value, sizeof value) != 0) continue;
    value[TAVO_VALUE_SIZE - 1] = '\0';
    const bool escaped = save_holds_separator(value);
    save_put_keyword(stream, "PROPERTY", escaped);
    save_put_path(stream, c, escaped);
    fputc('|', stream);
    save_put_value(stream, value, escaped);
    fputc('\n', stream);
  }
}

void dump_group(TavoNode* group, FILE* stream) {
  if (group == nullptr || group->kind != TAVO_KIND_GROUP || group->record == nullptr) return;
  TavoGroupRecord* g = group_record(group);
  // A creating node deleted since cannot be named, and its GROUP line could
  // not be replayed anyway.
  const TavoHierarchy* h = hm_find_hierarchy_by_node(group);
  TavoNode* on = ref_node(h, g->creating_node);
  TavoNode* action = ref_node(h, g->creating_action);
  if (on == nullptr || action == nullptr) return;
  int count = 0;
  bool escaped = false;
  for (; count < TAVO_MAX_PARAMS && g->params[count][0] != '\0'; ++count)
    escaped |= save_holds_separator(g->params[count]);
  save_put_keyword(stream, "GROUP", escaped);
  save_put_path(stream, group, escaped);
  fputc('|', stream);
  save_put_path(stream, on, escaped);
  fputc('|', stream);
  save_put_path(stream, action, escaped);
  for (int i = 0; i < count; ++i) {
    fputc('|', stream);
    save_put_value(stream, g->params[i], escaped);
  }
  fputc('\n', stream);
}

void dump_node(TavoNode* node, FILE* stream, uint32_t mask) {
  if (node == nullptr || node->record == nullptr) return;
  if (node->kind == TAVO_KIND_LINK) {
    // A link's target lives as long as the link (deleting it deletes its
    // links first).
    const bool escaped = save_holds_separator(node->name);
    save_put_keyword(stream, "SYMLINK", escaped);
    save_put_value(stream, node->name, escaped);
    fputc('|', stream);
    save_put_path(stream, node->parent, escaped);
    fputc('|', stream);
    save_put_path(stream, link_record(node)->target, escaped);
    fputc('\n', stream);
    return;
  }
  if (node->kind != TAVO_KIND_GROUP) return;
  TavoGroupRecord* g = group_record(node);
  if (g->creating_action.generation == 0) {
    dump_properties(node, stream, mask);
  } else if (g->instance != nullptr) {
    // The replay first makes the instance again, then sets its values.
    dump_group(node, stream);
    dump_properties(node, stream, mask);
  } else {
    // A static group exists already: set its values, then rerun the action.
    dump_properties(node, stream, mask);
    dump_group(node, stream);
  }
}

void dump_static_groups(TavoNode* node, FILE* stream, uint32_t mask) {
  if (node == nullptr || node->kind != TAVO_KIND_GROUP || node->record == nullptr) return;
  TavoGroupRecord* g = group_record(node);
  if (g->persistence_priority == 0) dump_properties(node, stream, mask);
  for (TavoNode* c = g->first_child; c != node; c = c->next)
    if (c->kind == TAVO_KIND_GROUP && c->record != nullptr && group_record(c)->creating_action.generation == 0)
      dump_static_groups(c, stream, mask);
}

uint32_t save_node(TavoNode* start, FILE* stream, uint32_t mask) {
  TAVO_API_GUARD;
  if (stream == nullptr || !tree_ready()) return 1;
  TavoNode* root = get_node(0);
  if (persistency_priority > 1 && root != nullptr) {
    std::vector<TavoNode*> table(persistency_priority - 1, nullptr);
    enumerate_nodes(table.data(), root);
    for (TavoNode* n : table)
      if (n != nullptr) dump_node(n, stream, mask);
  }
  dump_static_groups(start, stream, mask);
  return 0;
}
