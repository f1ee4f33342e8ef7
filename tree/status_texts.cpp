// The shared status texts and the lookup every branch's table goes through.
#include "tree/status_texts.h"

#include "base/last_status.h"
#include "tree/tree_internal.h"

namespace tavo::tree {
namespace {

constexpr StatusText kSharedStatusTexts[] = {
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

const char* status_texts_find(std::span<const StatusText> table, uint32_t code) {
  for (const StatusText& s : table)
    if (s.code == code) return s.text;
  return nullptr;
}

}  // namespace

std::span<const StatusText> shared_status_texts() { return kSharedStatusTexts; }

const char* status_text(std::span<const StatusText> table, uint32_t code) {
  const char* text = status_texts_find(table, code);
  return text != nullptr ? text : status_texts_find(kSharedStatusTexts, code);
}

void validation_status(uint32_t code, const char* prefix, int32_t minimum, int32_t maximum) {
  const char* sep = prefix ? ": " : "";
  prefix = prefix ? prefix : "";
  switch (code) {
    case TAVO_INVALID_VALUE:
      base::set_last_status_fmt(code, "%s%sInvalid value.", prefix, sep);
      break;
    case TAVO_OUT_OF_RANGE:
      base::set_last_status_fmt(code, "%s%sValue out of range. Valid range is from %d to %d.", prefix, sep, minimum,
                                maximum);
      break;
    case TAVO_BAD_LENGTH:
      base::set_last_status_fmt(code, "%s%sNumber of characters should be from %d to %d.", prefix, sep, minimum,
                                maximum);
      break;
    default:
      base::set_last_status_fmt(code, "%s%sInvalid value.", prefix, sep);
      break;
  }
}

void set_status(std::span<const StatusText> table, uint32_t code) {
  const char* text = status_text(table, code);
  tavo_set_last_status(code, text != nullptr ? text : "");
}

uint32_t handler_result(uint32_t result, HandlerRun run, const TavoNode* node) {
  if (result == 0 || base::last_status_code() != 0) return result;
  const char* name = node != nullptr && node->name != nullptr ? node->name : "";
  switch (run) {
    case HandlerRun::Get:
      base::set_last_status_fmt(TAVO_FAILED, "Failed to get %s. Please check tavo2d.log file for more information.",
                                name);
      break;
    case HandlerRun::Set:
      base::set_last_status_fmt(TAVO_FAILED, "Failed to set %s. Please check tavo2d.log file for more information.",
                                name);
      break;
    case HandlerRun::Action:
      base::set_last_status_fmt(TAVO_FAILED, "%s failed. Please check tavo2d.log file for more information.", name);
      break;
    case HandlerRun::Refresh:
      base::set_last_status_fmt(TAVO_FAILED,
                                "Failed to refresh %s. Please check tavo2d.log file for more information.", name);
      break;
  }
  return result;
}

}  // namespace tavo::tree
