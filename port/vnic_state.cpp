// A function's vNIC name and state (the vNIC record), which its vNIC group
// shows and a port's speed settings depend on.
#include <string.h>

#include "controller/controller.h"
#include "port/port_internal.h"
#include "transport/commands.h"
#include "transport/device_ids.h"
#include "transport/glob.h"
#include "transport/mailbox.h"
#include "transport/nic_records.h"

namespace {

constexpr uint32_t kVersionNotSupported = 213;

}  // namespace

uint32_t get_vnic_name(uint32_t function_number, uint8_t domain, uint8_t port_number, TavoNode* vnic,
                       uint32_t transport) {
  if (vnic == nullptr) return 1;
  tavo::VnicName record{};
  const uint32_t status = ioctl_get_vnic_function_name(function_number, &record, domain, port_number, transport);
  if (status != 0 && status != kVersionNotSupported) {
    tavo::port::port_status(186);
    return 1;
  }
  // The firmware's name never reaches past its field.
  const bool enabled = status == 0 && record.enabled == 1;
  set_prop_val(vnic, "vNICEnabled", "%s", enabled ? "true" : "False");
  set_prop_val(vnic, "vNICName", "%.*s", enabled ? static_cast<int>(strnlen(record.name, sizeof record.name)) : 0,
               record.name);
  return 0;
}

bool tavo::port::nic_vnic_enabled(TavoNode* vnic, char out[TAVO_VALUE_SIZE]) {
  out[0] = '\0';
  if (vm_flag) {
    refuse_on_vf(out);
    return false;
  }
  const tree::HandlerContext c = tree::handler_context(vnic);
  if (vnic == nullptr || !c || get_vnic_name(c.number, c.domain, c.port, vnic, TAVO_VIA_NIC) != 0) return false;
  TavoNode* enabled = internal_get_node(vnic, "vNICEnabled", TAVO_KIND_PROPERTY);
  return enabled != nullptr && answer_stored(enabled, out) == 0;
}
