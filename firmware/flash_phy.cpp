// Whether a CV3 update flashes the PHY component: only a port whose PHY
// and interface types say it carries the PHY the image holds.
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
  TavoNode* iscsi = get_first_instance(controller, "iSCSIPhysicalHBA");
  TavoNode* fn = iscsi != nullptr ? iscsi : get_first_instance(controller, "NICPhysicalHBA");
  if (fn == nullptr) return 1;
  tavo::PhyDetailsRecord details{};
  const uint32_t status = ioctl_get_phy_details(
      static_cast<uint32_t>(get_port_number(fn)), &details, static_cast<uint8_t>(get_domain_id(fn)),
      static_cast<uint8_t>(get_phba_port_number(fn)), iscsi != nullptr ? TAVO_VIA_ISCSI : TAVO_VIA_NIC);
  if (status != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: the PHY details read failed with %u\n", __func__, static_cast<unsigned>(status));
    return 0;
  }
  return details.phy_type == kFlashedPhyType && details.interface_type == kFlashedInterfaceType ? 1 : 0;
}
