// The tree starts and stops the back end through hooks that the back end
// registers when the library loads, so the tree never names the layers
// above it.
#pragma once

#include <stdint.h>

namespace tavo::tree {

struct BackendHooks {
  uint32_t (*start)(void);  // after ROOT is built; 0 on success
  void (*stop)(void);       // before the tree is deleted
};

// Without hooks the tree is ROOT alone.
void set_backend_hooks(BackendHooks hooks);
BackendHooks backend_hooks();

}  // namespace tavo::tree
