// The climb watch: whether a request reaches a handler of a folder above
// the branch asking. At each handler the tree runs, the stack is read and
// each return address placed in the folder of the source its object was
// built from (the program's code map, tests/support/code_map.awk). The
// frames of the branches and the back end are kept, innermost first:
//   - the handler climbs when the nearest of them is a branch before the
//     handler's folder in cmake/layers.txt: that branch asked for it,
//     through the tree;
//   - an action's handler that a branch before it called through the
//     action's descriptor, without the tree, climbed too; it is seen from
//     a handler it runs in turn. A lambda a folder hands down and is
//     called back is no climb: the folder above asked.
// A handler's folder is its own code's, not the folder of the table that
// lists it: that is the code that runs (Target's table in iscsi/targets
// lists handlers of iscsi/sessions). The folders below the branches (tree,
// base, transport...) never ask, nor does a function that only hands its
// caller's read on (iscsi::read_text: the caller asks); code several
// objects share (inline functions, templates) counts for none, inlined
// code for its caller. The tests' own code counts only while it stands for
// a branch (StandingFor), which is how a climb is planted.
#pragma once

#include <string>
#include <vector>

namespace tavo::test {

struct Climb {
  std::string asker;         // the branch whose code asked
  std::string entered;       // the folder of the code it reached
  std::string code;          // the handler (or function) entered, by name
  bool through_tree = true;  // false: called without the tree's dispatch
  std::string node;          // the handler's node, "Target.HeaderParam get"
  std::string asked_by;      // the asking function, and the ranked ones outwards
  std::string request;       // the outermost call into the library
  std::string test;          // "Suite.Name"
};

// Starts the watch (once for the program); "" when it watches, else why it
// cannot.
std::string start_climb_watch();

// Climbs seen while one lives are kept here, once each, and do not go to
// the run's log.
class ClimbRecording {
 public:
  ClimbRecording();
  ~ClimbRecording();
  ClimbRecording(const ClimbRecording&) = delete;
  ClimbRecording& operator=(const ClimbRecording&) = delete;
  std::vector<Climb> climbs() const;
};

// The folder of the code starting at code, as the watch places a handler;
// "" when the code map has it in none, or only as code several objects
// share.
std::string folder_of_code(void (*code)());

// While one lives, the tests' own code on this thread is code of folder.
class StandingFor {
 public:
  explicit StandingFor(const std::string& folder);
  ~StandingFor();
  StandingFor(const StandingFor&) = delete;
  StandingFor& operator=(const StandingFor&) = delete;
};

// A climb of today, to go when its read becomes a typed call: the branch
// asking, the code it reaches, and one test that shows it.
struct KnownClimb {
  const char* asker;
  const char* code;
  const char* witness;
};

// What the climbs of a run say against the known ones: each climb not
// known, and each known one whose witness ran and which no longer occurs.
// Empty when they agree.
std::vector<std::string> judge_climbs(const std::vector<KnownClimb>& known, const std::vector<Climb>& seen,
                                      const std::vector<std::string>& ran);

// The run's log: with TAVO_CLIMBS_LOG naming a directory, every process of
// the test program watches and writes there the climbs it sees and the
// tests it ran. read_climb_log answers both, each climb line once.
struct ClimbLog {
  std::vector<Climb> climbs;
  std::vector<std::string> ran;
};
ClimbLog read_climb_log(const std::string& directory);
// One line per climb, for a report.
std::string describe(const Climb& climb);

}  // namespace tavo::test
