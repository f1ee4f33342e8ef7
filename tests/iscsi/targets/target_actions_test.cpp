// Targets and target portals added and deleted by hand: the checks in
// their order, the nodes and saved lines they leave, the limits per
// generation, and what a failed save leaves behind.
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "base/memory.h"
#include "base/save_file.h"
#include "tests/iscsi/targets/targets_fixture.h"

namespace tavo::test {
namespace {

using Status = std::pair<uint32_t, std::string>;

const std::string kLhbaPath = kLhba;
const std::string kT0 = kLhbaPath + "/Target0";

const std::string kPlain = "Yes,Yes,None,None,None,,,,,Static,Prohibited,Prohibited,Prohibited";

// A target's line, or with a qualifier the line of its persistent session.
std::string line(const std::string& name, const std::string& address, const std::string& port,
                 const std::string& options = kPlain, const std::string& qualifier = "") {
  return std::string(kKey) + "," + name + "," + address + "," + port + "," + qualifier + ",iqn.hx," + options + ",True";
}

TEST_F(NetworkTargetsTest, AddTargetChecksInOrder) {
  const Status none{0, ""};
  struct Row {
    std::string lhba;
    std::vector<std::string> params;
    uint32_t result;
    Status status;
    size_t lines;  // of Corvane0's LogicalHBA after the row
  } rows[] = {
      {kLhbaPath, {"iqn.t1", "10.0.0.9"}, 0, none, 1},
      {kLhbaPath, {"IQN.T1", "10.0.0.10"}, 1, targets_text(21), 1},
      // The default port counts in the duplicate check: already there, success.
      {kLhbaPath, {"iqn.t1", "10.0.0.9", "3260"}, 0, none, 1},
      // A port is the number the tree read, in any form it accepts.
      {kLhbaPath, {"iqn.t1", "10.0.0.9", "0xCBC"}, 0, none, 1},
      {kLhbaPath, {"iqn.t1", "10.0.0.9", "+3260"}, 0, none, 1},
      {kLhbaPath, {"iqn.t6", "fe80::1"}, 1, targets_text(330), 1},
      {kMoravelLhba, {"iqn.t6", "fe80::1"}, 0, none, 1},
      {kLhbaPath, {"iqn.t2", "10.0.0.9", "0xCBD", "False", "None"}, 0, none, 2},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.lhba + " " + r.params[0] + " " + r.params[1]);
    EXPECT_EQ(act(r.lhba + "/AddTarget", r.params), r.result);
    EXPECT_EQ(last_status(), r.status);
    EXPECT_EQ(portal_lines().size(), r.lines);
  }
  EXPECT_EQ(portal_lines(),
            (std::vector<std::string>{line("iqn.t1", "10.0.0.9", "3260"), line("iqn.t2", "10.0.0.9", "3261")}));
  // Each target added is a persistent session too, under the lowest free
  // qualifier (the Moravel function's firmware holds 0 and 1 already).
  EXPECT_EQ(session_lines(), (std::vector<std::string>{line("iqn.t1", "10.0.0.9", "3260", kPlain, "2"),
                                                      line("iqn.t2", "10.0.0.9", "3261", kPlain, "4")}));
  EXPECT_EQ(get(kT0 + "/TargetPortal0/TargetPortNumber"), "3260");
  EXPECT_EQ(get(kLhbaPath + "/Target1/TargetPortal0/TargetPortNumber"), "3261");
  EXPECT_EQ(get(kT0 + "/TargetType"), "Static");
  EXPECT_EQ(get(kT0 + "/ETO"), "30");
  EXPECT_EQ(get(std::string(kMoravelLhba) + "/Target1/TargetPortal0/TargetIPAddress"),
            "FE80:0000:0000:0000:0000:0000:0000:0001");
  // A static boot target is refused while boot targets come from DHCP.
  ASSERT_EQ(set(kLhbaPath + "/Discovery/DiscoverBootTargetThruDHCP", "Enabled"), 0u);
  EXPECT_EQ(act(kLhbaPath + "/AddTarget", {"iqn.t3", "10.0.0.9", "3260", "True"}), 1u);
  EXPECT_EQ(last_status().first, 342u);
  EXPECT_EQ(instances(kLhbaPath, "Target").size(), 2u);
}

// Every address parameter is kept as the firmware answers it: blanks,
// signs and leading zeros the check lets through are gone from the saved
// lines, so the plain form finds them again; a trailing blank or line feed
// is refused. Lines an older release saved with a leading blank are
// written plain at start-up, and no restart adds a second beside them.
TEST_F(NetworkTargetsTest, AddressesAreKeptAsTheFirmwareAnswersThem) {
  ASSERT_EQ(act(kLhbaPath + "/AddTarget", {"iqn.t0", "10.0.0.9"}), 0u);
  // As a target of its own, a portal of Target0 and a send-target portal.
  const auto add = [&](const std::string& address, const std::string& name) {
    return act(kLhbaPath + "/AddTarget", {name, address}) | act(kT0 + "/AddTargetPortal", {address}) |
           act(kLhbaPath + "/Discovery/AddSendTargetPortal", {address, "3260"});
  };
  const auto count = [&](const std::string& file, const std::string& text) {
    const std::string all = saved(file);
    size_t n = 0;
    for (size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) ++n;
    return n;
  };
  const std::string before = saved("savetgt.txt");
  for (const char* refused : {"10.0.1.9 ", "10.0.1.9\n", " fe80::1"}) {
    EXPECT_EQ(add(refused, "iqn.r"), 1u) << refused;
    EXPECT_EQ(last_status(), (Status{6, "IPAddress: Invalid value."})) << refused;
  }
  EXPECT_EQ(saved("savetgt.txt"), before);
  for (const auto& [given, plain] : {std::pair<std::string, std::string>{" 10.0.1.1", "10.0.1.1"},
                                     {"\t+010.0.1.02", "10.0.1.2"}, {"10. 0.1.3", "10.0.1.3"}}) {
    EXPECT_EQ(add(given, "iqn.f" + plain), 0u) << given;
    add(plain, "iqn.f" + plain);
    // Each portal's line and its session's line; the send-target portal's.
    EXPECT_EQ(count("savetgt.txt", "," + plain + ",3260,"), 4u) << given;
    EXPECT_EQ(count("savestp.txt", "," + plain + ",3260,"), 1u) << given;
  }
  const std::string topology =
      std::string(kTargetsTopology) + "target name=iqn.2026-12.com.example:a portal=10.0.0.50/3260/1 persistent=0\n";
  const std::string old_line = std::string(kKey) + ",iqn.2026-12.com.example:a, 10.0.0.50,3260,";
  put_saved("savetgt.txt", old_line + ",iqn.hx," + kPlain + ",True\n" + old_line + "0,iqn.hx," + kPlain + ",True\n");
  for (int start = 0; start < 2; ++start) {
    ASSERT_EQ(restart(topology), 0u);
    EXPECT_EQ(target_lines(), (std::vector<std::string>{line(kTargetA, "10.0.0.50", "3260"),
                                                       line(kTargetA, "10.0.0.50", "3260", kPlain, "0")}));
    EXPECT_EQ(instances(kT0, "TargetPortal").size() + instances(kT0, "Session").size(), 2u);
  }
}

TEST_F(NetworkTargetsTest, TargetLimitsPerGeneration) {
  struct Row {
    std::string lhba;
    int fits;
    Status refused;
  } rows[] = {
      {kLhbaPath, 128, targets_text(175)},
      {kMoravelLhba, 256, targets_text(156)},
  };
  for (const Row& r : rows) {
    const size_t before = instances(r.lhba, "Target").size();
    for (size_t i = before; i < static_cast<size_t>(r.fits); ++i)
      ASSERT_EQ(act(r.lhba + "/AddTarget", {"iqn.n" + std::to_string(i), "10.0.0.9"}), 0u) << i;
    EXPECT_EQ(act(r.lhba + "/AddTarget", {"iqn.over", "10.0.0.9"}), 1u);
    EXPECT_EQ(last_status(), r.refused);
    EXPECT_EQ(instances(r.lhba, "Target").size(), static_cast<size_t>(r.fits));
  }
  // A freed number is taken again.
  ASSERT_EQ(act(kLhbaPath + "/DeleteTarget", {"5"}), 0u);
  EXPECT_EQ(act(kLhbaPath + "/AddTarget", {"iqn.again", "10.0.0.9"}), 0u);
  EXPECT_EQ(get(kLhbaPath + "/Target5/TargetISCSIName"), "iqn.again");
}

// A limit reached, or anything else without a status of its own, leaves
// the generic failure: never 1 with no reason.
TEST_F(NetworkTargetsTest, FailuresWithoutAStatusOfTheirOwnLeaveTheGenericOne) {
  TavoNode* target = add_target("iqn.full");
  ASSERT_NE(target, nullptr);
  for (int i = 0; i < 64; ++i)
    ASSERT_NE(setup_portal(target, ("10.1.0." + std::to_string(i)).c_str(), "3260", "0", nullptr, nullptr, nullptr),
              nullptr);
  TavoNode* discovery = node(kLhbaPath + "/Discovery");
  TavoNode* add_stp = internal_get_node(discovery, "AddSendTargetPortal", TAVO_KIND_ACTION);
  for (int i = 0; i < 128; ++i) ASSERT_NE(initialize_SendTargetPortal(discovery, discovery, add_stp, nullptr), nullptr);
  const struct {
    std::string action;
    std::vector<std::string> params;
  } rows[] = {
      {kT0 + "/AddTargetPortal", {"10.0.0.99"}},
      {kLhbaPath + "/Discovery/AddSendTargetPortal", {"10.0.0.99", "3260"}},
  };
  for (const auto& r : rows) {
    const std::string before = saved("savetgt.txt");
    EXPECT_EQ(act(r.action, r.params), 1u) << r.action;
    const std::string name = r.action.substr(r.action.rfind('/') + 1);
    EXPECT_EQ(last_status(), (Status{1, name + " failed. Please check tavo2d.log file for more information."}));
    EXPECT_EQ(saved("savetgt.txt"), before);
  }
  EXPECT_EQ(instances(kT0, "TargetPortal").size(), 64u);
}

TEST_F(NetworkTargetsTest, AFailedSaveLeavesNoTarget) {
  sim::Fault fault;
  fault.kind = sim::FaultKind::FileErrno;
  fault.file_call = "write";
  fault.path_contains = "savetgt.txt";
  fault.err = ENOSPC;
  sim_->inject(fault);
  EXPECT_EQ(act(kLhbaPath + "/AddTarget", {"iqn.t1", "10.0.0.9"}), 1u);
  EXPECT_EQ(last_status().second.rfind("Failed to save /etc/config/QVL/tavo/savetgt.txt", 0), 0u);
  EXPECT_TRUE(instances(kLhbaPath, "Target").empty());
  // Nor a persistent session that the next start would bring it back by.
  for (const sim::SimSession& session : sim_->sessions(0)->sessions) EXPECT_NE(session.target, "iqn.t1");
  // A line some other process saved: the target is made, the line not doubled.
  put_saved("savetgt.txt", line("iqn.t1", "10.0.0.9", "3260") + "\n");
  EXPECT_EQ(act(kLhbaPath + "/AddTarget", {"iqn.t1", "10.0.0.9"}), 0u);
  EXPECT_EQ(instances(kLhbaPath, "Target").size(), 1u);
  EXPECT_EQ(portal_lines().size(), 1u);
}

TEST_F(NetworkTargetsTest, PortalsAndDeletions) {
  ASSERT_EQ(act(kLhbaPath + "/AddTarget", {"iqn.t1", "10.0.0.9"}), 0u);
  ASSERT_EQ(act(kLhbaPath + "/AddTarget", {"iqn.t2", "10.0.0.9"}), 0u);
  ASSERT_EQ(
      act(kT0 + "/TargetLoginOptions/Authentication/ConfigureCHAP", {"One-Way CHAP", "", "", "tname", "tsecret12345"}),
      0u);
  // A new portal carries the target's own options, CHAP included.
  ASSERT_EQ(act(kT0 + "/AddTargetPortal", {"10.0.0.10", "3261"}), 0u);
  const std::string chap = "Yes,Yes,None,None,One-Way CHAP,,,tname,tsecret12345,Static,Required,Prohibited,Prohibited";
  EXPECT_EQ(portal_lines()[2], line("iqn.t1", "10.0.0.10", "3261", chap));
  // The closed session of the target was persisted again with its CHAP.
  EXPECT_EQ(session_lines(), (std::vector<std::string>{line("iqn.t2", "10.0.0.9", "3260", kPlain, "3"),
                                                      line("iqn.t1", "10.0.0.9", "3260", chap, "2"),
                                                      line("iqn.t1", "10.0.0.10", "3261", chap, "4")}));
  for (const char* port : {"3261", "+3261", "0xCBD", "06275"}) {
    EXPECT_EQ(act(kT0 + "/AddTargetPortal", {"10.0.0.10", port}), 1u) << port;
    EXPECT_EQ(last_status(), targets_text(214)) << port;
  }
  EXPECT_EQ(act(kT0 + "/AddTargetPortal", {"10.0.0.10"}), 0u);  // port 3260
  EXPECT_EQ(instances(kT0, "TargetPortal").size(), 3u);
  // Instance numbers are taken as written.
  for (const char* action : {"/DeleteTarget", "/Target0/DeleteTargetPortal"}) {
    EXPECT_EQ(act(kLhbaPath + action, {"01"}), 1u);
    EXPECT_EQ(last_status(), targets_text(20));
  }
  // A portal's lines go with it (a session line too), not those of another port.
  put_saved("savetgt.txt",
            saved("savetgt.txt") + std::string(kKey) + ",iqn.t1,10.0.0.10,3261,7,iqn.hx," + chap + ",True\n");
  ASSERT_EQ(act(kT0 + "/DeleteTargetPortal", {"1"}), 0u);
  EXPECT_EQ(portal_lines(),
            (std::vector<std::string>{line("iqn.t1", "10.0.0.9", "3260", chap), line("iqn.t2", "10.0.0.9", "3260"),
                                      line("iqn.t1", "10.0.0.10", "3260", chap)}));
  EXPECT_EQ(session_lines().size(), 3u);  // the deleted portal's went with it
  // A deleted target takes its lines and the records hung below it.
  tree::group_record(node(kT0 + "/TargetPortal0"))->nhandle = tavo_dmalloc(16);
  ASSERT_EQ(act(kLhbaPath + "/DeleteTarget", {"0"}), 0u);
  EXPECT_EQ(target_lines(), (std::vector<std::string>{line("iqn.t2", "10.0.0.9", "3260"),
                                                      line("iqn.t2", "10.0.0.9", "3260", kPlain, "3")}));
  EXPECT_EQ(instances(kLhbaPath, "Target"), (std::vector<std::string>{"Target1"}));
}

TEST_F(NetworkTargetsTest, TypeAndPersistenceComeFromTheirMasters) {
  ASSERT_EQ(act(kLhbaPath + "/AddTarget", {"iqn.t1", "10.0.0.9"}), 0u);
  put_saved("savetgt.txt", line("iqn.t1", "10.0.0.9", "3260",
                                "Yes,Yes,None,None,None,,,,,Discovered,Prohibited,Prohibited,Prohibited") +
                               "\n");
  EXPECT_EQ(get(kT0 + "/TargetType"), "Discovered");
  // The Moravel function's firmware holds target a as a persistent target.
  char persistent[35] = "unset";
  TavoNode* lhba = node(kMoravelLhba);
  EXPECT_EQ(TAVO_get_tgt_persistent_val(lhba, "IQN.2026-12.com.example:A", persistent), 0u);
  EXPECT_STREQ(persistent, "True");
  snprintf(persistent, sizeof persistent, "unset");
  EXPECT_EQ(TAVO_get_tgt_persistent_val(lhba, "iqn.none", persistent), 0u);
  EXPECT_STREQ(persistent, "unset");
  fail_mailbox(6, 14, 3);
  EXPECT_EQ(TAVO_get_tgt_persistent_val(lhba, kTargetA, persistent), 1u);
  EXPECT_EQ(last_status().first, 85u);
}

// A refresh follows the file: what it lacks goes (names matched whole, so
// a name that begins another keeps nothing alive), what it holds comes.
TEST_F(NetworkTargetsTest, RefreshFollowsTheFile) {
  for (const char* name : {"iqn.tt", "iqn.ttt"}) ASSERT_EQ(act(kLhbaPath + "/AddTarget", {name, "10.0.0.9"}), 0u);
  ASSERT_EQ(act(kLhbaPath + "/Target1/AddTargetPortal", {"10.0.0.10"}), 0u);
  put_saved("savetgt.txt", line("iqn.ttt", "10.0.0.9", "3260") + "\n" + line("iqn.new", "10.0.0.11", "3262") + "\n" +
                               line("iqn.new", "10.0.0.12", "3262") + "\n");
  // The firmware lost what it held too, or its listing would bring it back.
  sim_->sessions(0)->sessions.clear();
  sim_->sessions(0)->target_ids.clear();
  ASSERT_EQ(act(kLhbaPath + "/Discovery/RefreshAvailableTargets"), 0u);
  EXPECT_EQ(instances(kLhbaPath, "Target"), (std::vector<std::string>{"Target1", "Target2"}));
  EXPECT_EQ(get(kLhbaPath + "/Target2/TargetISCSIName"), "iqn.new");
  EXPECT_EQ(instances(kLhbaPath + "/Target2", "TargetPortal").size(), 2u);
  EXPECT_EQ(instances(kLhbaPath + "/Target1", "TargetPortal"), (std::vector<std::string>{"TargetPortal0"}));
  // Without the file nothing goes.
  ::unlink(saved_path("savetgt.txt").c_str());
  ASSERT_EQ(act(kLhbaPath + "/Discovery/RefreshAvailableTargets"), 0u);
  EXPECT_EQ(instances(kLhbaPath, "Target").size(), 2u);
}

// An add reads and sends the same whatever the file holds (edited by
// hand a while before: one just edited is read whole at every look until
// the file system's clock moved on).
TEST_F(NetworkTargetsTest, AnAddCostsTheSameWithMoreSavedTargets) {
  std::vector<std::pair<size_t, uint64_t>> cost;  // mailbox commands, bytes read
  for (int lines : {100, 1000}) {
    std::string text;
    for (int i = 0; i < lines; ++i)
      text += "Corvane7,iSCSIPhysicalHBA0,LogicalHBA0,iqn.x" + std::to_string(10000 + i) + ",10.0.0.9,3260,,iqn.hx," +
              "Yes,Yes,None,None,None,,,,,Static,Prohibited,Prohibited,Prohibited,True\n";
    put_saved("savetgt.txt", text);
    sim_->stop_file_clock(files::kStampGrain + 1);
    const std::string n(1, static_cast<char>('a' + cost.size()));
    ASSERT_EQ(act(kLhbaPath + "/AddTarget", {"iqn.w" + n, "10.0.0.9"}), 0u);  // reads the new file
    // As many sessions in the firmware for both: none.
    sim_->sessions(0)->sessions.clear();
    sim_->clear_log();
    const uint64_t before = sim_->bytes_read();
    ASSERT_EQ(act(kLhbaPath + "/AddTarget", {"iqn.a" + n, "10.0.0.9"}), 0u);
    cost.emplace_back(sim_->mailbox_log().size(), sim_->bytes_read() - before);
  }
  EXPECT_EQ(cost[0], cost[1]);
}

}  // namespace
}  // namespace tavo::test
