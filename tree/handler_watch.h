// A watch on every handler the tree runs: the test program sets one to
// check that no request reaches a handler of a folder above the code
// asking. Null everywhere else, where it costs one load per handler run.
#pragma once

#include <atomic>

#include "tree/tree_internal.h"

namespace tavo::tree {

// Told the kind of run, the handler about to run and its node (the
// property, the action, or the refreshed group).
using HandlerWatch = void (*)(HandlerRun run, void (*handler)(), TavoNode* node);
extern std::atomic<HandlerWatch> handler_watch;

template <typename Handler>
inline void watch_handler(HandlerRun run, Handler handler, TavoNode* node) {
  if (const HandlerWatch watch = handler_watch.load(std::memory_order_relaxed))
    watch(run, reinterpret_cast<void (*)()>(handler), node);
}

}  // namespace tavo::tree
