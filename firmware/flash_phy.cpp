// Whether a CV3 update flashes the PHY component: only a port whose PHY
// and interface types say it carries the PHY the image holds.
#include <string.h>

#include "controller/controller.h"
#include "firmware/flash_update.h"
#include "transport/commands.h"
#include "transport/mailbox.h"
#include "transport/port_records.h"

namespace {

constexpr uint16_t kFlashedPhyType = 13;
constexpr uint16_t kFlashedInterfaceType = 6;

}  // namespace

uint32_t phy_flashing_required(TavoNode* controller) {
  const tavo::tree::HandlerContext c = tavo::tree::handler_context(controller, tavo::tree::Commands::OfController);
  if (c.function == nullptr) return 1;
  const bool iscsi = strcmp(c.function->name, "iSCSIPhysicalHBA") == 0;
  tavo::PhyDetailsRecord details{};
  const uint32_t status =
      ioctl_get_phy_details(c.number, &details, c.domain, c.port, iscsi ? TAVO_VIA_ISCSI : TAVO_VIA_NIC);
  if (status != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: the PHY details read failed with %u\n", __func__, static_cast<unsigned>(status));
    return 0;
  }
  return details.phy_type == kFlashedPhyType && details.interface_type == kFlashedInterfaceType ? 1 : 0;
}
