// The sessions branch's status texts, by code.
#include "iscsi/sessions/sessions.h"

namespace tavo::sessions {
namespace {

constexpr tree::StatusText kSessionsStatusTexts[] = {
    {44,
     "The IP address settings for the Corvane iSCSI initiator cannot be modified when there is an active iSCSI boot "
     "session. Please use the iSCSIVantrel configuration utility to modify the IP address settings. No configuration "
     "changes were made to the Corvane iSCSI initiator."},
};

}  // namespace

std::span<const tree::StatusText> sessions_status_texts() { return kSessionsStatusTexts; }

void sessions_status(uint32_t code) { tree::set_status(kSessionsStatusTexts, code); }

}  // namespace tavo::sessions
