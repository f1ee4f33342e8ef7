// The rows of groups that a lower branch defines and higher branches fill:
// the Corvane group's rows of the NIC, firmware and port branches and a
// port's ChannelManagement. One list, supplied at the first start; every
// start checks that no place stands empty, so a library linked without one
// of the branches fails to start instead of showing a tree without it.
#include <mutex>

#include "backend/backend.h"
#include "base/debug_log.h"
#include "controller/controller.h"
#include "firmware/firmware.h"
#include "nic/nic.h"
#include "port/port.h"

namespace tavo::backend {
namespace {

const SuppliedPlace kPlaces[] = {
    {"Corvane LinkReconfiguration", &controller::corvane_places.link_reconfiguration,
     nic::corvane_link_reconfiguration_rows},
    {"Corvane ChannelManagement", &controller::corvane_places.channel_management,
     nic::corvane_channel_management_rows},
    {"Corvane ProfileManagement", &controller::corvane_places.profile_management,
     nic::corvane_profile_management_rows},
    {"Corvane dump, CLI and flash actions", &controller::corvane_places.dump_actions,
     firmware::corvane_dump_action_rows},
    {"Corvane logs", &controller::corvane_places.logs, firmware::corvane_log_rows},
    {"Corvane Diagnostics", &controller::corvane_places.diagnostics, port::corvane_diagnostics_rows},
    {"PortDiscoveryAndConfiguration ChannelManagement", &port::channel_management_place,
     nic::port_channel_management_rows},
};

}  // namespace

std::span<const SuppliedPlace> supplied_places() { return kPlaces; }

bool supply_rows() {
  static std::once_flag supplied;
  std::call_once(supplied, [] {
    for (const SuppliedPlace& p : kPlaces) p.place->supply(p.rows());
  });
  bool whole = true;
  for (const SuppliedPlace& p : kPlaces)
    if (p.place->rows().empty()) {
      pdebug(TAVO_LOG_BACKEND, 2, "%s: the rows of %s were never supplied\n", "backend_init", p.name);
      whole = false;
    }
  return whole;
}

}  // namespace tavo::backend
