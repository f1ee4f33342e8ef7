// Start and stop of the back end: devices, enumeration, the loaders of
// every live controller, and the release of what the groups hold.
#include <string.h>
#include <strings.h>

#include <initializer_list>
#include <iterator>

#include "backend/backend.h"
#include "base/file_utils.h"
#include "base/last_status.h"
#include "base/status_registry.h"
#include "controller/controller.h"
#include "firmware/firmware.h"
#include "base/read_scope.h"
#include "iscsi/common/record_reads.h"
#include "iscsi/common/saved_view.h"
#include "iscsi/sessions/sessions.h"
#include "iscsi/target_data/node_index.h"
#include "iscsi/targets/targets.h"
#include "nic/channels.h"
#include "nic/nic.h"
#include "port/config_prof.h"
#include "port/port.h"
#include "transport/commands.h"
#include "transport/devices.h"
#include "transport/glob.h"

using tavo::tree::next_instance;

namespace {

// Shown as "%d.%d.%d.%d" and "%d.%d".
constexpr int kServiceVersion[] = {1, 0, 99, 0};
constexpr int kHierarchyVersion[] = {10, 6};
static_assert(std::size(kServiceVersion) == 4 && std::size(kHierarchyVersion) == 2);

// A start-up step that fails leaves its part of the tree empty, not its
// status: the reason goes to the log and the status is cleared, so a start
// that succeeds answers with no failure behind it.
void backend_settle(const char* step) {
  uint32_t code = 0;
  char text[TAVO_STATUS_TEXT_SIZE] = "";
  tavo_get_last_status(&code, text);
  if (code == 0) return;
  pdebug(TAVO_LOG_BACKEND, 4, "%s: %s left status %u: %s\n", "backend_init", step, static_cast<unsigned>(code), text);
  tavo::base::clear_last_status();
}

// Everything start-up loads for a controller whose firmware is alive. A
// loader that fails leaves its part empty.
void backend_load_controller(TavoNode* controller) {
  struct Loader {
    const char* name;
    void (*load)(TavoNode*);
  };
  static constexpr Loader kLoaders[] = {
      {"TAVO_get_all_eventlog", [](TavoNode* c) { TAVO_get_all_eventlog(c); }},
      {"TAVO_list_available_profiles", [](TavoNode* c) { TAVO_list_available_profiles(c); }},
      {"TAVO_get_active_profiles", [](TavoNode* c) { TAVO_get_active_profiles(c); }},
      {"TAVO_get_configured_profiles", [](TavoNode* c) { TAVO_get_configured_profiles(c); }},
      {"TAVO_get_link_reconfig_details", [](TavoNode* c) { TAVO_get_link_reconfig_details(c, 0); }},
      {"TAVO_get_port_discovery_config", [](TavoNode* c) { TAVO_get_port_discovery_config(c); }},
      {"TAVO_extfat_modules", [](TavoNode* c) { TAVO_extfat_modules(c); }},
      {"TAVO_get_ncsi_attributes",
       [](TavoNode* c) {
         // The function and port arguments are not used.
         if (TavoNode* ncsi = internal_get_node(c, "NCSI", TAVO_KIND_GROUP))
           TAVO_get_ncsi_attributes(0, 0, ncsi, ncsi, 0, 1);
       }},
      {"TAVO_update_oem_props", [](TavoNode* c) { TAVO_update_oem_props(c); }},
      {"TAVO_update_available_personalities", [](TavoNode* c) { TAVO_update_available_personalities(c); }},
      {"TAVO_update_current_personality", [](TavoNode* c) { TAVO_update_current_personality(c); }},
      {"TAVO_update_diagnostics_prop", [](TavoNode* c) { TAVO_update_diagnostics_prop(c); }},
      {"TAVO_update_cntr_additional_attribs", [](TavoNode* c) { TAVO_update_cntr_additional_attribs(c); }},
  };
  for (const Loader& l : kLoaders) {
    l.load(controller);
    backend_settle(l.name);
  }
}

// The status of the call that started the back end (cleared by TAVO_init; a
// rebuild runs after another call and must not overwrite what it left).
class BackendKeepStatus {
 public:
  BackendKeepStatus() {
    tavo_get_last_status(&code_, text_);
    tavo::base::clear_last_status();
  }
  ~BackendKeepStatus() {
    if (tavo::base::last_status_code() == 0 && code_ != 0) tavo_set_last_status(code_, text_);
  }
  BackendKeepStatus(const BackendKeepStatus&) = delete;
  BackendKeepStatus& operator=(const BackendKeepStatus&) = delete;

 private:
  uint32_t code_ = 0;
  char text_[TAVO_STATUS_TEXT_SIZE] = "";
};

}  // namespace

uint32_t backend_init(void) {
  BackendKeepStatus keep;
  pdebug(TAVO_LOG_BACKEND, 6, "TAVOServiceVersion   = %d.%d.%d.%d\n", kServiceVersion[0], kServiceVersion[1],
         kServiceVersion[2], kServiceVersion[3]);
  pdebug(TAVO_LOG_BACKEND, 6, "TAVOHierarchyVersion = %d.%d\n", kHierarchyVersion[0], kHierarchyVersion[1]);
  memset(tavo_glob.port_bitmap, 0, sizeof tavo_glob.port_bitmap);
  memset(tavo_glob.protocol_bits, 0, sizeof tavo_glob.protocol_bits);
  tavo_glob.version_flag = 0;
  TAVO_config_dir_permssions();
  backend_settle("TAVO_config_dir_permssions");
  TAVO_save_file_configuration();
  backend_settle("TAVO_save_file_configuration");
  tavo_glob.iscsi_valid_hba = os_get_port_instances(tavo_glob.iscsi_handles, TAVO_MAX_FUNCTIONS);
  tavo_glob.nic_valid_hba = os_get_nic_port_instances(tavo_glob.nic_handles, TAVO_MAX_FUNCTIONS);
  // The NIC device is opened again for each of its requests.
  os_put_nic_port_instances(tavo_glob.nic_handles, TAVO_MAX_FUNCTIONS);
  pdebug(TAVO_LOG_BACKEND, 6, "%s:iscsi_valid_hba = %d\n", __func__, tavo_glob.iscsi_valid_hba);
  pdebug(TAVO_LOG_BACKEND, 6, "%s:nic_valid_hba = %d\n", __func__, tavo_glob.nic_valid_hba);
  if (tavo_glob.iscsi_valid_hba == 0 && tavo_glob.nic_valid_hba == 0) {
    pdebug(TAVO_LOG_BACKEND, 2, "%s:Tessmark Adapter Not Found.\n", __func__);
    tavo::backend::backend_status(313);
    return 0;
  }
  // iSCSI first: a controller found by both walks takes its identity from
  // an iSCSI function.
  TAVO_enumerate_iscsi_functions();
  backend_settle("TAVO_enumerate_iscsi_functions");
  TAVO_enumerate_nic_functions();
  backend_settle("TAVO_enumerate_nic_functions");
  set_port_bitmap();
  backend_settle("set_port_bitmap");
  // The profile loaders write config_prof.txt afresh, replaced once at the
  // end so that a start-up cut short leaves it as it was.
  tavo::port::config_prof_startup_begin();
  TavoNode* root = get_node(0);
  for (TavoNode* c = get_first_instance(root, "Corvane"); c != nullptr; c = next_instance(c)) {
    char status[TAVO_VALUE_SIZE] = "";
    internal_get_property(c, "ControllerStatus", status);
    backend_settle("ControllerStatus");
    if (strcasecmp(status, "Dead") == 0) continue;
    backend_load_controller(c);
  }
  tavo::port::config_prof_startup_end();
  backend_settle("config_prof_startup_end");
  set_prop_val(root, "TAVOServiceVersion", "%d.%d.%d.%d", kServiceVersion[0], kServiceVersion[1], kServiceVersion[2],
               kServiceVersion[3]);
  set_prop_val(root, "TAVOHierarchyVersion", "%d.%d", kHierarchyVersion[0], kHierarchyVersion[1]);
  TAVO_set_lhba_prop();
  backend_settle("TAVO_set_lhba_prop");
  return 0;
}

void backend_exit(void) {
  tavo::sessions::drop_finished_notes();
  TAVO_free_all_node_handles();
  tavo::iscsi::drop_saved_views();
  // What the branches keep of the tree and the firmware goes with it.
  tavo::base::release_kept_reads();
  tavo::sessions::release_session_stores();
  tavo::target_data::release_target_names();
  os_put_port_instances(tavo_glob.iscsi_handles, TAVO_MAX_FUNCTIONS);
  os_put_nic_port_instances(tavo_glob.nic_handles, TAVO_MAX_FUNCTIONS);
}

// Every group below a function may hold a record (the function's own
// handle, its interface record, sessions, connections, LUNs): all are
// freed and their slots cleared, so nothing is freed twice.
uint32_t TAVO_free_all_node_handles(void) {
  for (TavoNode* c = get_first_instance(get_node(0), "Corvane"); c != nullptr; c = next_instance(c)) {
    for (const char* kind : {"NICPhysicalHBA", "iSCSIPhysicalHBA"})
      for (TavoNode* fn = get_first_instance(c, kind); fn != nullptr; fn = next_instance(fn))
        tavo::tree::release_handles_within(fn);
  }
  return 0;
}

uint32_t TAVO_set_config_signature(uint32_t function_number, uint32_t controller_instance) {
  tavo::ConfigSignature record{};
  record.signature = tavo::kConfigSignature;
  return ioctl_set_config_sign(function_number, &record, 0, 0, controller_instance);
}
