// Enumeration of the adapter's PCI functions: each iSCSI and NIC function
// joins the controller group it belongs to (a new one when none matches)
// and gets a function group with its handle and attributes.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "backend/backend.h"
#include "controller/controller.h"
#include "iscsi/network/iscsi_network.h"
#include "nic/nic.h"
#include "transport/commands.h"
#include "transport/device_ids.h"
#include "transport/glob.h"
#include "transport/mailbox.h"

using tavo::ControllerAttributes;
using tavo::tree::next_instance;

namespace {

// Whether function n (of transport protocol) belongs to a controller in the
// tree; see TAVO_get_iscsi_node_info. A controller lacking the groups or
// properties to compare is passed over, never taken as the end of the walk.
uint32_t enumerate_node_info(uint32_t protocol, uint32_t n, char* text, const ControllerAttributes* block,
                             uint32_t status) {
  const uint32_t skip = protocol == TAVO_VIA_ISCSI ? 2 : 0;
  if (block == nullptr || text == nullptr) return skip;
  TavoNode* first = get_first_instance(get_node(0), "Corvane");
  if (first == nullptr) return 0;
  char domain[35], bus[TAVO_VALUE_SIZE], device[TAVO_VALUE_SIZE], function[TAVO_VALUE_SIZE], serial[33];
  if (TAVO_get_pci_bdf(n, domain, bus, device, function, serial, protocol, block, status) != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:Failed to get PCI information.\n", __func__);
    return skip;
  }
  for (TavoNode* c = first; c != nullptr; c = next_instance(c)) {
    TavoNode* fn = get_first_instance(c, "iSCSIPhysicalHBA");
    if (fn == nullptr && protocol == TAVO_VIA_NIC) fn = get_first_instance(c, "NICPhysicalHBA");
    if (fn == nullptr) {
      pdebug(TAVO_LOG_BACKEND, 6, "%s:Failed to get iSCSI PHBA first instance.\n", __func__);
      continue;
    }
    TavoNode* pci = internal_get_node(fn, "PCI", TAVO_KIND_GROUP);
    if (pci == nullptr) {
      pdebug(TAVO_LOG_BACKEND, 6, "%s:Failed to get PCI node.\n", __func__);
      continue;
    }
    char c_bus[TAVO_VALUE_SIZE] = "", c_device[TAVO_VALUE_SIZE] = "", c_serial[TAVO_VALUE_SIZE] = "";
    if (internal_get_property(pci, "BusNumber", c_bus) != 0 ||
        internal_get_property(pci, "DeviceNumber", c_device) != 0 ||
        internal_get_property(c, "SerialNumber", c_serial) != 0) {
      pdebug(TAVO_LOG_BACKEND, 6, "%s:Failed to get PCI information from iSCSI PHBA group.\n", __func__);
      continue;
    }
    // A usable serial number tells controllers apart; without one (serial
    // "0", or a controller whose serial the OEM data voided) the PCI bus
    // and device do.
    const bool by_serial =
        strcmp(serial, "0") != 0 && (protocol == TAVO_VIA_ISCSI || strcasecmp(c_serial, "N/A") != 0);
    const bool same = strcasecmp(bus, c_bus) == 0 &&
                      (by_serial ? strcasecmp(serial, c_serial) == 0 : strcasecmp(device, c_device) == 0);
    if (same) {
      snprintf(text, TAVO_VALUE_SIZE, "%d", tavo::tree::instance_number(c));
      return 1;
    }
  }
  return 0;
}

// The controller group for function n from the node-info answer d: the
// matched one, or a new one (protocol bits, management service, identity).
TavoNode* enumerate_controller(uint32_t n, uint32_t d, const char* text, uint32_t protocol,
                               const ControllerAttributes* block, uint32_t status) {
  TavoNode* root = get_node(0);
  if (d == 1) {
    char name[TAVO_VALUE_SIZE];
    snprintf(name, sizeof name, "Corvane%ld", strtol(text, nullptr, 10));
    TavoNode* controller = internal_get_node(root, name, TAVO_KIND_GROUP);
    if (controller == nullptr) pdebug(TAVO_LOG_BACKEND, 6, "%s:Adapter node not found.\n", __func__);
    return controller;
  }
  if (d != 0) return nullptr;
  TavoNode* controller = initialize_Corvane(root, nullptr, nullptr, nullptr);
  if (controller == nullptr) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:Failed to initialize adapter node.\n", __func__);
    return nullptr;
  }
  set_protocol(static_cast<uint32_t>(tavo::tree::instance_number(controller)), protocol);
  ioctl_start_management_service(n, nullptr, 0, 0, protocol);
  TAVO_update_cntr_attribs(controller, block, status);
  return controller;
}

// Hangs function n's handle on its group; false (the group stays without
// one) when it cannot be allocated.
bool enumerate_attach_handle(TavoNode* group, uint32_t n) {
  auto* handle = static_cast<TavoNodeHandle*>(tavo_dmalloc(sizeof(TavoNodeHandle)));
  if (handle == nullptr) {
    pdebug(TAVO_LOG_BACKEND, 2, "%s:Failed to allocate memory of nhandle.\n", __func__);
    return false;
  }
  memset(handle, 0, sizeof *handle);
  handle->function_number = n;
  tavo::tree::group_record(group)->nhandle = handle;
  return true;
}

// A Galtor adapter without a usable serial number shows "N/A", so that its
// functions are matched on their PCI address. The OEM record is asked of
// the controller's target function (first iSCSI, else first NIC), the one
// its protocol bits route to.
void enumerate_galtor_serial(TavoNode* controller) {
  const tavo::tree::HandlerContext c = tavo::tree::handler_context(controller);
  if (!c) return;
  tavo::OemParams oem{};
  if (ioctl_get_oem_params(c.number, &oem, c.domain, c.port,
                           static_cast<uint32_t>(tavo::tree::instance_number(controller))) != 0)
    return;
  if (!tavo::controller::galtor_maker_serial_usable(oem) || !tavo::controller::galtor_oem_serial_usable(oem))
    set_prop_val(controller, "SerialNumber", "%s", "N/A");
}

}  // namespace

uint32_t TAVO_get_iscsi_node_info(uint32_t function_number, char* instance_text, const ControllerAttributes* block,
                                  uint32_t status) {
  return enumerate_node_info(TAVO_VIA_ISCSI, function_number, instance_text, block, status);
}

uint32_t TAVO_get_nic_node_info(uint32_t function_number, char* instance_text, const ControllerAttributes* block,
                                uint32_t status) {
  return enumerate_node_info(TAVO_VIA_NIC, function_number, instance_text, block, status);
}

uint32_t TAVO_enumerate_iscsi_functions(void) {
  for (int32_t i = 1; i <= tavo_glob.iscsi_valid_hba; ++i) {
    const auto n = static_cast<uint32_t>(i);
    ControllerAttributes block{};
    if (TAVO_get_cntr_attribs(n, 0, 0, TAVO_VIA_ISCSI, &block) != 0) {
      pdebug(TAVO_LOG_BACKEND, 3, "%s:TAVO_get_cntr_attribs failed for i = %d.\n", __func__, i - 1);
      continue;
    }
    char text[TAVO_VALUE_SIZE] = "";
    const uint32_t d = TAVO_get_iscsi_node_info(n, text, &block, 0);
    TavoNode* controller = enumerate_controller(n, d, text, TAVO_VIA_ISCSI, &block, 0);
    if (controller == nullptr) continue;
    TavoNode* group = initialize_iSCSIPhysicalHBA(controller, nullptr, nullptr, nullptr);
    if (group == nullptr) {
      pdebug(TAVO_LOG_BACKEND, 2, "%s:Failed to initialize iscsi phba.\n", __func__);
      continue;
    }
    if (!enumerate_attach_handle(group, n)) continue;
    TAVO_update_driver_attribs(n, group, TAVO_VIA_ISCSI, &block, 0);
    TAVO_update_vpd_data(group, n, TAVO_VIA_ISCSI);
    TAVO_update_fd_mac(n, group, TAVO_VIA_ISCSI);
  }
  return 0;
}

uint32_t TAVO_enumerate_nic_functions(void) {
  for (int32_t i = 1; i <= tavo_glob.nic_valid_hba; ++i) {
    const auto n = static_cast<uint32_t>(i);
    TAVO_enumerate_nic_domain();
    // A failed read does not skip the function: the NIC function table
    // gives its PCI address.
    ControllerAttributes block{};
    const uint32_t s = TAVO_get_cntr_attribs(n, 0, 0, TAVO_VIA_NIC, &block);
    char text[TAVO_VALUE_SIZE] = "";
    const uint32_t d = TAVO_get_nic_node_info(n, text, &block, s);
    TavoNode* controller = enumerate_controller(n, d, text, TAVO_VIA_NIC, &block, s);
    if (controller == nullptr) continue;
    TavoNode* group = initialize_NICPhysicalHBA(controller, nullptr, nullptr, nullptr);
    if (group == nullptr) {
      pdebug(TAVO_LOG_BACKEND, 2, "%s:Failed to initialize nic phba.\n", __func__);
      continue;
    }
    if (!enumerate_attach_handle(group, n)) continue;
    TAVO_update_driver_attribs(n, group, TAVO_VIA_NIC, &block, s);
    TAVO_update_vpd_data(group, n, TAVO_VIA_NIC);
    TAVO_update_fd_mac(n, group, TAVO_VIA_NIC);
    if (tavo::tree::instance_number(group) == 0 && get_cv_type(controller) == tavo::kGenerationGaltor)
      enumerate_galtor_serial(controller);
    uint32_t vf_count = 0;
    TAVO_get_nic_logicalhba(group, n, &vf_count, 1);
    tavo_glob.vf_counts[n - 1] = vf_count;
    TAVO_check_for_vm(n, group, controller);
    set_prop_val(group, "IsVF", "%s", vm_flag == 1 ? "True" : "False");
  }
  return 0;
}
