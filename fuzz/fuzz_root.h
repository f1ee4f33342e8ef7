// What every fuzz target starts from: a simulated host without adapters in
// a fresh directory below $TMPDIR (/tmp without it), which TAVO_ROOT names:
// a fuzzer run by hand leaves nothing in the checkout.
#pragma once

#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "simulator/simulator.h"

inline std::string fuzz_install_root() {
  const char* tmp = getenv("TMPDIR");
  std::string root = std::string(tmp && *tmp ? tmp : "/tmp") + "/tavo-fuzz-XXXXXX";
  if (mkdtemp(root.data()) == nullptr) abort();
  setenv("TAVO_ROOT", root.c_str(), 1);
  const std::string topology = root + "/topology.txt";
  if (FILE* f = fopen(topology.c_str(), "w")) fclose(f);
  if (tavo::sim::install(topology, root) == nullptr) abort();
  return root;
}
