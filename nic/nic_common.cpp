// The groups above a NIC handler's node, its function number and MAC texts.
#include <stdio.h>

#include "base/validate.h"
#include "controller/controller.h"
#include "nic/nic_internal.h"
#include "transport/glob.h"

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

bool nic_function_begin(TavoNode* property, char* buf, HandlerContext* c, uint32_t* generation, uint32_t* result) {
  *result = 1;
  if (property == nullptr || buf == nullptr) return false;
  if (vm_flag) {
    *result = controller::refuse_on_vf(buf);
    return false;
  }
  *c = handler_context(property);
  if (c->function == nullptr || c->function != named(property->parent, "NICPhysicalHBA") || c->controller == nullptr)
    return false;
  *generation = get_cv_type(c->controller);
  return *generation != TAVO_GENERATION_UNREADABLE;
}

HandlerContext protocol_route(const HandlerContext& nic_function) {
  if (get_the_protocol(controller::controller_instance(nic_function.controller)) != TAVO_VIA_ISCSI) return nic_function;
  return handler_context(nic_function.controller, Commands::OfController);
}

void stored_text(TavoNode* group, const char* name, char out[TAVO_VALUE_SIZE]) {
  out[0] = '\0';
  if (TavoNode* p = group != nullptr ? internal_get_node(group, name, TAVO_KIND_PROPERTY) : nullptr)
    handle_internal_property(p, out, TAVO_PROPERTY_GET);
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
