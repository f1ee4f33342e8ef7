// The mailbox commands each request sends, in order, as docs/requests.md
// lists them: every firmware record a request needs is asked for once.
// And what a client's reads of one record's groups share: the reads of
// other groups that follow one read, each property once, while nothing
// changed and no second went by.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/firmware/image_builder.h"
#include "tests/iscsimgt/plugins/cvima/ima_fixture.h"
#include "transport/device_layout.h"

namespace tavo::test {
namespace {

// The second function starts without targets; the first's store0 target
// has an open session.
const std::string kOther = "Corvane0/iSCSIPhysicalHBA1/LogicalHBA0";
const std::string kStoreTarget = std::string(kLhba0) + "/Target0";
constexpr char kStore[] = "iqn.2026-12.com.example:store0";

class RequestsTest : public ImaTest {
 protected:
  // The mailbox commands sent since the log was cleared, "opcode/subsystem"
  // each, a run of one command as "opcode/subsystem xN".
  std::vector<std::string> commands() {
    std::vector<std::string> out;
    std::string last;
    int run = 0;
    const auto flush = [&] {
      if (run > 0) out.push_back(run == 1 ? last : last + " x" + std::to_string(run));
    };
    for (const sim::LogEntry& e : sim_->mailbox_log()) {
      const size_t at = e.kind == sim::LogKind::NicIoctl ? sizeof(NicIoctlPrefix) : 0;
      MailboxRequestHeader h;
      memcpy(&h, e.bytes.data() + at, sizeof h);
      const std::string command = std::to_string(h.opcode) + "/" + std::to_string(h.subsystem);
      if (command == last) {
        ++run;
        continue;
      }
      flush();
      last = command;
      run = 1;
    }
    flush();
    return out;
  }
};

TEST_F(RequestsTest, EachRequestAsksForEachRecordOnce) {
  // Two more targets behind store0's portal, for the discovery to find.
  reopen_with("target name=iqn.2026-12.com.example:more1 portal=192.168.10.50/3260/1\n"
              "target name=iqn.2026-12.com.example:more2 portal=192.168.10.50/3260/1\n");
  write_file(root_.at("/tmp/image.ufi"), TkiImage::cv3_four_rows().bytes());
  const std::string target = kOther + "/Target0";
  struct Request {
    const char* name;
    std::function<uint32_t()> run;
    std::vector<std::string> commands;
  } requests[] = {
      {"IMA_GetSessionProperties",
       [&] {
         IMA_SESSION_PROPERTIES p;
         return IMA_GetSessionProperties(oid(IMA_OBJECT_TYPE_SESSION, kStoreTarget + "/Session0"), &p);
       },
       {"14/6"}},
      {"IMA_GetTargetProperties",
       [&] {
         IMA_TARGET_PROPERTIES p;
         return IMA_GetTargetProperties(oid(IMA_OBJECT_TYPE_TARGET, kStoreTarget + "/TargetPortal0"), &p);
       },
       {"29/6 x2", "48/6"}},
      {"AddTarget", [&] { return act(kOther + "/AddTarget", {kStore, "192.168.10.50"}); },
       {"57/6", "6/6", "32/1", "27/6", "29/6 x2", "14/6", "16/6 x2"}},
      {"Login", [&] { return act(target + "/Login"); },
       {"14/6", "6/6", "23/6", "16/6 x2", "14/6", "59/6 x2", "17/6", "16/6 x2"}},
      {"Target refresh", [&] { return TAVO_refresh_group(tag(target)); }, {"29/6 x2", "14/6", "16/6 x2", "59/6 x2"}},
      {"ConfigureCHAP",
       [&] {
         return act(target + "/TargetLoginOptions/Authentication/ConfigureCHAP",
                    {"One-Way CHAP", "", "", "tgt", "tsecret12345"});
       },
       {"16/6 x2", "14/6"}},
      {"AddSendTargetPortal", [&] { return act(kOther + "/Discovery/AddSendTargetPortal", {"192.168.10.50", "3260"}); }, {}},
      {"DiscoverTargets", [&] { return act(kOther + "/Discovery/SendTargetPortal0/DiscoverTargets"); },
       {"6/6", "23/6", "33/6", "32/1", "24/6"}},
      {"UpgradeFlashROM", [&] { return act("Corvane0/UpgradeFlashROM", {"/tmp/image.ufi"}); },
       {"58/1", "7/1 x88", "102/1"}},
  };
  walk_whole_tree();  // the requests of a tree a client has seen whole
  for (const Request& r : requests) {
    SCOPED_TRACE(r.name);
    sim_->clear_log();
    EXPECT_EQ(r.run(), 0u) << last_status().second;
    EXPECT_EQ(commands(), r.commands);
  }
}

// A client reads a value of store0's Session0 (which fetches its record)
// and then a second value; the second read asks the firmware again unless
// it is of another group showing that record, asked for the first time,
// with no change and no second between them. Each row starts after a
// refresh, which no read shares.
TEST_F(RequestsTest, AReadOfAnotherGroupOfARecordSharesTheReadBefore) {
  const std::string s = kStoreTarget + "/Session0/", c = s + "Connection0/", st = s + "iSCSISessionStatistics/";
  struct Row {
    const char* what;
    std::string first;
    std::function<void()> between;
    std::string second;
    std::string shown;  // the second value
    std::vector<std::string> commands;  // of the second read
  } rows[] = {
      {"the connection after the session", s + "SessionTSIH", [] {}, c + "DestinationIPAddress", "192.168.10.50", {}},
      {"the session's own group again", s + "SessionTSIH", [] {}, s + "SessionStatus", "Open", {"14/6"}},
      {"the same property again", c + "DestinationPortNumber", [] {}, c + "DestinationPortNumber", "3260", {"14/6"}},
      {"a value set between", s + "SessionTSIH", [&] { EXPECT_EQ(set("TAVODebugLevel", "6"), 0u); },
       c + "DestinationIPAddress", "192.168.10.50", {"14/6"}},
      {"an action between", s + "SessionTSIH", [&] { EXPECT_EQ(act(kOther + "/Discovery/AddSendTargetPortal",
                                                                    {"192.168.10.60", "3260"}), 0u); },
       c + "Status", "Logged-in", {"14/6"}},
      {"a second went by", s + "SessionTSIH", [&] { sim_->advance_ms(1001); }, c + "DestinationIPAddress",
       "192.168.10.50", {"14/6"}},
      {"the target's alias after the statistics", st + "CmdPdus", [] {}, kStoreTarget + "/TargetAlias", "store0", {}},
      {"the statistics after the target's alias", kStoreTarget + "/TargetAlias", [] {}, st + "RspPdus", "0", {}},
      {"the statistics again", st + "CmdPdus", [] {}, st + "RspPdus", "0", {"29/6 x2", "48/6"}},
      {"the session closed: its group read again", s + "SessionTSIH",
       [&] { sim_->sessions(0)->sessions[0].open = false; }, s + "SessionStatus", "Closed", {"14/6"}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    EXPECT_EQ(TAVO_refresh_group(0), 0u);
    EXPECT_NE(get(r.first), "<unreadable>");
    r.between();
    sim_->clear_log();
    EXPECT_EQ(get(r.second), r.shown);
    EXPECT_EQ(commands(), r.commands);
  }
  // The session's first read after the reads above shares nothing: an
  // IMA_GetSessionProperties asks once, each time.
  sim_->sessions(0)->sessions[0].open = true;
  for (int i = 0; i < 2; ++i) {
    sim_->clear_log();
    IMA_SESSION_PROPERTIES p;
    EXPECT_EQ(IMA_GetSessionProperties(oid(IMA_OBJECT_TYPE_SESSION, kStoreTarget + "/Session0"), &p), 0u);
    EXPECT_EQ(commands(), std::vector<std::string>{"14/6"});
  }
}

}  // namespace
}  // namespace tavo::test
