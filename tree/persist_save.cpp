// Saving: the records of the persistent groups and links in the order they
// became persistent, then the properties of the static groups.
#include <string.h>

#include <string>
#include <vector>

#include "tree/api_guard.h"
#include "tree/persist.h"
#include "tree/status_texts.h"
#include "tree/tree_internal.h"
#include "tree/waiting.h"

using namespace tavo::tree;

namespace {

uint32_t save_priority(TavoNode* n) {
  const uint32_t* p = persistence_priority_of(n);
  return p != nullptr ? *p : 0;
}

// One record line of field texts onto the stream.
void save_record(FILE* stream, const char* keyword, std::span<const char* const> fields) {
  const std::string line = record_line(keyword, fields);
  fwrite(line.data(), 1, line.size(), stream);
}

}  // namespace

std::string tavo::tree::record_line(const char* keyword, std::span<const char* const> fields) {
  // A field holds no line break: a value that has one is cut there.
  const auto length = [](const char* field) { return strcspn(field, "\r\n"); };
  bool escaped = false;
  for (const char* f : fields) escaped = escaped || memchr(f, '|', length(f)) != nullptr;
  // Records without the separator in a value are written as they always were.
  std::string line = keyword;
  line += escaped ? "\\|" : "|";
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) line.push_back('|');
    for (const char *c = fields[i], *end = c + length(c); c < end; ++c) {
      if (escaped && (*c == '\\' || *c == '|')) line.push_back('\\');
      line.push_back(*c);
    }
  }
  line.push_back('\n');
  return line;
}

uint32_t backend_make_persistent(TavoNode* group, TavoNode* creating_node, TavoNode* creating_action,
                                 const char* params) {
  if (group == nullptr || group->kind != TAVO_KIND_GROUP || group->record == nullptr) return 1;
  TavoGroupRecord* g = group_record(group);
  if (g->persistence_priority == 0) g->persistence_priority = take_persistence_priority(group);
  g->creating_node = node_ref(creating_node);
  g->creating_action = node_ref(creating_action);
  if (params != nullptr) tavo::tree::copy_params(g->params, params);
  return 0;
}

void tavo::tree::build_every_waiting_group(TavoNode* node) {
  if (node == nullptr || node->kind != TAVO_KIND_GROUP || node->record == nullptr) return;
  for (TavoNode* c = first_child(node); c != node; c = c->next) build_every_waiting_group(c);
}

void enumerate_nodes(TavoNode** table, TavoNode* node) {
  if (table == nullptr || node == nullptr) return;
  uint32_t p = save_priority(node);
  if (p > 0 && p < persistency_priority) table[p - 1] = node;
  if (node->kind != TAVO_KIND_GROUP || node->record == nullptr) return;
  for (TavoNode* c = first_child(node); c != node; c = c->next) enumerate_nodes(table, c);
}

void dump_properties(TavoNode* group, FILE* stream, uint32_t mask) {
  if (stream == nullptr || group == nullptr || group->kind != TAVO_KIND_GROUP || group->record == nullptr) return;
  for (TavoNode* c = first_child(group); c != group; c = c->next) {
    if (c->kind != TAVO_KIND_PROPERTY || (property_record(c)->flags & mask) == 0) continue;
    char value[TAVO_VALUE_SIZE] = "";
    if (TAVO_get_property_val(group->tag, c->tag, value, sizeof value) != 0) continue;
    value[TAVO_VALUE_SIZE - 1] = '\0';
    char path[TAVO_PATH_SIZE];
    get_full_path(c, path);
    const char* fields[] = {path, value};
    save_record(stream, "PROPERTY", fields);
  }
}

void dump_group(TavoNode* group, FILE* stream) {
  if (stream == nullptr || group == nullptr || group->kind != TAVO_KIND_GROUP || group->record == nullptr) return;
  TavoGroupRecord* g = group_record(group);
  // A creating node deleted since cannot be named, and its GROUP line could
  // not be replayed anyway.
  const TavoHierarchy* h = hm_find_hierarchy_by_node(group);
  TavoNode* on = ref_node(h, g->creating_node);
  TavoNode* action = ref_node(h, g->creating_action);
  if (on == nullptr || action == nullptr) return;
  char paths[3][TAVO_PATH_SIZE];
  get_full_path(group, paths[0]);
  get_full_path(on, paths[1]);
  get_full_path(action, paths[2]);
  const char* fields[3 + TAVO_MAX_PARAMS] = {paths[0], paths[1], paths[2]};
  size_t count = 3;
  for (int i = 0; i < TAVO_MAX_PARAMS && g->params[i][0] != '\0'; ++i) fields[count++] = g->params[i];
  save_record(stream, "GROUP", std::span(fields, count));
}

void dump_node(TavoNode* node, FILE* stream, uint32_t mask) {
  if (stream == nullptr || node == nullptr || node->record == nullptr) return;
  if (node->kind == TAVO_KIND_LINK) {
    // A link's target lives as long as the link (deleting it deletes its
    // links first).
    char paths[2][TAVO_PATH_SIZE];
    get_full_path(node->parent, paths[0]);
    get_full_path(link_record(node)->target, paths[1]);
    const char* fields[] = {node->name, paths[0], paths[1]};
    save_record(stream, "SYMLINK", fields);
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
  if (stream == nullptr || node == nullptr || node->kind != TAVO_KIND_GROUP || node->record == nullptr) return;
  TavoGroupRecord* g = group_record(node);
  if (g->persistence_priority == 0) dump_properties(node, stream, mask);
  for (TavoNode* c = first_child(node); c != node; c = c->next)
    if (c->kind == TAVO_KIND_GROUP && c->record != nullptr && group_record(c)->creating_action.generation == 0)
      dump_static_groups(c, stream, mask);
}

uint32_t save_node(TavoNode* start, FILE* stream, uint32_t mask) {
  TAVO_API_GUARD;
  if (stream == nullptr) return refuse_null(__func__, "stream");
  if (!tree_ready()) return 1;
  TavoNode* root = get_node(0);
  build_every_waiting_group(root);
  if (persistency_priority > 1 && root != nullptr) {
    std::vector<TavoNode*> table(persistency_priority - 1, nullptr);
    enumerate_nodes(table.data(), root);
    for (TavoNode* n : table)
      if (n != nullptr) dump_node(n, stream, mask);
  }
  dump_static_groups(start, stream, mask);
  return 0;
}
