// Controller management: the Corvane branch, the controller's generation
// and the attributes the enumeration fills in from the firmware.
#pragma once

#include <stdint.h>

#include "transport/firmware_records.h"
#include "tree/tree.h"

TAVO_BEGIN_DECLS

// Generation codes of get_cv_type beyond those of transport/device_ids.h.
enum { TAVO_GENERATION_UNREADABLE = 1 };

// One Corvane instance (16 under ROOT) with its sub-groups; params: six
// 256-byte texts or NULL. NULL when nothing was built.
TAVO_EXPORT TavoNode* initialize_Corvane(TavoNode* parent, TavoNode* creating_node, TavoNode* creating_action,
                                         char* params);

// The generation of the controller's first iSCSI, else NIC, function by
// its PCI device ID: 2-5, 0xFFFF for an unknown ID, 1 (status 163) when no
// ID can be read.
TAVO_EXPORT uint32_t get_cv_type(TavoNode* controller);

// Reads the attributes (mailbox 32/1) of a function through transport 1
// (iSCSI) or 2 (NIC) into *block; 0, or 1 with status 109.
TAVO_EXPORT uint32_t TAVO_get_cntr_attribs(uint32_t function_number, uint8_t port_number, uint8_t domain,
                                           uint32_t transport, tavo::ControllerAttributes* block);
// The controller's identity properties from a block read with status 0;
// 1 when status is not 0, an argument is missing or a property failed.
TAVO_EXPORT uint32_t TAVO_update_cntr_attribs(TavoNode* controller, const tavo::ControllerAttributes* block,
                                              uint32_t status);
// A function group's PCI, port and driver properties (protocol 1 iSCSI,
// 2 NIC); 0, or 1 when the driver version was not set.
TAVO_EXPORT uint32_t TAVO_update_driver_attribs(uint32_t function_number, TavoNode* function_group,
                                                uint32_t protocol, const tavo::ControllerAttributes* block,
                                                uint32_t status);
// The function's PCI address texts: domain[35], bus, device and
// pci_function[256] as "0x%x" ("0x%04x" for the domain), serial[33]. From
// the block when status is 0, else (protocol 2 only) from the NIC function
// table with serial "0". 0 or 1.
TAVO_EXPORT uint32_t TAVO_get_pci_bdf(uint32_t function_number, char* domain, char* bus, char* device,
                                      char* pci_function, char* serial, uint32_t protocol,
                                      const tavo::ControllerAttributes* block, uint32_t status);
TAVO_EXPORT uint32_t TAVO_get_driver_name(TavoNode* function_group, uint32_t function_number, uint32_t protocol);
TAVO_EXPORT uint32_t TAVO_get_driver_version(TavoNode* function_group, uint32_t function_number, uint32_t protocol,
                                             const tavo::ControllerAttributes* block, uint32_t status);

// Property handlers of the Corvane group.
TAVO_EXPORT uint32_t handle_ControllerStatus(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_cv_controller_properties(TavoNode* property, char* buf, uint32_t op);

// Loaders run for each function or live controller at start-up.
TAVO_EXPORT uint32_t TAVO_update_vpd_data(TavoNode* function_group, uint32_t function_number, uint32_t transport);
TAVO_EXPORT uint32_t TAVO_update_oem_props(TavoNode* controller);
TAVO_EXPORT uint32_t TAVO_update_cntr_additional_attribs(TavoNode* controller);
TAVO_EXPORT uint32_t TAVO_get_ncsi_attributes(int32_t function_number, int32_t phba_port, TavoNode* ncsi,
                                              TavoNode* name_node, uint32_t domain, uint32_t create);
TAVO_EXPORT uint32_t TAVO_update_available_personalities(TavoNode* controller);
TAVO_EXPORT uint32_t TAVO_update_current_personality(TavoNode* controller);

TAVO_EXPORT extern const TavoActionDescriptor ROOT_Corvane_Diagnostics_ExitLoopBackMode_action;

TAVO_END_DECLS
