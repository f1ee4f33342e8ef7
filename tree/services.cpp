// Services for branch code: lookups by name, property access through
// handlers, walk-ups to the controller, function, port and domain, purge.
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <vector>

#include "tree/handler_watch.h"
#include "tree/tree_internal.h"
#include "tree/waiting.h"

using namespace tavo::tree;

void tavo::tree::format_value(char (&value)[TAVO_VALUE_SIZE], const char* format, va_list ap) {
  if (format[0] == '%' && format[1] == 's' && format[2] == '\0') {
    const char* text = va_arg(ap, const char*);
    copy_bounded(value, sizeof value, text != nullptr ? text : "(null)");
    return;
  }
  if (format[0] == '%' && (format[1] == 'd' || format[1] == 'u') && format[2] == '\0') {
    char digits[12];
    const int64_t number = format[1] == 'd' ? int64_t{va_arg(ap, int)} : int64_t{va_arg(ap, unsigned int)};
    memcpy(value, digits, write_decimal(digits, number) + 1);
    return;
  }
  vsnprintf(value, sizeof value, format, ap);
}

void tavo::tree::release_handles_within(TavoNode* node) {
  if (node == nullptr || node->kind != TAVO_KIND_GROUP || node->record == nullptr) return;
  TavoGroupRecord* g = group_record(node);
  if (g->nhandle != nullptr) {
    tavo_dfree(g->nhandle);
    g->nhandle = nullptr;
  }
  // Only groups hold records: the properties and actions among the
  // children (most of a function's nodes) are passed over without a call.
  for (TavoNode* c = g->first_child; c != node; c = c->next)
    if (c->kind == TAVO_KIND_GROUP) release_handles_within(c);
}

uint32_t tavo::tree::delete_with_handles(TavoNode* node) {
  if (node == nullptr) return 1;
  // Collected first: the records are freed only with nodes that really go.
  std::vector<void*> handles;
  for_each_in_subtree(node, [&](TavoNode* n) {
    if (n->kind == TAVO_KIND_GROUP && n->record != nullptr && group_record(n)->nhandle != nullptr)
      handles.push_back(group_record(n)->nhandle);
  });
  const uint32_t result = delete_node(node);
  if (result == 0)
    for (void* h : handles) tavo_dfree(h);
  return result;
}

namespace {

bool name_is(const TavoNode* n, const char* name) {
  // Names that differ in their first letter, case aside, differ: most
  // groups on a walk up are told apart without a call.
  return n->kind == TAVO_KIND_GROUP && n->name != nullptr && (n->name[0] | 0x20) == (name[0] | 0x20) &&
         strcasecmp(n->name, name) == 0;
}

struct KindFilter {
  uint32_t kind;
  bool global_actions_only;
};

bool passes(TavoNode* c, const void* filter) {
  const auto* f = static_cast<const KindFilter*>(filter);
  TavoNode* target = c->kind == TAVO_KIND_LINK ? follow_links(c) : c;
  uint32_t k = target ? target->kind : 0;
  if (f->kind != TAVO_KIND_ANY && k != f->kind) return false;
  return !f->global_actions_only || (k == TAVO_KIND_ACTION && action_descriptor(target)->global == 1);
}

// The first child in child order of that display name passing the filters.
TavoNode* find_child(TavoNode* group, const char* name, uint32_t kind, bool global_actions_only) {
  if (group == nullptr || group->kind != TAVO_KIND_GROUP || group->record == nullptr) return nullptr;
  const KindFilter filter{kind, global_actions_only};
  return named_child(group, name, passes, &filter);
}

// Finds the named group above (or at) node; none when ROOT comes first.
TavoNode* group_above(TavoNode* node, const char* const* names, int count) {
  for (int depth = 0; node != nullptr && depth < 4096; ++depth, node = node->parent) {
    if (is_root(node)) return nullptr;
    for (int i = 0; i < count; ++i)
      if (name_is(node, names[i])) return node;
  }
  return nullptr;
}

}  // namespace

uint32_t tavo::tree::store_values(TavoNode* group, std::span<const StoredValue> values) {
  if (values.size() > kMostStored) return 1;
  group = follow_links(group);
  if (group == nullptr || group->kind != TAVO_KIND_GROUP || group->record == nullptr) return values.empty() ? 0 : 1;
  // The first child in child order of each name that is a property, or a
  // link to one: what a lookup by name finds.
  TavoNode* found[kMostStored] = {};
  const size_t count = values.size();
  size_t left = count;
  size_t next = 0;  // values come in child order mostly: the one after the last found is tried first
  for (TavoNode* c = first_child(group); c != group && left != 0; c = c->next) {
    if (c->kind != TAVO_KIND_PROPERTY && c->kind != TAVO_KIND_LINK) continue;
    for (size_t k = 0; k < count; ++k) {
      const size_t i = next + k < count ? next + k : next + k - count;
      if (found[i] != nullptr || !shows_name(c, values[i].name)) continue;
      TavoNode* property = follow_links(c);
      if (property != nullptr && property->kind == TAVO_KIND_PROPERTY) {
        found[i] = property;
        --left;
        next = i + 1 < count ? i + 1 : 0;
      }
      break;  // the names differ: no other value is this child's
    }
  }
  uint32_t result = 0;
  for (size_t i = 0; i < count; ++i) {
    if (found[i] == nullptr || found[i]->record == nullptr) {
      result = 1;
      continue;
    }
    TavoPropertyRecord* rec = property_record(found[i]);
    copy_bounded(rec->value, sizeof rec->value, values[i].text != nullptr ? values[i].text : "(null)");
  }
  return result;
}

TavoNode* tavo::tree::group_above(TavoNode* node, const char* name) {
  const char* const names[] = {name};
  return ::group_above(node, names, 1);
}

TavoNode* internal_get_node(TavoNode* group, const char* name, uint32_t kind) {
  if (group != nullptr && group->kind == TAVO_KIND_LINK) group = follow_links(group);
  if (name == nullptr) return nullptr;
  TavoNode* n = find_child(group, name, kind, false);
  if (n == nullptr && kind == TAVO_KIND_ACTION) n = find_child(get_node(0), name, kind, true);
  return n;
}

TavoNode* get_matchnode_by_propvalue(TavoNode* group, const char* child_group, const char* property,
                                     const char* value) {
  if (property == nullptr || value == nullptr) return nullptr;
  for (TavoNode* i = get_first_instance(group, child_group); i != nullptr && instance_number(i) != -1;
       i = group_record(i)->instance->next_instance) {
    char text[TAVO_VALUE_SIZE] = "";
    if (internal_get_property(i, property, text) != 0) return nullptr;
    if (strcasecmp(text, value) == 0) return i;
  }
  return nullptr;
}

TavoNode* get_selected_group_node(TavoNode* group, const char* prefix, const char* suffix) {
  if (prefix == nullptr || suffix == nullptr) return nullptr;
  char name[TAVO_VALUE_SIZE];
  snprintf(name, sizeof name, "%s%s", prefix, suffix);  // data is never a format
  return internal_get_node(group, name, TAVO_KIND_GROUP);
}

uint32_t internal_get_property(TavoNode* group, const char* name, char* buf) {
  TavoNode* p = follow_links(internal_get_node(group, name, TAVO_KIND_PROPERTY));
  if (p == nullptr || buf == nullptr || p->record == nullptr) return 1;
  TavoPropertyRecord* rec = property_record(p);
  if (rec->handler == nullptr) {
    copy_bounded(buf, TAVO_VALUE_SIZE, rec->value);
    return 0;
  }
  watch_handler(HandlerRun::Get, rec->handler, p);
  return rec->handler(p, buf, TAVO_PROPERTY_GET);
}

uint32_t internal_set_property(TavoNode* group, const char* name, const char* value) {
  TavoNode* p = follow_links(internal_get_node(group, name, TAVO_KIND_PROPERTY));
  if (p == nullptr || value == nullptr || p->record == nullptr) return 1;
  char text[TAVO_VALUE_SIZE];
  copy_bounded(text, sizeof text, value);
  TavoPropertyRecord* rec = property_record(p);
  if (rec->handler == nullptr) return handle_internal_property(p, text, TAVO_PROPERTY_SET);
  watch_handler(HandlerRun::Set, rec->handler, p);
  return rec->handler(p, text, TAVO_PROPERTY_SET);
}

uint32_t set_prop_val(TavoNode* group, const char* name, const char* format, ...) {
  TavoNode* p = follow_links(internal_get_node(group, name, TAVO_KIND_PROPERTY));
  if (p == nullptr || format == nullptr || p->record == nullptr) return 1;
  TavoPropertyRecord* rec = property_record(p);
  va_list ap;
  va_start(ap, format);
  format_value(rec->value, format, ap);
  va_end(ap);
  return 0;
}

uint32_t handle_internal_property(TavoNode* property, char* buf, uint32_t op) {
  if (property == nullptr || buf == nullptr || property->record == nullptr) return 1;
  TavoPropertyRecord* rec = property_record(property);
  if (op == TAVO_PROPERTY_GET) {
    // Every read of a stored value comes here: a copy, not a format.
    copy_bounded(buf, TAVO_VALUE_SIZE, rec->value);
  } else if (op == TAVO_PROPERTY_SET) {
    copy_bounded(rec->value, sizeof rec->value, buf);
  }
  return 0;
}

int32_t get_port_number(TavoNode* node) {
  for (int depth = 0; node != nullptr && depth < 4096; ++depth, node = node->parent) {
    if (node->kind == TAVO_KIND_GROUP && node->record != nullptr) {
      auto* handle = static_cast<const uint32_t*>(group_record(node)->nhandle);
      if (handle != nullptr && handle[0] != 0) return static_cast<int32_t>(handle[0]);
    }
    if (is_root(node)) break;
  }
  return -1;
}

int32_t get_cv_instance(TavoNode* node) {
  static const char* const names[] = {"Corvane"};
  TavoNode* g = group_above(node, names, 1);
  return g ? instance_number(g) : 0;
}

int32_t get_phba_port_number(TavoNode* node) {
  static const char* const names[] = {"iSCSIPhysicalHBA", "PortDiscoveryAndConfiguration", "NICPhysicalHBA"};
  return phba_port_number_of(group_above(node, names, 3));
}

int32_t tavo::tree::phba_port_number_of(TavoNode* g) {
  if (g == nullptr) return 0;
  char text[TAVO_VALUE_SIZE] = "";
  if (internal_get_property(g, "PortNumber", text) != 0) return 0;
  return static_cast<int32_t>(strtol(text, nullptr, 10));
}

int32_t get_domain_id(TavoNode* node) {
  static const char* const names[] = {"LogicalHBA"};
  TavoNode* g = group_above(node, names, 1);
  return g ? instance_number(g) : 0;
}

uint32_t purge_nodes_within(TavoNode* group, const char* child_group) {
  if (group == nullptr || child_group == nullptr) return 1;
  uint32_t result = 0;
  TavoNode* i = get_first_instance(group, child_group);
  while (i != nullptr && instance_number(i) != -1) {
    TavoNode* next = group_record(i)->instance->next_instance;
    // Handles are released only with a node that really goes: every group
    // in the instance's subtree (a Session's Connections among them).
    if (i->link_count != 0 || linked_from_outside(i)) return 4;
    release_handles_within(i);
    // Deleting the last instance releases the sentinel the walk would end on.
    const bool last = instance_number(next) == -1;
    result = delete_node(i);
    if (result != 0 || last) return result;
    i = next;
  }
  return result;
}
