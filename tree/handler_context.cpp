// A handler's command context from the tree above its node.
#include "tree/handler_context.h"

#include <initializer_list>

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

}  // namespace

HandlerContext handler_context(TavoNode* node, Commands whose) {
  HandlerContext c;
  if (node == nullptr) return c;
  c.controller = group_above(node, "Corvane");
  if (whose == Commands::OfController)
    return c.controller != nullptr ? handler_context(controller_function(c.controller)) : HandlerContext{};
  // Functions never hold one another: the one above is the only one.
  c.function = group_above(node, "iSCSIPhysicalHBA");
  if (c.function == nullptr) c.function = group_above(node, "NICPhysicalHBA");
  if (c.function == nullptr && c.controller != nullptr) c.function = controller_function(c.controller);
  // A port's commands go through the function that serves it.
  c.port_group = group_above(node, "PortDiscoveryAndConfiguration");
  if (c.port_group != nullptr && group_record(c.port_group)->nhandle != nullptr)
    if (TavoNode* fn = context_serving_function(c.controller, group_record(c.port_group)->nhandle)) c.function = fn;
  const int32_t number = c.function != nullptr ? get_port_number(c.function) : -1;
  c.number = number > 0 ? static_cast<uint32_t>(number) : 0;
  c.lhba = group_above(node, "LogicalHBA");
  c.domain = static_cast<uint8_t>(c.lhba != nullptr ? instance_number(c.lhba) : 0);
  c.port = static_cast<uint8_t>(get_phba_port_number(node));
  return c;
}

}  // namespace tavo::tree
