// The back end's process-wide record and the handle record of function groups.
#pragma once

#include <stdint.h>

#include "tavo/tavo_export.h"

TAVO_BEGIN_DECLS

enum { TAVO_MAX_CONTROLLERS = 16, TAVO_MAX_PORTS = 4, TAVO_MAX_FUNCTIONS = 128 };

typedef struct NicFunctionRecord {
  uint8_t bus;
  uint8_t device;
  uint8_t function;
  uint16_t domain;  // never written; stays 0
} NicFunctionRecord;

typedef struct TavoGlob {
  uint8_t port_bitmap[TAVO_MAX_CONTROLLERS][TAVO_MAX_PORTS];
  uint8_t protocol_bits[TAVO_MAX_CONTROLLERS];
  int32_t pf_number;      // PCI function + 1 for the next header; <= 0 none
  uint8_t version_flag;   // header version of the next command
  int32_t nic_valid_hba;
  int32_t nic_handles[TAVO_MAX_FUNCTIONS];
  char if_names[TAVO_MAX_FUNCTIONS][256];
  NicFunctionRecord nic_functions[TAVO_MAX_FUNCTIONS];
  uint32_t vf_counts[TAVO_MAX_FUNCTIONS];
  int32_t iscsi_valid_hba;
  int32_t iscsi_handles[TAVO_MAX_FUNCTIONS];
  char iscsi_pci_ids[TAVO_MAX_FUNCTIONS][16];
  uint8_t function_flags[TAVO_MAX_FUNCTIONS];  // by iSCSI function number - 1; nothing sets them
} TavoGlob;

// function_flags: the function is served by the host's software initiator.
enum { TAVO_FUNCTION_SOFTWARE_INITIATOR = 2 };

TAVO_EXPORT extern TavoGlob tavo_glob;

// 1 once a probe found the library inside an SR-IOV virtual function; it
// stays 1 while the library is loaded.
TAVO_EXPORT extern uint8_t vm_flag;
// Set when the host's NIC driver is not the adapter's external one.
TAVO_EXPORT extern uint8_t TAVO_NIC_INBOX_DRIVER_LOADED;
// Set only by clients: the iSCSI service is not the adapter's own driver.
TAVO_EXPORT extern uint8_t TAVO_ISCSI_INBOX_DRIVER_LOADED;
TAVO_EXPORT extern uint8_t OPEN_ISCSI_DRIVER_LOADED;

// Port bitmap values: the device a command for a controller's port travels
// on (TAVO_VIA_ISCSI, TAVO_VIA_NIC), or none.
enum { TAVO_PORT_NO_FUNCTION = 4 };
// 1 when an iSCSI function has the port, else 2 for a NIC function, else 4.
TAVO_EXPORT uint32_t get_port_bitmap(uint32_t controller_instance, uint32_t port);
// Protocol 1 (iSCSI), 2 (NIC) or 3 adds the bit 1, 2 or 4 to the controller's
// protocol bits; any other protocol changes nothing.
TAVO_EXPORT void set_protocol(uint32_t controller_instance, uint32_t protocol);

// In the nhandle slot of iSCSIPhysicalHBA and NICPhysicalHBA instances.
typedef struct TavoNodeHandle {
  uint32_t function_number;  // 1-based, iSCSI and NIC numbered apart
  uint32_t reserved[3];
} TavoNodeHandle;

TAVO_END_DECLS
