// The back end's status texts: no adapter found at start-up, and a client
// whose system has no controller.
#include "backend/backend.h"
#include "base/status_registry.h"

namespace tavo::backend {
namespace {

constexpr base::StatusText kBackendStatusTexts[] = {
    {18, "System has no controller."},
    {313,
     "Tessmark Adapter Not found. Please make sure Quorvel NIC/iSCSI drivers are installed properly or Tessmark "
     "adapter inserted on PCIe Slot."},
};
const base::StatusTable kBackendTable{"backend", kBackendStatusTexts};

}  // namespace

void backend_status(uint32_t code) { base::set_status(code); }

}  // namespace tavo::backend
