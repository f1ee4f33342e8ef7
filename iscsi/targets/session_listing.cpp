// The firmware's sessions listed into the targets of a LogicalHBA: the
// sessions' groups are built below, a boot session whose target the tree
// lacks gets its target here (the host's software initiator holds only
// boot sessions).
#include <stdio.h>
#include <string.h>

#include "base/library_lock.h"
#include "base/validate.h"
#include "iscsi/common/iscsi_common.h"
#include "iscsi/common/record_reads.h"
#include "iscsi/targets/targets_internal.h"
#include "transport/glob.h"

using tavo::FirmwareSessionRecord;
using tavo::iscsi::delete_with_records;

uint32_t get_all_sessions(TavoNode* lhba, uint32_t function_number, uint32_t domain, uint32_t port_number,
                          TavoNode* target, TavoNode* software_node, char* params) {
  TAVO_LIBRARY_LOCK;
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  // Each session's record read once: for the scan and each duplicate check.
  tavo::iscsi::ReadScope reads;
  tavo::sessions::SessionListing listing;
  if (const uint32_t started = listing.start(lhba, function_number, domain, port_number, target, params))
    return started;
  uint32_t listed = listing.run();
  while (listed == tavo::sessions::SessionListing::kTargetMissing) {
    // The host's software initiator holds only boot sessions: each finds
    // or makes its boot target.
    TavoNode* owner =
        OPEN_ISCSI_DRIVER_LOADED ? TAVO_get_boot_target(lhba, software_node, nullptr, nullptr, listing.missing())
                                 : nullptr;
    if (const uint32_t owned = listing.own(owner)) return owned;
    listed = listing.run();
  }
  return listed;
}

TavoNode* TAVO_get_boot_target(TavoNode* lhba, TavoNode* creating_node, TavoNode* creating_action, char* params,
                               const FirmwareSessionRecord* fw) {
  TAVO_LIBRARY_LOCK;
  if (lhba == nullptr || fw == nullptr) return nullptr;
  char name[TAVO_VALUE_SIZE];
  snprintf(name, sizeof name, "%.*s", static_cast<int>(strnlen(fw->target_name, sizeof fw->target_name)),
           fw->target_name);
  TavoNode* target = find_target(lhba, name);
  const bool made = target == nullptr;
  if (made) target = setup_target(lhba, name, creating_node, creating_action, params, 0);
  if (target == nullptr || fw->connection_count == 0) return target;
  char address[TAVO_VALUE_SIZE], port[TAVO_VALUE_SIZE];
  ipaddr_to_string(fw->connection.destination_address, address, fw->connection.destination_type);
  snprintf(port, sizeof port, "%d", fw->connection.destination_port);
  if (find_target_portal(target, address, port) != nullptr) return target;
  if (setup_portal(target, address, port, "0", nullptr, nullptr, nullptr) != nullptr) return target;
  // A target made here goes again with its portal; one the tree held stays.
  if (made) delete_with_records(target);
  return nullptr;
}
