// No request climbs: the climb watch catches a planted read of a higher
// folder's value and a planted direct call of its action, and the whole
// watched run climbs only where the list of today's climbs says.
#include "tests/support/climbs.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "iscsi/common/iscsi_common.h"
#include "tests/support/client_fixture.h"
#include "tree/tree_internal.h"

namespace tavo::test {
namespace {

// Climbs known today (the branch asking, the handler it reaches, and one
// test that shows it): none. No request reaches a higher folder's handler.
const std::vector<KnownClimb> kKnown = {};

const std::string kTarget = "Corvane0/iSCSIPhysicalHBA0/LogicalHBA0/Target0";

class ClimbWatchTest : public ClientTest {
 protected:
  void SetUp() override {
    ClientTest::SetUp();
    ASSERT_EQ(start_climb_watch(), "");
  }
  TavoNode* node(const std::string& path) { return get_node(tag(path)); }
  // The climbs the planted code made (the handlers it reaches may climb
  // on their own).
  static std::string climbs_of(const ClimbRecording& recording, const char* planted) {
    std::string text;
    for (const Climb& c : recording.climbs())
      if (c.asker == planted)
        text += c.asker + " -> " + c.entered + ": " + c.code + (c.through_tree ? "" : " directly") + "\n";
    return text;
  }
};

// The folder of a handler is its own code's: Target's ETO row is the
// sessions branch's handler in the targets branch's table. A read handed
// on by iscsi::read_text is its caller's.
TEST_F(ClimbWatchTest, ReadsClimbByTheHandlerTheyReach) {
  const std::string options = kTarget + "/TargetLoginOptions";
  const struct {
    const char* standing;
    bool forwarded;  // through iscsi::read_text
    std::string group;
    const char* property;
    std::string climbs;
  } cases[] = {
      {"iscsi/sessions", false, options, "HeaderParam",
       "iscsi/sessions -> iscsi/targets: handle_target_loginoptions\n"},
      {"controller", false, options, "HeaderParam", "controller -> iscsi/targets: handle_target_loginoptions\n"},
      {"iscsi/targets", false, options, "HeaderParam", ""},
      {"iscsi/network", true, options, "HeaderParam", "iscsi/network -> iscsi/targets: handle_target_loginoptions\n"},
      {"iscsi/sessions", false, kTarget, "ETO", ""},
      {"iscsi/common", false, kTarget, "ETO", "iscsi/common -> iscsi/sessions: handle_Target_ETO\n"},
      {"iscsi/sessions", true, kTarget, "ETO", ""},
      {"iscsi/targets", false, "Corvane0", "ControllerStatus", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.standing) + " reads " + c.group + "/" + c.property);
    ClimbRecording recording;
    {
      StandingFor as(c.standing);
      char value[TAVO_VALUE_SIZE] = "";
      EXPECT_TRUE(c.forwarded ? iscsi::read_text(node(c.group), c.property, value)
                              : internal_get_property(node(c.group), c.property, value) == 0);
    }
    EXPECT_EQ(climbs_of(recording, c.standing), c.climbs);
  }
}

// The watch sees a climb only to code it can place: every handler of the
// tree is code of its folder's own.
TEST_F(ClimbWatchTest, EveryHandlerHasItsFolder) {
  size_t handlers = 0;
  std::string unplaced;
  const auto place = [&](TavoNode* n, void (*code)()) {
    ++handlers;
    const std::string folder = folder_of_code(code);
    if (folder.empty() || folder == "tests") unplaced += std::string(n->name) + " ";
  };
  tree::for_each_in_subtree(get_node(0), [&](TavoNode* n) {
    if (n->record == nullptr) return;
    if (n->kind == TAVO_KIND_PROPERTY && tree::property_record(n)->handler != nullptr)
      place(n, reinterpret_cast<void (*)()>(tree::property_record(n)->handler));
    if (n->kind == TAVO_KIND_ACTION && tree::action_descriptor(n)->handler != nullptr)
      place(n, reinterpret_cast<void (*)()>(tree::action_descriptor(n)->handler));
    if (n->kind == TAVO_KIND_GROUP && tree::group_record(n)->refresh != nullptr)
      place(n, reinterpret_cast<void (*)()>(tree::group_record(n)->refresh));
  });
  EXPECT_GT(handlers, 500u);
  EXPECT_EQ(unplaced, "");
}

// An action's handler called through its descriptor, as a branch may,
// is seen from the handlers it runs in turn.
TEST_F(ClimbWatchTest, ActionsCalledDirectlyClimbToo) {
  TavoNode* group = node(kTarget + "/TargetLoginOptions/Authentication");
  TavoNode* action = internal_get_node(group, "DeleteCHAP", TAVO_KIND_ACTION);
  ASSERT_NE(action, nullptr);
  char params[TAVO_MAX_PARAMS][TAVO_VALUE_SIZE] = {};
  const struct {
    const char* standing;
    const char* climbs;
  } cases[] = {
      {"iscsi/sessions", "iscsi/sessions -> iscsi/targets: do_DeleteCHAP directly\n"},
      {"iscsi/targets", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.standing);
    ClimbRecording recording;
    {
      StandingFor as(c.standing);
      tree::action_descriptor(action)->handler(group, action, &params[0][0]);
    }
    EXPECT_EQ(climbs_of(recording, c.standing), c.climbs);
  }
}

// The run's verdict: a climb not listed fails it, and so does a listed one
// that its witness no longer shows; a listed one whose witness did not run
// is not judged.
TEST_F(ClimbWatchTest, APlantedClimbFailsTheRun) {
  std::vector<Climb> planted;
  {
    ClimbRecording recording;
    StandingFor as("controller");
    char value[TAVO_VALUE_SIZE] = "";
    internal_get_property(node(kTarget + "/TargetLoginOptions"), "DataParam", value);
    planted = recording.climbs();
  }
  ASSERT_EQ(planted.size(), 1u);
  const std::vector<KnownClimb> listed = {{"controller", "handle_target_loginoptions", "Suite.Witness"}};
  const struct {
    std::vector<KnownClimb> known;
    std::vector<Climb> seen;
    std::vector<std::string> ran;
    std::vector<std::string> problems;
  } cases[] = {
      {kKnown, planted, {}, {"a new climb: " + describe(planted[0])}},
      {listed, planted, {"Suite.Witness"}, {}},
      {listed, planted, {}, {}},
      {listed, {}, {}, {}},
      {listed,
       {},
       {"Suite.Witness"},
       {"no longer climbs, take it off the list: controller -> handle_target_loginoptions (Suite.Witness)"}},
  };
  for (const auto& c : cases) EXPECT_EQ(judge_climbs(c.known, c.seen, c.ran), c.problems);
}

// The whole watched run (Climbs.WholeRun, after every other test ran with
// TAVO_CLIMBS_LOG) against the list; it prints every climb it saw.
TEST(ClimbsWholeRun, ClimbOnlyWhereKnown) {
  const char* directory = getenv("TAVO_CLIMBS_JUDGE");
  if (directory == nullptr) GTEST_SKIP() << "runs as Climbs.WholeRun, after the watched tests";
  const ClimbLog log = read_climb_log(directory);
  // No log at all would pass with no climb: the watch must have run.
  ASSERT_FALSE(log.ran.empty()) << "no watched test wrote to " << directory;
  printf("%zu tests ran watched; %zu climbs\n", log.ran.size(), log.climbs.size());
  for (const std::string& problem : judge_climbs(kKnown, log.climbs, log.ran)) ADD_FAILURE() << problem;
}

}  // namespace
}  // namespace tavo::test
