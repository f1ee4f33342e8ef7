// Where a NIC handler's commands go, the groups above it, MAC texts and the
// branch's status messages.
#include <stdio.h>
#include <strings.h>

#include "base/validate.h"
#include "nic/nic_internal.h"

namespace tavo::nic {
namespace {

struct NicMessage {
  uint32_t code;
  const char* text;
};

constexpr NicMessage kNicMessages[] = {
    {16, "Memory allocation failed. Please check for low memory conditions."},
    {17, "Invalid value. Please use valid value."},
    {70, "Setting this property is not supported in this OS."},
    {76, "Failed to get permanent MAC address. Application internal error occurred. Please check tavo2d.log file for "
         "more information."},
    {114, "Failed to get iSCSI QoS properties. Application internal error occurred. Please check tavo2d.log file for "
          "more information."},
    {124, "Cannot set VLAN priority."},
    {141, "Unable to obtain boot status. Application internal error occurred. Please check tavo2d.log file for more "
          "information."},
    {142, "Cannot set boot status. Application internal error occurred. Please check tavo2d.log file for more "
          "information."},
    {159, "Failed to retrieve the factory default MAC address for the given function. Application internal error "
          "occurred. Please check tavo2d.log file for more information."},
    {160, "Failed to get MACAddress. Application internal error occurred. Please check tavo2d.log file for more "
          "information."},
    {161, "Failed to set MACAddress. Application internal error occurred. Please check tavo2d.log file for more "
          "information."},
    {185, "Failed to get vNIC status. Please check tavo2d.log file for more information."},
    {186, "Failed to get vNIC config data. Please check tavo2d.log file for more information."},
    {246, "Failed to get current MACAddress. Please check tavo2d.log file for more information."},
    {259, "This operation is not supported on this controller."},
    {272, "Configuring Network boot is not supported on this function."},
    {273, "Give Network Boot method is not supported."},
    {274, "Failed to configure NetworkBoot. When NetworkBootState is enabled, need to provide valid "
          "NetworkBootMethod."},
    {278, "Failed to get profile config. Please check tavo2d.log file for more information."},
    {291, "Failed to execute the command. Because operation is not supported on this adapter."},
    {304, "User requested configuration changed successfully. Please reboot your system for the changes to take "
          "effect."},
    {328, "Failed to set Volatile MAC Address."},
};

}  // namespace

bool nic_target(TavoNode* node, NicTarget* out) {
  if (node == nullptr) return false;
  const int32_t device = get_port_number(node);
  if (device < 1) return false;
  out->device = static_cast<uint32_t>(device);
  out->domain = static_cast<uint8_t>(get_domain_id(node));
  out->port = static_cast<uint8_t>(get_phba_port_number(node));
  return true;
}

TavoNode* named(TavoNode* node, const char* name) {
  const bool ok = node != nullptr && node->kind == TAVO_KIND_GROUP && node->name != nullptr &&
                  strcasecmp(node->name, name) == 0;
  return ok ? node : nullptr;
}

bool function_number_text(TavoNode* function_group, char text[TAVO_VALUE_SIZE]) {
  TavoNode* pci = function_group != nullptr ? internal_get_node(function_group, "PCI", TAVO_KIND_GROUP) : nullptr;
  if (pci == nullptr || internal_get_property(pci, "FunctionNumber", text) != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:Failed to get the function number\n", __func__);
    return false;
  }
  return true;
}

bool function_number(TavoNode* function_group, uint32_t* out) {
  char text[TAVO_VALUE_SIZE] = "";
  long long n = 0;
  if (!function_number_text(function_group, text) || !parse_within(text, 0, 0x7FFFFFFF, &n)) return false;
  *out = static_cast<uint32_t>(n);
  return true;
}

bool parse_within(const char* text, long long minimum, long long maximum, long long* out) {
  long long n = 0;
  if (text == nullptr || base::parse_number(text, &n) != 0 || n < minimum || n > maximum) return false;
  *out = n;
  return true;
}

void mac_text(const uint8_t mac[6], char out[18]) {
  snprintf(out, 18, "%02x-%02x-%02x-%02x-%02x-%02x", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
}

void mac_colon_text(const uint8_t mac[6], char out[18]) {
  snprintf(out, 18, "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
}

void nic_status(uint32_t code) {
  for (const NicMessage& m : kNicMessages)
    if (m.code == code) {
      tavo_set_last_status(code, m.text);
      return;
    }
  tavo_set_last_status(code, "");
}

}  // namespace tavo::nic
