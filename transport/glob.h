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
} TavoGlob;

TAVO_EXPORT extern TavoGlob tavo_glob;

// In the nhandle slot of iSCSIPhysicalHBA and NICPhysicalHBA instances.
typedef struct TavoNodeHandle {
  uint32_t function_number;  // 1-based, iSCSI and NIC numbered apart
  uint32_t reserved[3];
} TavoNodeHandle;

TAVO_END_DECLS
