// The two views of a Moravel controller's function layout: ActiveProfile
// (what the adapter runs) and ConfiguredProfile (what it runs after its
// next reset), each a Port instance per port descriptor with a Function
// instance per protocol descriptor of the port. The configured view also
// writes the controller's lines of config_prof.txt.
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include <algorithm>

#include "nic/profile_internal.h"
#include "transport/commands.h"

using namespace tavo::nic;
using tavo::ProfileConfigBuffer;
using tavo::ProfileResourceDescriptor;

namespace {

// A protocol descriptor's link number and MAC address.
struct ProtocolPlace {
  uint8_t link = 0;
  uint8_t mac[6] = {};
};

bool views_place(const uint8_t* d, size_t length, ProtocolPlace* out) {
  size_t mac_at = 0, link_at = 0;
  if (!tavo::protocol_fields_of(d[0], &mac_at, &link_at)) return false;
  // A descriptor too short for its fields reads them as zeros.
  *out = ProtocolPlace{};
  if (link_at < length) out->link = d[link_at] & tavo::kLinkMask;
  if (mac_at + sizeof out->mac <= length) memcpy(out->mac, d + mac_at, sizeof out->mac);
  return true;
}

ProfileResourceDescriptor views_head(const uint8_t* d) {
  ProfileResourceDescriptor head;
  memcpy(&head, d, sizeof head);
  return head;
}

// The stored text of a property of group ("" for none): the values the
// build itself set, not what config_prof.txt holds.
std::string views_stored(TavoNode* group, const char* name) {
  char text[TAVO_VALUE_SIZE];
  stored_text(group, name, text);
  return text;
}

// The first Function of the port whose Protocol is "NIC" and whose
// FunctionNumber is pf's text; null for none.
TavoNode* views_nic_function(TavoNode* port, const char* pf) {
  for (TavoNode* f : instances_of(port, "Function"))
    if (strcasecmp(views_stored(f, "Protocol").c_str(), "NIC") == 0 && views_stored(f, "FunctionNumber") == pf)
      return f;
  return nullptr;
}

// What the walk of one port's functions keeps from the descriptors before
// the current one.
struct PortWalk {
  uint8_t pf_state = 0;               // of the latest PCI function descriptor
  const char* sriov = "N/A";          // its SR-IOV state (configured view)
  ProtocolPlace place;                // of the latest NIC, iSCSI or FCoE descriptor
  int32_t created = 0;
};

void views_pci_function(const uint8_t* d, size_t length, PortWalk* w) {
  const auto pf = tavo::profile_descriptor_padded<tavo::ProfilePciFunctionDescriptor>(d, length);
  w->pf_state = pf.pf_state;
  w->sriov = "N/A";
  if ((pf.changeable & tavo::kSriovChangeable) != 0 && pf.sriov_state <= 1)
    w->sriov = pf.sriov_state == 1 ? "Enabled" : "Disabled";
}

// Walks the port's descriptors for caller (its name in the log): calls
// visit(head, roce, failed) for each NIC, iSCSI or FCoE descriptor of the
// link and each RoCE descriptor after one of the link, neither a VF
// template; visit answers whether it created a function, and sets *failed
// to stop. The walk ends after pf_count functions, and (ari_limit not 0)
// at a PF number above ari_limit.
template <typename Visit>
uint32_t views_walk(const char* caller, const ProfileConfigBuffer& config, uint8_t link, uint32_t ari_limit,
                    int32_t pf_count, PortWalk* w, Visit visit) {
  uint32_t result = 0;
  tavo::walk_profile_descriptors(
      reinterpret_cast<const uint8_t*>(&config), sizeof config, [&](const uint8_t* d, size_t length) {
        const ProfileResourceDescriptor head = views_head(d);
        if (ari_limit != 0 && tavo::pf_number_of(head.pf) > ari_limit) return false;
        if (head.type == tavo::kProfilePciFunction) {
          views_pci_function(d, length, w);
          return true;
        }
        const bool roce = head.type == tavo::kProfileRoce;
        if (!roce && !views_place(d, length, &w->place)) return true;
        if (w->place.link != link || (head.flags & tavo::kDescriptorVfTemplate) != 0) return true;
        bool failed = false;
        if (visit(head, roce, &failed)) ++w->created;
        if (failed) {
          pdebug(TAVO_LOG_BACKEND, 3, "%s:Failed to initialize Port Function.\n", caller);
          result = 1;
          return false;
        }
        if (w->created >= pf_count) {
          pdebug(TAVO_LOG_BACKEND, 6, "%s:function count > max_pf_count.\n", caller);
          return false;
        }
        return true;
      });
  return result;
}

// Appends line unless it stood in the content when the port's walk began.
void views_append(TavoConfigProfLines* lines, const std::string& line) {
  if (std::find(lines->before_port.begin(), lines->before_port.end(), line) == lines->before_port.end())
    lines->lines.push_back(line);
}

uint32_t views_load(TavoNode* controller, bool active) {
  if (controller == nullptr || profile_support(controller) != ProfileSupport::Supported) return 1;
  const HandlerContext fn = handler_context(controller, Commands::OfController);
  if (!fn) return 1;
  const ProfileGroups g = profile_groups(controller);
  if (g.management == nullptr || g.active == nullptr || g.configured == nullptr) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:Failed to get the profile nodes.\n", __func__);
    return 1;
  }
  tavo::ProfileIdRecord ids{};
  if (ioctl_get_active_profile(fn.number, &ids, fn.domain, fn.port,
                               tavo::controller::controller_instance(controller)) != 0) {
    nic_status(277);
    return 1;
  }
  if (!active) {
    set_prop_val(g.configured, "ProfileId", "%d", ids.configured_id);
    return TAVO_get_port_profile(controller, g.configured, ids.configured_id, tavo::kProfileConfigured, 0);
  }
  set_prop_val(g.active, "ProfileId", "%d", ids.active_id);
  // Functions beyond the adapter's active ARI limit are not shown; without
  // ARI settings there is no limit.
  tavo::AriSettingsRecord ari{};
  const uint32_t limit = ioctl_get_ari_settings(fn.number, &ari, fn.domain, fn.port,
                                                tavo::controller::controller_transport(controller)) == 0
                             ? ari.active_max_pf
                             : 0;
  return TAVO_get_port_profile(controller, g.active, ids.active_id, tavo::kProfileActive, limit);
}

// The ports of the configuration into the view; lines (configured view)
// receives the functions' lines.
uint32_t views_ports(TavoNode* controller, TavoNode* view, uint32_t profile_id, uint8_t config_type,
                     uint32_t ari_limit, const ControllerLines* who, TavoConfigProfLines* lines) {
  const tavo::controller::SharedProfile config(
      tavo::controller::controller_profile(controller, config_type, static_cast<uint8_t>(profile_id), 0));
  if (!config) return 1;
  uint32_t result = 0;
  tavo::walk_profile_descriptors(
      reinterpret_cast<const uint8_t*>(config.get()), sizeof(ProfileConfigBuffer),
      [&](const uint8_t* d, size_t length) {
        if (d[0] != tavo::kProfilePort) return true;
        const auto port_d = tavo::profile_descriptor_padded<tavo::ProfilePortDescriptor>(d, length);
        TavoNode* port = lines != nullptr ? initialize_ConfiguredProfile_Port(view, nullptr, nullptr, nullptr)
                                          : initialize_ActiveProfile_Port(view, nullptr, nullptr, nullptr);
        if (port == nullptr) {
          pdebug(TAVO_LOG_BACKEND, 3, "%s:Failed to initialize port.\n", "TAVO_get_port_profile");
          result = 1;
          return false;
        }
        // A code without a name leaves the active MCType as it is; the
        // configured view and its lines keep the port's own code as its
        // number, so that a save writes that code again.
        const char* name = mc_type_shown(port_d.mc_type);
        char code[8];
        snprintf(code, sizeof code, "%u", port_d.mc_type);
        if (name != nullptr || lines != nullptr) set_prop_val(port, "MCType", "%s", name != nullptr ? name : code);
        int32_t pf_count = 0;
        if (TAVO_update_max_pf_count(controller, view, port, &pf_count) != 0) {
          result = 1;
          return false;
        }
        const auto link = static_cast<uint8_t>(port_d.link & tavo::kLinkMask);
        if (lines == nullptr) {
          TAVO_enumerate_profile_port_function(controller, port, link, config_type, profile_id, ari_limit, pf_count);
        } else {
          char prefix[1024];
          snprintf(prefix, sizeof prefix, "%s,%s,%u,%s", who->serial, who->bus, profile_id,
                   name != nullptr ? name : code);
          TAVO_enum_cfg_profile_port_function(controller, port, link, config_type, profile_id, pf_count, prefix,
                                              lines);
        }
        return true;
      });
  return result;
}

}  // namespace

uint32_t TAVO_get_active_profiles(TavoNode* controller) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return views_load(controller, true);
}

uint32_t TAVO_get_configured_profiles(TavoNode* controller) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return views_load(controller, false);
}

uint32_t TAVO_get_port_profile(TavoNode* controller, TavoNode* view, uint32_t profile_id, uint8_t config_type,
                               uint32_t ari_limit) {
  if (controller == nullptr || view == nullptr) return 1;
  if (view != profile_groups(controller).configured)
    return views_ports(controller, view, profile_id, config_type, ari_limit, nullptr, nullptr);
  // The controller's lines are written afresh, the others' kept. The
  // file's lock is taken only to change it, unless the action that changed
  // the adapter holds it already (CprofHold). A build that failed leaves
  // the controller without lines.
  ControllerLines who;
  if (!controller_lines(controller, &who)) return 1;
  TavoConfigProfLines built;
  const uint32_t result = views_ports(controller, view, profile_id, config_type, 0, &who, &built);
  if (result != 0) built.lines.clear();
  if (cprof_replace(who, built.lines) != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:Failed to write config_prof.txt.\n", __func__);
    return 1;
  }
  return result;
}

uint32_t TAVO_update_max_pf_count(TavoNode* controller, TavoNode* view, TavoNode* port, int32_t* pf_count) {
  if (pf_count == nullptr || port == nullptr) return 1;
  const tavo::controller::SharedProfile config(
      tavo::controller::controller_profile(controller, tavo::kProfileConfigured, 0, 1));
  if (!config) return 1;
  const bool active = view != nullptr && view == profile_groups(controller).active;
  // The port instances stand for the port descriptors in their order: each
  // counts from its own.
  const int32_t own = tavo::tree::instance_number(port);
  int32_t at = 0;
  *pf_count = 0;
  tavo::walk_profile_descriptors(
      reinterpret_cast<const uint8_t*>(config.get()), sizeof(ProfileConfigBuffer),
      [&](const uint8_t* d, size_t length) {
        if (d[0] != tavo::kProfilePort || at++ != own) return true;
        const auto p = tavo::profile_descriptor_padded<tavo::ProfilePortDescriptor>(d, length);
        if (active) {
          set_prop_val(port, "MaxStoragePFCount", "%d", tavo::count12_of(p.max_storage_count));
          set_prop_val(port, "MaxNICPFCount", "%d", tavo::count12_of(p.nic_count));
          set_prop_val(port, "MaxRoCEPFCount", "%d", tavo::count12_of(p.roce_count));
          set_prop_val(port, "MaxiSCSIPFCount", "%d", tavo::count12_of(p.iscsi_count));
          set_prop_val(port, "MaxFCoEPFCount", "%d", tavo::count12_of(p.fcoe_count));
        }
        *pf_count = tavo::count12_of(p.max_pf_count);
        return false;
      });
  return 0;
}

uint32_t TAVO_enumerate_profile_port_function(TavoNode* controller, TavoNode* port, uint8_t link,
                                              uint8_t config_type, uint32_t profile_id, uint32_t ari_limit,
                                              int32_t pf_count) {
  if (pf_count <= 0) return 0;
  if (port == nullptr) return 1;
  const tavo::controller::SharedProfile config(
      tavo::controller::controller_profile(controller, config_type, static_cast<uint8_t>(profile_id), 0));
  if (!config) return 1;
  PortWalk w;
  return views_walk(__func__, *config, link, ari_limit, pf_count, &w, [&](const ProfileResourceDescriptor& head, bool roce,
                                                                bool* failed) {
    char pf[TAVO_VALUE_SIZE];
    pf_text(tavo::pf_number_of(head.pf), pf);
    const bool on = w.pf_state == 1;
    if (roce && !instances_of(port, "Function").empty()) {
      if (TavoNode* nic = views_nic_function(port, pf)) set_prop_val(nic, "Protocol", "%s", on ? "NIC+RoCE" : "None");
      return false;
    }
    TavoNode* f = initialize_ActiveProfile_Port_Function(port, nullptr, nullptr, nullptr);
    if (f == nullptr) return !(*failed = true);
    char mac[18];
    mac_text(w.place.mac, mac);
    set_prop_val(f, "Protocol", "%s", on ? protocol_of_descriptor(head.type) : "None");
    set_prop_val(f, "FunctionNumber", "%s", pf);
    set_prop_val(f, "MACAddress", "%s", mac);
    return true;
  });
}

uint32_t TAVO_enum_cfg_profile_port_function(TavoNode* controller, TavoNode* port, uint8_t link,
                                             uint8_t config_type, uint32_t profile_id, int32_t pf_count,
                                             const char* prefix, TavoConfigProfLines* lines) {
  ControllerLines who;
  if (port == nullptr || prefix == nullptr || lines == nullptr || !controller_lines(controller, &who)) return 1;
  lines->before_port = lines->lines;
  const tavo::controller::SharedProfile config(
      tavo::controller::controller_profile(controller, config_type, static_cast<uint8_t>(profile_id), 0));
  if (!config) return 1;
  if (tavo::profile_descriptor_count(reinterpret_cast<const uint8_t*>(config.get())) == 0 || pf_count <= 0) return 0;
  PortWalk w;
  return views_walk(__func__, *config, link, 0, pf_count, &w, [&](const ProfileResourceDescriptor& head, bool roce,
                                                        bool* failed) {
    char pf[TAVO_VALUE_SIZE];
    pf_text(tavo::pf_number_of(head.pf), pf);
    // A disabled function shows "None", as the active view does, so that
    // the next save keeps it off unless it is given a protocol again.
    const char* protocol = w.pf_state == 1 ? protocol_of_descriptor(head.type) : "None";
    bool created = false;
    if (roce && !instances_of(port, "Function").empty()) {
      TavoNode* nic = views_nic_function(port, pf);
      if (nic == nullptr) return false;
      protocol = "NIC+RoCE";
      set_prop_val(nic, "Protocol", "%s", protocol);
    } else {
      TavoNode* f = initialize_ConfiguredProfile_Port_Function(port, nullptr, nullptr, nullptr);
      if (f == nullptr) return !(*failed = true);
      char mac[18];
      mac_text(w.place.mac, mac);
      set_prop_val(f, "Protocol", "%s", protocol);
      set_prop_val(f, "FunctionNumber", "%s", pf);
      set_prop_val(f, "MACAddress", "%s", mac);
      set_prop_val(f, "SRIOVState", "%s", w.sriov);
      set_prop_val(f, "State", "%s", w.pf_state == 1 ? "Enabled" : "Disabled");
      created = true;
    }
    views_append(lines, std::string(prefix) + "," + pf + "," + protocol + "," + w.sriov);
    return created;
  });
}
