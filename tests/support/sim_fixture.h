// Test support: every test runs against a simulated host in a fresh
// temporary root below $TMPDIR (the build tree), never the real host.
#pragma once

#include <errno.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "simulator/simulator.h"

namespace tavo::test {

// Creates a fresh directory below $TMPDIR; removes it (recursively) on
// destruction.
class TempRoot {
 public:
  TempRoot();
  ~TempRoot();
  TempRoot(const TempRoot&) = delete;
  TempRoot& operator=(const TempRoot&) = delete;
  const std::string& path() const { return path_; }
  // Path of a fixed host path inside the root.
  std::string at(const std::string& fixed) const { return path_ + fixed; }

 private:
  std::string path_;
};

// File helpers for assertions.
std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& content);
bool file_exists(const std::string& path);

// The root made read-only for this process alone: a read-only bind mount
// of it in a mount namespace of its own, or (read_only_files) its files
// and folders without write permission, the override of permissions
// dropped. False when the way cannot be had here.
bool root_read_only(const std::string& root, bool bind_mount);
// Every file and folder below root without write permission; answers what
// puts them back.
std::function<void()> read_only_files(const std::string& root);

// A fixture with a simulated host over a topology ("default", or topology
// text) in a fresh root; TAVO_ROOT points at it for the test's duration.
class SimTest : public ::testing::Test {
 protected:
  explicit SimTest(std::string topology = "default") : topology_(std::move(topology)) {}
  void SetUp() override;
  void TearDown() override;
  // Replaces the simulator with one over the given topology text.
  void reinstall_with(const std::string& topology_text);
  // The exit status of a child process that runs op with the fault
  // injected (0: op ran to its end; sim::kCrashExitCode: the fault ended it).
  // What the child did to the simulated adapters is undone after it, here
  // and in the calls below, unless adapters_stay (restore() then undoes it).
  int in_child(const sim::Fault& fault, const std::function<void()>& op, bool adapters_stay = false);
  // Runs op in a child killed, then with the power cut, at each of its file
  // calls under path in turn, each from the state restore() sets, until op
  // runs to its end, and check(status, cut) after each run (cut tells where
  // it was cut). Answers the fewest file calls op made under either fault.
  int at_every_file_call(const std::string& path, const std::function<void()>& restore,
                         const std::function<void()>& op,
                         const std::function<void(int status, const std::string& cut)>& check,
                         bool adapters_stay = false);
  // The same at each request to the firmware that may change the adapters
  // (killed as it arrives, before the firmware sees it), path unused: one
  // cut more than the requests op sent.
  int at_every_command(const std::function<void()>& restore, const std::function<void()>& op,
                       const std::function<void(int status, const std::string& cut)>& check,
                       bool adapters_stay = false);
  // The same, expecting state() to read after, or before when op was cut
  // short.
  int old_or_new_at_every_file_call(const std::string& path, const std::function<void()>& restore,
                                    const std::function<void()>& op, const std::function<std::string()>& state,
                                    const std::string& before, const std::string& after,
                                    bool adapters_stay = false);

  // The I/O faults every save is tried under: EIO and ENOSPC from each
  // kind of file call a save makes under path (and from any of them), and
  // writes that store half, each at the first, the second and every such
  // call.
  struct IoFault {
    std::string name;
    sim::Fault fault;
  };
  static std::vector<IoFault> io_faults(const std::string& path);
  // Runs op in a child under each of io_faults(path) in turn, each from the
  // state restore() sets, and takes state() in the child once op answered
  // (the faults cleared): an answer of 0 must leave after, a failure
  // before. after is what op leaves without a fault. Answers the number of
  // cases op failed in.
  int true_answer_under_io_faults(const std::string& path, const std::function<void()>& restore,
                                  const std::function<uint32_t()>& op, const std::function<std::string()>& state,
                                  const std::string& before, const std::string& after);
  // op's answer and state() after it, from a child under the fault.
  std::pair<uint32_t, std::string> answer_in_child(const sim::Fault& fault, const std::function<uint32_t()>& op,
                                                   const std::function<std::string()>& state);
  // The text run answers in a child process that runs as a process of its
  // own on the root: what it does to the adapters stays.
  std::string in_process(const std::function<std::string()>& run);
  // A fault that matches no call.
  static sim::Fault no_fault();
  // A file call (call "" any) under path that fails with err, times times
  // (-1 always).
  static sim::Fault file_errno(const std::string& call, const std::string& path, int times = -1, int err = EIO);

  TempRoot root_;
  sim::Simulator* sim_ = nullptr;

 private:
  std::string topology_;
};

}  // namespace tavo::test
