// The drivers' character devices: opening and numbering them, the NIC
// functions' PCI addresses and interface names, and the device requests
// that are not mailbox commands.
#pragma once

#include <stdint.h>

#include "tavo/tavo_export.h"

TAVO_BEGIN_DECLS

// Opens cv2iscsi_0 .. cv2iscsi_<count-1> (count at most 128), packing the
// descriptors that opened into handles[0..]; the rest of handles[] up to
// count-1 becomes -1. Answers the number opened.
TAVO_EXPORT int32_t os_get_port_instances(int32_t* handles, int32_t count);
// Close every entry that is not -1 and set it to -1.
TAVO_EXPORT void os_put_port_instances(int32_t* handles, int32_t count);
TAVO_EXPORT void os_put_nic_port_instances(int32_t* handles, int32_t count);
// Opens the NIC device into handles[0], fills tavo_glob's NIC function
// records and interface names; answers the NIC function count (0 when the
// device, the chip information or esx.conf is missing).
TAVO_EXPORT int32_t os_get_nic_port_instances(int32_t* handles, int32_t count);

// Request 6 on the NIC device; descriptor 1 is tavo_glob.nic_handles[0].
// reply: 89 bytes. Answers 1 on failure, else the driver's result.
TAVO_EXPORT int32_t ioctl_get_chipinfo(int32_t descriptor, uint8_t* reply);
// Writes NIC function records from index `first`; answers the index after
// the last one written (0 when the chip information fails).
TAVO_EXPORT int32_t enumerate_cv_nics(int32_t first);
// Names of NIC functions first .. count-1 from /etc/vmware/esx.conf; answers
// count, or 0 when the file cannot be read.
TAVO_EXPORT int32_t TAVO_get_interface_names(int32_t count, int32_t first);

// NIC function requests; nic_function is 1-based. answer: 976 bytes.
// Each answers 0 or 1 (1 also when the tree is rebuilt first).
TAVO_EXPORT uint32_t ioctl_get_virt_f_info(uint32_t nic_function, uint8_t* answer, uint32_t* vf_count);
TAVO_EXPORT uint32_t ioctl_get_mtu(uint32_t nic_function, uint8_t* answer);
// The u32 at PCI configuration offset 0xA4; domain and port are not used.
TAVO_EXPORT uint32_t ioctl_galtor_read_pci_conf(uint32_t nic_function, uint8_t domain, uint8_t port_number,
                                                uint32_t* value);
// Up to 256 configuration bytes from offset as "%02x " text, 16 a line;
// text: 600 bytes.
TAVO_EXPORT uint32_t TAVO_get_galtor_pci_data(uint32_t nic_function, uint32_t offset, uint32_t length, char* text);
// The vmhba name of iSCSI function iscsi_function (1-based); name: 32 bytes.
TAVO_EXPORT uint32_t ioctl_get_vmhba_name(uint32_t iscsi_function, char* name);

// 0 when the host interface is a physical function of the adapter family,
// else 1.
TAVO_EXPORT uint32_t TAVO_check_valid_interface(const char* interface_name);
// Called before a logged-out target's device goes away; nothing to do.
TAVO_EXPORT uint32_t os_prepare_device_for_removal(void);

TAVO_END_DECLS

#ifdef __cplusplus
namespace tavo::transport {

// The driver's part of os_get_nic_port_instances: opens the NIC device into
// handles[0] and writes the NIC function records; answers their number.
// The host names from esx.conf are left as they are.
int32_t list_nic_functions(int32_t* handles, int32_t count);

}  // namespace tavo::transport
#endif
