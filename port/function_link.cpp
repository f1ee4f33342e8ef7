// What a function shows of its port's link: ActivePort of an iSCSI
// function's NICConfiguration, and the logical link state of it and of a
// NICPhysicalHBA.
#include <stdio.h>

#include "controller/controller.h"
#include "port/port_internal.h"
#include "transport/device_ids.h"
#include "transport/mailbox.h"
#include "tree/handler_context.h"

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
