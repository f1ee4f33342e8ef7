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

// A value as one field of one record: cut at the first line break.
void save_put_value(FILE* stream, const char* value) {
  fprintf(stream, "%.*s", static_cast<int>(strcspn(value, "\r\n")), value);
}

void save_put_path(FILE* stream, TavoNode* node) {
  char path[TAVO_PATH_SIZE];
  get_full_path(node, path);
  fputs(path, stream);
}

}  // namespace

uint32_t backend_make_persistent(TavoNode* group, TavoNode* creating_node, TavoNode* creating_action,
                                 const char* params) {
  if (group == nullptr || group->kind != TAVO_KIND_GROUP || group->record == nullptr) return 1;
  TavoGroupRecord* g = group_record(group);
  if (g->persistence_priority == 0) g->persistence_priority = persistency_priority++;
  g->creating_node = creating_node;
  g->creating_action = creating_action;
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
    fputs("PROPERTY|", stream);
    save_put_path(stream, c);
    fputc('|', stream);
    save_put_value(stream, value);
    fputc('\n', stream);
  }
}

void dump_group(TavoNode* group, FILE* stream) {
  if (group == nullptr || group->kind != TAVO_KIND_GROUP || group->record == nullptr) return;
  TavoGroupRecord* g = group_record(group);
  // The record keeps bare pointers: a creating node deleted since cannot
  // be named, and its GROUP line could not be replayed anyway.
  if (!node_is_live(g->creating_node) || !node_is_live(g->creating_action)) return;
  fputs("GROUP|", stream);
  save_put_path(stream, group);
  fputc('|', stream);
  save_put_path(stream, g->creating_node);
  fputc('|', stream);
  save_put_path(stream, g->creating_action);
  for (int i = 0; i < TAVO_MAX_PARAMS && g->params[i][0] != '\0'; ++i) {
    fputc('|', stream);
    save_put_value(stream, g->params[i]);
  }
  fputc('\n', stream);
}

void dump_node(TavoNode* node, FILE* stream, uint32_t mask) {
  if (node == nullptr || node->record == nullptr) return;
  if (node->kind == TAVO_KIND_LINK) {
    TavoLinkRecord* l = link_record(node);
    if (!node_is_live(l->target)) return;
    fputs("SYMLINK|", stream);
    save_put_value(stream, node->name);
    fputc('|', stream);
    save_put_path(stream, node->parent);
    fputc('|', stream);
    save_put_path(stream, l->target);
    fputc('\n', stream);
    return;
  }
  if (node->kind != TAVO_KIND_GROUP) return;
  TavoGroupRecord* g = group_record(node);
  if (g->creating_action == nullptr) {
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
    if (c->kind == TAVO_KIND_GROUP && c->record != nullptr && group_record(c)->creating_action == nullptr)
      dump_static_groups(c, stream, mask);
}

uint32_t save_node(TavoNode* start, FILE* stream, uint32_t mask) {
  TAVO_API_GUARD;
  if (stream == nullptr) return 1;
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
