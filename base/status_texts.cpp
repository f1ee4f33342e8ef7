// The base layer's status texts: an iSCSI name that breaks RFC 3722, and a
// saved file that could not be written.
#include "base/save_file.h"
#include "base/status_registry.h"

namespace tavo::base {
namespace {

constexpr StatusText kBaseStatusTexts[] = {
    {30, "Invalid iSCSI name. Please use valid iSCSI name as per RFC 3722."},
};
const StatusTable kBaseTable{"base", kBaseStatusTexts};

}  // namespace
}  // namespace tavo::base

namespace tavo::files {

const base::StatusFormat<const char*, const char*> kSaveFailed{1, "Failed to save %s: %s."};

}  // namespace tavo::files
