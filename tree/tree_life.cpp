// Building the tree at the first client's start and tearing it down at the
// last client's exit. ROOT and its three properties are static nodes.
#include <string.h>
#include <algorithm>
#include <iterator>

#include "tree/api_guard.h"
#include "tree/backend_hooks.h"
#include "base/debug_log.h"
#include "base/memory.h"
#include "platform/host.h"
#include "tree/group_builder.h"
#include "tree/tree_internal.h"
#include "tree/waiting.h"

namespace {

char root_name[] = "ROOT";
char root_description[] = " ";
char service_version_name[] = "TAVOServiceVersion";
char service_version_description[] = "This property specifies the version number of the TavoService.";
char hierarchy_version_name[] = "TAVOHierarchyVersion";
char hierarchy_version_description[] = "This property specifies the version number of the TAVO hierarchy.";
char debug_level_name[] = "TAVODebugLevel";
char debug_level_description[] =
    "This property specifies the TAVODebugLevel. Possible values are 0 - Disabled, 1 - FATAL, 2 - CRITICAL, 3 - "
    "ERROR, 4 - WARNING, 5 - INFORMATION, 6 - DEBUG. By default TAVODebugLevel is 3 - Error. If TAVO or system is "
    "restarted TAVODebugLevel will be the default value.";
char empty_name[] = "";

TavoNode root_node;

struct RootPropertyDef {
  char* name;
  char* description;
  const char* value;
  uint32_t flags;
  uint8_t type;
  const char* list;
  int32_t minimum;
  int32_t maximum;
  TavoPropertyHandler handler;
};

const RootPropertyDef kRootProperties[] = {
    {service_version_name, service_version_description, "0", TAVO_ACCESS_READ_ONLY, TAVO_TYPE_TEXT, "", 5, 32,
     handle_internal_property},
    {hierarchy_version_name, hierarchy_version_description, "0", TAVO_ACCESS_READ_ONLY, TAVO_TYPE_TEXT, "", 3, 32,
     handle_internal_property},
    {debug_level_name, debug_level_description, "3", TAVO_ACCESS_READ_WRITE, TAVO_TYPE_LIST, "0,1,2,3,4,5,6", 5, 11,
     handle_TAVODebugLevel},
};
TavoNode root_properties[std::size(kRootProperties)];

// Deletes ROOT's tree and releases the hierarchy's tag table; the slot
// areas are released next, where instances were built.
void tear_down(TavoHierarchy* h) {
  tavo::tree::tear_down_tree(h);
  tavo::tree::unregister_hierarchy(h);
}

}  // namespace

namespace tavo::tree {

namespace {
constinit BackendHooks hooks{nullptr, nullptr};
}  // namespace

void set_backend_hooks(BackendHooks h) { hooks = h; }
BackendHooks backend_hooks() { return hooks; }

bool is_static_node(const TavoNode* n) {
  // Asked of every node as the tree goes.
  const auto at = reinterpret_cast<uintptr_t>(n), properties = reinterpret_cast<uintptr_t>(root_properties);
  return n == &root_node || (at >= properties && at < properties + sizeof root_properties);
}

}  // namespace tavo::tree

uint32_t init_hm(void) { return init_hm_data(); }

uint32_t init_hm_data(void) {
  tavo::tree::BuildScope building;
  TavoHierarchy* h = &hierarchy_name_;
  h->name = empty_name;
  h->root = &root_node;
  h->max_tag_count = 239343096;
  if (hm_setup_hierarchy(h) != 0) return 1;

  memset(&root_node, 0, sizeof root_node);
  root_node.kind = TAVO_KIND_GROUP;
  root_node.name = root_name;
  root_node.description = root_description;
  root_node.parent = &root_node;
  auto* rec = static_cast<TavoGroupRecord*>(tavo_dmalloc(sizeof(TavoGroupRecord)));
  if (rec == nullptr) {
    tear_down(h);
    return 1;
  }
  memset(rec, 0, sizeof *rec);
  rec->first_child = rec->last_child = &root_node;
  root_node.record = rec;
  if (tavo::tree::add_library_node(&root_node, h) != 0) {
    tavo_dfree(rec);
    root_node.record = nullptr;
    tavo::tree::unregister_hierarchy(h);
    return 1;
  }
  for (size_t i = 0; i < std::size(kRootProperties); ++i) {
    const RootPropertyDef& d = kRootProperties[i];
    TavoNode& n = root_properties[i];
    memset(&n, 0, sizeof n);
    n.kind = TAVO_KIND_PROPERTY;
    n.name = d.name;
    n.description = d.description;
    n.parent = &root_node;
    auto* p = static_cast<TavoPropertyRecord*>(tavo_dmalloc(sizeof(TavoPropertyRecord)));
    if (p == nullptr) {
      tear_down(h);
      return 1;
    }
    memset(p, 0, sizeof *p);
    snprintf(p->value, sizeof p->value, "%s", d.value);
    p->handler = d.handler;
    p->flags = d.flags;
    p->value_type = d.type;
    snprintf(p->valid_list, sizeof p->valid_list, "%s", d.list);
    p->minimum = d.minimum;
    p->maximum = d.maximum;
    n.record = p;
    if (tavo::tree::add_library_node(&n, h) < 0) {
      tavo_dfree(p);
      n.record = nullptr;
      tear_down(h);
      return 1;
    }
  }
  h->max_description_length = TAVO_DESCRIPTION_SIZE;
  h->max_name_length = TAVO_NAME_SIZE;
  h->max_params = TAVO_MAX_PARAMS;
  h->max_path_depth = 1077;
  h->max_instances = TAVO_MAX_INSTANCES;
  const tavo::tree::BackendHooks hooks = tavo::tree::backend_hooks();
  if (hooks.start == nullptr) pdebug(TAVO_LOG_TREE, 2, "init_hm_data: no back end is linked in\n");
  if (hooks.start == nullptr || hooks.start() != 0) {
    // What the back end registered is released with the tree.
    if (hooks.stop != nullptr) hooks.stop();
    tear_down(h);
    tavo::tree::release_slot_areas();
    return 1;
  }
  return 0;
}

void exit_hm_data(void) {
  const tavo::tree::BackendHooks hooks = tavo::tree::backend_hooks();
  if (hooks.stop != nullptr) hooks.stop();
}

void exit_hm(void) {
  exit_hm_data();
  TavoHierarchy* all[5];
  int n = tavo::tree::registered_hierarchies(all, 5);
  for (int i = 0; i < n; ++i) tear_down(all[i]);
  tavo::tree::release_slot_areas();
  tavo::tree::release_waits();
  // The group blocks the tree gave back were kept for the next tree.
  tavo::base::release_kept_blocks();
  tavo::platform::forget_fixed_paths();
}
