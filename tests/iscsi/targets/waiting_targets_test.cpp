// A LogicalHBA's targets wait until a client's call reaches its function:
// the client sees the tree as if start-up had built it all, a call
// elsewhere builds nothing, and a new session takes no qualifier a waiting
// function's sessions hold.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "tavo/tavo.h"
#include "tests/iscsi/sessions/sessions_fixture.h"
#include "tree/waiting.h"

namespace tavo::test {
namespace {

class WaitingTargetsTest : public SessionsTest {
 protected:
  // Two targets with their persistent sessions on each function, then a
  // new process over the firmware and the files as they are.
  void SetUp() override {
    SessionsTest::SetUp();
    ASSERT_EQ(add(kA, "10.0.0.50"), 0u) << last_status().second;
    ASSERT_EQ(add(kC, "10.0.0.60"), 0u) << last_status().second;
    ASSERT_EQ(act(std::string(kMoravelLhba) + "/AddTarget", {kM, "10.0.0.70", "3260"}), 0u) << last_status().second;
    ASSERT_EQ(act(std::string(kMoravelLhba) + "/AddTarget", {kA, "10.0.0.51", "3261"}), 0u) << last_status().second;
    cv3_ = *sim_->sessions(0);
    moravel_ = *sim_->sessions(2);
    files_ = saved_files_restorer();
    restart_over_firmware();
  }
  // Each restart starts from the state SetUp left.
  void restart_over_firmware() {
    use(kSessionsTopology);
    *sim_->sessions(0) = cv3_;
    *sim_->sessions(2) = moravel_;
    files_();
    ASSERT_EQ(TAVO_init(), 0u);
  }
  sim::SimIscsi cv3_, moravel_;
  std::function<void()> files_;
  bool waits(const std::string& lhba) { return tree::instances_wait(get_node(tag(lhba))); }
  // The tree below path as a client reads it: every child in order, each
  // property with its value.
  std::string client_view(const std::string& path = "") {
    std::string out;
    const std::vector<std::string> groups = children(path, TAVO_KIND_GROUP);
    for (const std::string& name : children(path, TAVO_KIND_PROPERTY))
      out += path + "/" + name + "=" + get(path.empty() ? name : path + "/" + name) + "\n";
    for (const std::string& name : children(path, TAVO_KIND_ACTION)) out += path + "/" + name + "()\n";
    for (const std::string& name : groups) out += client_view(path.empty() ? name : path + "/" + name);
    return out;
  }
};

TEST_F(WaitingTargetsTest, ACallBuildsTheTargetsOfTheFunctionItActsIn) {
  enum Call { kNone, kGet, kList, kAdd, kWalk, kPersistent };
  const struct {
    Call call;
    std::string path;
    bool cv3_waits, moravel_waits;
  } rows[] = {
      {kNone, "", true, true},
      {kGet, "Corvane1/PCI/BusNumber", true, true},
      {kGet, std::string(kMoravelLhba) + "/Enabled", true, false},
      {kList, kLhba, false, true},
      {kAdd, kLhba, false, true},
      {kWalk, "", false, false},
      {kPersistent, "", false, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::to_string(row.call) + " " + row.path);
    restart_over_firmware();
    if (row.call == kGet) get(row.path);
    if (row.call == kList) children(row.path, TAVO_KIND_GROUP);
    if (row.call == kAdd) {
      // The groups the add reports created are the new Target's alone, not
      // those its build of the waiting targets made.
      std::vector<uint32_t> created;
      EXPECT_EQ(act(std::string(row.path) + "/AddTarget", {kM, "10.0.0.70", "3260"}, &created), 0u);
      EXPECT_FALSE(created.empty());
      for (uint32_t t : created) {
        char name[TAVO_VALUE_SIZE] = "";
        EXPECT_EQ(internal_get_property(tree::group_above(get_node(t), "Target"), "TargetISCSIName", name), 0u);
        EXPECT_EQ(std::string(name), kM);
      }
    }
    if (row.call == kWalk) walk_whole_tree();
    if (row.call == kPersistent) {
      std::vector<uint32_t> tags(4096);
      int32_t count = static_cast<int32_t>(tags.size());
      EXPECT_EQ(TAVO_get_persistent_nodes(tags.data(), &count), 0u);
    }
    EXPECT_EQ(waits(kLhba), row.cv3_waits);
    EXPECT_EQ(waits(kMoravelLhba), row.moravel_waits);
  }
}

// Whatever a client reaches first, it reads what a tree built whole at
// start-up shows, and start-up read each session once for it.
TEST_F(WaitingTargetsTest, AClientSeesTheTreeAStartUpBuildingAllWouldShow) {
  tree::reach_within(get_node(0));
  sim_->clear_log();
  const std::string whole = client_view();
  const int record_reads = mailbox_count(6, 14);  // the client's own reads
  ASSERT_NE(whole.find("Target1/Session0/ISIDQualifier="), std::string::npos);
  for (const char* first : {"", kLhba, kMoravelLhba}) {
    SCOPED_TRACE(first);
    restart_over_firmware();
    sim_->clear_log();
    if (first[0] != '\0') children(first, TAVO_KIND_GROUP);
    EXPECT_EQ(client_view(), whole);
    EXPECT_EQ(mailbox_count(6, 14), record_reads);  // the records start-up read answer the builds
  }
}

// A new session on the CV3 takes the lowest qualifier no session holds,
// the waiting Moravel's too, as with every target built: also once
// another process has dropped their saved lines, which hold them too.
TEST_F(WaitingTargetsTest, ANewSessionTakesNoQualifierAWaitingFunctionHolds) {
  std::string qualifiers[2];
  for (const bool built : {false, true}) {
    SCOPED_TRACE(built);
    restart_over_firmware();
    if (built) tree::reach_within(get_node(0));
    std::istringstream lines(saved("savetgt.txt"));
    std::string kept;
    for (std::string line; std::getline(lines, line);)
      if (line.find("Corvane1,") == std::string::npos) kept += line + "\n";
    write_file(saved_path("savetgt.txt"), kept);
    ASSERT_EQ(add(kM, "10.0.0.70"), 0u) << last_status().second;
    EXPECT_EQ(waits(kMoravelLhba), !built);
    qualifiers[built] = get(at(2, "Session0/ISIDQualifier"));
  }
  EXPECT_EQ(qualifiers[false], qualifiers[true]);
  walk_whole_tree();
  for (const std::string& lhba : {std::string(kMoravelLhba) + "/Target0", std::string(kMoravelLhba) + "/Target1"})
    EXPECT_NE(get(lhba + "/Session0/ISIDQualifier"), qualifiers[false]);
}

}  // namespace
}  // namespace tavo::test
