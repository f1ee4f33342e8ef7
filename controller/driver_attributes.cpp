// The PCI, port and driver properties of a function group, filled at
// enumeration from the controller attribute record, and a NIC function's
// interface name.
#include <stdio.h>
#include <string.h>

#include "base/library_lock.h"
#include "controller/controller.h"
#include "transport/glob.h"
#include "transport/mailbox.h"

using tavo::ControllerAttributes;

namespace {

bool driver_set(TavoNode* group, const char* name, const char* value) {
  return set_prop_val(group, name, "%s", value) == 0;
}

}  // namespace

uint32_t TAVO_update_driver_attribs(uint32_t function_number, TavoNode* function_group, uint32_t protocol,
                                    const ControllerAttributes* block, uint32_t status) {
  TavoNode* pci = internal_get_node(function_group, "PCI", TAVO_KIND_GROUP);
  if (block == nullptr || function_group == nullptr || pci == nullptr) return 1;
  if (status == 0) {
    set_prop_val(pci, "VendorID", "0x%04x", block->vendor_id);
    set_prop_val(pci, "DeviceID", "0x%04x", block->device_id);
    set_prop_val(pci, "SubsysDeviceID", "0x%04x", block->subsys_device_id);
    set_prop_val(pci, "SubsysVendorID", "0x%04x", block->subsys_vendor_id);
    set_prop_val(pci, "BusNumber", "0x%x", block->bus);
    set_prop_val(pci, "DeviceNumber", "0x%x", block->device);
    set_prop_val(pci, "FunctionNumber", "0x%x", block->function);
    set_prop_val(function_group, "PortNumber", "%u", block->port_number);
  }
  if (protocol == TAVO_VIA_ISCSI && status == 0) {
    // Nothing keeps a PCI domain for an iSCSI function.
    set_prop_val(pci, "DomainNumber", "0x%04x", 0);
    set_prop_val(function_group, "iSCSIVersionMin", "%u", block->iscsi_versions & 0x0Fu);
    set_prop_val(function_group, "iSCSIVersionMax", "%u", block->iscsi_versions >> 4);
    if (OPEN_ISCSI_DRIVER_LOADED) {
      driver_set(function_group, "LDTO", "N/A");
      driver_set(function_group, "DefaultETO", "N/A");
      driver_set(function_group, "MaxCDBLength", "16");
    } else {
      set_prop_val(function_group, "LDTO", "%u", block->ldto);
      set_prop_val(function_group, "DefaultETO", "%u", block->default_eto);
      set_prop_val(function_group, "MaxCDBLength", "%u", block->max_cdb_length);
    }
  } else if (protocol == TAVO_VIA_NIC) {
    char domain[35], bus[TAVO_VALUE_SIZE], device[TAVO_VALUE_SIZE], function[TAVO_VALUE_SIZE], serial[33];
    if (TAVO_get_pci_bdf(function_number, domain, bus, device, function, serial, protocol, block, status) != 0)
      return 1;
    driver_set(pci, "DomainNumber", domain);
    if (status != 0) {
      driver_set(pci, "BusNumber", bus);
      driver_set(pci, "DeviceNumber", device);
      driver_set(pci, "FunctionNumber", function);
    }
    TAVO_update_nic_port_number();
    TAVO_update_nic_ifname(function_group, function_number);
  }
  TAVO_get_driver_name(function_group, function_number, protocol);
  return TAVO_get_driver_version(function_group, function_number, protocol, block, status) == 0 ? 0 : 1;
}

uint32_t TAVO_get_driver_name(TavoNode* function_group, uint32_t, uint32_t protocol) {
  TavoNode* driver = internal_get_node(function_group, "Driver", TAVO_KIND_GROUP);
  if (driver == nullptr) return 1;
  const char* name = protocol == TAVO_VIA_NIC ? "cv2net.o" : protocol == TAVO_VIA_ISCSI ? "cv2iscsi.o" : nullptr;
  if (name == nullptr) return 0;
  if (driver_set(driver, "DriverName", name)) return 0;
  pdebug(TAVO_LOG_BACKEND, 3, "%sFailed to get driver details\n", __func__);
  return 1;
}

uint32_t TAVO_get_driver_version(TavoNode* function_group, uint32_t, uint32_t, const ControllerAttributes* block,
                                 uint32_t status) {
  TavoNode* driver = internal_get_node(function_group, "Driver", TAVO_KIND_GROUP);
  if (status != 0 || block == nullptr || driver == nullptr) return 1;
  const int length = static_cast<int>(strnlen(block->driver_version, sizeof block->driver_version));
  if (set_prop_val(driver, "DriverVersion", "%.*s", length, block->driver_version) == 0) return 0;
  pdebug(TAVO_LOG_BACKEND, 3, "%sFailed to get driver details\n", __func__);
  return 1;
}

uint32_t TAVO_update_nic_ifname(TavoNode* function_group, uint32_t function_number) {
  TAVO_LIBRARY_LOCK;
  if (function_group == nullptr || function_number < 1 || function_number > TAVO_MAX_FUNCTIONS) return 1;
  return set_prop_val(function_group, "IfName", "%.255s", tavo_glob.if_names[function_number - 1]);
}

uint32_t TAVO_update_nic_port_number(void) { return 0; }
