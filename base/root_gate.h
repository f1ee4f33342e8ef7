// The gate between the processes that share a root: a daemon, the host's
// iSCSI framework and one-shot commands. Each library call holds, for its
// whole length, an fcntl lock on one file of the library's own beside the
// saved configuration (the outermost hold of the library lock takes it), so
// the calls of processes on one root run one after another, as those of
// one process's threads do. A process killed in a call lets it go.
//
// The file also keeps a count of changes, which a call raises before it
// first changes a saved file or the adapter's targets and sessions. A
// process that finds the count moved at its next call knows that another
// changed them meanwhile: whatever it keeps of either stands only while
// root_epoch() does.
//
// A root the process may not write (read-only) is gated by a shared lock:
// readers wait for a writer's call to end, and write nothing. A root whose
// configuration folder cannot hold the file runs ungated.
#pragma once

#include <stdint.h>

namespace tavo::base {

// Rises each time a call finds that another process changed the saved
// files or the adapter since this process last looked, or that the root
// is another one.
uint64_t root_epoch();

// Called before a change of a saved file or of the adapter's targets and
// sessions: the first of a call raises the shared count.
void note_root_change();

// The gate, taken by the outermost hold of the library lock and let go
// with it.
void enter_root_gate();
void leave_root_gate();

}  // namespace tavo::base
