// A command that changes firmware records drops what a request kept of
// them, as its row of the command table names them, and nothing else:
// each such row is sent inside a read scope between two reads of every
// read the table marks kept once (the session list, a session's record,
// its configuration and the initiator's name block, kept as records; the
// controller's profile configuration, a port's PHY, the function's
// interfaces and discovery parameters, kept by the command layer).
#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "controller/controller.h"
#include "iscsi/common/record_reads.h"
#include "iscsi/network/iscsi_network.h"
#include "iscsi/sessions/sessions.h"
#include "iscsi/targets/targets.h"
#include "tests/iscsimgt/plugins/cvima/ima_fixture.h"
#include "tests/transport/command_catalogue_support.h"
#include "transport/network_records.h"
#include "tree/handler_context.h"

namespace tavo::test {
namespace {

class RecordChangesTest : public ImaTest {};

// The reads the command layer keeps, as the command table marks them.
const std::vector<command::CommandId>& kept_reads() {
  static const std::vector<command::CommandId> kept = [] {
    std::vector<command::CommandId> ids;
    for (size_t i = 0; i < command::kCommandCount; ++i)
      if (command::kCommands[i].kept) ids.push_back(static_cast<command::CommandId>(i));
    return ids;
  }();
  return kept;
}

TEST_F(RecordChangesTest, EachChangingCommandDropsWhatItsRowNames) {
  const std::string store = std::string(kLhba0) + "/Target0";
  TavoNode* target = get_node(tag(store));
  TavoNode* name = get_node(tag(std::string(kLhba0) + "/InitiatoriSCSIName/InitiatoriSCSIName"));
  ASSERT_NE(target, nullptr);
  ASSERT_NE(name, nullptr);
  const tree::HandlerContext at = tree::handler_context(target);
  const uint32_t handle = sim_->sessions(0)->sessions[0].handle;  // store0's open session
  const auto read_all = [&] {
    char persistent[35] = "";
    TAVO_get_tgt_persistent_val(target, "iqn.2026-12.com.example:store0", persistent);  // the list, then each record
    tavo_dfree(TAVO_get_session_params(handle, at.number, at.domain, at.port));
    get_eto_prop(at.number, at.domain, at.port, target);
    get_name_params(at.number, at.domain, at.port, name);
    tavo_dfree(TAVO_get_profile(at.controller, kProfileConfigured, 0, 0));
    // Each kept read, its interface the first the function lists; which
    // of them the adapter answers (one refused is asked every time).
    std::vector<bool> answered;
    uint32_t interface_id = 0;
    for (const command::CommandId id : kept_reads()) {
      const command::CommandRow& row = command::command_row(id);
      std::vector<uint8_t> request(row.form == command::Form::CallerLength ? 4096 : row.length, 0);
      if (row.subsystem == 2 && row.opcode == 25) {
        InterfaceInfoBlock asked{};
        asked.interface_id = interface_id;
        asked.family_or_vlan_tag = kAddressFamilyIPv4;
        memcpy(request.data(), &asked, std::min(request.size(), sizeof asked));
      }
      const auto length = static_cast<uint16_t>(row.form == command::Form::CallerLength ? request.size() : 0);
      const uint32_t route = row.device == command::Device::Caller ? TAVO_VIA_ISCSI : 0;
      answered.push_back(kCatalogueInvokers[static_cast<size_t>(id)](CatalogueCall{
                             at.number, request.data(), length, at.domain, at.port, route, nullptr, 0}) == 0);
      if (id == command::CommandId::ioctl_get_all_if_id)
        memcpy(&interface_id, request.data() + offsetof(InterfaceIdList, ids), sizeof interface_id);
    }
    return answered;
  };
  // Every kept read but the profile ids (a Moravel's) is answered here.
  const std::vector<bool> answered = read_all();
  EXPECT_EQ(std::count(answered.begin(), answered.end(), true), std::ssize(answered) - 1);
  int rows = 0;
  for (size_t i = 0; i < command::kCommandCount; ++i) {
    const command::CommandRow& row = command::kCommands[i];
    if (row.changes == 0) continue;
    ++rows;
    SCOPED_TRACE(std::string(row.name));
    iscsi::ReadScope scope;
    read_all();
    // The request names the session (a keyed change's first word).
    std::vector<uint8_t> payload(std::max<size_t>(row.length, 64), 0);
    memcpy(payload.data(), &handle, sizeof handle);
    const auto length = static_cast<uint16_t>(row.form == command::Form::CallerLength ? payload.size() : 0);
    const CatalogueCall call{at.number, payload.data(), length, at.domain, at.port, 0, nullptr, 0};
    kCatalogueInvokers[i](call);
    sim_->clear_log();
    read_all();
    // Every read kept once, by the command layer or as records, is asked
    // again exactly when its row's changes meet this row's (a refused
    // one every time).
    for (size_t r = 0; r < command::kCommandCount; ++r) {
      const command::CommandRow& read = command::kCommands[r];
      if (read.dropped_by == 0) continue;
      const auto kept = std::find(kept_reads().begin(), kept_reads().end(), static_cast<command::CommandId>(r));
      const bool refused = kept != kept_reads().end() && !answered[static_cast<size_t>(kept - kept_reads().begin())];
      EXPECT_EQ(mailbox_count(read.subsystem, read.opcode) > 0, (row.changes & read.dropped_by) != 0 || refused)
          << read.name;
    }
  }
  // Logins, logouts, persistent entries and boot flags; the ETO; the name;
  // the profile configuration's sets, the legacy configuration's, a
  // factory reset, flash objects written and a ROM region erased; a MAC
  // address, QoS settings, the switch configuration and an NVP value; a
  // port's speed, state and link; the interfaces' addresses, VLAN, DHCP and
  // gateway; the discovery parameters.
  EXPECT_EQ(rows, 32);
}

// Every command that writes the adapter names what read-once records it
// changes, or is one known to change none of them: a new command that
// writes must say which.
TEST_F(RecordChangesTest, EveryWritingCommandSaysWhatItChanges) {
  static const std::set<std::string> kChangesNothingReadOnce = {
      "ioctl_qos_get", "ioctl_enable_disable_domains", "ioctl_set_boot_config", "ioctl_clear_fat",
      "ioctl_set_beacon_state", "ioctl_set_config_sign", "ioctl_set_ncsi_attributes", "ioctl_set_ari_settings",
      "ioctl_set_switch_type", "ioctl_set_extfat_capabilites", "ioctl_configure_extfat_snapshot",
      "ioctl_set_tx_throttel", "ioctl_Save_Arp_Table", "ioctl_Save_Route_Table", "ioctl_get_discoveryparams",
      "ioctl_clear_event_log", "ioctl_get_activesessionid", "ioctl_get_all_tgt_id", "ioctl_sendtargets",
      "ioctl_sendtargets_info", "ioctl_set_boot_lun", "ioctl_set_bios_cfg", "ioctl_ddr_dma_test",
      "ioctl_loop_back_test", "ioctl_set_loopbackmode", "ioctl_set_lldp_params", "ioctl_set_dcbx_cfg_params",
      "ioctl_set_dcbx_cfg_params_v1", "ioctl_set_dcbx_mode", "ioctl_run_selftest", "ioctl_run_tdr_test",
      "ioctl_set_oem_exec_cfg"};
  for (size_t i = 0; i < command::kCommandCount; ++i) {
    const command::CommandRow& row = command::kCommands[i];
    const bool writes = row.direction == command::Direction::Write || row.direction == command::Direction::ReadWrite;
    if (!writes || row.changes != 0) continue;
    EXPECT_EQ(kChangesNothingReadOnce.count(std::string(row.name)), 1u) << row.name << " writes and names no change";
  }
}

}  // namespace
}  // namespace tavo::test
