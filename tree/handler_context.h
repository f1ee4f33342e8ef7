// What a handler needs to send its commands, worked out once from the node
// it runs on: the controller and function above it, the function's number,
// the domain and the port.
//
//   const tavo::tree::HandlerContext c = tavo::tree::handler_context(property);
//   if (!c) return 1;  // no function with a number above the node
//   ioctl_x(c.number, &record, c.domain, c.port, transport);
//
// A controller's own commands (its personality, profiles, VPD ...) take
// handler_context(node, tree::Commands::OfController) from any node of it.
//
// The generation and the transport are one call away on c.controller
// (get_cv_type, and the controller's protocol bits or port bitmap): the tree
// knows neither the device IDs nor the drivers.
#pragma once

#include <stdint.h>

#include "tree/tree.h"

namespace tavo::tree {

struct HandlerContext {
  // The Corvane instance at or above the node; null outside one.
  TavoNode* controller = nullptr;
  // The iSCSIPhysicalHBA or NICPhysicalHBA instance at or above the node;
  // for a node of a port, the function that serves the port (whose handle
  // the port's group shares); for a node of the controller's own groups
  // (or a port no function serves yet), the controller's first
  // iSCSIPhysicalHBA, else its first NICPhysicalHBA. Null when there is
  // none.
  TavoNode* function = nullptr;
  // That function's 1-based number (its handle, as get_port_number answers
  // it); 0 when it has none.
  uint32_t number = 0;
  // The LogicalHBA instance above the node (get_domain_id); 0 outside one.
  uint8_t domain = 0;
  // PortNumber of the iSCSIPhysicalHBA, PortDiscoveryAndConfiguration or
  // NICPhysicalHBA group above the node (get_phba_port_number); 0 for a
  // node above every function, such as a controller property.
  uint8_t port = 0;
  // The PortDiscoveryAndConfiguration instance at or above the node; null
  // outside one.
  TavoNode* port_group = nullptr;
  // The LogicalHBA instance at or above the node, whose number is domain;
  // null outside one.
  TavoNode* lhba = nullptr;

  // True when the commands have a function to go through.
  explicit operator bool() const { return number != 0; }
};

// Whose commands a context is for: the node's own, or its controller's,
// which go through the controller's first iSCSIPhysicalHBA, else its first
// NICPhysicalHBA, and name that function's own port (where a node above
// every function names port 0).
enum class Commands { OfNode, OfController };

// The context of a property, an action or a group node; an empty one for
// null. Reads only the tree.
HandlerContext handler_context(TavoNode* node, Commands whose = Commands::OfNode);

}  // namespace tavo::tree
