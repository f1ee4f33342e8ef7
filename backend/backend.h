// The back end: start and stop under the tree, enumeration of the adapter's
// PCI functions into controller and function groups, the port bitmap, and
// the hooks of long-lived management clients.
#pragma once

#include <stdint.h>

#include "transport/firmware_records.h"
#include "tree/tree.h"

TAVO_BEGIN_DECLS

// Starts the back end under a freshly built ROOT: 0 (without an adapter
// the tree stays ROOT alone with status 313).
TAVO_EXPORT uint32_t backend_init(void);
// Frees the back end's node handles and closes its devices.
TAVO_EXPORT void backend_exit(void);
// Before a NIC-device request: 0, or 1 when the NIC function set changed
// (the tree is rebuilt once the outermost call returns; the request is
// abandoned).
TAVO_EXPORT uint32_t refresh_tavo_hierarchy(void);
// Frees every handle record below the function groups of every controller;
// 0.
TAVO_EXPORT uint32_t TAVO_free_all_node_handles(void);
// Writes configuration signature 3 through an iSCSI function: the
// command's status (0 unsent for a NIC-only controller, 1 unsent without
// functions).
TAVO_EXPORT uint32_t TAVO_set_config_signature(uint32_t function_number, uint32_t controller_instance);

// The enumeration walks (always 0).
TAVO_EXPORT uint32_t TAVO_enumerate_iscsi_functions(void);
TAVO_EXPORT uint32_t TAVO_enumerate_nic_functions(void);
// Whether a function belongs to a controller in the tree: 1 (its instance
// number in instance_text[256]), 0 a new controller is needed, 2 (iSCSI
// only) skip the function. status: that of the block's read.
TAVO_EXPORT uint32_t TAVO_get_iscsi_node_info(uint32_t function_number, char* instance_text,
                                              const tavo::ControllerAttributes* block, uint32_t status);
TAVO_EXPORT uint32_t TAVO_get_nic_node_info(uint32_t function_number, char* instance_text,
                                            const tavo::ControllerAttributes* block, uint32_t status);
// ORs the port bitmap in from every controller's function groups.
TAVO_EXPORT void set_port_bitmap(void);
// Probes whether NIC function n is an SR-IOV virtual function and sets
// vm_flag when it is; 1 when a node is missing, else the probe's status.
TAVO_EXPORT uint32_t TAVO_check_for_vm(uint32_t function_number, TavoNode* nic_phba, TavoNode* controller);

// Client hooks. client: 0 or 1 act (exit: 0 only), others do nothing.
// 0 when the tree matches the adapter; 1 when a rebuild failed, the
// adapter keeps changing, or there is no controller (status 18).
TAVO_EXPORT uint32_t backend_client_init(int32_t client);
// Switches beacons off, leaves loopback modes and closes the devices.
TAVO_EXPORT void backend_client_exit(int32_t client);
// 1 when a function of protocol 1 (iSCSI) or 2 (NIC) shows another bus or
// serial number in the firmware than in the tree, else 0.
TAVO_EXPORT uint32_t TAVO_backend_client_bdf(uint32_t protocol);
// Bus and function ("0x%lx", 256 bytes each) and, when given, the domain
// of NIC function n's host interface; outputs stay as they are when the
// interface cannot be asked. 0, or 1 without bus or pci_function.
TAVO_EXPORT uint32_t TAVO_backend_client_nic_bdf(uint32_t function_number, char* bus, char* pci_function,
                                                 uint32_t* domain);
// Lists the adapter's iSCSI PCI functions into tavo_glob.iscsi_pci_ids;
// answers how many.
TAVO_EXPORT uint32_t TAVO_get_all_iscsi_devices(void);
// Sets TAVO_NIC_INBOX_DRIVER_LOADED when the host's NIC driver is not the
// adapter's external one.
TAVO_EXPORT void TAVO_get_nic_driver_type(void);
// Refreshes the iSCSI targets unless another iSCSI driver serves them; 0.
TAVO_EXPORT uint32_t TAVO_refresh_backend_client_iscsi_tgts(void);

// One Corvane instance (16 under ROOT) with its sub-groups; params: six
// 256-byte texts or NULL. NULL when nothing was built.
TAVO_EXPORT TavoNode* initialize_Corvane(TavoNode* parent, TavoNode* creating_node, TavoNode* creating_action,
                                         char* params);
// Erases every iSCSI function's, port's and NIC function's configuration
// (and on Moravel the factory profile); answers the first failed erase,
// with its status.
TAVO_EXPORT uint32_t do_EraseAllConfiguration(TavoNode* group, TavoNode* action, char* params);

TAVO_END_DECLS

#ifdef __cplusplus
namespace tavo::backend {

// Leaves code with its registered text (base/status_registry.h) in the last
// status.
void backend_status(uint32_t code);

}  // namespace tavo::backend
#endif
