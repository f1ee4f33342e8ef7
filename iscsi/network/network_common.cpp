// Where a network handler's commands go, and the branch's status messages.
#include <stdlib.h>
#include <strings.h>

#include <string>

#include "base/validate.h"
#include "controller/controller.h"
#include "iscsi/network/network_internal.h"
#include "transport/device_ids.h"

namespace tavo::network {
namespace {

constexpr base::StatusText kNetworkStatusTexts[] = {
    {43,
     "Failed to change IP address/Gateway settings as DHCP is Enabled. Please disable DHCP to make any changes "
     "to IP address/Gateway settings."},
    {44,
     "The IP address settings for the Corvane iSCSI initiator cannot be modified when there is an active iSCSI boot "
     "session. Please use the iSCSIVantrel configuration utility to modify the IP address settings. No configuration "
     "changes were made to the Corvane iSCSI initiator."},
    {49,
     "Cannot set the default gateway as DHCP is enabled. Please disable DHCP before setting the default "
     "gateway."},
    {53,
     "Ping failed. Please check cable and network connections and make sure that the IP address is valid. For "
     "more information, see the Troubleshooting section in Corvane documentation."},
    {56,
     "The IP address settings match the existing configuration. No changes have been made to the "
     "configuration."},
    {57, "The DHCP settings are already configured. No changes have been made to the existing configuration."},
    {69,
     "Duplicate IP address detected. Please check that the IP address given is not conflicting with an existing "
     "IP address in the subnet. Choose a unique IP address."},
    {97,
     "Cannot retrieve ARP table entries. Application internal error occurred. Please check tavo2d.log file for "
     "more information."},
    {98,
     "Failed to retrieve interface ids. Application internal error occurred. Please check tavo2d.log file for "
     "more information."},
    {99,
     "Cannot obtain interface info. Application internal error occurred. Please check tavo2d.log file for more "
     "information."},
    {100,
     "Cannot retrieve route table entries. Application internal error occurred. Please check tavo2d.log file "
     "for more information."},
    {110,
     "Failed to obtain initiator name and initiator alias. Application internal error occurred. Please check "
     "tavo2d.log file for more information."},
    {111,
     "Failed to set initiator name and initiator alias. Application internal error occurred. Please check "
     "tavo2d.log file for more information."},
    {122, "Cannot modify the ipaddress record."},
    {123, "Unable to disable DHCP."},
    {129, "Cannot add/delete route table entry."},
    {130, "Cannot add/delete ARP table entry."},
    {132,
     "Cannot set the Default Gateway. Application internal error occurred. Please check tavo2d.log file for "
     "more information."},
    {133,
     "Cannot get the Default Gateway. Application internal error occurred. Please check tavo2d.log file for "
     "more information."},
    {135, "Firmware failed to enable DHCP."},
    {245, "Failed to add route entries. Exceed maximum manual route entries."},
    {310, "Discovering iSNSServers through DHCP is not supported in Open-iSCSI driver."},
};
const base::StatusTable kNetworkTable{"network", kNetworkStatusTexts};

}  // namespace

bool action_target(TavoNode* group, TavoNode* action, HandlerContext* out) {
  if (group == nullptr || action == nullptr) return false;
  *out = handler_context(action);
  return static_cast<bool>(*out);
}

bool entry_target(TavoNode* table, TavoNode* action, const char* type, const char* number, HandlerContext* out,
                  TavoNode** entry) {
  if (number == nullptr || !action_target(table, action, out)) return false;
  *entry = get_selected_group_node(table, type, number);
  if (*entry != nullptr) return true;
  network_status(20);
  return false;
}

bool named_group(const TavoNode* node, const char* name) {
  return node != nullptr && node->kind == TAVO_KIND_GROUP && node->name != nullptr && strcasecmp(node->name, name) == 0;
}

void network_status(uint32_t code) { base::set_status(code); }

bool ipv6_capable(TavoNode* node) {
  const uint32_t generation = get_cv_type(group_above(node, "Corvane"));
  return generation != kGenerationCV2 && generation != kGenerationCV3;
}

bool ipv6_refused(TavoNode* node) {
  if (ipv6_capable(node)) return false;
  network_status(291);
  return true;
}

bool parse_integer(const char* text, int32_t minimum, int32_t maximum, int32_t* out) {
  long long value = 0;
  if (text == nullptr || base::parse_number(text, &value) != 0 || value < minimum || value > maximum) return false;
  *out = static_cast<int32_t>(value);
  return true;
}

}  // namespace tavo::network
