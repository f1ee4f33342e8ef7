// A handler's command context from the tree above its node.
#include "tree/handler_context.h"

#include <strings.h>

#include <initializer_list>

#include "tree/tree_internal.h"

namespace tavo::tree {
namespace {

// The function group whose handle a port's group shares; null for none.
TavoNode* context_serving_function(TavoNode* controller, const void* handle) {
  for (const char* kind : {"iSCSIPhysicalHBA", "NICPhysicalHBA"})
    for (TavoNode* fn = get_first_instance(controller, kind); fn != nullptr; fn = next_instance(fn))
      if (group_record(fn)->nhandle == handle) return fn;
  return nullptr;
}

// The function a controller's own commands go through; null for none.
TavoNode* controller_function(TavoNode* controller) {
  TavoNode* fn = get_first_instance(controller, "iSCSIPhysicalHBA");
  return fn != nullptr ? fn : get_first_instance(controller, "NICPhysicalHBA");
}

// The nearest group at or above a node of each name the context asks for
// (case ignored), found in one walk that stops where group_above stops.
struct GroupsAbove {
  TavoNode* controller = nullptr;
  TavoNode* iscsi_function = nullptr;
  TavoNode* nic_function = nullptr;
  TavoNode* port_group = nullptr;
  TavoNode* lhba = nullptr;
  // The nearest of the two functions and the port group: the group whose
  // PortNumber names the port (get_phba_port_number).
  TavoNode* numbered = nullptr;
};

void take(TavoNode*& slot, TavoNode* g) {
  if (slot == nullptr) slot = g;
}

GroupsAbove groups_above(TavoNode* node) {
  GroupsAbove a;
  for (int depth = 0; node != nullptr && depth < 4096; ++depth, node = node->parent) {
    if (is_root(node)) break;
    if (node->kind != TAVO_KIND_GROUP || node->name == nullptr) continue;
    // The first letter picks the one name a group can have of those asked.
    const char* n = node->name;
    switch (n[0] | 0x20) {
      case 'c':
        if (strcasecmp(n, "Corvane") == 0) take(a.controller, node);
        break;
      case 'i':
        if (strcasecmp(n, "iSCSIPhysicalHBA") == 0) take(a.iscsi_function, node), take(a.numbered, node);
        break;
      case 'n':
        if (strcasecmp(n, "NICPhysicalHBA") == 0) take(a.nic_function, node), take(a.numbered, node);
        break;
      case 'p':
        if (strcasecmp(n, "PortDiscoveryAndConfiguration") == 0) take(a.port_group, node), take(a.numbered, node);
        break;
      case 'l':
        if (strcasecmp(n, "LogicalHBA") == 0) take(a.lhba, node);
        break;
      default:
        break;
    }
  }
  return a;
}

}  // namespace

HandlerContext handler_context(TavoNode* node, Commands whose) {
  HandlerContext c;
  if (node == nullptr) return c;
  const GroupsAbove above = groups_above(node);
  c.controller = above.controller;
  if (whose == Commands::OfController)
    return c.controller != nullptr ? handler_context(controller_function(c.controller)) : HandlerContext{};
  // Functions never hold one another: the one above is the only one.
  c.function = above.iscsi_function != nullptr ? above.iscsi_function : above.nic_function;
  if (c.function == nullptr && c.controller != nullptr) c.function = controller_function(c.controller);
  // A port's commands go through the function that serves it.
  c.port_group = above.port_group;
  if (c.port_group != nullptr && group_record(c.port_group)->nhandle != nullptr)
    if (TavoNode* fn = context_serving_function(c.controller, group_record(c.port_group)->nhandle)) c.function = fn;
  const int32_t number = c.function != nullptr ? get_port_number(c.function) : -1;
  c.number = number > 0 ? static_cast<uint32_t>(number) : 0;
  c.lhba = above.lhba;
  c.domain = static_cast<uint8_t>(c.lhba != nullptr ? instance_number(c.lhba) : 0);
  c.port = static_cast<uint8_t>(phba_port_number_of(above.numbered));
  return c;
}

}  // namespace tavo::tree
