// The constructors of Targets and their portals that every step making one
// uses: a Target with its type and the controller's default ETO, a
// TargetPortal with its address, port and tag.
#include "base/library_lock.h"
#include "iscsi/common/record_reads.h"
#include "iscsi/common/software_initiator.h"
#include "iscsi/target_data/node_index.h"
#include "iscsi/targets/targets_internal.h"
#include "transport/commands.h"
#include "transport/firmware_records.h"
#include "transport/glob.h"
#include "transport/mailbox.h"
#include "tree/waiting.h"

using namespace tavo::targets;

namespace {

// The controller's attributes (32/1), for its default ETO: read once per
// request, however many targets it makes.
tavo::iscsi::RecordReads<tavo::ControllerAttributes>& setup_attribute_reads() {
  static tavo::base::NoDestructor<tavo::iscsi::RecordReads<tavo::ControllerAttributes>> kept(
      tavo::command::CommandId::ioctl_fetch_controller_attribs);
  return *kept;
}

// Stores the new target's type and ETO; false when one cannot be had.
bool setup_target_values(TavoNode* lhba, TavoNode* target, bool discovered) {
  if (set_prop_val(target, "TargetType", "%s", discovered ? "Discovered" : "Static") != 0) return false;
  if (OPEN_ISCSI_DRIVER_LOADED) return true;
  const tavo::tree::HandlerContext p = tavo::tree::handler_context(lhba);
  tavo::ControllerAttributes attributes{};
  if (!below_lhba(p) ||
      setup_attribute_reads().read({p.number, p.domain, p.port, 0, 0, 0}, nullptr, &attributes,
                                   [&](tavo::ControllerAttributes* read) {
                                     return ioctl_fetch_controller_attribs(p.number, read, p.domain, p.port,
                                                                           TAVO_VIA_ISCSI);
                                   }) != 0)
    return false;
  return set_prop_val(target, "ETO", "%u", attributes.default_eto) == 0;
}

}  // namespace

TavoNode* find_target(TavoNode* lhba, const char* name) {
  TAVO_LIBRARY_LOCK;
  TavoNode* found = tavo::target_data::built_target(lhba, name);
  // The Targets that wait are built when one of them may be the one.
  if (found == nullptr && tavo::targets::may_wait_named(lhba, name)) {
    tavo::tree::build_waiting(lhba, "Target");
    found = tavo::target_data::built_target(lhba, name);
  }
  return found;
}

TavoNode* setup_target(TavoNode* lhba, const char* name, TavoNode* creating_node, TavoNode* creating_action,
                       char* params, uint32_t discovered) {
  TAVO_LIBRARY_LOCK;
  if (lhba == nullptr || name == nullptr || find_target(lhba, name) != nullptr) return nullptr;
  return tavo::targets::new_target(lhba, name, creating_node, creating_action, params, discovered != 0);
}

TavoNode* tavo::targets::new_target(TavoNode* lhba, const char* name, TavoNode* creating_node,
                                    TavoNode* creating_action, char* params, bool discovered) {
  TavoNode* target = build_target(lhba, creating_node, creating_action, params);
  if (target == nullptr) {
    targets_status(156);
    return nullptr;
  }
  internal_set_property(target, "TargetISCSIName", name);
  if (!setup_target_values(lhba, target, discovered) ||
      internal_get_node(target, "TargetLoginOptions", TAVO_KIND_GROUP) == nullptr ||
      internal_get_node(lhba, "InitiatorLoginOptions", TAVO_KIND_GROUP) == nullptr) {
    delete_with_records(target);
    return nullptr;
  }
  return target;
}

TavoNode* setup_portal(TavoNode* target, const char* address, const char* port, const char* tag, TavoNode*, TavoNode*,
                       char*) {
  TAVO_LIBRARY_LOCK;
  if (target == nullptr || address == nullptr || port == nullptr || tag == nullptr) return nullptr;
  TavoNode* portal = initialize_TargetPortal(target, nullptr, nullptr, nullptr);
  if (portal == nullptr) return nullptr;
  // Shown in decimal, however the caller wrote it.
  if ((internal_set_property(portal, "TargetIPAddress", address) |
       internal_set_property(portal, "TargetPortNumber", decimal_port(port).c_str()) |
       internal_set_property(portal, "PortalGroupTag", tag)) != 0) {
    delete_node(portal);
    return nullptr;
  }
  return portal;
}
