// Hooks of long-lived management clients: at the start of a period of use
// the tree is checked against the adapter (and rebuilt when it differs); at
// its end beacons and loopback modes are switched off and the devices
// closed.
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include "backend/backend.h"
#include "base/status_registry.h"
#include "controller/controller.h"
#include "iscsi/targets/targets.h"
#include "nic/nic.h"
#include "port/port.h"
#include "transport/commands.h"
#include "transport/devices.h"
#include "transport/glob.h"
#include "transport/mailbox.h"
#include "tree/api_guard.h"

using tavo::tree::next_instance;

namespace {

// An adapter that keeps changing is followed a few times per call, not
// forever.
constexpr int kMaxClientRebuilds = 3;

enum class ClientStep { Matches, Rebuild, NoController };

// Tears the tree down and builds it again; false when the build failed.
bool client_rebuild() {
  exit_hm();
  return init_hm() == 0;
}

// Opens the devices anew and compares them (and the functions' PCI
// addresses and serial numbers) with the tree.
ClientStep client_check() {
  os_put_port_instances(tavo_glob.iscsi_handles, TAVO_MAX_FUNCTIONS);
  if (os_get_port_instances(tavo_glob.iscsi_handles, TAVO_MAX_FUNCTIONS) != tavo_glob.iscsi_valid_hba) {
    pdebug(TAVO_LOG_BACKEND, 2, "%s:There is a change in TAVO iSCSI hierarchy.\n", __func__);
    return ClientStep::Rebuild;
  }
  os_put_nic_port_instances(tavo_glob.nic_handles, TAVO_MAX_FUNCTIONS);
  const int32_t nic_count = os_get_nic_port_instances(tavo_glob.nic_handles, TAVO_MAX_FUNCTIONS);
  os_put_nic_port_instances(tavo_glob.nic_handles, TAVO_MAX_FUNCTIONS);
  if (nic_count != tavo_glob.nic_valid_hba) {
    pdebug(TAVO_LOG_BACKEND, 2, "%s:There is a change in TAVO NIC hierarchy.\n", __func__);
    return ClientStep::Rebuild;
  }
  if (tavo_glob.iscsi_valid_hba > 0) {
    if (TAVO_backend_client_bdf(TAVO_VIA_ISCSI) != 0) return ClientStep::Rebuild;
    TAVO_refresh_backend_client_iscsi_tgts();
  }
  if (tavo_glob.nic_valid_hba == 0) return tavo_glob.iscsi_valid_hba > 0 ? ClientStep::Matches : ClientStep::NoController;
  return TAVO_backend_client_bdf(TAVO_VIA_NIC) != 0 ? ClientStep::Rebuild : ClientStep::Matches;
}

// Whether the function's bus or its controller's serial number differs
// from what the firmware reports now. Anything unreadable counts as
// unchanged.
bool client_function_changed(TavoNode* controller, TavoNode* fn, uint32_t protocol) {
  TavoNode* pci = internal_get_node(fn, "PCI", TAVO_KIND_GROUP);
  char bus[TAVO_VALUE_SIZE] = "", serial[TAVO_VALUE_SIZE] = "";
  if (pci == nullptr || internal_get_property(pci, "BusNumber", bus) != 0 ||
      internal_get_property(controller, "SerialNumber", serial) != 0)
    return false;
  tavo::ControllerAttributes block{};
  const tavo::tree::HandlerContext c = tavo::tree::handler_context(fn);
  if (ioctl_fetch_controller_attribs(c.number, &block, c.domain, c.port, protocol) != 0) return false;
  char now_bus[8], now_serial[33];
  snprintf(now_bus, sizeof now_bus, "0x%x", block.bus);
  snprintf(now_serial, sizeof now_serial, "%.*s",
           static_cast<int>(strnlen(block.serial_number, sizeof block.serial_number)), block.serial_number);
  // Without a serial number on either side nothing tells a new adapter.
  if (strcmp(now_serial, "0") == 0 || strcasecmp(serial, "N/A") == 0) return false;
  return strcasecmp(now_bus, bus) != 0 || strcasecmp(now_serial, serial) != 0;
}

}  // namespace

uint32_t backend_client_init(int32_t client) {
  TAVO_API_GUARD;
  if (client > 1) return 0;
  if (hm_find_hierarchy("") == nullptr) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:No client has started the library.\n", __func__);
    return 1;
  }
  for (int rebuilds = 0;; ++rebuilds) {
    const ClientStep step = client_check();
    if (step == ClientStep::Matches) break;
    if (step == ClientStep::NoController) {
      tavo::backend::backend_status(18);
      return 1;
    }
    if (rebuilds == kMaxClientRebuilds) {
      pdebug(TAVO_LOG_BACKEND, 2, "%s:The adapter keeps changing.\n", __func__);
      return 1;
    }
    if (!client_rebuild()) return 1;
  }
  if (tavo_glob.nic_valid_hba == 0) return 0;
  TavoNode* first = get_first_instance(get_node(0), "Corvane");
  if (first == nullptr) return 1;
  for (TavoNode* c = first; c != nullptr; c = next_instance(c)) {
    for (TavoNode* fn = get_first_instance(c, "NICPhysicalHBA"); fn != nullptr; fn = next_instance(fn)) {
      TAVO_update_nic_ifname(fn, tavo::tree::handler_context(fn).number);
      TAVO_update_nic_port_number();
    }
  }
  return 0;
}

void backend_client_exit(int32_t client) {
  TAVO_API_GUARD;
  if (client != 0) return;
  char params[TAVO_MAX_PARAMS * TAVO_VALUE_SIZE];
  for (TavoNode* c = get_first_instance(get_node(0), "Corvane"); c != nullptr; c = next_instance(c)) {
    for (TavoNode* port = get_first_instance(c, "PortDiscoveryAndConfiguration"); port != nullptr;
         port = next_instance(port)) {
      char state[TAVO_VALUE_SIZE] = "";
      if (internal_get_property(port, "BeaconState", state) != 0 || strcasecmp(state, "Enabled") != 0) continue;
      memset(params, 0, sizeof params);
      snprintf(params + 2 * TAVO_VALUE_SIZE, TAVO_VALUE_SIZE, "Disabled");
      do_Beacon(port, internal_get_node(port, "Beacon", TAVO_KIND_ACTION), params);
    }
    TavoNode* diagnostics = internal_get_node(c, "Diagnostics", TAVO_KIND_GROUP);
    if (diagnostics == nullptr) continue;
    TavoNode* exit_action = internal_get_node(diagnostics, "ExitLoopBackMode", TAVO_KIND_ACTION);
    for (int source = 0; source < TAVO_MAX_PORTS; ++source) {
      for (int destination = 0; destination < TAVO_MAX_PORTS; ++destination) {
        memset(params, 0, sizeof params);
        snprintf(params, TAVO_VALUE_SIZE, "%d", source);
        snprintf(params + TAVO_VALUE_SIZE, TAVO_VALUE_SIZE, "%d", destination);
        do_ExitLoopBackMode(diagnostics, exit_action, params);
      }
    }
  }
  os_put_port_instances(tavo_glob.iscsi_handles, TAVO_MAX_FUNCTIONS);
  os_put_nic_port_instances(tavo_glob.nic_handles, TAVO_MAX_FUNCTIONS);
}

// Every function of the protocol's kind is compared; a controller without
// one is passed over rather than ending the comparison.
uint32_t TAVO_backend_client_bdf(uint32_t protocol) {
  TAVO_API_GUARD;
  const char* kind = protocol == TAVO_VIA_ISCSI ? "iSCSIPhysicalHBA" : "NICPhysicalHBA";
  for (TavoNode* c = get_first_instance(get_node(0), "Corvane"); c != nullptr; c = next_instance(c))
    for (TavoNode* fn = get_first_instance(c, kind); fn != nullptr; fn = next_instance(fn))
      if (client_function_changed(c, fn, protocol)) return 1;
  return 0;
}

uint32_t TAVO_refresh_backend_client_iscsi_tgts(void) {
  TAVO_API_GUARD;
  if (OPEN_ISCSI_DRIVER_LOADED || TAVO_ISCSI_INBOX_DRIVER_LOADED) return 0;
  TAVO_refresh_backend_client_iscsi_targets();
  return 0;
}
