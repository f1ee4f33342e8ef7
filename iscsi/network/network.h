// What the branches above (targets, sessions) use of the network branch
// besides its exported calls, and what they register with it: the network
// branch starts a function up and builds the iSCSIPhysicalHBA group, but
// the targets, sessions and boot settings those name belong above it.
#pragma once

#include <stdint.h>

#include "iscsi/network/iscsi_network.h"
#include "tree/group_builder.h"

namespace tavo::network {

// The TCPIPConfiguration group's interface record; read from the firmware
// when the group has none yet. Null, with the read's status, on failure.
TcpipInterfaceHandle* tcpip_interface(TavoNode* tcpip);

// The all-zero IPv6 address in full form: no address.
inline constexpr char kNoIPv6Address[] = "0000:0000:0000:0000:0000:0000:0000:0000";

// The rows of the iSCSIPhysicalHBA group and its iSNS group whose handlers
// belong to the branches above, each supplied by its branch as the library
// loads, in the order the groups list them.
struct PhbaPlaces {
  tree::SuppliedRows bios_enable;          // iSCSIBIOSEnable (sessions/)
  tree::SuppliedRows mpio_enabled;         // MPIOEnabled (sessions/)
  tree::SuppliedRows isns_enabled;         // iSNS: iSNSEnabled (targets/)
  tree::SuppliedRows erase_configuration;  // EraseConfiguration (targets/)
};
extern PhbaPlaces phba_places;

// setup_iscsi lists what the firmware holds of the targets and sessions of
// a function it brought up, and address changes are refused while a boot
// session runs: those calls belong above, so they register here as the
// library loads. Each answers as the exported call it stands for.
struct TargetHooks {
  // get_all_targets
  uint32_t (*list_targets)(TavoNode* lhba, uint32_t function_number, uint32_t domain, uint32_t port_number,
                           uint32_t discovered, TavoNode* discovery, TavoNode* action, char* params) = nullptr;
};
struct SessionHooks {
  // get_all_sessions
  uint32_t (*list_sessions)(TavoNode* lhba, uint32_t function_number, uint32_t domain, uint32_t port_number,
                            TavoNode* target, TavoNode* software_node, char* params) = nullptr;
  // get_all_luns
  uint32_t (*list_luns)(TavoNode* target, uint32_t domain, uint32_t port, TavoNode* node, TavoNode* action,
                        char* params, char* answer) = nullptr;
  // check_for_boot_session
  uint32_t (*boot_session)(TavoNode* function_group, int32_t domain) = nullptr;
};
// Called once each, while the library loads (targets/, sessions/).
void set_target_hooks(const TargetHooks& hooks);
void set_session_hooks(const SessionHooks& hooks);

}  // namespace tavo::network
