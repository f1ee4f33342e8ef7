// The sessions branch's status texts, by code.
#include "iscsi/sessions/sessions.h"

namespace tavo::sessions {
namespace {

constexpr tree::StatusText kSessionsStatusTexts[] = {
    {25,
     "Authentication failure. Please make sure your initiator is properly enabled for authentication at the "
     "target."},
    {44,
     "The IP address settings for the Corvane iSCSI initiator cannot be modified when there is an active iSCSI boot "
     "session. Please use the iSCSIVantrel configuration utility to modify the IP address settings. No configuration "
     "changes were made to the Corvane iSCSI initiator."},
    {85,
     "Failed to get a session. Application internal error occurred. Please check tavo2d.log file for more "
     "information."},
    {243, "Failed to login due to mismatch in CRC Configuration."},
};

}  // namespace

std::span<const tree::StatusText> sessions_status_texts() { return kSessionsStatusTexts; }

void sessions_status(uint32_t code) { tree::set_status(kSessionsStatusTexts, code); }

}  // namespace tavo::sessions
