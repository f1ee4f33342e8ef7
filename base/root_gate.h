// The gate between the processes that share a root: a daemon, the host's
// iSCSI framework and one-shot commands. It is an fcntl lock on the first
// byte of the library's own file beside the saved configuration,
// libtavo.lock, taken by the outermost hold of the library lock. Waiters
// take turns by the tickets of a page apart from the file.
//
// The page, shared memory keyed by the configuration folder, also keeps a
// count of changes, which a call raises before it first changes a saved
// file or the adapter's targets and sessions, and which every process
// reads without a system call. A process that finds the count moved (or
// the page another) knows that another changed the root meanwhile: the
// gate then runs every keeper's catch-up (set_root_followers), and nothing
// else reads the count.
//
// A call that may change the root holds the gate exclusively for its whole
// length. A call that reads takes none while the count stands where this
// process last saw it (its picture of the root is current; the names of
// the file and the page are looked at again once a second), and a shared
// hold while it catches up with another's change, so readers never exclude
// each other. A process killed in a call lets the gate go; one killed in
// the middle of a change leaves a mark naming that change, which the next
// call to hold the gate exclusively settles (root_change_cut).
//
// No call waits without bound: one that cannot have the gate within
// root_gate_wait_ms() fails with kRootBusy, naming the holder. A root whose
// configuration folder cannot hold the file at all (read-only without it)
// runs ungated, and says so (tell_gate_at_start); a file at the gate's name
// that is not the library's own (a link, a folder, a FIFO, another
// owner's) fails every call with kRootGateForeign. Where no page can be
// had, every call follows the root as if it had moved.
#pragma once

#include <stdint.h>

#include <span>
#include <string>
#include <vector>

#include "base/status_registry.h"
#include "tavo/tavo.h"

namespace tavo::base {

// What a call does with the root, told by its outermost hold of the
// library lock.
enum class RootUse : uint8_t {
  Change,  // may change a saved file or the adapter
  Read,    // reads
};

// The statuses of a call that could not have the gate.
extern const StatusFormat<unsigned, const char*, const char*> kRootBusy;
extern const StatusFormat<const char*, const char*> kRootGateForeign;
// A call that reads, then found it must change the root after another
// process changed it since the call began.
inline constexpr uint32_t kRootMovedInCall = TAVO_ROOT_MOVED_IN_CALL;
// What TAVO_init leaves when calls go ungated, or the wait setting is not
// used (the answer stays 0).
extern const StatusFormat<const char*, const char*> kRootNotGated;
extern const StatusFormat<const char*, unsigned> kGateWaitIgnored;

// How a keeper of state across calls catches up when a call finds that
// another process changed the saved files or the adapter since this
// process last looked, or that the root is another one. Run by the gate at
// that moment, under the library lock, maybe in the middle of a call: it
// only drops or marks what it keeps (read again when next wanted), takes
// no other lock that a caller may hold and frees nothing a caller may be
// using.
using RootFollower = void (*)();
// The keepers, registered once as the library loads by the layer that
// joins them all (backend/hooks.cpp lists them); the span must outlive
// its use.
void set_root_followers(std::span<const RootFollower> followers);
std::span<const RootFollower> root_followers();

// Called before a change of a saved file or of the adapter's targets and
// sessions: the first of a call raises the shared count. A call that reads
// takes the gate for the change here. False when the change may not be
// made (the status in the last status): the call could not have the gate,
// or it reads and another process changed the root since it began.
bool note_root_change();

// 0 while the call may go on; else the status of a gate it could not have,
// left in the last status again.
uint32_t root_gate_refusal();

// Whether a change was cut short (its process killed) and is not settled
// yet: what it left half-done is for this call's catch-up to settle, under
// the gate held exclusively. Answered true once; the mark goes when the
// call lets the gate go.
bool root_change_cut();

// Leaves in the last status what a start says of the gate: kGateWaitIgnored
// when TAVO_GATE_WAIT_MS is not used, kRootNotGated when calls go ungated
// on this root; false then.
bool tell_gate_at_start();

// The longest wait for the gate, in milliseconds: what TAVO_GATE_WAIT_MS
// says when it is a whole number from 0 to 86400000, else 60 seconds.
unsigned root_gate_wait_ms();

// The gate, taken by the outermost hold of the library lock and let go
// with it.
void enter_root_gate(RootUse use);
void leave_root_gate();
// The file goes when the call ends (the last client left): a next start
// looks at the root afresh.
void close_root_gate();
// A child process starts holding no gate (the kernel gives it no lock).
void forget_root_gate_in_child();
// The id of the page this process holds (shared memory), -1 when none.
int root_page_id();
// Drops the mark of a change cut short, unsettled: for tests that put the
// files back as they were before that change.
void drop_cut_mark();
// The ids of the pages at the keys of the root (a folder's path, "" for
// the host's own).
std::vector<int> root_pages(const std::string& root);
// Removes the root's pages once no process holds them: a root that goes
// (tests' temporary ones).
void remove_root_page(const std::string& root);

// Lets the gate go while a call waits on a device (a flash), so that
// other processes' calls go on; take_back takes it again as the call held
// it. The call holds the library lock throughout, and must not have left
// a change half-made when it lets go.
class RootGateLetGo {
 public:
  RootGateLetGo();
  ~RootGateLetGo() { take_back(); }
  RootGateLetGo(const RootGateLetGo&) = delete;
  RootGateLetGo& operator=(const RootGateLetGo&) = delete;
  // 0, or the refusal status. A change another process made meanwhile is
  // followed as at the start of a call.
  uint32_t take_back();

 private:
  bool let_go_ = false;
  RootUse use_ = RootUse::Change;
};

// One flash at a time among the processes on the root, held across a
// RootGateLetGo: a lock on the gate file's second byte. A flash reads an
// image that another download of the same name would write over. It is
// never waited for with the gate held (the holder lets the gate go while
// it flashes, and needs it back): take() waits with the gate let go.
class RootFlashLock {
 public:
  // Taken when it is free.
  RootFlashLock();
  ~RootFlashLock();
  RootFlashLock(const RootFlashLock&) = delete;
  RootFlashLock& operator=(const RootFlashLock&) = delete;
  // Whether the lock was free (or the root is ungated).
  bool held() const { return held_; }
  // Waits for it within the gate's wait, the gate let go meanwhile (the
  // caller takes it back): 0, or the status of a wait that ran out.
  uint32_t take();

 private:
  int fd_ = -1;
  bool held_ = false;
};

}  // namespace tavo::base
