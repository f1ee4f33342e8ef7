// CHAP of an initiator, a discovery address or a target as the host sees
// it: method lists, one-way and mutual credentials. The plug-in keeps
// nothing: it reads the Authentication group of the object's login options
// and changes it only through that group's ConfigureCHAP and DeleteCHAP,
// which validate, save and apply. Every buffer that held a secret is
// cleared before it goes.
#include <stdlib.h>

#include "iscsimgt/plugins/cvima/esx50_wrap_internal.h"

using namespace tavo::cvima;

namespace {

constexpr uint32_t kLhbaOnly = type_bit(IMA_OBJECT_TYPE_LHBA);
constexpr uint32_t kThree = type_bit(IMA_OBJECT_TYPE_TARGET) | type_bit(IMA_OBJECT_TYPE_DISCOVERY_ADDRESS) |
                            type_bit(IMA_OBJECT_TYPE_STATIC_DISCOVERY_TARGET);
constexpr uint32_t kAllFour = kLhbaOnly | kThree;

// Credentials used when CHAP is switched on and none exist yet.
constexpr char kDefaultName[] = "corvane";
constexpr char kDefaultSecret[] = "quillharborpine";

constexpr char kOneWay[] = "One-Way CHAP";
constexpr char kMutual[] = "Mutual CHAP";

// ConfigureCHAP's parameters, in its order.
enum Slot { kMethodSlot, kInitiatorNameSlot, kInitiatorSecretSlot, kTargetNameSlot, kTargetSecretSlot, kLevelSlot };

// The CHAP levels: the host's word and the method list that stands for each.
struct Level {
  const char* text;
  uint32_t word;
  uint32_t count;
  IMA_AUTHMETHOD methods[2];
};
constexpr Level kLevels[] = {
    {"Prohibited", 1, 1, {IMA_AUTHMETHOD_NONE, 0}},
    {"Discouraged", 2, 2, {IMA_AUTHMETHOD_NONE, IMA_AUTHMETHOD_CHAP}},
    {"Preferred", 3, 2, {IMA_AUTHMETHOD_CHAP, IMA_AUTHMETHOD_NONE}},
    {"Required", 4, 1, {IMA_AUTHMETHOD_CHAP, 0}},
};

const Level* level_of_text(const char* text) {
  for (const Level& l : kLevels)
    if (strcmp(l.text, text) == 0) return &l;
  return nullptr;
}

// ConfigureCHAP's level for a host word: none for 1 and unknown words.
const char* level_for_word(uint32_t word) {
  for (const Level& l : kLevels)
    if (l.word == word && word != 1) return l.text;
  return nullptr;
}

// A level into its slot; without one the action picks its own.
void set_level(ActionParams* params, const char* level) {
  if (level == nullptr || level[0] == '\0')
    params->not_given(kLevelSlot);
  else
    params->set(kLevelSlot, level);
}

// A method list of one or two distinct entries, each NONE or CHAP.
const Level* level_of_list(IMA_UINT count, const IMA_AUTHMETHOD* methods) {
  if (count < 1 || count > 2) return nullptr;
  for (IMA_UINT i = 0; i < count; ++i)
    if (methods[i] != IMA_AUTHMETHOD_NONE && methods[i] != IMA_AUTHMETHOD_CHAP) return nullptr;
  for (const Level& l : kLevels)
    if (l.count == count && l.methods[0] == methods[0] && (count == 1 || l.methods[1] == methods[1])) return &l;
  return nullptr;
}

// A value that may be a secret: cleared when it goes.
struct Value {
  Text text;
  Value() { text[0] = '\0'; }
  ~Value() { explicit_bzero(text, sizeof text); }
  Value(const Value&) = delete;
  Value& operator=(const Value&) = delete;
  bool is(const char* other) const { return strcmp(text, other) == 0; }
};

uint32_t read(uint32_t group, const char* property, Value* value) {
  return GetTavoPropertyVal(group, property, value->text);
}

// A text field of the host's record, which need not end within its bytes.
void field_text(const IMA_BYTE* field, size_t size, Value* out) {
  size_t n = strnlen(reinterpret_cast<const char*>(field), size);
  if (n >= sizeof out->text) n = sizeof out->text - 1;
  memcpy(out->text, field, n);
  out->text[n] = '\0';
}

size_t secret_length(const IMA_INITIATOR_AUTHPARMS& parms) {
  return strnlen(reinterpret_cast<const char*>(parms.chapParms.challengeSecret),
                 sizeof parms.chapParms.challengeSecret);
}

bool secret_length_ok(const IMA_INITIATOR_AUTHPARMS& parms) {
  const size_t n = secret_length(parms);
  return n >= 12 && n <= 16;
}

void clear(IMA_INITIATOR_AUTHPARMS* parms) { explicit_bzero(parms, sizeof *parms); }

// A name or secret into its field.
void put_text(IMA_BYTE* field, const Value& value) { memcpy(field, value.text, strlen(value.text) + 1); }

// How a reader reports the credentials: the retries and value limits, and
// lengths of 256 or the texts' own.
struct Report {
  uint32_t retries, minimum, maximum;
  bool fixed_lengths;
};
constexpr Report kOneWayReport = {0, 0, 256, false};
constexpr Report kLocalReport = {3, 12, 18, true};
constexpr Report kMutualReport = {3, 12, 16, false};

// The initiator's or the target's name and secret the group holds, into
// the record (nothing written when a read fails).
uint32_t report_credentials(uint32_t group, bool initiator, const Report& report, IMA_CHAP_INITIATOR_AUTHPARMS* chap) {
  Value name, secret;
  if (const uint32_t status = read(group, initiator ? "InitiatorCHAPName" : "TargetCHAPName", &name)) return status;
  if (const uint32_t status = read(group, initiator ? "InitiatorSecret" : "TargetSecret", &secret)) return status;
  put_text(chap->name, name);
  put_text(chap->challengeSecret, secret);
  chap->nameLength = report.fixed_lengths ? 256 : static_cast<IMA_UINT32>(strlen(name.text));
  chap->challengeSecretLength = report.fixed_lengths ? 256 : static_cast<IMA_UINT32>(strlen(secret.text));
  chap->retries = report.retries;
  chap->minValueLength = report.minimum;
  chap->maxValueLength = report.maximum;
  return 0;
}

// The Authentication group of an id's login options.
uint32_t authentication_of(const IMA_OID& oid, uint32_t* group) {
  uint32_t options = 0;
  if (const uint32_t status = login_options_of(oid, &options)) return status;
  return group_tag(options, "Authentication", group);
}

// As above, but for a target a session connected to one of its portals
// lends its own login options: the portals are tried in instance order,
// and for each the sessions in theirs.
uint32_t session_authentication_of(const IMA_OID& oid, uint32_t* group) {
  if (oid.objectType != IMA_OBJECT_TYPE_TARGET && oid.objectType != IMA_OBJECT_TYPE_STATIC_DISCOVERY_TARGET)
    return authentication_of(oid, group);
  uint32_t target = 0, options = 0;
  if (Get_Target_tag(oid_tag(oid), &target) != 0) return 1;
  if (const uint32_t status = group_tag(target, "TargetLoginOptions", &options)) return status;
  Tags sessions, portals;
  if (child_tags(target, "Session", &sessions) == 0 && sessions.count > 0 &&
      child_tags(target, "TargetPortal", &portals) == 0) {
    for (uint32_t p = 0; p < portals.count; ++p) {
      Text address, port;
      if (GetTavoPropertyVal(portals.tag[p], "TargetIPAddress", address) != 0 ||
          GetTavoPropertyVal(portals.tag[p], "TargetPortNumber", port) != 0)
        continue;
      for (uint32_t s = 0; s < sessions.count; ++s) {
        Text to_address, to_port;
        // A session without its connection is matched by none.
        if (GetTavoVal(sessions.tag[s], "Connection0", "DestinationIPAddress", to_address) != 0 ||
            GetTavoVal(sessions.tag[s], "Connection0", "DestinationPortNumber", to_port) != 0)
          continue;
        if (same_portal(address, port, to_address, to_port)) {
          if (const uint32_t status = group_tag(sessions.tag[s], "SessionLoginOptions", &options)) return status;
          return group_tag(options, "Authentication", group);
        }
      }
    }
  }
  return group_tag(options, "Authentication", group);
}

// The method the group holds now.
enum class Current { None, OneWay, Mutual, Other };
uint32_t current_method(uint32_t group, Current* current) {
  Value method;
  if (const uint32_t status = read(group, "AuthenticationMethod", &method)) return status;
  *current = method.is("None")    ? Current::None
             : method.is(kOneWay) ? Current::OneWay
             : method.is(kMutual) ? Current::Mutual
                                  : Current::Other;
  return 0;
}
bool is_chap(Current c) { return c == Current::OneWay || c == Current::Mutual; }

// The target's credentials the group holds, into ConfigureCHAP's slots.
uint32_t keep_target_credentials(uint32_t group, ActionParams* params) {
  Value name, secret;
  if (const uint32_t status = read(group, "TargetCHAPName", &name)) return status;
  if (const uint32_t status = read(group, "TargetSecret", &secret)) return status;
  params->set(kTargetNameSlot, name.text);
  params->set(kTargetSecretSlot, secret.text);
  return 0;
}

void set_default_target_credentials(ActionParams* params) {
  params->set(kTargetNameSlot, kDefaultName);
  params->set(kTargetSecretSlot, kDefaultSecret);
}

// One-way CHAP with the record's name and secret (the initiator's two
// values not given) and that level.
void one_way_from_record(const IMA_INITIATOR_AUTHPARMS& parms, const char* level, ActionParams* params) {
  Value name, secret;
  field_text(parms.chapParms.name, sizeof parms.chapParms.name, &name);
  field_text(parms.chapParms.challengeSecret, sizeof parms.chapParms.challengeSecret, &secret);
  params->set(kMethodSlot, kOneWay);
  params->not_given(kInitiatorNameSlot);
  params->not_given(kInitiatorSecretSlot);
  params->set(kTargetNameSlot, name.text);
  params->set(kTargetSecretSlot, secret.text);
  set_level(params, level);
}

// Mutual CHAP with the record's name and secret as the initiator's.
void mutual_from_record(const IMA_INITIATOR_AUTHPARMS& parms, ActionParams* params) {
  Value name, secret;
  field_text(parms.chapParms.name, sizeof parms.chapParms.name, &name);
  field_text(parms.chapParms.challengeSecret, sizeof parms.chapParms.challengeSecret, &secret);
  params->set(kMethodSlot, kMutual);
  params->set(kInitiatorNameSlot, name.text);
  params->set(kInitiatorSecretSlot, secret.text);
}

IMA_STATUS configure(uint32_t group, const ActionParams& params) {
  return ErrorCheck(run_action(group, "ConfigureCHAP", params));
}

IMA_STATUS delete_chap(uint32_t group) { return ErrorCheck(run_action(group, "DeleteCHAP", ActionParams())); }

// Mutual CHAP off: one-way CHAP stays as it was, with the target's name,
// secret and level the group holds (ConfigureCHAP's one-way method empties
// the initiator's two). A group without mutual CHAP is left alone.
IMA_STATUS mutual_off(uint32_t group) {
  Current current = Current::Other;
  if (const uint32_t status = current_method(group, &current)) return ErrorCheck(status);
  if (current != Current::Mutual) return IMA_STATUS_SUCCESS;
  ActionParams params;
  params.set(kMethodSlot, kOneWay);
  params.not_given(kInitiatorNameSlot);
  params.not_given(kInitiatorSecretSlot);
  if (const uint32_t status = keep_target_credentials(group, &params)) return ErrorCheck(status);
  Value level;
  if (const uint32_t status = read(group, "CHAPParam", &level)) return ErrorCheck(status);
  // Prohibited is what the action makes of no level.
  set_level(&params, level.is("Prohibited") ? nullptr : level.text);
  return configure(group, params);
}

// The id tested, then its Authentication group found.
IMA_STATUS authentication_for(const IMA_OID& oid, uint32_t accepted, uint32_t* group) {
  if (const IMA_STATUS status = check_oid(oid, accepted)) return status;
  return ErrorCheck(authentication_of(oid, group));
}

// The start of a reader that clears the host's record first: the method
// CHAP, the id, its Authentication group and the method it holds.
IMA_STATUS cleared_reader(const IMA_OID& oid, IMA_AUTHMETHOD method, IMA_INITIATOR_AUTHPARMS* parms, uint32_t* group,
                          Current* current) {
  if (parms == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  clear(parms);
  if (method != IMA_AUTHMETHOD_CHAP) return IMA_ERROR_INVALID_PARAMETER;
  if (const IMA_STATUS status = authentication_for(oid, kAllFour, group)) return status;
  return ErrorCheck(current_method(*group, current));
}

// Mutual CHAP switched on a target or discovery address: off turns it off
// at once (one-way CHAP stays), on goes on with the method the group
// holds. False when the call is over, with its answer in *answer.
bool mutual_switch(const IMA_OID& oid, IMA_BOOL enable, uint32_t* group, Current* current, IMA_STATUS* answer) {
  *answer = authentication_for(oid, kThree, group);
  if (*answer != 0) return false;
  if (enable != 1) {
    *answer = mutual_off(*group);
    return false;
  }
  *answer = ErrorCheck(current_method(*group, current));
  return *answer == 0;
}

IMA_STATUS supported_methods(const IMA_OID& oid, uint32_t accepted, IMA_BOOL settable, IMA_UINT* count,
                             IMA_AUTHMETHOD* methods) {
  if (count == nullptr || methods == nullptr || settable > 1) return IMA_ERROR_INVALID_PARAMETER;
  if (const IMA_STATUS status = check_oid(oid, accepted)) return status;
  const IMA_UINT n = *count < 2 ? *count : 2;
  const IMA_AUTHMETHOD offered[] = {IMA_AUTHMETHOD_NONE, IMA_AUTHMETHOD_CHAP};
  for (IMA_UINT i = 0; i < n; ++i) methods[i] = offered[i];
  *count = n;
  return IMA_STATUS_SUCCESS;
}

// The level the list stands for, switched on or off in the group.
IMA_STATUS set_methods(uint32_t group, const Level& level) {
  if (strcmp(level.text, "Prohibited") == 0) return delete_chap(group);
  Current current = Current::Other;
  if (const uint32_t status = current_method(group, &current)) return ErrorCheck(status);
  ActionParams params;
  if (current == Current::None || current == Current::OneWay) {
    params.set(kMethodSlot, kOneWay);
    params.not_given(kInitiatorNameSlot);
    params.not_given(kInitiatorSecretSlot);
    if (current == Current::None)
      set_default_target_credentials(&params);
    else if (const uint32_t status = keep_target_credentials(group, &params))
      return ErrorCheck(status);
    params.set(kLevelSlot, level.text);
  }
  // Mutual CHAP: the empty block, which the action refuses.
  return configure(group, params);
}

// The method list of a method and level; an unknown level changes nothing.
void in_use_methods(Current current, const Value& level, IMA_UINT* count, IMA_AUTHMETHOD* methods) {
  if (!is_chap(current)) {
    *count = 1;
    methods[0] = IMA_AUTHMETHOD_NONE;
    return;
  }
  const Level* l = level_of_text(level.text);
  if (l == nullptr) return;
  *count = l->count;
  for (uint32_t i = 0; i < l->count; ++i) methods[i] = l->methods[i];
}

}  // namespace

extern "C" {

IMA_STATUS IMA_GetSupportedAuthMethods(IMA_OID oid, IMA_BOOL settable, IMA_UINT* count, IMA_AUTHMETHOD* methods) {
  return supported_methods(oid, kLhbaOnly, settable, count, methods);
}

IMA_STATUS IMA_VMW_GetSupportedAuthMethods(IMA_OID oid, IMA_BOOL settable, IMA_UINT* count,
                                           IMA_AUTHMETHOD* methods) {
  return supported_methods(oid, kAllFour, settable, count, methods);
}

IMA_STATUS IMA_VMW_GetSupportedMutualAuthMethods(IMA_OID, IMA_BOOL, IMA_UINT*, IMA_AUTHMETHOD*) {
  return IMA_ERROR_NOT_SUPPORTED;
}

IMA_STATUS IMA_SetInitiatorAuthMethods(IMA_OID oid, IMA_UINT count, const IMA_AUTHMETHOD* methods) {
  if (methods == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  const Level* level = level_of_list(count, methods);
  if (level == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  uint32_t group = 0;
  if (const IMA_STATUS status = authentication_for(oid, kLhbaOnly, &group)) return status;
  return set_methods(group, *level);
}

IMA_STATUS IMA_VMW_SetInitiatorAuthMethods(IMA_OID oid, IMA_UINT count, const IMA_AUTHMETHOD* methods) {
  if (methods == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  if (const IMA_STATUS status = check_oid(oid, kAllFour)) return status;
  const Level* level = level_of_list(count, methods);
  if (level == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  uint32_t group = 0;
  if (const uint32_t status = authentication_of(oid, &group)) return ErrorCheck(status);
  return set_methods(group, *level);
}

IMA_STATUS IMA_VMW_SetMutualAuthMethods(IMA_OID, IMA_UINT, const IMA_AUTHMETHOD*) { return IMA_ERROR_NOT_SUPPORTED; }

IMA_STATUS IMA_GetInUseInitiatorAuthMethods(IMA_OID oid, IMA_UINT* count, IMA_AUTHMETHOD* methods) {
  if (count == nullptr || methods == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  uint32_t group = 0;
  if (const IMA_STATUS status = authentication_for(oid, kLhbaOnly, &group)) return status;
  Current current = Current::Other;
  if (const uint32_t status = current_method(group, &current)) return ErrorCheck(status);
  Value level;
  if (is_chap(current))
    if (const uint32_t status = read(group, "CHAPParam", &level)) return ErrorCheck(status);
  in_use_methods(current, level, count, methods);
  return IMA_STATUS_SUCCESS;
}

IMA_STATUS IMA_VMW_GetInUseInitiatorLocalAuthMethods(IMA_OID oid, IMA_UINT* count, IMA_AUTHMETHOD* methods) {
  if (count == nullptr || methods == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  uint32_t plain = 0, matched = 0;
  if (const IMA_STATUS status = authentication_for(oid, kAllFour, &plain)) return status;
  Value level;
  if (const uint32_t status = read(plain, "CHAPParam", &level)) return ErrorCheck(status);
  if (const uint32_t status = session_authentication_of(oid, &matched)) return ErrorCheck(status);
  Current current = Current::Other;
  if (const uint32_t status = current_method(matched, &current)) return ErrorCheck(status);
  in_use_methods(current, level, count, methods);
  return IMA_STATUS_SUCCESS;
}

IMA_STATUS IMA_GetInitiatorAuthParms(IMA_OID oid, IMA_AUTHMETHOD method, IMA_INITIATOR_AUTHPARMS* parms) {
  uint32_t group = 0;
  Current current = Current::Other;
  if (const IMA_STATUS status = cleared_reader(oid, method, parms, &group, &current)) return status;
  if (current != Current::OneWay) return IMA_STATUS_SUCCESS;
  return ErrorCheck(report_credentials(group, false, kOneWayReport, &parms->chapParms));
}

IMA_STATUS IMA_SetInitiatorAuthParms(IMA_OID oid, IMA_AUTHMETHOD method, const IMA_INITIATOR_AUTHPARMS* parms) {
  if (parms == nullptr || (method != IMA_AUTHMETHOD_NONE && method != IMA_AUTHMETHOD_CHAP))
    return IMA_ERROR_INVALID_PARAMETER;
  uint32_t group = 0;
  if (const IMA_STATUS status = authentication_for(oid, kLhbaOnly, &group)) return status;
  if (method == IMA_AUTHMETHOD_NONE) return IMA_STATUS_SUCCESS;
  ActionParams params;
  one_way_from_record(*parms, nullptr, &params);
  return configure(group, params);
}

IMA_STATUS IMA_VMW_SetInitiatorAuthParms(IMA_OID oid, IMA_AUTHMETHOD method, const IMA_INITIATOR_AUTHPARMS* parms) {
  if (parms == nullptr || (method != IMA_AUTHMETHOD_NONE && method != IMA_AUTHMETHOD_CHAP))
    return IMA_ERROR_INVALID_PARAMETER;
  const bool off = parms->chapParms.chapLevel == 1;
  if (!off && !secret_length_ok(*parms)) return IMA_ERROR_INVALID_PARAMETER;
  uint32_t group = 0;
  if (const IMA_STATUS status = authentication_for(oid, kAllFour, &group)) return status;
  if (off) return delete_chap(group);
  ActionParams params;
  one_way_from_record(*parms, level_for_word(parms->chapParms.chapLevel), &params);
  return configure(group, params);
}

IMA_STATUS IMA_GetInitiatorLocalAuthParms(IMA_OID oid, IMA_AUTHMETHOD method, IMA_INITIATOR_AUTHPARMS* parms,
                                          IMA_BOOL* enabled) {
  if (parms == nullptr || enabled == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  clear(parms);
  if (method != IMA_AUTHMETHOD_CHAP) return IMA_ERROR_INVALID_PARAMETER;
  if (const IMA_STATUS status = check_oid(oid, kThree)) return status;
  uint32_t group = 0;
  if (const uint32_t status = session_authentication_of(oid, &group)) return ErrorCheck(status);
  Current current = Current::Other;
  if (const uint32_t status = current_method(group, &current)) return ErrorCheck(status);
  if (current == Current::None) {
    *enabled = 0;
    return IMA_STATUS_SUCCESS;
  }
  if (const uint32_t status = report_credentials(group, false, kLocalReport, &parms->chapParms))
    return ErrorCheck(status);
  *enabled = 1;
  return IMA_STATUS_SUCCESS;
}

IMA_STATUS IMA_SetInitiatorLocalAuthParms(IMA_OID oid, IMA_AUTHMETHOD method, const IMA_INITIATOR_AUTHPARMS* parms,
                                          IMA_BOOL enable) {
  if (parms == nullptr || method != IMA_AUTHMETHOD_CHAP) return IMA_ERROR_INVALID_PARAMETER;
  if (enable == 1 && !secret_length_ok(*parms)) return IMA_ERROR_INVALID_PARAMETER;
  uint32_t group = 0;
  if (const IMA_STATUS status = authentication_for(oid, kThree, &group)) return status;
  if (enable != 1) return delete_chap(group);
  ActionParams params;
  one_way_from_record(*parms, nullptr, &params);
  return configure(group, params);
}

IMA_STATUS IMA_AddLhbaMutualAuthParms(IMA_OID oid, IMA_AUTHMETHOD method, const IMA_INITIATOR_AUTHPARMS* parms) {
  if (parms == nullptr || method != IMA_AUTHMETHOD_CHAP || !secret_length_ok(*parms))
    return IMA_ERROR_INVALID_PARAMETER;
  uint32_t group = 0;
  if (const IMA_STATUS status = authentication_for(oid, kLhbaOnly, &group)) return status;
  Current current = Current::Other;
  if (const uint32_t status = current_method(group, &current)) return ErrorCheck(status);
  ActionParams params;
  // Mutual CHAP needs one-way credentials first: without them the empty
  // block goes to the action, which refuses it.
  if (is_chap(current) && parms->chapParms.chapLevel != 1) {
    mutual_from_record(*parms, &params);
    if (const uint32_t status = keep_target_credentials(group, &params)) return ErrorCheck(status);
    set_level(&params, level_for_word(parms->chapParms.chapLevel));
  }
  return configure(group, params);
}

IMA_STATUS IMA_GetLhbaMutualAuthParmsList(IMA_OID oid, IMA_AUTHMETHOD method, IMA_INITIATOR_AUTHPARMS_LIST** list) {
  if (list == nullptr || method != IMA_AUTHMETHOD_CHAP) return IMA_ERROR_INVALID_PARAMETER;
  uint32_t group = 0;
  if (const IMA_STATUS status = authentication_for(oid, kLhbaOnly, &group)) return status;
  Current current = Current::Other;
  if (const uint32_t status = current_method(group, &current)) return ErrorCheck(status);
  auto* made = static_cast<IMA_INITIATOR_AUTHPARMS_LIST*>(calloc(1, sizeof(IMA_INITIATOR_AUTHPARMS_LIST)));
  if (made == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  // Nothing is handed out before it is filled.
  if (const uint32_t status = report_credentials(group, true, kOneWayReport, &made->parms[0].chapParms)) {
    free(made);
    return ErrorCheck(status);
  }
  made->count = 1;
  *list = made;
  return IMA_STATUS_SUCCESS;
}

IMA_STATUS IMA_RemoveLhbaMutualAuthParms(IMA_OID oid, IMA_AUTHMETHOD method, const IMA_INITIATOR_AUTHPARMS* parms) {
  if (parms == nullptr || method != IMA_AUTHMETHOD_CHAP) return IMA_ERROR_INVALID_PARAMETER;
  uint32_t group = 0;
  if (const IMA_STATUS status = authentication_for(oid, kLhbaOnly, &group)) return status;
  return mutual_off(group);
}

IMA_STATUS IMA_GetMutualLocalAuthParms(IMA_OID oid, IMA_AUTHMETHOD method, IMA_INITIATOR_AUTHPARMS* parms) {
  if (parms == nullptr || method != IMA_AUTHMETHOD_CHAP) return IMA_ERROR_INVALID_PARAMETER;
  uint32_t group = 0;
  if (const IMA_STATUS status = authentication_for(oid, kThree, &group)) return status;
  clear(parms);
  return ErrorCheck(report_credentials(group, true, kMutualReport, &parms->chapParms));
}

IMA_STATUS IMA_VMW_GetMutualAuthParms(IMA_OID oid, IMA_AUTHMETHOD method, IMA_INITIATOR_AUTHPARMS* parms) {
  uint32_t group = 0;
  Current current = Current::Other;
  if (const IMA_STATUS status = cleared_reader(oid, method, parms, &group, &current)) return status;
  IMA_CHAP_INITIATOR_AUTHPARMS& chap = parms->chapParms;
  if (current != Current::Mutual) {
    chap.chapLevel = 1;
    return IMA_STATUS_SUCCESS;
  }
  if (const uint32_t status = report_credentials(group, true, kMutualReport, &chap)) return ErrorCheck(status);
  // An unreadable level counts as Required.
  Value level;
  if (read(group, "CHAPParam", &level) != 0)
    chap.chapLevel = 4;
  else
    chap.chapLevel = level.is("Required") ? 4 : level.is("Preferred") ? 3 : 2;
  return IMA_STATUS_SUCCESS;
}

IMA_STATUS IMA_VMW_SetMutualAuthParms(IMA_OID oid, IMA_AUTHMETHOD method, const IMA_INITIATOR_AUTHPARMS* parms) {
  if (parms == nullptr || method != IMA_AUTHMETHOD_CHAP) return IMA_ERROR_INVALID_PARAMETER;
  const bool off = parms->chapParms.chapLevel == 1;
  if (!off && !secret_length_ok(*parms)) return IMA_ERROR_INVALID_PARAMETER;
  uint32_t group = 0;
  if (const IMA_STATUS status = authentication_for(oid, kAllFour, &group)) return status;
  if (off) return mutual_off(group);
  Current current = Current::Other;
  if (const uint32_t status = current_method(group, &current)) return ErrorCheck(status);
  ActionParams params;
  if (is_chap(current)) {
    mutual_from_record(*parms, &params);
    if (const uint32_t status = keep_target_credentials(group, &params)) return ErrorCheck(status);
    set_level(&params, level_for_word(parms->chapParms.chapLevel));
  }
  return configure(group, params);
}

IMA_STATUS IMA_SetMutualLocalAuthParms(IMA_OID oid, IMA_AUTHMETHOD method, const IMA_INITIATOR_AUTHPARMS* parms,
                                       IMA_BOOL enable) {
  if (parms == nullptr || method != IMA_AUTHMETHOD_CHAP) return IMA_ERROR_INVALID_PARAMETER;
  uint32_t group = 0;
  Current current = Current::Other;
  IMA_STATUS answer = 0;
  if (!mutual_switch(oid, enable, &group, &current, &answer)) return answer;
  ActionParams params;
  mutual_from_record(*parms, &params);
  if (is_chap(current)) {
    if (const uint32_t status = keep_target_credentials(group, &params)) return ErrorCheck(status);
    Value level;
    if (const uint32_t status = read(group, "CHAPParam", &level)) return ErrorCheck(status);
    set_level(&params, level.text);
  } else {
    set_default_target_credentials(&params);
    params.set(kLevelSlot, "Required");
  }
  return configure(group, params);
}

IMA_STATUS IMA_SetMutualLocalAuth(IMA_OID oid, IMA_AUTHMETHOD method, IMA_BOOL enable) {
  if (method != IMA_AUTHMETHOD_CHAP) return IMA_ERROR_INVALID_PARAMETER;
  uint32_t group = 0;
  Current current = Current::Other;
  IMA_STATUS answer = 0;
  if (!mutual_switch(oid, enable, &group, &current, &answer)) return answer;
  ActionParams params;
  if (current != Current::Mutual) {
    params.set(kMethodSlot, kMutual);
    params.set(kInitiatorNameSlot, kDefaultName);
    params.set(kInitiatorSecretSlot, kDefaultSecret);
    set_default_target_credentials(&params);
  }
  return configure(group, params);
}

}  // extern "C"
