// The tree starts and stops the back end through hooks that the back end
// registers, so the tree never names the layers above it. TAVO_init is the
// back end's (backend/hooks.cpp): a program that calls it links the back
// end and its registration, even from the static archive.
#pragma once

#include <stdint.h>

namespace tavo::tree {

struct BackendHooks {
  uint32_t (*start)(void);  // after ROOT is built; 0 on success
  void (*stop)(void);       // before the tree is deleted
  // A public call finds that another process changed the root since the
  // tree last followed it (base/root_gate.h): the tree follows it first.
  void (*follow_root)(void) = nullptr;
};

// Without a start hook no tree is built: the start fails, logged.
void set_backend_hooks(BackendHooks hooks);
BackendHooks backend_hooks();

// TAVO_init's work: a new client, and the tree built when there is none.
uint32_t client_start(void);

}  // namespace tavo::tree
