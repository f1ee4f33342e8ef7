// A power cut keeps any prefix of a write not yet flushed: an append of the
// library torn anywhere, even inside a line, leaves the next start each
// target as it was or as the change left it, its saved lines and the
// firmware agreeing; and a start lists every session it can place.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/iscsi/targets/targets_fixture.h"

namespace tavo::test {
namespace {

// What a change is, and the file it appends to.
struct Change {
  const char* what;
  const char* file;
  std::function<void()> prepare;  // in this process, before the files are kept
  std::function<uint32_t()> op;
};

class TornAppendsTest : public NetworkTargetsTest, public ::testing::WithParamInterface<int> {
 protected:
  void SetUp() override {
    NetworkTargetsTest::SetUp();
    for (const char* name : {"iqn.t1", "iqn.t2"})
      ASSERT_EQ(act(lhba_ + "/AddTarget", {name, "10.0.0.9"}), 0u) << last_status().second;
    ASSERT_EQ(act(lhba_ + "/Discovery/AddSendTargetPortal", {"10.0.0.50", "3260"}), 0u);
    ASSERT_EQ(start_again(), 0u);
  }
  uint32_t start_again() {
    TAVO_exit();
    return TAVO_init();
  }
  std::string target_named(const std::string& name) {
    for (const std::string& t : instances(lhba_, "Target"))
      if (get(lhba_ + "/" + t + "/TargetISCSIName") == name) return lhba_ + "/" + t;
    return "";
  }
  // What a start shows of each target that outlives the adapter's restart
  // (its persistent sessions, its saved lines, the firmware's persistent
  // entries of it) and of the send-target portals (the groups and their
  // lines), each on its own.
  std::map<std::string, std::string> shown() {
    std::map<std::string, std::string> out;
    for (const char* name : kNames) {
      const std::string t = target_named(name);
      std::string& text = out[name];
      int persistent = 0;
      for (const std::string& s : t.empty() ? std::vector<std::string>() : instances(t, "Session"))
        persistent += get(t + "/" + s + "/Persistent") == "True";
      text = t.empty() ? "no target\n" : "sessions " + std::to_string(persistent) + "\n";
      for (const std::string& line : target_lines())
        if (line.find("," + std::string(name) + ",") != std::string::npos) text += line + "\n";
      for (const sim::SimSession& s : sim_->sessions(0)->sessions)
        if (s.target == name && s.persistent) text += "firmware " + std::to_string(s.isid) + "\n";
    }
    std::string& portals = out["portals"];
    for (const std::string& p : instances(lhba_ + "/Discovery", "SendTargetPortal"))
      portals += get(lhba_ + "/Discovery/" + p + "/IPAddress") + "\n";
    std::istringstream lines(file_exists(saved_path("savestp.txt")) ? saved("savestp.txt") : "");
    for (std::string line; std::getline(lines, line);) portals += line + "\n";
    return out;
  }
  // shown() by a new process started over the files and the adapters.
  std::map<std::string, std::string> next_start() {
    const std::string text = in_process([&] {
      start_again();
      std::string all;
      for (const auto& [key, value] : shown()) all += key + "\n" + value + "\x1e";
      return all;
    });
    std::map<std::string, std::string> out;
    for (size_t from = 0, end; (end = text.find('\x1e', from)) != std::string::npos; from = end + 1) {
      const size_t key_end = text.find('\n', from);
      out[text.substr(from, key_end - from)] = text.substr(key_end + 1, end - key_end - 1);
    }
    return out;
  }

  static constexpr const char* kNames[] = {kTargetA, "iqn.t1", "iqn.t2"};
  const std::string lhba_ = kLhba;
};

// Every prefix of the change's append to its file, each a power cut at the
// flush that follows the write: the next start finds every target and the
// send-target portals as they were or as the change left them. A prefix
// that kept a new portal's line and not its session's leaves the note
// that takes both back.
TEST_P(TornAppendsTest, EveryPrefixOfAnAppendLeavesEachTargetAsItWasOrAsAsked) {
  const Change changes[] = {
      {"AddTarget with its persistent session", "savetgt.txt", [] {},
       [&] { return act(lhba_ + "/AddTarget", {kTargetA, "10.0.0.50"}); }},
      {"Login of a new persistent session", "savetgt.txt",
       [&] { ASSERT_EQ(act(lhba_ + "/AddTarget", {kTargetA, "10.0.0.50"}), 0u); },
       [&] { return act(target_named(kTargetA) + "/Login", {"10.0.0.50", "3260", "iqn.hx", "9"}); }},
      {"AddTargetPortal with its persistent session", "savetgt.txt",
       [&] { ASSERT_EQ(act(lhba_ + "/AddTarget", {kTargetA, "10.0.0.50"}), 0u); },
       [&] { return act(target_named(kTargetA) + "/AddTargetPortal", {"10.0.0.51", "3260"}); }},
      {"AddSendTargetPortal", "savestp.txt", [] {},
       [&] { return act(lhba_ + "/Discovery/AddSendTargetPortal", {"10.0.0.60", "3260"}); }},
  };
  const Change& c = changes[GetParam()];
  SCOPED_TRACE(c.what);
  c.prepare();
  const auto restore = root_restorer();
  const auto before = next_start();
  const std::string text_before = saved(c.file);
  restore();
  ASSERT_EQ(in_child(no_fault(), [&] { ASSERT_EQ(c.op(), 0u) << last_status().second; }, true), 0);
  ASSERT_EQ(saved(c.file).substr(0, text_before.size()), text_before);
  const std::string appended = saved(c.file).substr(text_before.size());
  const auto after = next_start();
  ASSERT_NE(after, before);
  for (size_t kept = 0; kept < appended.size(); ++kept) {
    restore();
    sim::Fault cut;
    cut.kind = sim::FaultKind::PowerCut;
    cut.file_call = "fsync";
    cut.path_contains = c.file;
    cut.kept = static_cast<int64_t>(kept);
    ASSERT_EQ(in_child(cut, [&] { c.op(); }, true), sim::kCrashExitCode);
    ASSERT_EQ(saved(c.file), text_before + appended.substr(0, kept));
    const auto found = next_start();
    for (const auto& [key, value] : found)
      EXPECT_TRUE(value == before.at(key) || value == after.at(key)) << kept << " of " << appended.size() << " bytes kept: [" << key << "]\n"
                                         << value << "before:\n" << before.at(key) << "after:\n" << after.at(key);
  }
  restore();
}

INSTANTIATE_TEST_SUITE_P(Changes, TornAppendsTest, ::testing::Range(0, 4));

}  // namespace
}  // namespace tavo::test
