// A handler's command context from the tree above its node.
#include "tree/handler_context.h"

namespace tavo::tree {

HandlerContext handler_context(TavoNode* node) {
  HandlerContext c;
  if (node == nullptr) return c;
  c.controller = group_above(node, "Corvane");
  // Functions never hold one another: the one above is the only one.
  c.function = group_above(node, "iSCSIPhysicalHBA");
  if (c.function == nullptr) c.function = group_above(node, "NICPhysicalHBA");
  if (c.function == nullptr && c.controller != nullptr) {
    c.function = get_first_instance(c.controller, "iSCSIPhysicalHBA");
    if (c.function == nullptr) c.function = get_first_instance(c.controller, "NICPhysicalHBA");
  }
  const int32_t number = c.function != nullptr ? get_port_number(c.function) : -1;
  c.number = number > 0 ? static_cast<uint32_t>(number) : 0;
  c.domain = static_cast<uint8_t>(get_domain_id(node));
  c.port = static_cast<uint8_t>(get_phba_port_number(node));
  return c;
}

}  // namespace tavo::tree
