// The public tree interface: property values, actions and persistence.
#include <string.h>

#include <vector>

#include "base/debug_log.h"
#include "base/validate.h"
#include "tree/api_guard.h"
#include "tree/waiting.h"
#include "tree/handler_watch.h"
#include "tree/persist.h"
#include "tree/state_changes.h"
#include "tree/status_texts.h"
#include "tree/tree_internal.h"

uint32_t* tavo_internal_new_tags = nullptr;
int32_t new_tag_index = 0;
bool tavo::tree::action_making = false;

using namespace tavo::tree;

std::atomic<HandlerWatch> tavo::tree::handler_watch{nullptr};

namespace {

constexpr const char* kNotPersistent = "persistent group or link whose creating action stands";

// The property of group a property tag names (a link for its target);
// null with the call refused.
TavoNode* called_property(uint32_t tag, uint32_t group_tag, const TavoNode* group) {
  TavoNode* named = called_node(tag);
  if (named == nullptr) return nullptr;
  TavoNode* p = follow_links(named);
  if (p == nullptr || p->kind != TAVO_KIND_PROPERTY) {
    refuse_kind(tag, "property");
    return nullptr;
  }
  if (p->parent == group) return p;
  refuse_other_group(tag, group_tag);
  return nullptr;
}

// What the action makes is its own while it runs; the created-tags array
// belongs to the caller only meanwhile.
struct NewTagsScope {
  explicit NewTagsScope(uint32_t* tags) {
    tavo_internal_new_tags = tags;
    if (tags != nullptr) tags[0] = 0;
    new_tag_index = 0;
    action_making = true;
  }
  ~NewTagsScope() {
    tavo_internal_new_tags = nullptr;
    action_making = false;
  }
};

// The value property's handler writes, as much of it as length holds.
uint32_t handler_value(TavoNode* property, char* buffer, uint32_t length) {
  char value[TAVO_VALUE_SIZE] = "";
  const TavoPropertyHandler handler = property_record(property)->handler;
  watch_handler(HandlerRun::Get, handler, property);
  const uint32_t r = handler_result(handler(property, value, TAVO_PROPERTY_GET), HandlerRun::Get, property);
  if (length > 0) copy_bounded(buffer, length, value);
  return r;
}

}  // namespace

uint32_t TAVO_get_property_val(uint32_t group_tag, uint32_t property_tag, char* buffer, uint32_t length) {
  // Before the guard: readers of other threads wait for no trace.
  pdebug(TAVO_LOG_TREE, 6, "--- entering %s ---\n", __func__);
  TAVO_API_READ_GUARD;
  if (const uint32_t refused = start_call()) return refused;
  TavoNode* group = called_group(group_tag);
  TavoNode* p = group != nullptr ? called_property(property_tag, group_tag, group) : nullptr;
  if (p == nullptr) return 1;
  if (buffer == nullptr) return refuse_null(__func__, "buffer");
  if (length > TAVO_VALUE_SIZE) return refuse_range(__func__, "length");
  const TavoPropertyRecord* rec = property_record(p);
  build_waiting_for_call(p);
  // A stored value is copied to the caller as it is; a handler writes into
  // a private buffer. The caller gets at most length bytes.
  if (rec->handler != nullptr && rec->handler != handle_internal_property) return handler_value(p, buffer, length);
  if (rec->handler != nullptr) watch_handler(HandlerRun::Get, rec->handler, p);
  if (length > 0) copy_bounded(buffer, length, rec->value);
  return 0;
}

uint32_t TAVO_set_property_val(uint32_t group_tag, uint32_t property_tag, const char* value, uint32_t length) {
  TAVO_API_GUARD;
  ChangingCall changes;
  pdebug(TAVO_LOG_TREE, 6, "--- entering %s ---\n", __func__);
  if (const uint32_t refused = start_call()) return refused;
  TavoNode* group = called_group(group_tag);
  TavoNode* p = group != nullptr ? called_property(property_tag, group_tag, group) : nullptr;
  if (p == nullptr) return 1;
  if (value == nullptr) return refuse_null(__func__, "value");
  TavoPropertyRecord* rec = property_record(p);
  if (rec->flags & TAVO_FLAG_READ_ONLY) {
    tavo::base::set_status(TAVO_READ_ONLY);
    return 1;
  }
  if (length > TAVO_VALUE_SIZE) return refuse_range(__func__, "length");
  // Validation may rewrite the text (IPv6 full form): work on a private copy.
  char text[TAVO_VALUE_SIZE] = "";
  size_t n = strnlen(value, length < TAVO_VALUE_SIZE ? length : TAVO_VALUE_SIZE - 1);
  memcpy(text, value, n);
  text[n] = '\0';
  uint32_t v = tavo_validate(text, rec->valid_list, rec->value_type, rec->minimum, rec->maximum);
  if (v != 0) {
    validation_status(v, nullptr, rec->minimum, rec->maximum);
    return 1;
  }
  if (rec->handler == nullptr) {
    pdebug(TAVO_LOG_TREE, 6, "--- leaving %s ---\n", __func__);
    return no_handler();
  }
  build_waiting_for_call(p);
  watch_handler(HandlerRun::Set, rec->handler, p);
  return handler_result(rec->handler(p, text, TAVO_PROPERTY_SET), HandlerRun::Set, p);
}

uint32_t TAVO_do_action(uint32_t group_tag, uint32_t action_tag, const char* params, uint32_t* new_tags) {
  TAVO_API_GUARD;
  ChangingCall changes;
  pdebug(TAVO_LOG_TREE, 6, "--- entering %s ---\n", __func__);
  if (const uint32_t refused = start_call()) return refused;
  TavoNode* group = called_group(group_tag);
  TavoNode* a = group != nullptr ? called_node(action_tag) : nullptr;
  if (a == nullptr) return 1;
  TavoNode* action = follow_links(a);
  if (action == nullptr || action->kind != TAVO_KIND_ACTION || action->record == nullptr)
    return refuse_kind(action_tag, "action");
  if (params == nullptr) return refuse_null(__func__, "params");
  NewTagsScope created(new_tags);
  const TavoActionDescriptor* d = action_descriptor(action);
  // The action must be the group's own, or one that every group offers.
  TavoNode* root = get_node(0);
  if (action->parent != group && !(d->global == 1 && action->parent == root))
    return refuse_other_group(action_tag, group_tag);
  // The caller's block is read, never written: each value is a private copy.
  // They may carry a CHAP secret: none stays behind on the stack.
  struct Values {
    char text[TAVO_MAX_PARAMS][TAVO_VALUE_SIZE] = {};
    ~Values() { explicit_bzero(text, sizeof text); }
  } held;
  auto& values = held.text;
  int32_t count = d->param_count < 0 ? 0 : (d->param_count > TAVO_MAX_PARAMS ? TAVO_MAX_PARAMS : d->param_count);
  for (int32_t i = 0; i < count; ++i) {
    const TavoActionParam& param = d->params[i];
    memcpy(values[i], params + static_cast<size_t>(i) * TAVO_VALUE_SIZE, TAVO_VALUE_SIZE);
    if (static_cast<uint8_t>(values[i][0]) == TAVO_NOT_GIVEN) {
      if (param.required) {
        kParameterMissing.set(param.name);
        return 1;
      }
      memset(values[i], 0, TAVO_VALUE_SIZE);
      continue;
    }
    values[i][TAVO_VALUE_SIZE - 1] = '\0';
    uint32_t v = tavo_validate(values[i], param.valid_list, param.value_type, param.minimum, param.maximum);
    if (v != 0) {
      validation_status(v, param.name, param.minimum, param.maximum);
      return 1;
    }
  }
  if (d->handler == nullptr) {
    pdebug(TAVO_LOG_TREE, 3, "Not Implimented\n");
    return refuse_kind(action_tag, "action with a handler");
  }
  build_waiting_for_call(action->parent == group ? action : group);
  watch_handler(HandlerRun::Action, d->handler, action);
  const uint32_t r = handler_result(d->handler(group, action, &values[0][0]), HandlerRun::Action, action);
  pdebug(TAVO_LOG_TREE, 6, "--- leaving %s ---\n", __func__);
  return r;
}

uint32_t TAVO_get_param_info(uint32_t action_tag, TavoParamInfo* info) {
  TAVO_API_READ_GUARD;
  if (const uint32_t refused = start_call()) return refused;
  TavoNode* named = called_node(action_tag);
  if (named == nullptr) return 1;
  TavoNode* a = follow_links(named);
  if (a == nullptr || a->kind != TAVO_KIND_ACTION || a->record == nullptr) return refuse_kind(action_tag, "action");
  if (info == nullptr) return refuse_null(__func__, "info");
  const TavoActionDescriptor* d = action_descriptor(a);
  info->param_count = d->param_count;
  memcpy(info->params, d->params, sizeof info->params);
  return 0;
}

uint32_t TAVO_get_persistent_nodes(uint32_t* tags, int32_t* count) {
  TAVO_API_READ_GUARD;
  if (const uint32_t refused = start_call()) return refused;
  if (tags == nullptr || count == nullptr) return refuse_null(__func__, tags == nullptr ? "tags" : "count");
  TavoNode* root = get_node(0);
  build_every_waiting_group(root);
  if (persistency_priority <= 1 || root == nullptr) {
    if (*count < 0) return refuse_room(*count, 0);
    *count = 0;
    return 0;
  }
  std::vector<TavoNode*> table(persistency_priority - 1, nullptr);
  enumerate_nodes(table.data(), root);
  int32_t found = 0;
  for (TavoNode* n : table) found += n != nullptr;
  if (found > *count) return refuse_room(*count, found);
  int32_t copied = 0;
  for (TavoNode* n : table)
    if (n != nullptr) tags[copied++] = n->tag;
  *count = copied;
  return 0;
}

uint32_t TAVO_get_persistence_info(uint32_t tag, TavoPersistenceInfo* info) {
  TAVO_API_READ_GUARD;
  if (const uint32_t refused = start_call()) return refused;
  TavoNode* n = called_node(tag);
  if (n == nullptr) return 1;
  if (info == nullptr) return refuse_null(__func__, "info");
  if (n->record == nullptr) return refuse_kind(tag, kNotPersistent);
  TavoNodeRef action_ref, on_ref;
  const char(*params)[TAVO_VALUE_SIZE] = nullptr;
  uint32_t priority = 0;
  if (n->kind == TAVO_KIND_GROUP) {
    TavoGroupRecord* g = group_record(n);
    action_ref = g->creating_action;
    on_ref = g->creating_node;
    params = g->params;
    priority = g->persistence_priority;
  } else if (n->kind == TAVO_KIND_LINK) {
    TavoLinkRecord* l = link_record(n);
    action_ref = l->creating_action;
    on_ref = l->creating_node;
    params = l->params;
    priority = l->persistence_priority;
  } else {
    return refuse_kind(tag, kNotPersistent);
  }
  // Creators deleted since are gone, whatever node took their place.
  const TavoHierarchy* h = hm_find_hierarchy_by_node(n);
  TavoNode* action = ref_node(h, action_ref);
  TavoNode* on = ref_node(h, on_ref);
  if (priority == 0 || action == nullptr) return refuse_kind(tag, kNotPersistent);
  memset(info, 0, sizeof *info);
  info->action_tag = action->tag;
  info->node_tag = on ? on->tag : 0;
  for (int i = 0; i < TAVO_MAX_PARAMS; ++i) snprintf(info->params[i], TAVO_VALUE_SIZE, "%s", params[i]);
  return 0;
}
