// What a function shows of its port's link speed: PortSpeed of a
// NICPhysicalHBA and of an iSCSI function's NICConfiguration. The speed
// depends on the function's own values (its logical link, and on Moravel
// its bandwidth cap), which this branch owns.
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "controller/controller.h"
#include "nic/iscsi_qos.h"
#include "nic/nic_internal.h"
#include "port/port.h"
#include "transport/device_ids.h"
#include "transport/glob.h"

using namespace tavo::nic;
using tavo::tree::next_instance;

namespace {

bool speed_named(const TavoNode* n, const char* name) {
  return n != nullptr && n->kind == TAVO_KIND_GROUP && n->name != nullptr && strcmp(n->name, name) == 0;
}

// The context of a function's group for the path (2: the NICPhysicalHBA
// itself, 1: a NICConfiguration under an iSCSIPhysicalHBA's Network): its
// function and controller; false when the group is not where it should be.
bool speed_group_context(TavoNode* group, uint32_t path, HandlerContext* c) {
  const bool nic = path == TAVO_VIA_NIC;
  const bool placed = nic ? speed_named(group, "NICPhysicalHBA")
                          : path == TAVO_VIA_ISCSI && speed_named(group, "NICConfiguration") &&
                                speed_named(group->parent, "Network");
  if (!placed) return false;
  *c = handler_context(group);
  return speed_named(c->function, nic ? "NICPhysicalHBA" : "iSCSIPhysicalHBA") && c->controller != nullptr;
}

// The group's LogicalLinkStatus read afresh, as its property answers it.
bool speed_logical_link(TavoNode* group, uint32_t path, char out[TAVO_VALUE_SIZE]) {
  const HandlerContext t = handler_context(group);
  if (!t || get_logical_link_status(t.number, t.domain, t.port, group, path) != 0) return false;
  stored_text(group, "LogicalLinkStatus", out);
  return true;
}

// Whether the port that carries this PortNumber and the function both show
// their link down (without asking the adapter for a speed).
bool speed_port_down(TavoNode* controller, const char* port_number, const char* logical) {
  if (strcasecmp(logical, "Down") != 0) return false;
  for (TavoNode* p = get_first_instance(controller, "PortDiscoveryAndConfiguration"); p != nullptr;
       p = next_instance(p)) {
    char text[TAVO_VALUE_SIZE] = "";
    stored_text(p, "PortNumber", text);
    if (strcmp(text, port_number) != 0) continue;
    char physical[TAVO_VALUE_SIZE] = "";
    return tavo::port::physical_link_status(p, physical) == 0 && strcasecmp(physical, "Down") == 0;
  }
  return false;
}

uint32_t speed_store(TavoNode* group, const char* text) {
  return set_prop_val(group, "PortSpeed", "%s", text) != 0 ? 1 : 0;
}

}  // namespace

uint32_t get_portspeed(TavoNode* group, uint32_t device, uint8_t domain, uint8_t port_number, uint32_t path,
                       uint32_t generation) {
  HandlerContext at;
  if (!speed_group_context(group, path, &at)) return 1;
  TavoNode* function = at.function;
  TavoNode* qos =
      internal_get_node(internal_get_node(function, "LogicalHBA0", TAVO_KIND_GROUP), "iSCSIQoS", TAVO_KIND_GROUP);
  char port_text[TAVO_VALUE_SIZE] = "", logical[TAVO_VALUE_SIZE] = "";
  if (path == TAVO_VIA_ISCSI && qos == nullptr) return 1;
  stored_text(function, "PortNumber", port_text);
  if (!speed_logical_link(group, path, logical)) return 1;
  if (speed_port_down(at.controller, port_text, logical)) return speed_store(group, "0 (Link Down)");
  tavo::LinkStatusRecord r;
  if (tavo::port::read_link_status(device, domain, port_number, path, 1, &r) != 0) {
    nic_status(93);
    return 1;
  }
  uint64_t mb = 0;
  if (generation == tavo::kGenerationMoravel && !vm_flag) {
    char max_bits[TAVO_VALUE_SIZE] = "";
    if (max_bits_per_second(path == TAVO_VIA_NIC ? group : qos, max_bits) != 0) return 0;
    const auto m = static_cast<uint16_t>(strtoul(max_bits, nullptr, 10));
    if (m == 0) return speed_store(group, "0 (Link Down)");
    mb = uint64_t{m} * 100;
  } else if (r.qos_speed == 0) {
    return speed_store(group, tavo::port::link_speed_name(r.speed_code));
  } else {
    mb = uint64_t{r.qos_speed} * 10;
  }
  char text[TAVO_VALUE_SIZE];
  tavo::port::speed_text(mb, text);
  return speed_store(group, text);
}

uint32_t handle_portspeed(TavoNode* property, char* buf, uint32_t) {
  if (property == nullptr || buf == nullptr) return 1;
  TavoNode* group = property->parent;
  const uint32_t path = speed_named(group, "NICPhysicalHBA")     ? TAVO_VIA_NIC
                        : speed_named(group, "NICConfiguration") ? TAVO_VIA_ISCSI
                                                                 : 0;
  if (path == 0) return answer_stored(property, buf);
  HandlerContext c;
  if (!speed_group_context(group, path, &c)) return 1;
  const uint32_t generation = get_cv_type(c.controller);
  if (generation == TAVO_GENERATION_UNREADABLE) return 1;
  if (get_portspeed(group, c.number, c.domain, c.port, path, generation) != 0) return 1;
  return answer_stored(property, buf);
}
