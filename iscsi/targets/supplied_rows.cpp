// The rows of the network branch's groups whose handlers live here
// (network.h), and the target listing its start-up runs, registered as the
// library loads.
#include "iscsi/network/network.h"
#include "iscsi/targets/targets.h"
#include "tree/declare.h"

using namespace tavo::declare;

namespace {

const ChildDef isns_enabled_rows[] = {
    property("iSNSEnabled", RW, LIST, "Yes,No", 1, 3, "No", handle_discoveryparams,
             "This property indicates whether targets are discovered through iSNS."),
};

TAVO_ACTION(
    Corvane_iSCSIPhysicalHBA, EraseConfiguration, do_EraseConfiguration,
    "This command resets the Tessmark iSCSI configuration to factory default settings. Upon successful completion of "
    "this command, all user iSCSI configured settings on both ports of the Tessmark controller are lost. No reboot is "
    "required for these changes to take effect.",
    optional("LogicalHBAInstanceNumber", INT, "", 0, 0,
             "This parameter indicates the DomainId of the LogicalHBA of which configuration should be erased."));
const ChildDef erase_configuration_rows[] = {EraseConfiguration};

const bool supplied_and_registered = [] {
  tavo::network::phba_places.isns_enabled.supply(isns_enabled_rows);
  tavo::network::phba_places.erase_configuration.supply(erase_configuration_rows);
  tavo::network::set_target_hooks({get_all_targets});
  return true;
}();

}  // namespace
