// What the benchmarks share: a simulated host in a scratch root, a tree
// built around a benchmark group, and topologies of a given size.
#pragma once

#include <stdint.h>

#include <functional>
#include <string>

#include "tree/tree.h"

namespace tavo::bench {

// Installs a simulator over the topology text in a fresh scratch root
// (removed at exit) and points TAVO_ROOT at it. Its adapters keep their
// state in this process only, not under the root, unless under_root (as a
// user's process keeps them).
void use_topology(const std::string& topology_text, bool under_root = false);

// N controllers of the default kind (CV3), each with two NIC and two iSCSI
// functions.
std::string controllers_topology(int controllers);

// A tree whose start builds ROOT/BenchParent (instead of the back end): its
// action AddChild makes a persistent BenchChild<n> with a read/write
// property Value. open_tree/close_tree are TAVO_init/TAVO_exit.
void open_bench_tree();
void close_tree();
// Back to the library's own back end.
void restore_backend();

TavoNode* bench_parent();
// Runs AddChild through the public call; the new child's tag.
uint32_t add_child();
uint32_t tag_of(TavoNode* group, const char* name, uint32_t kind);
// An action's block of parameter texts: the first two as given (null: not
// given), every other one not given.
void action_params(char* params, const char* first = nullptr, const char* second = nullptr);

// The calls the library made of the simulated host so far: file calls
// and device requests, each a system call on a real host.
uint64_t host_calls();

// The calls a case measures in instructions go through here, and only
// they: tools/run-bench has callgrind count inside this function alone
// (--toggle-collect) and divides by its calls. Answers call's result.
uint32_t measured_call(const std::function<uint32_t()>& call);

}  // namespace tavo::bench
