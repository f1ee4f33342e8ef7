// The names and groups every profile operation shares.
#include <stdio.h>
#include <strings.h>

#include <string_view>

#include "base/validate.h"
#include "nic/profile_internal.h"
#include "transport/device_ids.h"

namespace tavo::nic {
namespace {

// Multi-channel type codes: how a port descriptor shows each, and the name
// a user gives for it. Codes 0 and 1 both show "None"; writers use 1.
struct McType {
  uint8_t code;
  const char* shown;
  const char* given;
};
constexpr McType kMcTypes[] = {
    {0, "None", nullptr},       {kMcTypeNone, "None", "None"}, {2, "UMC", "UMC"},
    {3, "HPFLEX", "HPFlex"},    {4, "vNIC1", "vNIC1"},         {5, "NPAR", "NPAR"},
    {6, "UFP", "UFP"},          {7, "vNIC2", "vNIC2"},         {8, "HPFlEXQBG", "HPFlexQBG"},
    {10, "HPUMC", "HPUMC"},
};

// Protocol names with the pf_type code SaveProfile writes for each.
struct ProtocolName {
  const char* name;
  uint8_t code;
};
constexpr ProtocolName kProtocolNames[] = {
    {"NIC", kProtocolNic},       {"iSCSI", kProtocolIscsi}, {"FCoE", kProtocolFcoe},
    {"RoCE", kProtocolRoce},     {"NIC+RoCE", kProtocolRoce}, {"None", kProtocolOff},
};

// The row of table whose field (a name, compared without case) is name.
template <typename Row, size_t N>
const Row* named_row(const Row (&table)[N], const char* name, const char* Row::*field) {
  for (const Row& r : table)
    if (name != nullptr && r.*field != nullptr && strcasecmp(name, r.*field) == 0) return &r;
  return nullptr;
}

}  // namespace

ProfileSupport profile_support(TavoNode* controller) {
  switch (get_cv_type(controller)) {
    case TAVO_GENERATION_UNREADABLE:
      return ProfileSupport::Unreadable;
    case kGenerationCV2:
    case kGenerationCV3:
    case kGenerationGaltor:
      return ProfileSupport::NotSupported;
    default:
      return ProfileSupport::Supported;
  }
}

const char* mc_type_shown(uint32_t code) {
  for (const McType& t : kMcTypes)
    if (t.code == code) return t.shown;
  return nullptr;
}

uint8_t mc_type_code(const char* name) {
  const McType* t = named_row(kMcTypes, name, &McType::given);
  return t != nullptr ? t->code : 0;
}

uint8_t mc_type_saved_code(const char* text) {
  long long code = 0;
  if (text != nullptr && text[0] >= '0' && text[0] <= '9' && base::parse_number(text, &code) == 0 && code >= 0 &&
      code <= 0xFF && mc_type_shown(static_cast<uint32_t>(code)) == nullptr)
    return static_cast<uint8_t>(code);
  return mc_type_code(text);
}

const char* mc_type_spelling(const char* name) {
  const McType* t = named_row(kMcTypes, name, &McType::given);
  return t != nullptr ? t->given : nullptr;
}

bool mc_type_supported(const char* supported, const char* name) {
  if (supported == nullptr || name == nullptr || name[0] == '\0') return false;
  const std::string_view wanted(name);
  for (std::string_view rest(supported); !rest.empty();) {
    const size_t comma = rest.find(',');
    const std::string_view entry = rest.substr(0, comma);
    if (entry.size() == wanted.size() && strncasecmp(entry.data(), name, entry.size()) == 0) return true;
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  return false;
}

const char* protocol_of_descriptor(uint8_t type) {
  switch (type) {
    case kProfileNic:
      return "NIC";
    case kProfileIscsi:
      return "iSCSI";
    case kProfileFcoe:
      return "FCoE";
    default:
      return "RoCE";
  }
}

uint8_t protocol_code(const char* name) {
  const ProtocolName* p = named_row(kProtocolNames, name, &ProtocolName::name);
  return p != nullptr ? p->code : kProtocolOff;
}

const char* protocol_spelling(const char* name) {
  const ProtocolName* p = named_row(kProtocolNames, name, &ProtocolName::name);
  return p != nullptr ? p->name : nullptr;
}

bool profiles_apply(TavoNode* controller, TavoNode* property, uint32_t op, const char* elsewhere, char* buf,
                    uint32_t* result) {
  switch (profile_support(controller)) {
    case ProfileSupport::Unreadable:
      *result = 1;
      return false;
    case ProfileSupport::NotSupported:
      *result = tavo::controller::not_applicable_here(property, buf, op, kNotOnThisController, elsewhere);
      return false;
    default:
      return true;
  }
}

uint32_t rebuild_configured_view(TavoNode* controller) {
  TavoNode* configured = profile_groups(controller).configured;
  if (configured == nullptr || purge_nodes_within(configured, "Port") != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:Failed to delete the configured ports.\n", __func__);
    return 1;
  }
  return TAVO_get_configured_profiles(controller);
}

uint32_t change_and_rebuild(TavoNode* controller, uint32_t refused, const std::function<uint32_t()>& send) {
  // The change and the lines rebuilt from it are one change to the other
  // processes; a lock that cannot be had changes nothing.
  const CprofHold hold;
  if (!hold.held()) return 1;
  if (send() != 0) {
    nic_status(refused);
    return 1;
  }
  return rebuild_configured_view(controller);
}

void pf_text(uint32_t pf, char out[TAVO_VALUE_SIZE]) { snprintf(out, TAVO_VALUE_SIZE, "0x%x", pf); }

std::vector<TavoNode*> instances_of(TavoNode* group, const char* child) {
  std::vector<TavoNode*> out;
  for (TavoNode* i = group != nullptr ? get_first_instance(group, child) : nullptr; i != nullptr;
       i = tree::next_instance(i))
    out.push_back(i);
  return out;
}

bool parse_id(const char* text, long long* out) {
  return text != nullptr && base::parse_number(text, out) == 0 && *out >= 0;
}

}  // namespace tavo::nic
