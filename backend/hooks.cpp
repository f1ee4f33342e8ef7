// Joins the tree and the transport as the library loads: the tree starts
// and stops the back end, and a changed NIC function set rebuilds the tree.
#include "backend/backend.h"
#include "transport/nic_set_check.h"
#include "tree/api_guard.h"
#include "tree/backend_hooks.h"

namespace {

const bool hooks_registered = [] {
  tavo::tree::set_backend_hooks({backend_init, backend_exit});
  tavo::transport::set_nic_set_changed_hook(tavo::tree::request_rebuild);
  return true;
}();

}  // namespace
