// The editable values of a configured view: the profile id, a port's
// multi-channel type and a function's protocol and SR-IOV state. They live
// in config_prof.txt (and the stored values) until SaveProfile writes them
// to the adapter; a read answers the file's value where it has one.
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include "nic/profile_internal.h"
#include "transport/glob.h"

using namespace tavo::nic;

namespace {

// The profile a RoCE function needs.
constexpr char kRoceProfile[] = "21";

using Fields = char[TAVO_CPROF_FIELDS][TAVO_CPROF_FIELD_SIZE];

// What every editable value does first. *go false: the handler answers
// the result (a missing group or unreadable generation 1; on CV2, CV3 and
// Galtor the stored value becomes elsewhere; on a virtual function a read
// answers "N/A" (vf_status: with status 256, 1) and a write is refused).
uint32_t edit_start(TavoNode* property, char* buf, uint32_t op, TavoNode* controller, const char* elsewhere,
                    bool vf_status, bool* go) {
  uint32_t result = 0;
  *go = false;
  if (!profiles_apply(controller, property, elsewhere, buf, &result)) return result;
  if (vm_flag) {
    if (op == TAVO_PROPERTY_SET || vf_status) return tavo::controller::refuse_on_vf(buf);
    snprintf(buf, TAVO_VALUE_SIZE, "N/A");
    return 0;
  }
  *go = true;
  return 0;
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

// The field of the matching lines becomes value, and value the stored
// text; a file that could not be saved fails the write and changes neither.
uint32_t edit_write(TavoNode* property, TavoNode* controller, const char* function_number, uint32_t field,
                    const char* value) {
  ControllerLines who;
  if (!controller_lines(controller, &who)) return 1;
  const uint32_t mode = function_number != nullptr ? TAVO_CPROF_FUNCTION_LINE : TAVO_CPROF_CONTROLLER;
  if (cprof_rewrite(who, function_number, mode, field, value) == CprofEdit::Failed) return 1;
  set_prop_val(property->parent, property->name, "%s", value);
  return 0;
}

bool edit_function_number(TavoNode* function, char text[TAVO_VALUE_SIZE]) {
  return function != nullptr && internal_get_property(function, "FunctionNumber", text) == 0;
}

// A function's handler: the groups from its Function up to the controller.
struct FunctionLevels {
  TavoNode* levels[5];
  TavoNode* function() const { return levels[0]; }
  TavoNode* configured() const { return levels[2]; }
  TavoNode* controller() const { return levels[4]; }
};
// The start of a function's value: its groups and FunctionNumber text;
// false with *result the handler's answer when it ends there.
bool edit_function_start(TavoNode* property, char* buf, uint32_t op, FunctionLevels* at,
                         char number[TAVO_VALUE_SIZE], uint32_t* result) {
  static constexpr const char* kLevels[] = {"Function", "Port", "ConfiguredProfile", "ProfileManagement", "Corvane"};
  bool go = false;
  if (op != TAVO_PROPERTY_GET && op != TAVO_PROPERTY_SET) {
    *result = 0;  // another flag: nothing done
    return false;
  }
  *result = 1;
  if (buf == nullptr || !groups_above(property, kLevels, at->levels)) return false;
  *result = edit_start(property, buf, op, at->controller(), "N/A", false, &go);
  if (!go) return false;
  *result = 1;
  return edit_function_number(at->function(), number);
}

}  // namespace

uint32_t handle_ConfiguredProfile_ProfileId(TavoNode* property, char* buf, uint32_t op) {
  static constexpr const char* kLevels[] = {"ConfiguredProfile", "ProfileManagement", "Corvane"};
  TavoNode* levels[3];
  if (op != TAVO_PROPERTY_GET && op != TAVO_PROPERTY_SET) return 0;
  if (buf == nullptr || !groups_above(property, kLevels, levels)) return 1;
  bool go = false;
  const uint32_t r = edit_start(property, buf, op, levels[2], "N/A", true, &go);
  if (!go) return r;
  if (op == TAVO_PROPERTY_GET) return edit_read(property, buf, levels[2], nullptr, TAVO_CPROF_PROFILE_ID);
  // Kept in decimal, as SaveProfile reads it.
  long long id = 0;
  if (!parse_id(buf, &id)) return 1;
  char text[TAVO_VALUE_SIZE];
  snprintf(text, sizeof text, "%lld", id);
  return edit_write(property, levels[2], nullptr, TAVO_CPROF_PROFILE_ID, text);
}

uint32_t handle_ConfiguredProfile_Port_MCType(TavoNode* property, char* buf, uint32_t op) {
  static constexpr const char* kLevels[] = {"Port", "ConfiguredProfile", "ProfileManagement", "Corvane"};
  TavoNode* levels[4];
  if (op != TAVO_PROPERTY_GET && op != TAVO_PROPERTY_SET) return 0;
  if (buf == nullptr || !groups_above(property, kLevels, levels)) return 1;
  TavoNode* controller = levels[3];
  bool go = false;
  const uint32_t r = edit_start(property, buf, op, controller, "None", false, &go);
  if (!go) return r;
  const std::vector<TavoNode*> functions = instances_of(levels[0], "Function");
  char number[TAVO_VALUE_SIZE] = "";
  if (op == TAVO_PROPERTY_GET) {
    // A port without functions has no line: its stored value stands.
    if (functions.empty()) return answer_stored(property, buf);
    if (!edit_function_number(functions.front(), number)) return 1;
    return edit_read(property, buf, controller, number, TAVO_CPROF_MC_TYPE);
  }
  const uint8_t code = mc_type_code(buf);
  char supported[TAVO_VALUE_SIZE] = "";
  TavoNode* channels = internal_get_node(controller, "ChannelManagement", TAVO_KIND_GROUP);
  if (code != tavo::kMcTypeNone) {
    if (channels == nullptr || internal_get_property(channels, "SupportedMCTypes", supported) != 0) supported[0] = '\0';
    if (strcasecmp(buf, "HPFlex") == 0 || strcasecmp(buf, "HPFlexQBG") == 0 || strcasestr(supported, buf) == nullptr) {
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
  ControllerLines who;
  if (!controller_lines(controller, &who)) return 1;
  for (TavoNode* f : functions) {
    if (!edit_function_number(f, number)) return 1;
    if (cprof_rewrite(who, number, TAVO_CPROF_FUNCTION_LINE, TAVO_CPROF_MC_TYPE, value) == CprofEdit::Failed)
      return 1;
  }
  set_prop_val(levels[0], "MCType", "%s", value);
  return 0;
}

uint32_t handle_ConfiguredProfile_Port_Function_Protocol(TavoNode* property, char* buf, uint32_t op) {
  FunctionLevels at;
  char number[TAVO_VALUE_SIZE] = "";
  uint32_t result = 0;
  if (!edit_function_start(property, buf, op, &at, number, &result)) return result;
  if (op == TAVO_PROPERTY_GET) return edit_read(property, buf, at.controller(), number, TAVO_CPROF_PROTOCOL);
  // Only protocol names may stand in the line: a comma or line break would
  // break the file.
  const char* protocol = protocol_spelling(buf);
  if (protocol == nullptr) {
    tavo::tree::validation_status(TAVO_INVALID_VALUE, nullptr, 0, 0);
    return 1;
  }
  long long pf = -1;
  if (strcmp(protocol, "None") == 0 && parse_id(number, &pf) && pf == 0) protocol = "NIC";
  if (strcmp(protocol, "NIC+RoCE") == 0) {
    // RoCE runs in its own profile: the controller's lines name it too, so
    // that the profile id read back (and saved) is that one.
    TavoNode* id = internal_get_node(at.configured(), "ProfileId", TAVO_KIND_PROPERTY);
    if (id == nullptr || edit_write(id, at.controller(), nullptr, TAVO_CPROF_PROFILE_ID, kRoceProfile) != 0) return 1;
  }
  return edit_write(property, at.controller(), number, TAVO_CPROF_PROTOCOL, protocol);
}

uint32_t handle_CProf_SRIOVState(TavoNode* property, char* buf, uint32_t op) {
  FunctionLevels at;
  char number[TAVO_VALUE_SIZE] = "";
  uint32_t result = 0;
  if (!edit_function_start(property, buf, op, &at, number, &result)) return result;
  if (op == TAVO_PROPERTY_GET) return edit_read(property, buf, at.controller(), number, TAVO_CPROF_SRIOV);
  return edit_write(property, at.controller(), number, TAVO_CPROF_SRIOV,
                    strcasecmp(buf, "Enabled") == 0 ? "Enabled" : "Disabled");
}
