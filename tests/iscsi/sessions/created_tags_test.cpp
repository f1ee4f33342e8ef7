// The created tags of the actions that make targets, portals and sessions:
// every group the action made, sub-groups included, each after the groups
// it holds, whether the LogicalHBA's targets were built or wait since a
// restart.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/iscsi/sessions/sessions_fixture.h"

namespace tavo::test {
namespace {

using Paths = std::vector<std::string>;

// A Target's groups and a Session's as an action makes them.
Paths target_groups(const std::string& t) {
  return {t + "/TargetLoginOptions/Authentication", t + "/TargetLoginOptions", t};
}
Paths session_groups(const std::string& s) {
  return {s + "/SessionLoginOptions/Authentication",
          s + "/SessionLoginOptions",
          s + "/SessionNegotiatedLoginOptions",
          s + "/iSCSISessionStatistics",
          s,
          s + "/Connection0/ConnectionNegotiatedLoginOptions",
          s + "/Connection0"};
}
Paths operator+(Paths a, const Paths& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class CreatedTagsTest : public SessionsTest {
 protected:
  // The paths below the LogicalHBA of the groups the action at lhba/action
  // created, in the order of its created tags.
  Paths created_by(const std::string& lhba, const std::string& action, const std::vector<std::string>& values) {
    std::vector<uint32_t> tags;
    const uint32_t answer = act(lhba + "/" + action, values, &tags);
    EXPECT_EQ(answer, 0u) << last_status().second;
    Paths paths;
    for (uint32_t t : tags) paths.push_back(path_below(t, tag(lhba)));
    return paths;
  }
  std::string path_below(uint32_t t, uint32_t top) {
    std::string path;
    for (int depth = 0; t != top && t != 0 && depth < 16; ++depth) {
      char name[TAVO_NAME_SIZE] = "";
      uint32_t parent = 0;
      if (TAVO_get_node_name(t, name, TAVO_KIND_GROUP) != 0 || TAVO_get_parent_tag(t, &parent) != 0)
        return "<no group " + std::to_string(t) + ">";
      path = path.empty() ? name : std::string(name) + "/" + path;
      t = parent;
    }
    return path;
  }
  // A new process over the firmware and the files as they are: the
  // LogicalHBAs' targets wait.
  void restart() {
    const sim::SimIscsi cv3 = *sim_->sessions(0), moravel = *sim_->sessions(2);
    const std::function<void()> files = saved_files_restorer();
    use(kSessionsTopology);
    *sim_->sessions(0) = cv3;
    *sim_->sessions(2) = moravel;
    files();
    ASSERT_EQ(TAVO_init(), 0u);
  }
};

// Each row from fresh adapters and no saved files: AddTarget lists its
// Target, portal and persistent Session whole, a Login the Session it
// opens (none when it reopens one), AddTargetPortal its portal and the
// Sessions it reads. Targets a restart left waiting, built on the way,
// are none of the action's.
TEST_F(CreatedTagsTest, AnActionListsEveryGroupItMade) {
  const std::function<void()> no_saved_files = saved_files_restorer();
  const std::string log_in = "Target0/Login", add_portal = "Target0/AddTargetPortal";
  const struct {
    const char* what;
    std::function<void()> before;
    std::string lhba, action;
    std::vector<std::string> values;
    Paths created;
  } rows[] = {
      {"AddTarget",
       [] {},
       kLhba,
       "AddTarget",
       {kA, "10.0.0.50"},
       target_groups("Target0") + Paths{"Target0/TargetPortal0"} + session_groups("Target0/Session0")},
      {"AddTarget on a Moravel",
       [] {},
       kMoravelLhba,
       "AddTarget",
       {kA, "10.0.0.51", "3261"},
       target_groups("Target0") + Paths{"Target0/TargetPortal0"} + session_groups("Target0/Session0")},
      {"AddTarget among waiting targets",
       [&] {
         ASSERT_EQ(add(kC, "10.0.0.60"), 0u);
         restart();
       },
       kLhba,
       "AddTarget",
       {kA, "10.0.0.50"},
       target_groups("Target1") + Paths{"Target1/TargetPortal0"} + session_groups("Target1/Session0")},
      {"Login of the added target's session",
       [&] { ASSERT_EQ(add(kA, "10.0.0.50"), 0u); },
       kLhba,
       log_in,
       {},
       {}},
      {"Login of a second session",
       [&] {
         ASSERT_EQ(add(kA, "10.0.0.50"), 0u);
         ASSERT_EQ(login(0), 0u);
       },
       kLhba,
       log_in,
       {},
       session_groups("Target0/Session1")},
      {"Login of a second session after a restart",
       [&] {
         ASSERT_EQ(add(kA, "10.0.0.50"), 0u);
         ASSERT_EQ(login(0), 0u);
         restart();
       },
       kLhba,
       log_in,
       {},
       session_groups("Target0/Session1")},
      // The target's sessions are read anew: its first is made again.
      {"AddTargetPortal",
       [&] { ASSERT_EQ(add(kA, "10.0.0.50"), 0u); },
       kLhba,
       add_portal,
       {"10.0.0.51", "3261"},
       Paths{"Target0/TargetPortal1"} + session_groups("Target0/Session0") + session_groups("Target0/Session1")},
      {"AddTargetPortal after a restart",
       [&] {
         ASSERT_EQ(add(kA, "10.0.0.50"), 0u);
         restart();
       },
       kLhba,
       add_portal,
       {"10.0.0.51", "3261"},
       Paths{"Target0/TargetPortal1"} + session_groups("Target0/Session0") + session_groups("Target0/Session1")},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    use(kSessionsTopology);
    no_saved_files();
    ASSERT_EQ(TAVO_init(), 0u);
    row.before();
    EXPECT_EQ(created_by(row.lhba, row.action, row.values), row.created);
  }
}

}  // namespace
}  // namespace tavo::test
