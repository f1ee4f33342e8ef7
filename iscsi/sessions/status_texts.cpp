// The sessions branch's status texts, by code, and its wordings.
#include "iscsi/sessions/sessions_internal.h"

namespace tavo::sessions {
namespace {

#define SESSIONS_LOG_HINT "Application internal error occurred. Please check tavo2d.log file for more information."
constexpr base::StatusText kSessionsStatusTexts[] = {
    {8, "ISIDQualifier: Value out of range. Valid range is from 0 to 65535"},
    {29, "Portal not found."},
    {42, "No session available to this target."},
    {58,
     "Target is logged in successfully but setting Extended Timeout (ETO) has failed. Error recovery to this session "
     "may not work as expected. Please check tavo2d.log file for more information."},
    {71, "A session already exists with the given ISID Qualifier. Please provide a different ISID Qualifier."},
    {84, "Failed to get the active session IDs. " SESSIONS_LOG_HINT},
    {85, "Failed to get a session. " SESSIONS_LOG_HINT},
    {86, "Cannot get session config params. " SESSIONS_LOG_HINT},
    {87, "Cannot set session config params. " SESSIONS_LOG_HINT},
    {90, "Login succeeded but could not get LUN info for some sessions."},
    {91, "Cannot get node attribute params. " SESSIONS_LOG_HINT},
    {92, "Failed to obtain session attribute params. " SESSIONS_LOG_HINT},
    {95, "Failed to obtain initiator statistics params. " SESSIONS_LOG_HINT},
    {96, "Failed to obtain initiator login statistics params. " SESSIONS_LOG_HINT},
    {118, "Exceeded the max Session count."},
    {126,
     "Cannot logout the session as it is an active boot session. Please use the iSCSIVantrel configuration utility "
     "to logout the session."},
    {127, "Failed to delete persistency of the session."},
    {174, "No active sessions are present to logout the target."},
    {237, "Login command failed. Please check tavo2d.log file for more information."},
    {243, "Failed to login due to mismatch in CRC Configuration."},
    {258, "Failed to set this session as boot target. Please check tavo2d.log file for more information."},
    {296, "Multiple session Login using same TargetName and Portal is not supported by Open-iSCSI driver."},
    {302, "Configuring ETO is not supported by Open-iSCSI driver."},
    {321, "SCSIWrite is not supported in Open-iSCSI driver."},
    {343, "Boot BIOS configuration failed. Please check tavo2d.log file for more information."},
    {344, "Static Boot Targets are already configured. So cannot configure BootTargets through DHCP."},
    {345, "Failed to get Boot LUN. Please check tavo2d.log file for more information."},
    {346, "Failed to set Boot LUN. Please check tavo2d.log file for more information."},
    {347, "Cannot configure Boot LUN. Boot LUN can be configured only when Boot Session presents."},
};
const base::StatusTable kSessionsTable{"sessions", kSessionsStatusTexts};

}  // namespace

const base::StatusWording kLogoutLunsMissing{90, "Logout succeeded but could not get LUN info for some sessions."};
const base::StatusWording kRescanLunsMissing{
    90, "Failed to get LUN info for some sessions. Please check tavo2d.log for the actual sessions failed."};
const base::StatusWording kLunInfoFailed{90, "Failed to get LUN info. " SESSIONS_LOG_HINT};
#undef SESSIONS_LOG_HINT

void sessions_status(uint32_t code) { base::set_status(code); }

}  // namespace tavo::sessions
