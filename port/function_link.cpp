// What a function shows of its port's link: PortSpeed and ActivePort of
// an iSCSI function's NICConfiguration and of a NICPhysicalHBA, and the
// logical link state of either.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "controller/controller.h"
#include "port/port_internal.h"
#include "transport/device_ids.h"
#include "transport/glob.h"
#include "transport/mailbox.h"
#include "tree/handler_context.h"

using tavo::tree::next_instance;

namespace {

bool function_named(const TavoNode* n, const char* name) {
  return n != nullptr && n->kind == TAVO_KIND_GROUP && n->name != nullptr && strcmp(n->name, name) == 0;
}

// The context of a function's group for the path (2: the NICPhysicalHBA
// itself, 1: a NICConfiguration under an iSCSIPhysicalHBA's Network): its
// function and controller; false when the group is not where it should be.
bool function_group_context(TavoNode* group, uint32_t path, tavo::tree::HandlerContext* c) {
  const bool nic = path == TAVO_VIA_NIC;
  const bool placed = nic ? function_named(group, "NICPhysicalHBA")
                          : path == TAVO_VIA_ISCSI && function_named(group, "NICConfiguration") &&
                                function_named(group->parent, "Network");
  if (!placed) return false;
  *c = tavo::tree::handler_context(group);
  return function_named(c->function, nic ? "NICPhysicalHBA" : "iSCSIPhysicalHBA") && c->controller != nullptr;
}

// Whether the port that carries this PortNumber and the function both show
// their link down (without asking the adapter for a speed).
bool function_port_down(TavoNode* controller, const char* port_number, const char* logical) {
  if (strcasecmp(logical, "Down") != 0) return false;
  for (TavoNode* p = get_first_instance(controller, "PortDiscoveryAndConfiguration"); p != nullptr;
       p = next_instance(p)) {
    char text[TAVO_VALUE_SIZE] = "";
    if (internal_get_property(p, "PortNumber", text) != 0 || strcmp(text, port_number) != 0) continue;
    char physical[TAVO_VALUE_SIZE] = "";
    return internal_get_property(p, "PhysicalLinkStatus", physical) == 0 && strcasecmp(physical, "Down") == 0;
  }
  return false;
}

uint32_t function_store_speed(TavoNode* group, const char* text) {
  return set_prop_val(group, "PortSpeed", "%s", text) != 0 ? 1 : 0;
}

}  // namespace

uint32_t get_portspeed(TavoNode* group, uint32_t device, uint8_t domain, uint8_t port_number, uint32_t path,
                       uint32_t generation) {
  tavo::tree::HandlerContext at;
  if (!function_group_context(group, path, &at)) return 1;
  TavoNode* function = at.function;
  TavoNode* qos =
      internal_get_node(internal_get_node(function, "LogicalHBA0", TAVO_KIND_GROUP), "iSCSIQoS", TAVO_KIND_GROUP);
  char port_text[TAVO_VALUE_SIZE] = "", logical[TAVO_VALUE_SIZE] = "";
  if ((path == TAVO_VIA_ISCSI && qos == nullptr) || internal_get_property(function, "PortNumber", port_text) != 0 ||
      internal_get_property(group, "LogicalLinkStatus", logical) != 0)
    return 1;
  if (function_port_down(at.controller, port_text, logical)) return function_store_speed(group, "0 (Link Down)");
  tavo::LinkStatusRecord r;
  if (tavo::port::read_link_status(device, domain, port_number, path, 1, &r) != 0) {
    tavo::port::port_status(93);
    return 1;
  }
  uint64_t mb = 0;
  if (generation == tavo::kGenerationMoravel && !vm_flag) {
    char max_bits[TAVO_VALUE_SIZE] = "";
    if (internal_get_property(path == TAVO_VIA_NIC ? group : qos, "MaxBitsPerSecond", max_bits) != 0) return 0;
    const auto m = static_cast<uint16_t>(strtoul(max_bits, nullptr, 10));
    if (m == 0) return function_store_speed(group, "0 (Link Down)");
    mb = uint64_t{m} * 100;
  } else if (r.qos_speed == 0) {
    return function_store_speed(group, tavo::port::link_speed_name(r.speed_code));
  } else {
    mb = uint64_t{r.qos_speed} * 10;
  }
  char text[TAVO_VALUE_SIZE];
  tavo::port::speed_text(mb, text);
  return function_store_speed(group, text);
}

uint32_t handle_portspeed(TavoNode* property, char* buf, uint32_t) {
  if (property == nullptr || buf == nullptr) return 1;
  TavoNode* group = property->parent;
  const uint32_t path = function_named(group, "NICPhysicalHBA")     ? TAVO_VIA_NIC
                        : function_named(group, "NICConfiguration") ? TAVO_VIA_ISCSI
                                                                    : 0;
  if (path == 0) return tavo::port::answer_stored(property, buf);
  tavo::tree::HandlerContext c;
  if (!function_group_context(group, path, &c)) return 1;
  const uint32_t generation = get_cv_type(c.controller);
  if (generation == TAVO_GENERATION_UNREADABLE) return 1;
  if (get_portspeed(group, c.number, c.domain, c.port, path, generation) != 0) return 1;
  return tavo::port::answer_stored(property, buf);
}

uint32_t handle_activeport(TavoNode* property, char* buf, uint32_t) {
  if (property == nullptr || buf == nullptr) return 1;
  TavoNode* group = property->parent;
  const tavo::tree::HandlerContext c = tavo::tree::handler_context(group);
  tavo::LinkStatusRecord r;
  if (tavo::port::read_link_status(c.number, c.domain, c.port, TAVO_VIA_ISCSI, 0, &r) != 0) {
    tavo::port::port_status(94);
    return 1;
  }
  uint32_t stored = 0;
  if (r.active_port <= 1)
    stored = set_prop_val(group, property->name, "%d", r.active_port);
  else if (r.active_port == tavo::kNoActivePort)
    stored = set_prop_val(group, property->name, "None");
  if (stored != 0) return 1;
  return tavo::port::answer_stored(property, buf);
}

uint32_t get_logical_link_status(uint32_t device, uint8_t domain, uint8_t port_number, TavoNode* group, uint32_t path) {
  if (group == nullptr) return 1;
  if (path != TAVO_VIA_ISCSI && path != TAVO_VIA_NIC) return 0;
  if (path == TAVO_VIA_NIC && get_cv_type(group->parent) == TAVO_GENERATION_UNREADABLE) return 1;
  tavo::LinkStatusRecord r;
  if (tavo::port::read_link_status(device, domain, port_number, path, 1, &r) != 0) {
    tavo::port::port_status(227);
    return 1;
  }
  bool up = false;
  if (path == TAVO_VIA_ISCSI) {
    // Any other state leaves the stored text as it is.
    if (r.logical_state > 1) return 0;
    up = r.logical_state == 1;
  } else {
    up = r.speed_code != 0 && r.link_state != 0 && r.logical_state != 0;
  }
  return set_prop_val(group, "LogicalLinkStatus", "%s", up ? "Up" : "Down") != 0 ? 1 : 0;
}
