// The shared status texts, the tree's own wordings, and the messages the
// tree leaves for a value that failed validation or a handler that failed
// without a reason.
#include "tree/status_texts.h"

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

}  // namespace

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
