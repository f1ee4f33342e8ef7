// Link reconfiguration of a Moravel adapter: the port layout it runs and
// the one it runs after its next power cycle, the layouts it offers, and
// the choice of one for then.
#include <stdio.h>
#include <string.h>

#include "nic/profile_internal.h"
#include "transport/commands.h"
#include "transport/glob.h"

using namespace tavo::nic;
using tavo::LinkReconfigRecord;

namespace {

void link_id(TavoNode* group, const char* name, uint8_t id) {
  if (id == 0)
    set_prop_val(group, name, "N/A");
  else
    set_prop_val(group, name, "%d", id);
}

// SetLinkConfigID (factory false: the parameter's id) and
// SetLinkConfigFactoryDefaults.
uint32_t link_set(TavoNode* group, TavoNode* action, const char* params, bool factory) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", factory ? "do_SetLinkConfigFactoryDefaults" : "do_SetLinkConfigID");
  if (vm_flag) return tavo::controller::refuse_on_vf(nullptr);
  TavoNode* controller = group != nullptr ? named(group->parent, "Corvane") : nullptr;
  if (action == nullptr || controller == nullptr || (!factory && params == nullptr)) return 1;
  switch (profile_support(controller)) {
    case ProfileSupport::Unreadable:
      return 1;
    case ProfileSupport::NotSupported:
      nic_status(333);
      return 1;
    default:
      break;
  }
  const HandlerContext fn = handler_context(action);
  if (!fn) return 1;
  tavo::LinkReconfigRequest request{};
  long long id = 0;
  if (factory)
    request.flags = tavo::kFactoryDefault;
  else if (parse_id(params, &id))
    request.id = static_cast<uint8_t>(id);
  else
    return 1;
  return change_and_rebuild(controller, 334, [&] {
    return ioctl_set_link_reconfig(fn.number, &request, fn.domain, fn.port,
                                   tavo::controller::controller_instance(controller));
  });
}

}  // namespace

uint32_t TAVO_get_link_reconfig_details(TavoNode* controller, uint8_t ids_only) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  TavoNode* group = controller != nullptr ? internal_get_node(controller, "LinkReconfiguration", TAVO_KIND_GROUP)
                                          : nullptr;
  if (group == nullptr) return 1;
  switch (profile_support(controller)) {
    case ProfileSupport::Unreadable:
      return 1;
    case ProfileSupport::NotSupported:
      set_prop_val(group, "ActiveLinkConfigID", "N/A");
      return 1;
    default:
      break;
  }
  const HandlerContext fn = handler_context(controller, Commands::OfController);
  if (!fn) return 1;
  auto record = tavo::base::counted_zeroed<LinkReconfigRecord>();
  if (!record) {
    tavo::controller::controller_status(31);
    return 1;
  }
  if (ioctl_get_link_reconfig(fn.number, record.get(), sizeof(LinkReconfigRecord), fn.domain, fn.port,
                              tavo::controller::controller_instance(controller)) != 0) {
    nic_status(332);
    return 1;
  }
  link_id(group, "ActiveLinkConfigID", record->active_id);
  link_id(group, "ConfiguredLinkConfigID", record->next_id);
  if (ids_only == 1) return 0;
  const uint32_t count = record->count < tavo::kLinkConfigEntries ? record->count : tavo::kLinkConfigEntries;
  for (uint32_t i = 0; i < count; ++i) {
    const tavo::LinkConfigDescriptor& entry = record->entries[i];
    TavoNode* config = initialize_LinkConfig(group, nullptr, nullptr, nullptr);
    if (config == nullptr) {
      pdebug(TAVO_LOG_BACKEND, 3, "%s:Failed to initialize link_config.\n", __func__);
      return 1;
    }
    set_prop_val(config, "LinkConfigID", "%d", entry.id);
    set_prop_val(config, "LinkConfigDescription", "%.*s", static_cast<int>(sizeof entry.description),
                 entry.description);
  }
  return 0;
}

uint32_t handle_ConfiguredLinkConfigID(TavoNode* property, char* buf, uint32_t) {
  static constexpr const char* kLevels[] = {"LinkReconfiguration", "Corvane"};
  TavoNode* levels[2];
  uint32_t result = 0;
  if (buf == nullptr || !groups_above(property, kLevels, levels)) return 1;
  if (!profiles_apply(levels[1], property, TAVO_PROPERTY_GET, "N/A", buf, &result)) return result;
  if (TAVO_get_link_reconfig_details(levels[1], 1) != 0) return 1;
  return answer_stored(property, buf);
}

uint32_t do_SetLinkConfigID(TavoNode* group, TavoNode* action, char* params) {
  return link_set(group, action, params, false);
}

uint32_t do_SetLinkConfigFactoryDefaults(TavoNode* group, TavoNode* action, char* params) {
  return link_set(group, action, params, true);
}
