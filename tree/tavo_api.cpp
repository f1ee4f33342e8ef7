// The public tree interface: connecting clients and walking the tree.
#include <string.h>

#include <string>

#include "platform/host.h"
#include "tree/api_guard.h"
#include "tree/backend_hooks.h"
#include "tree/handler_watch.h"
#include "tree/waiting.h"
#include "base/debug_log.h"
#include "tree/state_changes.h"
#include "tree/status_texts.h"
#include "tree/tree_internal.h"

using namespace tavo::tree;

namespace {

// The kind a filter compares: a link counts as its target's kind.
uint32_t effective_kind(TavoNode* n) {
  TavoNode* t = follow_links(n);
  return t ? t->kind : 0;
}

}  // namespace

TavoNode* tavo::tree::called_node(uint32_t tag) {
  TavoNode* n = get_node(tag);
  if (n == nullptr) refuse_tag(tag);
  return n;
}

TavoNode* tavo::tree::called_group(uint32_t tag) {
  TavoNode* n = called_node(tag);
  TavoNode* group = follow_links(n);
  if (n == nullptr || (group != nullptr && group->kind == TAVO_KIND_GROUP)) return group;
  refuse_kind(tag, "group");
  return nullptr;
}

uint32_t tavo::tree::client_start(void) {
  TAVO_API_GUARD;
  ChangingCall changes;
  pdebug(TAVO_LOG_TREE, 6, "--- entering %s ---\n", "TAVO_init");
  reset_last_status();
  if (const uint32_t refused = tavo::base::root_gate_refusal()) return refused;
  const std::string unavailable = tavo::platform::host_failure();
  if (!unavailable.empty()) {
    tavo_set_last_status(1, unavailable.c_str());
    return 1;
  }
  // A root that is no directory can hold neither the log nor a saved file:
  // the start fails here rather than every action after it.
  const std::string root = tavo::base::unusable_root();
  if (!root.empty()) {
    tavo::platform::tell_operator(root);
    tavo_set_last_status(1, root.c_str());
    return 1;
  }
  if (!tavo::base::log_is_open()) {
    TAVO_config_log_dir_permissions();
    tavo::base::open_log(tavo::platform::fixed_path("/var/log/QVL/tavo/tavo2d.log"));
  }
  TAVO_update_loglevel();
  reset_last_status();  // a level file that cannot be written leaves its debug line only
  add_clients(1);
  pdebug(TAVO_LOG_TREE, 5, "New client #%d!\n", clients());
  // Later clients share the tree; a client finding none (the last build
  // failed) builds it again.
  if (hm_find_hierarchy("") == nullptr) {
    tavo_current_hierarchy[0] = '\0';
    if (const uint32_t r = build_tree(); r != 0) {
      add_clients(-1);
      return r;
    }
  }
  // A start that went well says when other processes' calls are not kept
  // apart from this one's, or wait for them otherwise than asked.
  if (tavo::base::last_status_code() == 0) tavo::base::tell_gate_at_start();
  pdebug(TAVO_LOG_TREE, 6, "--- leaving %s ---\n", "TAVO_init");
  return 0;
}

uint32_t TAVO_exit(void) {
  TAVO_API_GUARD;
  ChangingCall changes;
  pdebug(TAVO_LOG_TREE, 6, "--- entering %s ---\n", __func__);
  reset_last_status();
  if (clients() < 1) return 0;
  pdebug(TAVO_LOG_TREE, 5, "Client disconnecting #%d\n", clients());
  add_clients(-1);
  if (clients() > 0) return 0;
  exit_hm();
  tavo::base::close_root_gate();
  pdebug(TAVO_LOG_TREE, 6, "--- leaving %s ---\n", __func__);
  tavo::base::close_log();
  return 0;
}

uint32_t TAVO_get_child_tags(uint32_t group_tag, uint32_t* tags, uint32_t* count, uint32_t kind) {
  TAVO_API_READ_GUARD;
  if (const uint32_t refused = start_call()) return refused;
  TavoNode* group = called_group(group_tag);
  if (group == nullptr) return 1;
  if (tags == nullptr || count == nullptr) return refuse_null(__func__, tags == nullptr ? "tags" : "count");
  if (kind > 7) return refuse_range(__func__, "kind");
  uint32_t n = 0;
  for (TavoNode* c = first_child(group); c != group; c = c->next) {
    uint32_t k = effective_kind(c);
    bool take;
    if (k == TAVO_KIND_PROPERTY) {
      uint32_t flags = property_record(follow_links(c))->flags;
      take = kind == TAVO_KIND_PROPERTY || (kind == 5 && (flags & TAVO_FLAG_READ_ONLY)) ||
             (kind == 6 && !(flags & TAVO_FLAG_READ_ONLY)) ||
             (kind == 7 && (flags & (TAVO_FLAG_READ_ONLY | TAVO_FLAG_HIDDEN)) == 0);
    } else {
      take = kind != TAVO_KIND_ANY && kind != TAVO_KIND_LINK && k == kind;
    }
    if (take) tags[n++] = c->tag;
  }
  TavoNode* root = get_node(0);
  if (kind == TAVO_KIND_ACTION && root != nullptr && group != root) {
    for (TavoNode* c = first_child(root); c != root; c = c->next)
      if (c->kind == TAVO_KIND_ACTION && action_descriptor(c) && action_descriptor(c)->global == 1) tags[n++] = c->tag;
  }
  *count = n;
  return 0;
}

uint32_t TAVO_get_node_tag(uint32_t group_tag, const char* name, uint32_t* tag, uint32_t kind) {
  TAVO_API_READ_GUARD;
  if (const uint32_t refused = start_call()) return refused;
  TavoNode* group = called_group(group_tag);
  if (group == nullptr) return 1;
  if (name == nullptr || tag == nullptr) return refuse_null(__func__, name == nullptr ? "name" : "tag");
  if (kind > 7) return refuse_range(__func__, "kind");
  TavoNode* n = internal_get_node(group, name, kind);
  if (n == nullptr) return refuse_name(group_tag, name);
  *tag = n->tag;
  return 0;
}

uint32_t TAVO_get_node_name(uint32_t tag, char* name, uint32_t kind) {
  TAVO_API_READ_GUARD;
  if (const uint32_t refused = start_call()) return refused;
  TavoNode* n = called_node(tag);
  if (n == nullptr) return 1;
  if (name == nullptr) return refuse_null(__func__, "name");
  if (kind > 7) return refuse_range(__func__, "kind");
  if (effective_kind(n) != kind) return refuse_kind(tag, kind_name(kind));
  display_name(n, name);
  return 0;
}

uint32_t TAVO_get_parent_tag(uint32_t tag, uint32_t* parent_tag) {
  TAVO_API_READ_GUARD;
  if (const uint32_t refused = start_call()) return refused;
  TavoNode* n = called_node(tag);
  if (n == nullptr) return 1;
  if (parent_tag == nullptr) return refuse_null(__func__, "parent_tag");
  *parent_tag = (n->parent == nullptr || n->parent == n) ? 0 : n->parent->tag;
  return 0;
}

uint32_t TAVO_get_node_description(uint32_t tag, TavoNodeDescription* out) {
  TAVO_API_READ_GUARD;
  if (const uint32_t refused = start_call()) return refused;
  TavoNode* named = called_node(tag);
  if (named == nullptr) return 1;
  TavoNode* n = follow_links(named);
  if (n == nullptr) return refuse_kind(tag, "node");
  if (out == nullptr) return refuse_null(__func__, "description");
  memset(out, 0, sizeof *out);
  snprintf(out->description, sizeof out->description, "%s", n->description ? n->description : "");
  out->kind = static_cast<uint8_t>(n->kind);
  if (n->kind == TAVO_KIND_PROPERTY && n->record != nullptr) {
    out->value_type = property_record(n)->value_type;
    out->minimum = property_record(n)->minimum;
    out->maximum = property_record(n)->maximum;
  }
  return 0;
}

uint32_t TAVO_refresh_group(uint32_t group_tag) {
  TAVO_API_GUARD;
  ChangingCall changes;
  if (const uint32_t refused = start_call()) return refused;
  TavoNode* g = get_node(group_tag);
  // The answer stays 0 whatever the handler answers; a failure leaves its reason.
  if (g != nullptr && g->kind == TAVO_KIND_GROUP && group_record(g)->refresh != nullptr) {
    build_waiting_for_call(g);
    watch_handler(HandlerRun::Refresh, group_record(g)->refresh, g);
    handler_result(group_record(g)->refresh(g), HandlerRun::Refresh, g);
  }
  return 0;
}

uint32_t TAVO_get_valid_instances(uint32_t group_tag, const char* group_name, uint32_t* numbers, uint32_t* count) {
  TAVO_API_READ_GUARD;
  if (const uint32_t refused = start_call()) return refused;
  TavoNode* group = called_group(group_tag);
  if (group == nullptr) return 1;
  if (group_name == nullptr || numbers == nullptr || count == nullptr)
    return refuse_null(__func__, group_name == nullptr ? "group_name" : numbers == nullptr ? "numbers" : "count");
  *count = 0;
  TavoNode* first = get_first_instance(group, group_name);
  if (first == nullptr) return 0;
  uint32_t n = 0;
  for (TavoNode* i = first; instance_number(i) != -1 && n < TAVO_MAX_INSTANCES;
       i = group_record(i)->instance->next_instance)
    numbers[n++] = static_cast<uint32_t>(instance_number(i));
  *count = n;
  return 0;
}

uint32_t TAVO_get_last_status(uint32_t* code, char* text) {
  // The thread's own: no lock, no gate, nothing that could change it.
  tavo_get_last_status(code, text);
  return 0;
}
