// Joins the layers as the library loads: the tree starts and stops the back
// end, a changed NIC function set rebuilds the tree, the configuration
// directory's set-up checks the saved iSCSI files, and every keeper of
// state across calls follows another process's change of the root. TAVO_init
// is defined here so that every program that starts the library links this
// file.
#include "backend/backend.h"
#include "base/file_utils.h"
#include "base/root_gate.h"
#include "iscsi/common/saved_view.h"
#include "iscsi/sessions/sessions.h"
#include "iscsi/targets/targets.h"
#include "port/config_prof.h"
#include "transport/nic_set_check.h"
#include "tree/api_guard.h"
#include "tree/backend_hooks.h"
#include "tree/state_changes.h"

namespace {

// Everything that keeps state across calls and must follow another
// process's change of the saved files or the adapter (base/root_gate.h),
// and how: the gate runs each when it finds the root's change count moved,
// or the root is another one. Whatever else a process keeps across calls
// is its own, or checked against its file at each use (a file's identity,
// config_prof.txt's held edits).
constexpr tavo::base::RootFollower kRootFollowers[] = {
    // The tree's count of changes moves, so what a branch read before
    // stands no more (the iSCSI records read between calls, the index of
    // Targets by name); the next outermost call re-reads the saved files
    // and the adapter into the built targets (targets::follow_saved_files)
    // and settles what a process killed in a change left.
    tavo::tree::root_changed,
    // The saved files' views: read whole at their next refresh.
    tavo::iscsi::reread_saved_views,
    // What this process knows of the pending sessions' notes: read again
    // before its next note.
    tavo::sessions::forget_known_notes,
    // Targets still waiting: built from the files and the adapter as they
    // are, not from what start-up read; the qualifiers of their sessions
    // follow the firmware's list.
    tavo::sessions::outdate_waiting_sessions,
    // The config_prof.txt lines a start could not write: the file's are
    // read again, and changed, in their place.
    tavo::port::config_prof_follow_root,
};

const bool hooks_registered = [] {
  tavo::base::set_root_followers(kRootFollowers);
  tavo::tree::set_backend_hooks({backend_init, backend_exit, tavo::targets::follow_saved_files});
  tavo::transport::set_nic_set_changed_hook(tavo::tree::request_rebuild);
  tavo::files::set_saved_files_check(TAVO_check_for_corrupted_database);
  return true;
}();

}  // namespace

uint32_t TAVO_init(void) { return tavo::tree::client_start(); }
