// restore_hm replaying arbitrary record streams into the fuzzers' small tree
// (fuzz/fuzz_tree.h), end to end. Each input gets a freshly built tree.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "base/debug_log.h"
#include "fuzz/fuzz_root.h"
#include "fuzz/fuzz_tree.h"
#include "tree/backend_hooks.h"
#include "tree/persist.h"

namespace {

std::string fuzz_root;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // No adapter: the fuzzer's own controller groups stand alone under ROOT.
  fuzz_root = fuzz_install_root();
  // The tree alone: the back end's start would only cost time per input.
  tavo::tree::set_backend_hooks({[] { return 0u; }, nullptr});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (TAVO_init() != 0) abort();
  fuzz_tree::build_controllers();
  FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "r");
  if (f != nullptr) {
    restore_hm(f);
    fclose(f);
  }
  // What was replayed saves again without harm.
  char* out = nullptr;
  size_t out_size = 0;
  FILE* saved = open_memstream(&out, &out_size);
  if (saved != nullptr) {
    save_node(get_node(0), saved, 3);
    fclose(saved);
    free(out);
  }
  TAVO_exit();
  // A replayed TAVODebugLevel must not fill the disk over a long run.
  tavo_debug_level = 0;
  TAVO_set_debug_level();
  unlink((fuzz_root + "/var/log/QVL/tavo/tavo2d.log").c_str());
  return 0;
}
