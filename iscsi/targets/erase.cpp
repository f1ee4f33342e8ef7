// EraseConfiguration: the iSCSI side of a whole controller back to its
// unconfigured state, function by function, then one erase of what the
// firmware keeps. There is no rollback: a function handled before a
// failure stays erased, and the saved files are written as it left them,
// all of them together (a kill leaves every file before or every file
// after).
#include <string.h>

#include <string>
#include <vector>

#include "base/library_lock.h"
#include "controller/controller.h"
#include "iscsi/network/network.h"
#include "iscsi/common/software_initiator.h"
#include "iscsi/targets/targets_internal.h"
#include "transport/commands.h"
#include "transport/device_ids.h"
#include "transport/firmware_records.h"
#include "transport/glob.h"
#include "transport/mailbox.h"

using namespace tavo::targets;
using tavo::iscsi::ParamTexts;
using tavo::tree::instance_number;
using tavo::tree::next_instance;

namespace {

constexpr uint32_t kStaticIPv6 = 48;

// Runs a group's action by name with cleared parameters (one number in the
// first when given).
uint32_t erase_run(TavoNode* group, const char* action_name, TavoActionHandler handler, const char* number = nullptr) {
  ParamTexts params;
  if (number != nullptr) snprintf(params.text[0], TAVO_VALUE_SIZE, "%s", number);
  return handler(group, internal_get_node(group, action_name, TAVO_KIND_ACTION), params.data());
}

std::vector<std::string> erase_instances(TavoNode* group, const char* name) {
  std::vector<std::string> numbers;
  for (TavoNode* i = get_first_instance(group, name); i != nullptr; i = next_instance(i))
    numbers.push_back(std::to_string(instance_number(i)));
  return numbers;
}

// Every session logged out, a boot session first made an ordinary one.
uint32_t erase_sessions(TavoNode* lhba) {
  for (TavoNode* t = get_first_instance(lhba, "Target"); t != nullptr; t = next_instance(t)) {
    if (internal_get_node(t, "Logout", TAVO_KIND_ACTION) == nullptr) return 1;
    for (TavoNode* s = get_first_instance(t, "Session"); s != nullptr; s = next_instance(s)) {
      char boot[TAVO_VALUE_SIZE];
      if (!read_text(s, "iSCSIBoot", boot)) return 1;
      if (is_word(boot, "True") && internal_set_property(s, "iSCSIBoot", "False") != 0) return 1;
    }
    for (const std::string& n : erase_instances(t, "Session"))
      if (const uint32_t r = erase_run(t, "Logout", do_Logout, n.c_str())) return r;
  }
  return 0;
}

// On Moravel: no auto-assignment, no static IPv6 address, no IPv6 gateway.
uint32_t erase_ipv6(TavoNode* tcpip, const TcpipInterfaceHandle& h, uint32_t domain, uint32_t port) {
  TavoNode* ipv6 = internal_get_node(tcpip, "IPv6Configuration", TAVO_KIND_GROUP);
  if (ipv6 == nullptr) return 1;
  erase_run(ipv6, "AutoAssignDisable", do_AutoAssignDisable);
  TAVO_delete_ipv6_address(ipv6, "InitiatorRoutableAddress2", kStaticIPv6, h.device_handle, domain, port,
                           h.interface_id);
  TAVO_delete_ipv6_address(ipv6, "InitiatorRoutableAddress1", kStaticIPv6, h.device_handle, domain, port,
                           h.interface_id);
  TAVO_delete_IPv6Gateway(h.device_handle, domain, port, ipv6);
  return 0;
}

// The initiator's options and CHAP back to the defaults; all seven are tried.
uint32_t erase_initiator_options(TavoNode* options, TavoNode* authentication) {
  static constexpr const char* kDefaults[][2] = {
      {"HeaderParam", "Prohibited"}, {"DataParam", "Prohibited"}, {"InitialR2T", "Yes"},
      {"ImmediateData", "Yes"},      {"HeaderDigest", "None"},    {"DataDigest", "None"},
  };
  uint32_t failed = 0;
  for (const auto& d : kDefaults) failed |= internal_set_property(options, d[0], d[1]);
  failed |= do_DeleteCHAP(authentication, nullptr, nullptr);
  return failed != 0 ? 1 : 0;
}

// The targets, send-target portals and their saved lines.
uint32_t erase_targets_and_portals(TavoNode* lhba, TavoNode* discovery) {
  if (OPEN_ISCSI_DRIVER_LOADED) {
    for (const std::string& n : erase_instances(lhba, "Target"))
      erase_run(lhba, "DeleteTarget", do_DeleteTarget, n.c_str());
    for (TavoNode* s = get_first_instance(discovery, "SendTargetPortal"); s != nullptr; s = next_instance(s))
      if (delete_op_iscsi_STP(s) != 0) return 1;
  }
  for (const std::string& n : erase_instances(discovery, "SendTargetPortal"))
    if (const uint32_t r = erase_run(discovery, "DeleteSendTargetPortal", do_DeleteSendTargetPortal, n.c_str()))
      return r;
  if (purge_nodes_within(lhba, "Target") != 0) return 1;
  TAVO_remove_entry_from_file(lhba, nullptr, nullptr, nullptr, 0, TAVO_ENTRY_LOGICAL_HBA);
  return 0;
}

// Neither store can be put back once the other changed: the function's
// note (in notes, let go once the action answered) lets the next start
// finish what a cut leaves.
uint32_t erase_function(TavoNode* fn, uint32_t generation, std::vector<tavo::sessions::PendingEntry>* notes) {
  TAVO_delete_available_routes(fn);
  TavoNode* lhba = get_first_instance(fn, "LogicalHBA");
  if (lhba == nullptr) return 1;
  if (tavo::sessions::PendingEntry e; tavo::sessions::note_erase(lhba, &e)) notes->push_back(std::move(e));
  if (const uint32_t r = erase_sessions(lhba)) return r;
  TavoNode* discovery = internal_get_node(lhba, "Discovery", TAVO_KIND_GROUP);
  TavoNode* tcpip =
      internal_get_node(internal_get_node(fn, "Network", TAVO_KIND_GROUP), "TCPIPConfiguration", TAVO_KIND_GROUP);
  const TcpipInterfaceHandle* h = tcpip != nullptr ? tavo::network::tcpip_interface(tcpip) : nullptr;
  if (discovery == nullptr || h == nullptr) return 1;
  const tavo::tree::HandlerContext c = tavo::tree::handler_context(fn);
  const uint32_t domain = c.domain, port = c.port;
  if (generation == tavo::kGenerationMoravel && erase_ipv6(tcpip, *h, domain, port) != 0) return 1;
  TavoNode* options = internal_get_node(lhba, "InitiatorLoginOptions", TAVO_KIND_GROUP);
  TavoNode* authentication = internal_get_node(options, "Authentication", TAVO_KIND_GROUP);
  TavoNode* isns = internal_get_node(fn, "iSNS", TAVO_KIND_GROUP);
  if (authentication == nullptr || isns == nullptr || internal_set_property(isns, "iSNSEnabled", "No") != 0) return 1;
  purge_nodes_within(isns, "iSNSServer");
  get_if_info_params(h->device_handle, h->interface_id, tcpip, static_cast<uint8_t>(domain),
                     static_cast<uint8_t>(port));
  erase_run(tcpip, "DeleteDefaultGateway", do_DeleteDefaultGateway);
  if (const uint32_t r = erase_targets_and_portals(lhba, discovery)) return r;
  return erase_initiator_options(options, authentication);
}

uint32_t erase_configuration(TavoNode* function_group, TavoNode* action,
                             std::vector<tavo::sessions::PendingEntry>* notes) {
  if (function_group == nullptr || action == nullptr) return 1;
  if (vm_flag) return tavo::controller::refuse_on_vf(nullptr);
  TavoNode* controller = tavo::tree::group_above(function_group, "Corvane");
  if (controller == nullptr) return 1;
  const uint32_t generation = get_cv_type(controller);
  for (TavoNode* fn = get_first_instance(controller, "iSCSIPhysicalHBA"); fn != nullptr; fn = next_instance(fn))
    if (const uint32_t r = erase_function(fn, generation, notes)) return r;
  tavo::EraseRequest request{tavo::kEraseIscsiType, tavo::kEraseIscsiConfig, {}};
  // The function's number; the action's domain and port.
  const tavo::tree::HandlerContext a = tavo::tree::handler_context(action);
  return ioctl_erase_ROM(tavo::tree::handler_context(function_group).number, &request, a.domain, a.port,
                         TAVO_VIA_ISCSI);
}

}  // namespace

uint32_t do_EraseConfiguration(TavoNode* function_group, TavoNode* action, char*) {
  TAVO_LIBRARY_LOCK;
  // The saved files are written once, together, with what the erase reached.
  std::vector<tavo::sessions::PendingEntry> notes;
  uint32_t result = 0;
  {
    SavedBatch batch;
    result = batch.end(erase_configuration(function_group, action, &notes));
  }
  for (const tavo::sessions::PendingEntry& e : notes) tavo::sessions::let_go_pending(e);
  return result;
}
