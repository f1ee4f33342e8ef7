// What the NIC branch's tests share: faults of one kind, the branch's
// status texts and the shell command lines the simulated host ran.
#pragma once

#include <string>
#include <vector>

#include "nic/nic_internal.h"
#include "tests/support/client_fixture.h"

namespace tavo::test {

inline sim::Fault nic_fault(sim::FaultKind kind, long request = sim::kAny, int times = 1) {
  sim::Fault f;
  f.kind = kind;
  f.request = request;
  f.times = times;
  return f;
}

// The code with the text registered for it.
inline std::pair<uint32_t, std::string> nic_status_text(uint32_t code) {
  const char* text = base::status_text(code);
  return {code, text != nullptr ? text : "<no text>"};
}

inline std::vector<std::string> shell_lines(const sim::Simulator& sim) {
  std::vector<std::string> lines;
  for (const sim::LogEntry& e : sim.log())
    if (e.kind == sim::LogKind::Shell) lines.push_back(e.command);
  return lines;
}

}  // namespace tavo::test
