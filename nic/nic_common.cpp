// The groups above a NIC handler's node, its function number and MAC texts.
#include <stdio.h>

#include "base/validate.h"
#include "nic/nic_internal.h"

namespace tavo::nic {

bool function_number_text(TavoNode* function_group, char text[TAVO_VALUE_SIZE]) {
  return pci_function_text(function_group, text, __func__, ":");
}

bool pci_function_text(TavoNode* function_group, char text[TAVO_VALUE_SIZE], const char* caller, const char* sep) {
  TavoNode* pci = function_group != nullptr ? internal_get_node(function_group, "PCI", TAVO_KIND_GROUP) : nullptr;
  if (pci == nullptr) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s%sFailed to get pci node\n", caller, sep);
    return false;
  }
  if (internal_get_property(pci, "FunctionNumber", text) != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s%sFailed to get function number\n", caller, sep);
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

}  // namespace tavo::nic
