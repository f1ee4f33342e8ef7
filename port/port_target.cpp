// Where a port's commands go, and the link and PHY queries every part of
// the branch makes.
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include "controller/controller.h"
#include "port/port_internal.h"
#include "port/record_texts.h"
#include "transport/commands.h"
#include "transport/glob.h"
#include "tree/handler_context.h"

namespace tavo::port {

bool port_context(TavoNode* node, tree::HandlerContext* c) {
  // The port's own context: the domain and port of the port group itself.
  const tree::HandlerContext found = tree::handler_context(tree::group_above(node, "PortDiscoveryAndConfiguration"));
  if (found.port_group == nullptr || tree::instance_number(found.port_group) < 0 || found.controller == nullptr ||
      found.port_group->parent != found.controller)
    return false;
  *c = found;
  return true;
}

uint32_t port_path(const tree::HandlerContext& c) {
  return get_port_bitmap(controller::controller_instance(c.controller), c.port);
}

bool port_handler_begin(TavoNode* property, char* buf, tree::HandlerContext* c, uint32_t* generation) {
  if (property == nullptr || buf == nullptr) return false;
  if (vm_flag) {
    refuse_on_vf(buf);
    return false;
  }
  if (!port_context(property, c)) return false;
  if (generation == nullptr) return true;
  *generation = get_cv_type(c->controller);
  return *generation != TAVO_GENERATION_UNREADABLE;
}

uint32_t store_texts(TavoNode* group, const PropertyTexts& texts) {
  for (int i = 0; i < texts.count; ++i)
    if (set_prop_val(group, texts.items[i].name, "%s", texts.items[i].text) != 0) return 1;
  return 0;
}

uint32_t port_nic_function(const tree::HandlerContext& c) {
  char port[8];
  snprintf(port, sizeof port, "%d", c.port);
  TavoNode* fn = get_matchnode_by_propvalue(c.controller, "NICPhysicalHBA", "PortNumber", port);
  if (fn == nullptr) fn = get_first_instance(c.controller, "NICPhysicalHBA");
  return fn != nullptr ? tree::handler_context(fn).number : 0;
}

uint32_t read_link_status(uint32_t device, uint8_t domain, uint8_t port_number, uint32_t path, uint8_t version,
                          LinkStatusRecord* out) {
  *out = LinkStatusRecord{};
  return version == 1 ? ioctl_get_link_status_v1(device, out, domain, port_number, path)
                      : ioctl_get_NIC_link_params(device, out, domain, port_number, path);
}

uint32_t read_phy_details(const tree::HandlerContext& c, uint32_t path, PhyDetailsRecord* out) {
  *out = PhyDetailsRecord{};
  return ioctl_get_phy_details(c.number, out, c.domain, c.port, path);
}

const char* link_speed_name(uint32_t code) {
  static const char* const kSpeeds[kMaxSpeedCode + 1] = {"0 (Link Down)", "10Mb", "100Mb", "1Gb",  "10Gb",
                                                         "20Gb",          "25Gb", "40Gb",  "100Gb"};
  return code <= kMaxSpeedCode ? kSpeeds[code] : kSpeeds[0];
}

void speed_text(uint64_t mb, char out[TAVO_VALUE_SIZE]) {
  if (mb < 1000)
    snprintf(out, TAVO_VALUE_SIZE, "%dMb", static_cast<int>(mb));
  else if (mb % 1000 == 0)
    snprintf(out, TAVO_VALUE_SIZE, "%dGb", static_cast<int>(mb / 1000));
  else
    snprintf(out, TAVO_VALUE_SIZE, "%.1fGb", static_cast<double>(mb) / 1000.0);
}

uint32_t store_and_answer(TavoNode* property, const char* value, char* buf) {
  return controller::store_and_answer(property, value, buf);
}

uint32_t answer_stored(TavoNode* property, char* buf) {
  return handle_internal_property(property, buf, TAVO_PROPERTY_GET);
}

uint32_t refuse_on_vf(char* buf) { return controller::refuse_on_vf(buf); }

bool reads(TavoNode* group, const char* name, const char* value) {
  char text[TAVO_VALUE_SIZE] = "";
  return internal_get_property(group, name, text) == 0 && strcasecmp(text, value) == 0;
}

}  // namespace tavo::port
