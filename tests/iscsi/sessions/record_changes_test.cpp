// A command that changes firmware records drops what a request kept of
// them, as its row of the command table names them, and nothing else:
// each such row is sent inside a read scope between two reads of the
// session list, a session's record, its configuration, the initiator's
// name block and the controller's profile configuration.
#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "controller/controller.h"
#include "iscsi/common/record_reads.h"
#include "iscsi/network/iscsi_network.h"
#include "iscsi/sessions/sessions.h"
#include "iscsi/targets/targets.h"
#include "tests/iscsimgt/plugins/cvima/ima_fixture.h"
#include "tests/transport/command_catalogue_support.h"
#include "tree/handler_context.h"

namespace tavo::test {
namespace {

class RecordChangesTest : public ImaTest {};

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
  };
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
    const bool sessions = (row.changes & command::kSessions) != 0;
    EXPECT_EQ(mailbox_count(6, 29) > 0, sessions);  // the session list
    EXPECT_EQ(mailbox_count(6, 14) > 0, sessions);  // the session's record
    EXPECT_EQ(mailbox_count(6, 16) > 0, sessions || (row.changes & command::kSessionConfig) != 0);
    EXPECT_EQ(mailbox_count(6, 6) > 0, (row.changes & command::kInitiatorName) != 0);
    EXPECT_EQ(mailbox_count(1, 164) > 0, (row.changes & command::kProfileConfig) != 0);
  }
  // Logins, logouts, persistent entries and boot flags; the ETO; the name;
  // the profile configuration's sets, the legacy configuration's, a
  // factory reset, flash objects written and a ROM region erased.
  EXPECT_EQ(rows, 18);
}

}  // namespace
}  // namespace tavo::test
