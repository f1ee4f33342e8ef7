// Send-target portals: added and deleted with their savestp.txt lines,
// rebuilt from the file at start-up and by the refresh of Discovery. Every
// portal is built as the AddSendTargetPortal action with its address and
// port, so it is persistent whoever builds it.
#include <string.h>
#include <strings.h>

#include <algorithm>
#include <vector>

#include "base/library_lock.h"
#include "base/save_file.h"
#include "iscsi/network/network.h"
#include "iscsi/common/software_initiator.h"
#include "iscsi/target_data/login_sets.h"
#include "iscsi/targets/targets_internal.h"
#include "transport/glob.h"

using namespace tavo::targets;
using tavo::tree::instance_number;
using tavo::tree::next_instance;

namespace {

std::string_view stp_field(const SavedFields& line, Field f) { return field_of(line, Saved::Portals, f); }
const char* stp_text(const SavedFields& line, Field f) { return field_text(line, Saved::Portals, f); }

// A new SendTargetPortal with its address, port and MAC address; creating
// action and params as the caller gives them. NULL when it cannot be built.
TavoNode* stp_build(TavoNode* discovery, TavoNode* action, char* params, const char* address, const char* port,
                    const char* mac) {
  if (action == nullptr) return nullptr;
  TavoNode* portal = initialize_SendTargetPortal(discovery, discovery, action, params);
  if (portal == nullptr) return nullptr;
  if ((set_prop_val(portal, "IPAddress", "%s", address) |
       set_prop_val(portal, "PortNumber", "%s", decimal_port(port).c_str()) |
       set_prop_val(portal, "PortMacAddress", "%s", mac)) != 0) {
    delete_node(portal);
    return nullptr;
  }
  return portal;
}

// A portal of a saved line with its options, built by the Discovery
// group's AddSendTargetPortal; NULL when it cannot be had.
TavoNode* stp_from_line(TavoNode* discovery, const SavedFields& line) {
  tavo::iscsi::ParamTexts params;
  snprintf(params.text[0], TAVO_VALUE_SIZE, "%s", stp_text(line, Field::Address));
  snprintf(params.text[1], TAVO_VALUE_SIZE, "%s", decimal_port(stp_field(line, Field::Port)).c_str());
  TavoNode* portal =
      stp_build(discovery, internal_get_node(discovery, "AddSendTargetPortal", TAVO_KIND_ACTION), params.data(),
                params.text[0], params.text[1], stp_text(line, Field::MacAddress));
  if (portal != nullptr && !store_line_options(portal, "SendTargetPortalLoginOptions", Saved::Portals, line)) {
    delete_node(portal);
    return nullptr;
  }
  return portal;
}

bool stp_values(TavoNode* portal, char address[TAVO_VALUE_SIZE], char port[TAVO_VALUE_SIZE]) {
  return read_text(portal, "IPAddress", address) && read_text(portal, "PortNumber", port);
}

// The portal's twelve options from the initiator's, and its saved line.
uint32_t stp_copy_and_save(TavoNode* lhba, TavoNode* portal, const char* address, const char* port, const char* mac) {
  LoginOptionSet options;
  TavoNode* own = internal_get_node(portal, "SendTargetPortalLoginOptions", TAVO_KIND_GROUP);
  TavoNode* own_authentication = internal_get_node(own, "Authentication", TAVO_KIND_GROUP);
  if (own_authentication == nullptr ||
      !login_option_set(internal_get_node(lhba, "InitiatorLoginOptions", TAVO_KIND_GROUP), &options))
    return 1;
  const std::vector<std::string_view> values(options.begin(), options.end());
  store_options(own, own_authentication, values);
  LhbaKey key;
  std::string line;
  if (!lhba_key(lhba, &key) || !RecordValues(Saved::Portals)
                                    .set_key(key)
                                    .set(Field::Address, address)
                                    .set(Field::Port, port)
                                    .set(Field::MacAddress, mac)
                                    .set_options(options)
                                    .format(&line))
    return 1;
  const std::vector<Match> match = key_matches(key, {{Field::Address, address}, {Field::Port, port}});
  return append_line(Saved::Portals, line, [&](const SavedView& view) { return view.find(match) != nullptr; });
}

uint32_t add_send_target_portal(TavoNode* discovery, TavoNode* action, char* params) {
  const tavo::tree::HandlerContext p = tavo::tree::handler_context(discovery);
  if (discovery == nullptr || params == nullptr || !below_lhba(p)) return 1;
  TavoNode* nic =
      internal_get_node(internal_get_node(p.function, "Network", TAVO_KIND_GROUP), "NICConfiguration", TAVO_KIND_GROUP);
  TavoNode* mac_node = internal_get_node(nic, "MACAddress", TAVO_KIND_PROPERTY);
  char* address = param(params, 0);
  if (mac_node == nullptr || !full_address(address)) return 1;
  if (small_generation(generation_of(p)) && strlen(address) > 15) {
    targets_status(330);
    return 1;
  }
  char enabled[TAVO_VALUE_SIZE];
  if (!read_text(p.lhba, "Enabled", enabled)) return 1;
  if (is_word(enabled, "False")) {
    targets_status(46);
    return 1;
  }
  // The port as the tree read it, in decimal from here on.
  char* port = param(params, 1);
  if (!port_parameter(port, false)) {
    tavo::tree::validation_status(TAVO_INVALID_VALUE, "PortNumber", 1024, 65535);
    return 1;
  }
  if (check_for_stp_in_TAVO(discovery, address, port) == 1 ||
      TAVO_check_for_duplicate_tgt(p.controller, p.function, p.lhba, nullptr, address, port, TAVO_ENTRY_SEND_TARGET,
                                   0) == 1) {
    targets_status(22);
    return 1;
  }
  if (OPEN_ISCSI_DRIVER_LOADED && TAVO_op_add_sendtaregtportal(discovery, params) != 0) return 1;
  const char* mac = tavo::tree::property_record(mac_node)->value;
  TavoNode* portal = stp_build(discovery, action, params, address, port, mac);
  if (portal == nullptr) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: no free SendTargetPortal instance\n", __func__);
    return 1;
  }
  // A portal is never left without its saved line: discovery needs it.
  const uint32_t saved = stp_copy_and_save(p.lhba, portal, address, port, mac);
  if (saved != 0) {
    tavo::iscsi::keeping_last_status([&] { delete_node(portal); });
    return saved;
  }
  SavedBatch::on_failure([portal] { delete_node(portal); });
  return 0;
}

uint32_t delete_send_target_portal(TavoNode* discovery, char* params, SavedBatch& batch) {
  if (discovery == nullptr || params == nullptr) return 1;
  TavoNode* portal = get_selected_group_node(discovery, "SendTargetPortal", param(params, 0));
  if (portal == nullptr) {
    targets_status(20);
    return 1;
  }
  char address[TAVO_VALUE_SIZE], port[TAVO_VALUE_SIZE];
  // The line goes first, written before the node goes: a portal whose
  // line stays comes back.
  if (!stp_values(portal, address, port) ||
      !entry_removed(TAVO_remove_entry_from_file(discovery->parent, nullptr, address, port, 0, TAVO_ENTRY_SEND_TARGET),
                     Saved::Portals) ||
      batch.commit() != 0)
    return 1;
  return delete_node(portal);
}

}  // namespace

uint32_t do_AddSendTargetPortal(TavoNode* discovery, TavoNode* action, char* params) {
  TAVO_LIBRARY_LOCK;
  SavedBatch batch;
  return batch.end(add_send_target_portal(discovery, action, params));
}

uint32_t do_DeleteSendTargetPortal(TavoNode* discovery, TavoNode*, char* params) {
  TAVO_LIBRARY_LOCK;
  SavedBatch batch;
  return batch.end(delete_send_target_portal(discovery, params, batch));
}

uint32_t check_for_stp_in_TAVO(TavoNode* discovery, const char* address, const char* port) {
  TAVO_LIBRARY_LOCK;
  if (address == nullptr || port == nullptr) return 0;
  for (TavoNode* s = get_first_instance(discovery, "SendTargetPortal"); s != nullptr; s = next_instance(s)) {
    char a[TAVO_VALUE_SIZE], n[TAVO_VALUE_SIZE];
    if (stp_values(s, a, n) && strcasecmp(a, address) == 0 && same_port(n, port)) return 1;
  }
  return 0;
}

uint32_t TAVO_sync_stp_with_file(TavoNode* controller, TavoNode* function, TavoNode*, TavoNode*, const char* address,
                                 const char* port) {
  TAVO_LIBRARY_LOCK;
  if (address == nullptr || port == nullptr || instance_number(controller) < 0 || instance_number(function) < 0)
    return 1;
  const LhbaKey key = {{"Corvane" + std::to_string(instance_number(controller)),
                        "iSCSIPhysicalHBA" + std::to_string(instance_number(function)), "LogicalHBA0"}};
  const std::vector<Match> match = key_matches(key, {{Field::Address, address}, {Field::Port, port}});
  bool found = false;
  with_view(Saved::Portals, [&](const SavedView& view) { found = view.find(match) != nullptr; });
  return found ? 0 : 1;
}

uint32_t group_Discovery(TavoNode* discovery) {
  TAVO_LIBRARY_LOCK;
  LhbaKey key;
  SavedLines lines;
  if (!lhba_key(discovery, &key)) return 1;
  if (tavo::files::known_missing(tavo::files::identify(record_def(Saved::Portals).path))) return 0;
  if (!copy_lines(Saved::Portals, key_matches(key), &lines)) return 1;
  std::vector<TavoNode*> gone;
  for (TavoNode* s = get_first_instance(discovery, "SendTargetPortal"); s != nullptr; s = next_instance(s)) {
    char address[TAVO_VALUE_SIZE], port[TAVO_VALUE_SIZE];
    if (!stp_values(s, address, port)) return 1;
    const bool saved = std::any_of(lines.begin(), lines.end(), [&](const SavedFields& line) {
      return is_word(stp_text(line, Field::Address), address) &&
             same_port(stp_text(line, Field::Port), port);
    });
    if (!saved) gone.push_back(s);
  }
  for (TavoNode* s : gone) delete_node(s);
  for (const SavedFields& line : lines) {
    if (port_reads_zero(Saved::Portals, line)) continue;
    if (check_for_stp_in_TAVO(discovery, stp_text(line, Field::Address),
                              stp_text(line, Field::Port)) == 1)
      continue;
    if (stp_from_line(discovery, line) == nullptr) break;
  }
  return 0;
}

uint32_t TAVO_set_stp_loginopts_prop(char (*keys)[TAVO_VALUE_SIZE], TavoNode* lhba) {
  TAVO_LIBRARY_LOCK;
  if (keys == nullptr || lhba == nullptr) return 1;
  // As for the targets: port-0 lines go, ports are written in decimal.
  SavedLines lines;
  const uint32_t rewritten = startup_lines(Saved::Portals, LhbaKey{{keys[0], keys[1], keys[2]}}, nullptr, &lines);
  TavoNode* discovery = internal_get_node(lhba, "Discovery", TAVO_KIND_GROUP);
  for (const SavedFields& line : lines)
    if (discovery == nullptr || stp_from_line(discovery, line) == nullptr) return 1;
  return rewritten;
}
