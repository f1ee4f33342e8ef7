// The log of the changes sent commands made: a reader sees each change
// noted since it last looked, in order, while the log reaches back that
// far, and is told when it fell further behind; one that keeps nothing
// only moves past the changes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "transport/record_changes.h"

namespace tavo::command {
namespace {

constexpr std::array<uint32_t, 6> kOn{1, 0, 0, 7, 0, 0};    // function 1, domain 0, port 0
constexpr std::array<uint32_t, 6> kElsewhere{2, 0, 0, 7, 0, 0};
constexpr std::array<uint32_t, 3> kFunction{1, 0, 0};

TEST(ChangeLog, AReaderSeesWhatWasNotedSinceWhileTheLogReachesIt) {
  const struct {
    const char* what;
    std::vector<RecordChange> noted;
    bool whole;                  // changes_since's answer
    bool sessions_changed;       // changed_since(kSessions)
    bool sessions_changed_on;    // the same on kFunction only
  } rows[] = {
      {"nothing", {}, true, false, false},
      {"a name elsewhere", {{kInitiatorName, kElsewhere}}, true, false, false},
      {"sessions elsewhere", {{kSessions, kElsewhere}}, true, true, false},
      {"sessions here among others", {{kPorts, kOn}, {kSessions | kPorts, kOn}, {kDiscovery, kOn}}, true, true, true},
      {"the log's whole reach", std::vector<RecordChange>(64, {kPorts, kOn}), true, false, false},
      {"one past its reach", std::vector<RecordChange>(65, {kPorts, kOn}), false, true, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const uint64_t before = changes_noted();
    for (const RecordChange& c : row.noted) note_changes(c.changes, c.key);
    uint64_t seen = before;
    std::vector<RecordChange> read;
    EXPECT_EQ(changes_since(&seen, [&](const RecordChange& c) { read.push_back(c); }), row.whole);
    EXPECT_EQ(seen, changes_noted());
    if (row.whole) {
      ASSERT_EQ(read.size(), row.noted.size());
      for (size_t i = 0; i < read.size(); ++i) {
        EXPECT_EQ(read[i].changes, row.noted[i].changes) << i;
        EXPECT_EQ(read[i].key, row.noted[i].key) << i;
      }
    }
    seen = before;
    EXPECT_EQ(changed_since(&seen, kSessions), row.sessions_changed);
    seen = before;
    EXPECT_EQ(changed_since(&seen, kSessions, &kFunction), row.sessions_changed_on);
    EXPECT_FALSE(changed_since(&seen, kSessions));  // caught up
  }
}

// A follower drops what its row names of the changes since it last caught
// up, unless it held nothing then: it moves past them, and drops only what
// changes after it kept.
TEST(ChangeLog, AFollowerDropsOnlyWhatChangedWhileItHeld) {
  const struct {
    const char* what;
    bool holding;
    std::vector<RecordChange> noted;
    std::string dropped;  // "all", keys' fourth words, or ""
  } steps[] = {
      {"held nothing", false, {{kSessions, kOn}, {kSessionConfig, kOn}}, ""},
      {"keyed", true, {{kSessionConfig, kOn}, {kPorts, kOn}, {kSessionConfig, kElsewhere}}, "7 7 "},
      {"every record", true, {{kPorts, kOn}, {kSessions, kElsewhere}}, "all "},
      {"behind the log", true, std::vector<RecordChange>(65, {kPorts, kOn}), "all "},
      {"behind the log, held nothing", false, std::vector<RecordChange>(65, {kSessions, kOn}), ""},
      {"nothing new", true, {}, ""},
  };
  DropFollower follower(kSessions | kSessionConfig);
  follower.catch_up(false, [] {}, [](const std::array<uint32_t, 6>&) {});  // past what came before
  for (const auto& step : steps) {
    SCOPED_TRACE(step.what);
    for (const RecordChange& c : step.noted) note_changes(c.changes, c.key);
    std::string dropped;
    follower.catch_up(
        step.holding, [&] { dropped += "all "; },
        [&](const std::array<uint32_t, 6>& key) { dropped += std::to_string(key[3]) + " "; });
    EXPECT_EQ(dropped, step.dropped);
  }
}

}  // namespace
}  // namespace tavo::command
