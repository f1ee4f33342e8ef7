// Joins the layers as the library loads: the tree starts and stops the back
// end, a changed NIC function set rebuilds the tree, and the configuration
// directory's set-up checks the saved iSCSI files. TAVO_init is defined
// here so that every program that starts the library links this file.
#include "backend/backend.h"
#include "base/file_utils.h"
#include "iscsi/targets/targets.h"
#include "transport/nic_set_check.h"
#include "tree/api_guard.h"
#include "tree/backend_hooks.h"

namespace {

const bool hooks_registered = [] {
  tavo::tree::set_backend_hooks({backend_init, backend_exit, tavo::targets::follow_saved_files});
  tavo::transport::set_nic_set_changed_hook(tavo::tree::request_rebuild);
  tavo::files::set_saved_files_check(TAVO_check_for_corrupted_database);
  return true;
}();

}  // namespace

uint32_t TAVO_init(void) { return tavo::tree::client_start(); }
