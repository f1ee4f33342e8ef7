// The editable values of a configured view: the profile id, a port's
// multi-channel type and a function's protocol and SR-IOV state. They live
// in config_prof.txt (and the stored values) until SaveProfile writes them
// to the adapter; a read answers the file's value where it has one.
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include <string>
#include <vector>

#include "nic/profile_internal.h"
#include "transport/glob.h"

using namespace tavo::nic;

namespace {

// The profile a RoCE function needs.
constexpr char kRoceProfile[] = "21";
// "Failed to change SRIOVState. SRIOV state change is not supported on this
// function."
constexpr uint32_t kSriovNotChangeable = 247;

using Fields = char[TAVO_CPROF_FIELDS][TAVO_CPROF_FIELD_SIZE];

// What every editable value does first: the groups named above the
// property into levels (the controller last). False with *result the
// handler's answer when it ends there: another flag 0; a missing group or
// an unreadable generation 1; on CV2, CV3 and Galtor the stored value
// becomes elsewhere; on a virtual function a read answers "N/A"
// (vf_status: with status 256, 1) and a write is refused.
template <size_t N>
bool edit_begin(TavoNode* property, char* buf, uint32_t op, const char* const (&names)[N], TavoNode* (&levels)[N],
                const char* elsewhere, bool vf_status, uint32_t* result) {
  *result = 0;
  if (op != TAVO_PROPERTY_GET && op != TAVO_PROPERTY_SET) return false;
  *result = 1;
  if (buf == nullptr || !groups_above(property, names, levels)) return false;
  if (!profiles_apply(levels[N - 1], property, op, elsewhere, buf, result)) return false;
  if (vm_flag) {
    if (op == TAVO_PROPERTY_SET || vf_status) {
      *result = tavo::controller::refuse_on_vf(buf);
    } else {
      snprintf(buf, TAVO_VALUE_SIZE, "N/A");
      *result = 0;
    }
    return false;
  }
  return true;
}

// The field of the matching line as the property's value, then the stored
// value as the answer.
uint32_t edit_read(TavoNode* property, char* buf, TavoNode* controller, const char* function_number, uint32_t field) {
  Fields fields = {};
  const uint32_t mode = function_number != nullptr ? TAVO_CPROF_FUNCTION_LINE : TAVO_CPROF_CONTROLLER;
  if (TAVO_get_config_prof_prop(controller, function_number, fields, mode) == 0)
    set_prop_val(property->parent, property->name, "%s", fields[field]);
  return answer_stored(property, buf);
}

// The field of the lines of the functions (all the controller's lines for
// none) becomes value in one save, and value the stored text; a file that
// could not be saved (*unsaved, when given) fails the write and changes
// neither.
uint32_t edit_write(TavoNode* property, TavoNode* controller, const std::vector<std::string>& functions,
                    uint32_t field, const char* value, bool* unsaved = nullptr) {
  ControllerLines who;
  if (property == nullptr || !controller_lines(controller, &who)) return 1;
  if (cprof_rewrite(who, functions, field, value) == CprofEdit::Failed) {
    if (unsaved != nullptr) *unsaved = true;
    return 1;
  }
  set_prop_val(property->parent, property->name, "%s", value);
  return 0;
}

bool edit_function_number(TavoNode* function, char text[TAVO_VALUE_SIZE]) {
  return function != nullptr && internal_get_property(function, "FunctionNumber", text) == 0;
}

// A configured function's value: the groups from its Function up to the
// controller, and its FunctionNumber text.
struct FunctionEdit {
  TavoNode* levels[5];
  char number[TAVO_VALUE_SIZE] = "";
  TavoNode* configured() const { return levels[2]; }
  TavoNode* controller() const { return levels[4]; }
  bool begin(TavoNode* property, char* buf, uint32_t op, uint32_t* result) {
    static constexpr const char* kLevels[] = {"Function", "Port", "ConfiguredProfile", "ProfileManagement",
                                              "Corvane"};
    if (!edit_begin(property, buf, op, kLevels, levels, "N/A", false, result)) return false;
    *result = 1;
    return edit_function_number(levels[0], number);
  }
};

}  // namespace

uint32_t handle_ConfiguredProfile_ProfileId(TavoNode* property, char* buf, uint32_t op) {
  static constexpr const char* kLevels[] = {"ConfiguredProfile", "ProfileManagement", "Corvane"};
  TavoNode* levels[3];
  uint32_t result = 0;
  if (!edit_begin(property, buf, op, kLevels, levels, "N/A", true, &result)) return result;
  if (op == TAVO_PROPERTY_GET) return edit_read(property, buf, levels[2], nullptr, TAVO_CPROF_PROFILE_ID);
  // Kept in decimal, as SaveProfile reads it.
  long long id = 0;
  if (!parse_id(buf, &id)) return 1;
  char text[TAVO_VALUE_SIZE];
  snprintf(text, sizeof text, "%lld", id);
  return edit_write(property, levels[2], {}, TAVO_CPROF_PROFILE_ID, text);
}

uint32_t handle_ConfiguredProfile_Port_MCType(TavoNode* property, char* buf, uint32_t op) {
  static constexpr const char* kLevels[] = {"Port", "ConfiguredProfile", "ProfileManagement", "Corvane"};
  TavoNode* levels[4];
  uint32_t result = 0;
  if (!edit_begin(property, buf, op, kLevels, levels, "None", false, &result)) return result;
  if (op == TAVO_PROPERTY_GET) return tavo::port::read_configured_mc_type(levels[0], buf);
  TavoNode* controller = levels[3];
  std::vector<std::string> numbers;
  for (TavoNode* f : instances_of(levels[0], "Function")) {
    char number[TAVO_VALUE_SIZE];
    if (!edit_function_number(f, number)) return 1;
    numbers.emplace_back(number);
  }
  if (mc_type_code(buf) != tavo::kMcTypeNone) {
    char supported[TAVO_VALUE_SIZE] = "";
    TavoNode* channels = internal_get_node(controller, "ChannelManagement", TAVO_KIND_GROUP);
    if (channels == nullptr || tavo::port::read_supported_mc_types(channels, supported) != 0) supported[0] = '\0';
    if (strcasecmp(buf, "HPFlex") == 0 || strcasecmp(buf, "HPFlexQBG") == 0 || !mc_type_supported(supported, buf)) {
      nic_status(294);
      return 1;
    }
  }
  // The list spelling of the value (the tree compared it without case).
  const char* value = mc_type_spelling(buf);
  if (value == nullptr) {
    tavo::tree::validation_status(TAVO_INVALID_VALUE, nullptr, 0, 0);
    return 1;
  }
  // A port without functions keeps its value in the tree alone.
  if (numbers.empty()) return set_prop_val(levels[0], "MCType", "%s", value);
  return edit_write(property, controller, numbers, TAVO_CPROF_MC_TYPE, value);
}

uint32_t handle_ConfiguredProfile_Port_Function_Protocol(TavoNode* property, char* buf, uint32_t op) {
  FunctionEdit at;
  uint32_t result = 0;
  if (!at.begin(property, buf, op, &result)) return result;
  if (op == TAVO_PROPERTY_GET) return edit_read(property, buf, at.controller(), at.number, TAVO_CPROF_PROTOCOL);
  // Only protocol names may stand in the line: a comma or line break would
  // break the file.
  const char* protocol = protocol_spelling(buf);
  if (protocol == nullptr) {
    tavo::tree::validation_status(TAVO_INVALID_VALUE, nullptr, 0, 0);
    return 1;
  }
  long long pf = -1;
  if (strcmp(protocol, "None") == 0 && parse_id(at.number, &pf) && pf == 0) protocol = "NIC";
  if (strcmp(protocol, "NIC+RoCE") != 0)
    return edit_write(property, at.controller(), {at.number}, TAVO_CPROF_PROTOCOL, protocol);
  // RoCE runs in its own profile: the controller's lines name it too, so
  // that the profile id read back (and saved) is that one. Both go in one
  // save, or neither.
  TavoNode* id = internal_get_node(at.configured(), "ProfileId", TAVO_KIND_PROPERTY);
  ControllerLines who;
  if (id == nullptr || !controller_lines(at.controller(), &who)) return 1;
  const CprofChange changes[] = {{{}, TAVO_CPROF_PROFILE_ID, kRoceProfile},
                                 {{at.number}, TAVO_CPROF_PROTOCOL, protocol}};
  if (cprof_rewrite(who, changes) == CprofEdit::Failed) return 1;
  set_prop_val(id->parent, id->name, "%s", kRoceProfile);
  set_prop_val(property->parent, property->name, "%s", protocol);
  return 0;
}

namespace {

// SRIOVState of a configured function as the handler reads or writes it;
// *unsaved (when given) tells a write that failed because the file could
// not be saved.
uint32_t sriov_edit(TavoNode* property, char* buf, uint32_t op, bool* unsaved) {
  FunctionEdit at;
  uint32_t result = 0;
  if (!at.begin(property, buf, op, &result)) return result;
  if (op == TAVO_PROPERTY_GET) return edit_read(property, buf, at.controller(), at.number, TAVO_CPROF_SRIOV);
  // A function whose SR-IOV state cannot change shows "N/A": no save may
  // switch it.
  char now[TAVO_VALUE_SIZE] = "";
  if (edit_read(property, now, at.controller(), at.number, TAVO_CPROF_SRIOV) != 0) return 1;
  if (strcmp(now, "N/A") == 0) {
    nic_status(kSriovNotChangeable);
    return 1;
  }
  return edit_write(property, at.controller(), {at.number}, TAVO_CPROF_SRIOV,
                    strcasecmp(buf, "Enabled") == 0 ? "Enabled" : "Disabled", unsaved);
}

}  // namespace

uint32_t handle_CProf_SRIOVState(TavoNode* property, char* buf, uint32_t op) {
  return sriov_edit(property, buf, op, nullptr);
}

bool tavo::nic::set_configured_sriov(TavoNode* function, const char* value) {
  TavoNode* property = internal_get_node(function, "SRIOVState", TAVO_KIND_PROPERTY);
  char text[TAVO_VALUE_SIZE];
  snprintf(text, sizeof text, "%s", value);
  bool unsaved = false;
  if (property != nullptr && sriov_edit(property, text, TAVO_PROPERTY_SET, &unsaved) == 0) return true;
  if (unsaved) return false;
  set_prop_val(function, "SRIOVState", "%s", value);
  return true;
}
