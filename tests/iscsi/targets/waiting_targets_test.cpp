// A LogicalHBA's targets wait until a client reaches them: the client sees
// the tree as if start-up had built it all, a call elsewhere builds
// nothing, and a new session takes no qualifier a waiting function's
// sessions hold.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "tavo/tavo.h"
#include "tests/iscsi/sessions/sessions_fixture.h"
#include "tree/persist.h"
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
    // Options other than the defaults, which a Target's waiting options
    // must show once built.
    for (const char* target : {"/Target0", "/Target1"}) {
      const std::string options = std::string(kLhba) + target + "/TargetLoginOptions";
      ASSERT_EQ(set(options + "/HeaderDigest", "CRC32C"), 0u) << last_status().second;
      ASSERT_EQ(act(options + "/Authentication/ConfigureCHAP", {"One-Way CHAP", "", "", "t", "tsecret12345"}), 0u)
          << last_status().second;
    }
    cv3_ = *sim_->sessions(0);
    moravel_ = *sim_->sessions(2);
    files_ = saved_files_restorer();
    restart_over_firmware();
  }
  // Each restart starts from the state SetUp left (the Moravel's firmware
  // as moravel leaves it, when given).
  void restart_over_firmware(const std::function<void(sim::SimIscsi*)>& moravel = {}) {
    use(kSessionsTopology);
    *sim_->sessions(0) = cv3_;
    *sim_->sessions(2) = moravel_;
    if (moravel) moravel(sim_->sessions(2));
    files_();
    ASSERT_EQ(TAVO_init(), 0u);
  }
  sim::SimIscsi cv3_, moravel_;
  std::function<void()> files_;
  bool waits(const std::string& lhba) { return tree::children_wait(get_node(tag(lhba))); }
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

// Only a call that passes a LogicalHBA's targets builds them: a listing of
// them or below them, a call on a Target, a walk. A call on the LogicalHBA
// itself or elsewhere leaves them waiting, and a call on a Target leaves its
// login options and Sessions waiting.
TEST_F(WaitingTargetsTest, ACallBuildsTheTargetsItPasses) {
  enum Call { kNone, kGet, kList, kAdd, kWalk, kPersistent };
  const std::string target0 = std::string(kLhba) + "/Target0";
  // cv3_session, cv3_options: whether the CV3's first Session, and its
  // first Target's login options, once its targets are built, still wait
  // for their subtree (nothing reached below them).
  const struct {
    Call call;
    std::string path;
    bool cv3_waits, moravel_waits, cv3_session_waits, cv3_options_wait;
  } rows[] = {
      {kNone, "", true, true, true, true},
      {kGet, "Corvane1/PCI/BusNumber", true, true, true, true},
      {kGet, std::string(kMoravelLhba) + "/Enabled", true, true, true, true},
      {kList, kLhba, false, true, true, true},
      {kList, target0, false, true, true, true},
      {kGet, target0 + "/TargetISCSIName", false, true, true, true},
      {kGet, target0 + "/ETO", false, true, true, true},
      {kList, target0 + "/Session0", false, true, false, true},
      {kList, target0 + "/TargetLoginOptions", false, true, true, false},
      {kGet, target0 + "/TargetLoginOptions/Authentication/TargetCHAPName", false, true, true, false},
      {kAdd, kLhba, true, true, true, true},  // a new target joins them unbuilt
      {kWalk, "", false, false, false, false},
      {kPersistent, "", false, false, false, false},
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
    if (!row.cv3_waits) {
      EXPECT_EQ(tree::children_wait(get_node(tag(target0 + "/Session0"))), row.cv3_session_waits);
      EXPECT_EQ(tree::children_wait(get_node(tag(target0 + "/TargetLoginOptions"))), row.cv3_options_wait);
    }
  }
}

// Whatever a client reaches first, it reads what a tree built whole at
// start-up shows, and start-up read each session once for it.
TEST_F(WaitingTargetsTest, AClientSeesTheTreeAStartUpBuildingAllWouldShow) {
  tree::build_every_waiting_group(get_node(0));
  sim_->clear_log();
  const std::string whole = client_view();
  const int record_reads = mailbox_count(6, 14);  // the client's own reads
  ASSERT_NE(whole.find("Target1/Session0/ISIDQualifier="), std::string::npos);
  ASSERT_NE(whole.find("Target0/TargetLoginOptions/Authentication/TargetCHAPName=t\n"), std::string::npos);
  const std::string target0 = std::string(kLhba) + "/Target0";
  for (const std::string& first : {std::string(), std::string(kLhba), std::string(kMoravelLhba), target0,
                                   target0 + "/TargetLoginOptions"}) {
    SCOPED_TRACE(first);
    restart_over_firmware();
    sim_->clear_log();
    if (!first.empty()) children(first, TAVO_KIND_GROUP);
    // A stored value read before any handler of its set reloads the set.
    EXPECT_EQ(get(target0 + "/TargetLoginOptions/Authentication/TargetCHAPName"), "t");
    EXPECT_EQ(client_view(), whole);
    EXPECT_EQ(mailbox_count(6, 14), record_reads);  // the records start-up read answer the builds
  }
}

// Whatever a client first does with a Target's waiting login options, its
// answer, the saved files, the tree's stored values and the firmware end
// as with options start-up built whole.
TEST_F(WaitingTargetsTest, AFirstCallOnWaitingOptionsEndsAsOnBuiltOnes) {
  const std::string options = std::string(kLhba) + "/Target1/TargetLoginOptions";
  const std::string auth = options + "/Authentication";
  const struct {
    const char* what;
    std::function<std::string()> call;
  } rows[] = {
      {"stored read", [&] { return get(auth + "/TargetCHAPName"); }},
      {"handler read", [&] { return get(options + "/HeaderDigest"); }},
      {"listing",
       [&] {
         std::string names;
         for (const std::string& name : children(auth, TAVO_KIND_PROPERTY)) names += name + ",";
         return names;
       }},
      {"write", [&] { return std::to_string(set(options + "/DataDigest", "CRC32C")); }},
      {"action", [&] { return std::to_string(act(auth + "/DeleteCHAP", {})); }},
      {"target deleted", [&] { return std::to_string(act(std::string(kLhba) + "/DeleteTarget", {"1"})); }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    std::string ends[2];
    for (const bool waiting : {false, true}) {
      restart_over_firmware();
      if (waiting) {
        children(kLhba, TAVO_KIND_GROUP);
        ASSERT_TRUE(tree::children_wait(get_node(tag(options))));
      } else {
        tree::build_every_waiting_group(get_node(0));
      }
      ends[waiting] = row.call();
      tree::build_every_waiting_group(get_node(0));
      ends[waiting] += everything();
    }
    EXPECT_EQ(ends[1], ends[0]);
  }
}

// Whatever a client adds first among a LogicalHBA's waiting targets, its
// answer, the new Target's number, the client's tree, the saved files and
// the firmware end as among targets start-up built, with no record read
// more. An add of a new name leaves them waiting; one that failed may be
// made again; one of a name another process added since start-up finds
// its Target.
TEST_F(WaitingTargetsTest, AnAddAmongWaitingTargetsEndsAsAmongBuiltOnes) {
  const std::string cv3 = std::string(kLhba) + "/AddTarget";
  const std::string moravel = std::string(kMoravelLhba) + "/AddTarget";
  const struct {
    const char* what;
    std::vector<std::pair<std::string, std::vector<std::string>>> adds;
    bool cv3_waits, moravel_waits;
    bool first_save_fails = false;  // the first action's write of savetgt.txt
    bool other_process_added_c = false;  // after start-up, to 10.0.0.61
  } rows[] = {
      {"new name, small generation", {{cv3, {kM, "10.0.0.70", "3260"}}}, true, true},
      {"new name", {{moravel, {kC, "10.0.0.61", "3260"}}}, true, true},
      {"two new names",
       {{moravel, {kC, "10.0.0.61"}}, {moravel, {"iqn.2026-12.com.example:d", "10.0.0.62"}}},
       true,
       true},
      {"three new names",
       {{moravel, {kC, "10.0.0.61"}},
        {moravel, {"iqn.2026-12.com.example:d", "10.0.0.62"}},
        {moravel, {"iqn.2026-12.com.example:e", "10.0.0.63"}}},
       true,
       true},
      {"new name twice", {{moravel, {kC, "10.0.0.61"}}, {moravel, {kC, "10.0.0.63"}}}, true, true},
      {"a waiting name, new portal", {{moravel, {kA, "10.0.0.52"}}}, true, false},
      {"a waiting name, its portal, other case", {{moravel, {"IQN.2026-12.com.example:A", "10.0.0.51", "3261"}}}, true,
       false},
      {"new name, then deleted",
       {{moravel, {kC, "10.0.0.61"}}, {std::string(kMoravelLhba) + "/DeleteTarget", {"2"}}},
       true,
       false},
      {"boot target", {{moravel, {kC, "10.0.0.61", "3260", "True", "Primary"}}}, true, false},
      {"refused address", {{moravel, {kC, "10.0.0.256"}}}, true, true},
      {"new name, its save failed, again", {{moravel, {kC, "10.0.0.61"}}, {moravel, {kC, "10.0.0.61"}}}, true, true, true},
      {"a name another process added, new portal", {{moravel, {kC, "10.0.0.63"}}}, true, false, false, true},
      {"a name another process added, its portal", {{moravel, {kC, "10.0.0.61"}}}, true, false, false, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    std::string ends[2];
    for (const bool waiting : {false, true}) {
      restart_over_firmware();
      sim_->clear_log();
      if (!waiting) tree::build_every_waiting_group(get_node(0));
      if (row.other_process_added_c) {
        ASSERT_EQ(in_process([&] { return std::to_string(act(moravel, {kC, "10.0.0.61", "3260"})); }), "0");
      }
      if (row.first_save_fails) {
        sim::Fault f;
        f.kind = sim::FaultKind::FileErrno;
        f.file_call = "write";
        f.path_contains = "savetgt.txt";
        sim_->inject(f);
      }
      for (const auto& [action, values] : row.adds) {
        std::vector<uint32_t> created;
        const uint32_t answer = act(action, values, &created);
        ends[waiting] += std::to_string(answer) + " " + last_status().second;
        for (uint32_t t : created) {
          char shown[TAVO_NAME_SIZE] = "(gone)";  // made and dropped by a failed add
          if (get_node(t) != nullptr) tree::display_name(get_node(t), shown);
          ends[waiting] += std::string(" ") + shown;
        }
        ends[waiting] += "\n";
      }
      if (waiting) {
        EXPECT_EQ(waits(kLhba), row.cv3_waits);
        EXPECT_EQ(waits(kMoravelLhba), row.moravel_waits);
      }
      ends[waiting] += client_view();
      ends[waiting] += everything();
      ends[waiting] += "record reads " + std::to_string(mailbox_count(6, 14)) + "\n";
    }
    EXPECT_EQ(ends[1], ends[0]);
  }
}

// A lookup by name finds a Target that waits, case aside, building its
// LogicalHBA's targets: the lookups a LogicalHBA's actions make, which no
// gate builds for. A name none of them has leaves them waiting, unless
// another process changed the saved files since start-up: they are then
// built as the files are.
TEST_F(WaitingTargetsTest, ALookupByNameFindsATargetThatWaits) {
  const struct {
    const char* what;
    const char* lhba;
    std::string name;
    const char* found;  // the Target's display name; null: none
    bool other_process_added_c = false;
    bool firmware_lists_c = false;  // without a portal, and no saved line names it
  } rows[] = {
      {"second of the Moravel", kMoravelLhba, kA, "Target1"},
      {"first, other case", kMoravelLhba, "IQN.2026-12.COM.EXAMPLE:M", "Target0"},
      {"of the CV3", kLhba, kC, "Target1"},
      {"a name none has", kMoravelLhba, kC, nullptr},
      {"a name only another process saved", kMoravelLhba, kC, "Target2", true},
      {"a name only the firmware lists, without a portal", kMoravelLhba, kC, nullptr, false, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    restart_over_firmware([&](sim::SimIscsi* moravel) {
      if (row.firmware_lists_c) moravel->target_ids.emplace_back(moravel->next_target_id++, kC);
    });
    if (row.other_process_added_c) {
      EXPECT_EQ(in_process([&] {
                  return std::to_string(act(std::string(kMoravelLhba) + "/AddTarget", {kC, "10.0.0.61", "3260"}));
                }),
                "0");
    }
    TavoNode* target = find_target(node(row.lhba), row.name.c_str());
    char shown[TAVO_NAME_SIZE] = "";
    if (target != nullptr) tree::display_name(target, shown);
    EXPECT_EQ(std::string(shown), row.found != nullptr ? row.found : "");
    // A listed name no line holds leaves start-up unsure of its Targets'
    // names: the lookup builds them.
    EXPECT_EQ(waits(row.lhba), row.found == nullptr && !row.firmware_lists_c);
    // The other LogicalHBA's targets wait still.
    EXPECT_TRUE(waits(std::string(row.lhba) == kLhba ? kMoravelLhba : kLhba));
  }
}

// A waiting LogicalHBA keeps no copy of its saved lines: its build reads
// them as the file holds them then. A line this process's files gained
// since start-up makes its Target, found by name; a Target that joined
// them, built whole, gains nothing of its own lines; a name no line of the
// LogicalHBA holds, the firmware listing none, leaves them waiting.
TEST_F(WaitingTargetsTest, TheBuildReadsTheSavedLinesAsTheyAreThen) {
  constexpr char kX[] = "iqn.2026-12.com.example:x";
  constexpr char kY[] = "iqn.2026-12.com.example:y";
  const struct {
    const char* what;
    bool line_of_x;   // a line of x for the Moravel's LogicalHBA put in savetgt.txt
    bool y_joins;     // y added beside them first, with its persistent session
    const char* name;
    const char* found;  // the Target's display name; null: none
    bool waits;         // after the lookup
    size_t portals;     // of the Target found, once all are built
  } rows[] = {
      {"a line put in the file", true, false, kX, "Target2", false, 1},
      {"a line put in the file, a Target joined", true, true, kX, "Target3", false, 1},
      {"a Target that joined", false, true, kY, "Target2", true, 1},
      {"a name no line holds", false, false, kX, nullptr, true, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    restart_over_firmware();
    if (row.y_joins) {
      ASSERT_EQ(act(std::string(kMoravelLhba) + "/AddTarget", {kY, "10.0.0.71", "3260"}), 0u) << last_status().second;
      EXPECT_TRUE(waits(kMoravelLhba));
    }
    if (row.line_of_x) {
      // The Moravel's first line, named x at another portal.
      std::istringstream lines(saved("savetgt.txt"));
      std::string x;
      for (std::string line; std::getline(lines, line) && x.empty();)
        if (line.rfind("Corvane1,", 0) == 0 && line.find(std::string(",") + kM + ",") != std::string::npos)
          x = line;
      ASSERT_FALSE(x.empty());
      x.replace(x.find(kM), strlen(kM), kX);
      x.replace(x.find("10.0.0.70"), strlen("10.0.0.70"), "10.0.0.90");
      write_file(saved_path("savetgt.txt"), saved("savetgt.txt") + x + "\n");
    }
    TavoNode* target = find_target(node(kMoravelLhba), row.name);
    char shown[TAVO_NAME_SIZE] = "";
    if (target != nullptr) tree::display_name(target, shown);
    EXPECT_EQ(std::string(shown), row.found != nullptr ? row.found : "");
    EXPECT_EQ(waits(kMoravelLhba), row.waits);
    size_t portals = 0;
    if (row.found != nullptr)
      for (const std::string& group : children(std::string(kMoravelLhba) + "/" + row.found, TAVO_KIND_GROUP))
        portals += group.rfind("TargetPortal", 0) == 0 ? 1 : 0;
    EXPECT_EQ(portals, row.portals);
  }
}

// A new session on the CV3 takes the lowest qualifier no session holds,
// the waiting Moravel's too, as with every target built: also once
// another process has dropped their saved lines, which hold them too.
TEST_F(WaitingTargetsTest, ANewSessionTakesNoQualifierAWaitingFunctionHolds) {
  // The Moravel's targets wait, or are listed while their Sessions' subtrees
  // wait, or all is built.
  enum Moravel { kWaits, kListed, kBuilt };
  std::string qualifiers[3];
  for (const Moravel moravel : {kWaits, kListed, kBuilt}) {
    SCOPED_TRACE(moravel);
    restart_over_firmware();
    const bool built = moravel != kWaits;
    if (moravel == kListed) children(kMoravelLhba, TAVO_KIND_GROUP);
    if (moravel == kBuilt) tree::build_every_waiting_group(get_node(0));
    std::istringstream lines(saved("savetgt.txt"));
    std::string kept;
    for (std::string line; std::getline(lines, line);)
      if (line.find("Corvane1,") == std::string::npos) kept += line + "\n";
    write_file(saved_path("savetgt.txt"), kept);
    ASSERT_EQ(add(kM, "10.0.0.70"), 0u) << last_status().second;
    EXPECT_EQ(waits(kMoravelLhba), !built);
    qualifiers[moravel] = get(at(2, "Session0/ISIDQualifier"));
    const std::string moravel_session = std::string(kMoravelLhba) + "/Target0/Session0";
    if (moravel == kListed) {
      EXPECT_TRUE(tree::children_wait(get_node(tag(moravel_session))));
    }
  }
  EXPECT_EQ(qualifiers[kWaits], qualifiers[kBuilt]);
  EXPECT_EQ(qualifiers[kListed], qualifiers[kBuilt]);
  walk_whole_tree();
  for (const std::string& lhba : {std::string(kMoravelLhba) + "/Target0", std::string(kMoravelLhba) + "/Target1"})
    EXPECT_NE(get(lhba + "/Session0/ISIDQualifier"), qualifiers[kWaits]);
}

// A qualifier a waiting function's session holds is refused when given
// for a new session elsewhere, and never generated, while it waits as
// once it is built; the check builds nothing.
TEST_F(WaitingTargetsTest, AQualifierAWaitingSessionHoldsIsInUse) {
  walk_whole_tree();
  std::vector<uint32_t> held;
  for (const char* target : {"/Target0", "/Target1"})
    held.push_back(static_cast<uint32_t>(
        strtoul(get(std::string(kMoravelLhba) + target + "/Session0/ISIDQualifier").c_str(), nullptr, 16)));
  for (const bool built : {false, true}) {
    SCOPED_TRACE(built);
    restart_over_firmware();
    if (built) tree::build_every_waiting_group(get_node(0));
    for (const uint32_t q : held) {
      EXPECT_EQ(check_for_isid_existence(q), 1u);
      const std::string given = std::to_string(q);
      uint32_t reused = 0, qualifier = 0;
      TavoNode* session = nullptr;
      EXPECT_EQ(TAVO_get_isid(node(at(0)), given.c_str(), kA, "iqn.hx", "10.9.9.9", "3260", &reused, &qualifier,
                              &session),
                1u);
      EXPECT_EQ(last_status().first, 71u);
    }
    const uint32_t generated = generate_isid_qualifier();
    for (const uint32_t q : held) EXPECT_NE(generated, q);
    EXPECT_EQ(waits(kMoravelLhba), !built);
  }
}

// Targets with persistent LUNs on both functions, added as a client adds
// them: on the CV3 Target0 (a) with a LUN persistent on each of its two
// sessions, Target1 (c) without a session open, Target2 (d) with one; on
// the Moravel Target0 (d) and Target1 (a) with one each; each function's
// send-target portal last. Then a new process over the firmware and the
// files as they are.
const std::string kLunsTopology = std::string(kSessionsTopology) +
                                  "target name=iqn.2026-12.com.example:d portal=10.0.0.80/3260/5\n"
                                  "lun target=iqn.2026-12.com.example:a id=0\n"
                                  "lun target=iqn.2026-12.com.example:a id=5\n"
                                  "lun target=iqn.2026-12.com.example:d id=1\n";
constexpr char kD[] = "iqn.2026-12.com.example:d";

class WaitingLunsTest : public SessionsTest {
 protected:
  WaitingLunsTest() : SessionsTest(kLunsTopology) {}
  void SetUp() override {
    SessionsTest::SetUp();
    const std::string cv3 = kLhba, moravel = kMoravelLhba;
    const struct {
      std::string action;
      std::vector<std::string> values;
    } steps[] = {
        {cv3 + "/AddTarget", {kA, "10.0.0.50"}},
        {cv3 + "/Target0/AddTargetPortal", {"10.0.0.51", "3261"}},
        {cv3 + "/Target0/Login", {"10.0.0.50", "3260"}},
        {cv3 + "/Target0/Login", {"10.0.0.51", "3261"}},
        {cv3 + "/Target0/ReScanLUNS", {}},
        {cv3 + "/AddTarget", {kC, "10.0.0.60"}},
        {cv3 + "/AddTarget", {kD, "10.0.0.80"}},
        {cv3 + "/Target2/Login", {}},
        {cv3 + "/Target2/ReScanLUNS", {}},
        {cv3 + "/Discovery/AddSendTargetPortal", {"10.0.0.50", "3260"}},
        {moravel + "/AddTarget", {kD, "10.0.0.80"}},
        {moravel + "/Target0/Login", {}},
        {moravel + "/Target0/ReScanLUNS", {}},
        {moravel + "/AddTarget", {kA, "10.0.0.51", "3261"}},
        {moravel + "/Target1/Login", {}},
        {moravel + "/Target1/ReScanLUNS", {}},
        {moravel + "/Discovery/AddSendTargetPortal", {"10.0.0.70", "3260"}},
    };
    for (const auto& step : steps) ASSERT_EQ(act(step.action, step.values), 0u) << step.action << last_status().second;
    cv3_ = *sim_->sessions(0);
    moravel_ = *sim_->sessions(2);
    files_ = saved_files_restorer();
  }
  void restart_over_firmware() {
    use(kLunsTopology);
    *sim_->sessions(0) = cv3_;
    *sim_->sessions(2) = moravel_;
    files_();
    ASSERT_EQ(TAVO_init(), 0u);
  }
  // What save_node writes of the persistent groups.
  static std::string save_text() {
    char* text = nullptr;
    size_t length = 0;
    FILE* stream = open_memstream(&text, &length);
    EXPECT_EQ(save_node(nullptr, stream, 3), 0u);
    fclose(stream);
    std::string out(text, length);
    free(text);
    return out;
  }
  std::string files() { return saved("savetgt.txt") + saved("savestp.txt") + saved("intr_logopts.txt"); }
  sim::SimIscsi cv3_, moravel_;
  std::function<void()> files_;
};

// After a restart the persistent groups come in the saved files' order,
// each Target followed by its persistent LUNs, then the function's
// send-target portals, function by function: as before the restart and as
// in a process that reached every target before it listed them, whatever
// a client reached first. Neither the restart nor the listing writes a
// saved file.
TEST_F(WaitingLunsTest, PersistentGroupsFollowTheSavedFilesWithTheirLuns) {
  const std::string cv3 = std::string(kLhba) + "/", moravel = std::string(kMoravelLhba) + "/";
  const std::vector<std::string> before = persistent_paths();
  ASSERT_EQ(before, (std::vector<std::string>{
                        cv3 + "Target0", cv3 + "Target0/LUN0", cv3 + "Target0/LUN2", cv3 + "Target1",
                        cv3 + "Target2", cv3 + "Target2/LUN0", cv3 + "Discovery/SendTargetPortal0",
                        moravel + "Target0", moravel + "Target0/LUN0", moravel + "Target1", moravel + "Target1/LUN0",
                        moravel + "Discovery/SendTargetPortal0"}));
  const std::string files_before = files();
  restart_over_firmware();
  walk_whole_tree();
  const std::string every_target_reached = save_text();
  const struct {
    const char* what;
    std::function<void()> first;
  } rows[] = {
      {"nothing", [] {}},
      {"the Moravel's targets", [&] { children(kMoravelLhba, TAVO_KIND_GROUP); }},
      {"a Moravel target's LUNs", [&] { children(moravel + "Target1", TAVO_KIND_GROUP); }},
      {"a value of a CV3 LUN", [&] { get(cv3 + "Target0/LUN2/LUNSerialNumber"); }},
      {"the CV3's portals", [&] { children(cv3 + "Discovery", TAVO_KIND_GROUP); }},
      {"every target", [&] { walk_whole_tree(); }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    restart_over_firmware();
    row.first();
    EXPECT_EQ(persistent_paths(), before);
    EXPECT_EQ(save_text(), every_target_reached);
    EXPECT_EQ(files(), files_before);
  }
}

// A persistent LUN is its own target's before and after a restart, as a
// new process reaches it and as TAVO_exit and TAVO_init leave it: made by
// that target's ReScanLUNS with no parameters (never the texts of the last
// session start-up listed, another target's portal and qualifier), in
// TAVO_get_persistence_info and in the records save_node writes.
TEST_F(WaitingLunsTest, APersistentLunIsItsTargetsWhateverRestartedTheLibrary) {
  const auto luns = [&] {
    std::string out;
    for (const std::string& path : persistent_paths()) {
      if (path.find("/LUN") == std::string::npos) continue;
      TavoPersistenceInfo info{};
      EXPECT_EQ(TAVO_get_persistence_info(tag(path), &info), 0u) << path;
      char action[TAVO_PATH_SIZE] = "", on[TAVO_PATH_SIZE] = "";
      get_full_path(get_node(info.action_tag), action);
      get_full_path(get_node(info.node_tag), on);
      out += path + ": " + action + " on " + on + " with";
      for (const auto& param : info.params) out += std::string(" '") + param + "'";
      out += "\n";
    }
    std::istringstream records(save_text());
    for (std::string line; std::getline(records, line);)
      if (line.starts_with("GROUP") && line.find("/LUN") != std::string::npos) out += line + "\n";
    return out;
  };
  const std::string before = luns();
  EXPECT_NE(before.find(std::string(kLhba) + "/Target2/LUN0: ROOT/" + kLhba + "/Target2/ReScanLUNS on ROOT/" +
                        kLhba + "/Target2 with '' '' '' '' '' ''"),
            std::string::npos)
      << before;
  restart_over_firmware();
  EXPECT_EQ(luns(), before);
  TAVO_exit();
  ASSERT_EQ(TAVO_init(), 0u);
  walk_whole_tree();
  EXPECT_EQ(luns(), before);
}

}  // namespace
}  // namespace tavo::test
