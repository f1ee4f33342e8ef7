// The shared status texts, the tree's own wordings, and the messages the
// tree leaves for a value that failed validation or a handler that failed
// without a reason.
#include "tree/status_texts.h"

#include <iterator>

#include "base/last_status.h"
#include "tree/tree_internal.h"

namespace tavo::tree {
namespace {

constexpr base::StatusText kSharedStatusTexts[] = {
    {6, "Invalid Value."},
    {10, "Read only property"},
    {16, "Memory allocation failed. Please check for low memory conditions."},
    {17, "Invalid value. Please use valid value."},
    {20, "Invalid instance number. Please use valid instance number."},
    {31, "Insufficient buffer space obtained for the operation. Application internal error occurred. Please check "
         "tavo2d.log file for more information."},
    {80, "Failed to get discovery params. Application internal error occurred. Please check tavo2d.log file for "
         "more information."},
    {81, "Failed to set discovery params. Application internal error occurred. Please check tavo2d.log file for "
         "more information."},
    {93, "Failed to obtain NIC configuration params. Application internal error occurred. Please check tavo2d.log "
         "file for more information."},
    {124, "Cannot set VLAN priority."},
    {141,
     "Unable to obtain boot status. Application internal error occurred. Please check tavo2d.log file for more "
     "information."},
    {142,
     "Cannot set boot status. Application internal error occurred. Please check tavo2d.log file for more information."},
    {159,
     "Failed to retrieve the factory default MAC address for the given function. Application internal error "
     "occurred. Please check tavo2d.log file for more information."},
    {184, "Erased the Configuration. Please reboot your system for the changes to take effect."},
    {192,
     "Failed to obtain additional controller attributes. Application internal error occurred. Please check tavo2d.log "
     "file for more information."},
    {239,
     "The operation completed successfully. Please reboot the machine immediately in order to avoid inconsistent "
     "behaviour."},
    {256, "Performed operation is not supported on a SR-IOV virtual function."},
    {259, "This operation is not supported on this controller."},
    {278, "Failed to get profile config. Please check tavo2d.log file for more information."},
    {291, "Failed to execute the command. Because operation is not supported on this adapter."},
    {304,
     "User requested configuration changed successfully. Please reboot your system for the changes to take "
     "effect."},
    {306, "Target Login succeeded, but failed to add the iSCSI Boot Target TLV in the iSCSI Region in firmware."},
    {307, "Failed to delete the iSCSI Boot Target TLV in the iSCSI Region in firmware."},
    {341, "Given Boot target type already exists."},
};
const base::StatusTable kSharedTable{"shared", kSharedStatusTexts};

// Formats of a value that failed validation: the name, ": " (both empty
// for a property), then the limits.
using Named = base::StatusFormat<const char*, const char*>;
using NamedRange = base::StatusFormat<const char*, const char*, int, int>;
const Named kInvalidNamed{TAVO_INVALID_VALUE, "%s%sInvalid value."};
const NamedRange kOutOfRangeNamed{TAVO_OUT_OF_RANGE, "%s%sValue out of range. Valid range is from %d to %d."};
const NamedRange kBadLengthNamed{TAVO_BAD_LENGTH, "%s%sNumber of characters should be from %d to %d."};

// Formats of a handler's failure that left no reason, by the node's name.
using ByName = base::StatusFormat<const char*>;
const ByName kGetFailed{TAVO_FAILED, "Failed to get %s. Please check tavo2d.log file for more information."};
const ByName kSetFailed{TAVO_FAILED, "Failed to set %s. Please check tavo2d.log file for more information."};
const ByName kActionFailed{TAVO_FAILED, "%s failed. Please check tavo2d.log file for more information."};
const ByName kRefreshFailed{TAVO_FAILED, "Failed to refresh %s. Please check tavo2d.log file for more information."};

// A call's arguments refused.
const base::StatusFormat<unsigned> kNoNode{
    TAVO_FAILED,
    "Tag %u names no node: it was deleted, also by another process that shares the configuration, or the tree was "
    "built again. Please look it up again by its name."};
const base::StatusFormat<unsigned, const char*> kOtherKind{TAVO_FAILED, "Tag %u names no %s."};
const base::StatusFormat<unsigned, unsigned> kOtherGroup{TAVO_FAILED, "Tag %u names no child of group %u."};
const base::StatusFormat<unsigned, const char*> kNoSuchChild{TAVO_FAILED, "Group %u has no child %s of that kind."};
const base::StatusFormat<const char*, const char*> kNullArgument{TAVO_FAILED, "%s: its %s is null."};
const base::StatusFormat<const char*, const char*> kArgumentRange{TAVO_FAILED, "%s: its %s is out of range."};
const base::StatusFormat<int, int> kNoRoom{TAVO_ARRAY_TOO_SMALL, "The array holds %d tags; %d are needed."};
const base::StatusWording kNoHandler{TAVO_NO_HANDLER, "The property has no handler: its value stays as it is."};

}  // namespace

uint32_t refuse_tag(uint32_t tag) {
  kNoNode.set(tag);
  return 1;
}
uint32_t refuse_kind(uint32_t tag, const char* kind) {
  kOtherKind.set(tag, kind);
  return 1;
}
uint32_t refuse_other_group(uint32_t tag, uint32_t group_tag) {
  kOtherGroup.set(tag, group_tag);
  return 1;
}
uint32_t refuse_name(uint32_t group_tag, const char* name) {
  kNoSuchChild.set(group_tag, name);
  return 1;
}
uint32_t refuse_null(const char* call, const char* argument) {
  kNullArgument.set(call, argument);
  return 1;
}
uint32_t refuse_range(const char* call, const char* argument) {
  kArgumentRange.set(call, argument);
  return 1;
}
uint32_t refuse_room(int32_t room, int32_t needed) {
  kNoRoom.set(room, needed);
  return TAVO_ARRAY_TOO_SMALL;
}
const char* kind_name(uint32_t kind) {
  static constexpr const char* kNames[] = {"node",    "group",              "property",          "action",
                                           "link",    "read-only property", "writable property", "plain property"};
  return kind < std::size(kNames) ? kNames[kind] : "node";
}
uint32_t no_handler() {
  kNoHandler.set();
  return TAVO_NO_HANDLER;
}

const base::StatusWording kHexDigitsOnly{TAVO_INVALID_VALUE, "Invalid value. The valid values are 0-9, a-f and A-F."};
const base::StatusWording kNoTree{TAVO_FAILED, "The management tree is not built. Please call TAVO_init first."};
const base::StatusWording kTreeBuildFailed{
    TAVO_FAILED, "Failed to build the management tree. Please check tavo2d.log file for more information."};
const base::StatusFormat<const char*> kParameterMissing{TAVO_PARAMETER_MISSING, "%s: Parameter missing."};
const base::StatusWording kInvalidLevel{TAVO_INVALID_VALUE, "Invalid value."};

void validation_status(uint32_t code, const char* prefix, int32_t minimum, int32_t maximum) {
  const char* sep = prefix ? ": " : "";
  prefix = prefix ? prefix : "";
  switch (code) {
    case TAVO_OUT_OF_RANGE:
      kOutOfRangeNamed.set(prefix, sep, minimum, maximum);
      break;
    case TAVO_BAD_LENGTH:
      kBadLengthNamed.set(prefix, sep, minimum, maximum);
      break;
    default:  // worded as an invalid value, under its own code
      kInvalidNamed.set_under(code, prefix, sep);
      break;
  }
}

uint32_t handler_result(uint32_t result, HandlerRun run, const TavoNode* node) {
  if (result == 0 || base::last_status_code() != 0) return result;
  const char* name = node != nullptr && node->name != nullptr ? node->name : "";
  switch (run) {
    case HandlerRun::Get:
      kGetFailed.set(name);
      break;
    case HandlerRun::Set:
      kSetFailed.set(name);
      break;
    case HandlerRun::Action:
      kActionFailed.set(name);
      break;
    case HandlerRun::Refresh:
      kRefreshFailed.set(name);
      break;
  }
  return result;
}

}  // namespace tavo::tree
