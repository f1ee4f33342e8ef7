// Start-up of one iSCSI function's LogicalHBA: its whole network state in
// one pass, then the targets, sessions and LUNs the firmware holds. A
// failing network read skips the sessions and LUNs, never the other reads.
#include <string.h>

#include "base/library_lock.h"
#include "iscsi/network/iscsi_network.h"
#include "iscsi/network/network.h"
#include "iscsi/common/iscsi_common.h"
#include "iscsi/common/software_initiator.h"
#include "iscsi/targets/targets.h"
#include "tree/handler_context.h"
#include "transport/glob.h"
#include "transport/network_records.h"

using tavo::tree::next_instance;

namespace {

constexpr size_t kWorkSize = TAVO_MAX_PARAMS * TAVO_VALUE_SIZE;

// The routable addresses the firmware holds, the all-zero form for none.
void setup_routable_addresses(TavoNode* ipv6, uint32_t device, uint32_t domain, uint32_t port) {
  static const char* const kNames[] = {"InitiatorRoutableAddress1", "InitiatorRoutableAddress2"};
  for (uint32_t which = 0; which < 2; ++which) {
    char text[40] = "";
    TAVO_get_IPv6configuration_properties(device, domain, port, tavo::kIPv6Routable, text, which);
    set_prop_val(ipv6, kNames[which], "%s", text[0] != '\0' ? text : tavo::network::kNoIPv6Address);
  }
}

// The sessions, then the LUNs of every target. The listing leaves its
// last session's texts in work; a LUN is made with none, as every scan
// makes it (its persistence holds no parameters).
void setup_sessions_and_luns(TavoNode* lhba, uint32_t device, uint32_t domain, uint32_t port, char* work) {
  memset(work, 0, kWorkSize);
  get_all_sessions(lhba, device, domain, port, nullptr, nullptr, work);
  for (TavoNode* target = get_first_instance(lhba, "Target"); target != nullptr; target = next_instance(target)) {
    TavoNode* rescan = internal_get_node(target, "ReScanLUNS", TAVO_KIND_ACTION);
    tavo::iscsi::ParamTexts cleared;
    if (OPEN_ISCSI_DRIVER_LOADED) {
      TAVO_op_get_all_luns(target, rescan, cleared.data());
    } else {
      char answer[TAVO_VALUE_SIZE] = "";
      get_all_luns(target, domain, port, target, rescan, cleared.data(), answer);
    }
  }
}

}  // namespace

namespace tavo::targets {

uint32_t setup_iscsi_network(TavoNode* lhba, const char* enabled, bool* reached_targets) {
  *reached_targets = false;
  TavoNode* function_group = lhba != nullptr ? lhba->parent : nullptr;
  if (function_group == nullptr || function_group->parent == nullptr || function_group->record == nullptr ||
      enabled == nullptr)
    return 1;
  const tavo::tree::HandlerContext c = tavo::tree::handler_context(lhba);
  const uint32_t device = c.number, domain = c.domain, port = c.port;
  TavoNode* network = internal_get_node(function_group, "Network", TAVO_KIND_GROUP);
  TavoNode* tcpip = internal_get_node(network, "TCPIPConfiguration", TAVO_KIND_GROUP);
  TavoNode* nic = internal_get_node(network, "NICConfiguration", TAVO_KIND_GROUP);
  if (set_prop_val(lhba, "Enabled", "%s", enabled) != 0 || tcpip == nullptr || nic == nullptr) return 1;
  char mac[TAVO_VALUE_SIZE] = "";
  if (const uint32_t failed = internal_get_property(nic, "MACAddress", mac)) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:Failed to get iSCSI MACAddress.\n", "setup_iscsi");
    return failed;
  }
  TavoNode* ipv6 = internal_get_node(tcpip, "IPv6Configuration", TAVO_KIND_GROUP);
  if (ipv6 == nullptr) return 1;
  setup_routable_addresses(ipv6, device, domain, port);
  // All three run whatever the others answer.
  uint32_t result = get_all_interfaces(device, static_cast<uint8_t>(port), static_cast<uint8_t>(domain), tcpip);
  result |= get_routeEntry_attribs(device, domain, port, tcpip);
  result |= get_Arp_Entry_attribs(device, domain, port, tcpip, nullptr, nullptr, nullptr);
  *reached_targets = true;
  return result;
}

uint32_t setup_iscsi_sessions(TavoNode* lhba, uint32_t result, char* work) {
  if (result != 0) return result;
  const tavo::tree::HandlerContext c = tavo::tree::handler_context(lhba);
  setup_sessions_and_luns(lhba, c.number, c.domain, c.port, work);
  if (OPEN_ISCSI_DRIVER_LOADED) {
    TAVO_list_op_iscsi_targets(lhba);
    TAVO_list_op_sessions_luns(lhba);
  }
  return 0;
}

}  // namespace tavo::targets

uint32_t setup_iscsi(TavoNode* lhba, const char* enabled, uint32_t*, uint32_t, char* work) {
  TAVO_LIBRARY_LOCK;
  bool reached = false;
  const uint32_t network = tavo::targets::setup_iscsi_network(lhba, enabled, &reached);
  if (!reached) return network;
  char own_work[kWorkSize];
  if (work == nullptr) work = own_work;
  memset(work, 0, kWorkSize);
  const tavo::tree::HandlerContext c = tavo::tree::handler_context(lhba);
  // At start-up the target listing makes its own creating action.
  uint32_t result = network;
  if (!OPEN_ISCSI_DRIVER_LOADED) result |= get_all_targets(lhba, c.number, c.domain, c.port, 0, nullptr, nullptr, work);
  return tavo::targets::setup_iscsi_sessions(lhba, result, work);
}
