// Targets and their portals: lookups, the constructors every other part
// uses, the target type kept in savetgt.txt and the persistence flag the
// firmware keeps.
#include <ctype.h>
#include <string.h>
#include <strings.h>

#include <memory>

#include "base/library_lock.h"
#include "iscsi/network/network.h"
#include "iscsi/common/record_reads.h"
#include "iscsi/common/software_initiator.h"
#include "iscsi/common/saved_view.h"
#include "iscsi/targets/targets_internal.h"
#include "transport/commands.h"
#include "transport/firmware_records.h"
#include "transport/glob.h"
#include "transport/mailbox.h"

using namespace tavo::targets;
using tavo::tree::instance_number;
using tavo::tree::next_instance;

namespace {

constexpr size_t kSessionListSize = tavo::kTargetBufferSize;

// The controller's attributes (32/1), for its default ETO: read once per
// request, however many targets it makes.
tavo::iscsi::RecordReads<tavo::ControllerAttributes>& setup_attribute_reads() {
  static tavo::iscsi::RecordReads<tavo::ControllerAttributes> kept;
  return kept;
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

// The stored name of a target (its property keeps the stored text); null
// without one. Its place among the first children makes this cheap for
// every target of a LogicalHBA.
const char* setup_stored_name(TavoNode* target) {
  TavoGroupRecord* g = tavo::tree::group_record(target);
  for (TavoNode* c = g->first_child; c != target; c = c->next)
    if (c->kind == TAVO_KIND_PROPERTY && strcmp(c->name, "TargetISCSIName") == 0)
      return tavo::tree::property_record(c)->value;
  return nullptr;
}

}  // namespace

TavoNode* find_target(TavoNode* lhba, const char* name) {
  TAVO_LIBRARY_LOCK;
  if (name == nullptr) return nullptr;
  const size_t length = strlen(name);
  if (length == 0) return nullptr;
  const int last = tolower(static_cast<unsigned char>(name[length - 1]));
  // iSCSI names share long prefixes: the length and the last character
  // tell most of them apart before a whole comparison.
  for (TavoNode* t = get_first_instance(lhba, "Target"); t != nullptr; t = next_instance(t)) {
    const char* text = setup_stored_name(t);
    if (text == nullptr || strnlen(text, length + 1) != length ||
        tolower(static_cast<unsigned char>(text[length - 1])) != last)
      continue;
    if (strcasecmp(text, name) == 0) return t;
  }
  return nullptr;
}

TavoNode* find_target_portal(TavoNode* target, const char* address, const char* port) {
  TAVO_LIBRARY_LOCK;
  for (TavoNode* p = get_first_instance(target, "TargetPortal"); p != nullptr; p = next_instance(p)) {
    char a[TAVO_VALUE_SIZE], n[TAVO_VALUE_SIZE];
    if (!read_text(p, "TargetIPAddress", a) || !read_text(p, "TargetPortNumber", n)) continue;
    const bool address_ok = address == nullptr || address[0] == '\0' || strcmp(a, address) == 0;
    const bool port_ok = port == nullptr || port[0] == '\0' || same_port(n, port);
    if (address_ok && port_ok) return p;
  }
  return nullptr;
}

uint32_t validate_target_portal(TavoNode* target, uint32_t* instance, const char* address, const char* port) {
  TAVO_LIBRARY_LOCK;
  if (instance == nullptr || address == nullptr) return 1;
  for (TavoNode* p = get_first_instance(target, "TargetPortal"); p != nullptr; p = next_instance(p)) {
    char a[TAVO_VALUE_SIZE], n[TAVO_VALUE_SIZE];
    if (!read_text(p, "TargetIPAddress", a) || !read_text(p, "TargetPortNumber", n)) continue;
    if (strcmp(a, address) == 0 && (port == nullptr || port[0] == '\0' || same_port(n, port))) {
      *instance = static_cast<uint32_t>(instance_number(p));
      return 0;
    }
  }
  return 1;
}

TavoNode* setup_target(TavoNode* lhba, const char* name, TavoNode* creating_node, TavoNode* creating_action,
                       char* params, uint32_t discovered) {
  TAVO_LIBRARY_LOCK;
  if (lhba == nullptr || name == nullptr || find_target(lhba, name) != nullptr) return nullptr;
  return tavo::targets::new_target(lhba, name, creating_node, creating_action, params, discovered != 0);
}

TavoNode* tavo::targets::new_target(TavoNode* lhba, const char* name, TavoNode* creating_node,
                                    TavoNode* creating_action, char* params, bool discovered) {
  TavoNode* target = initialize_Target(lhba, creating_node, creating_action, params);
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

uint32_t get_target_type(TavoNode* target) {
  TAVO_LIBRARY_LOCK;
  if (target == nullptr) return 1;
  if (OPEN_ISCSI_DRIVER_LOADED) return set_prop_val(target, "TargetType", "%s", "Static");
  char name[TAVO_VALUE_SIZE];
  LhbaKey key;
  if (!read_text(target, "TargetISCSIName", name) || !lhba_key(target, &key)) return 1;
  const std::vector<Match> match = key_matches(key, {{Field::TargetName, name}});
  std::string type;
  bool found = false;
  // A file that cannot be read leaves the type as the tree knows it.
  if (!with_view(Saved::Targets, [&](const SavedView& view) {
        if (const SavedView::Line* line = view.find(match)) {
          type.assign(line->fields[position(Saved::Targets, Field::TargetType)].substr(0, 34));
          found = true;
        }
      }))
    pdebug(TAVO_LOG_BACKEND, 3, "%s: savetgt.txt cannot be read\n", __func__);
  // A line without a type holds a static target, as start-up reads it.
  return found ? set_prop_val(target, "TargetType", "%s", type.empty() ? "Static" : type.c_str()) : 0;
}

uint32_t handle_target_type(TavoNode* property, char* buf, uint32_t op) {
  if (property == nullptr || buf == nullptr) return 1;
  if (op != TAVO_PROPERTY_GET) return 0;
  if (property == nullptr || buf == nullptr || get_target_type(property->parent) != 0)
    return 1;
  return handle_internal_property(property, buf, op);
}

bool tavo::targets::active_session_handles(const tavo::tree::HandlerContext& p, std::vector<uint32_t>* handles) {
  const tavo::iscsi::RecordKey key{p.number, p.domain, p.port, 0, 0, 0};
  if (tavo::iscsi::session_list_reads().kept(key, handles)) return true;
  Buffer list = zeroed_buffer(kSessionListSize);
  if (list == nullptr) return false;
  memcpy(list.get(), &tavo::kSessionListKind, sizeof tavo::kSessionListKind);
  if (ioctl_get_activesessionid(p.number, list.get(), kSessionListSize, p.domain, p.port) != 0) return false;
  uint32_t count = 0;
  memcpy(&count, list.get(), sizeof count);
  // The firmware's count, bounded by the handles the buffer holds.
  const size_t room = (kSessionListSize - sizeof(tavo::SessionListHead)) / sizeof(uint32_t);
  handles->clear();
  for (size_t i = 0; i < count && i < room; ++i) {
    uint32_t handle = 0;
    memcpy(&handle, list.get() + sizeof(tavo::SessionListHead) + i * sizeof handle, sizeof handle);
    handles->push_back(handle);
  }
  tavo::iscsi::session_list_reads().keep(key, *handles);
  return true;
}

uint32_t tavo::targets::persistence_among(const tavo::tree::HandlerContext& p, const std::vector<uint32_t>& handles,
                                          const char* name, char* out) {
  for (const uint32_t handle : handles) {
    std::unique_ptr<tavo::FirmwareSessionRecord, tavo::iscsi::BufferFree> record(
        session_hooks().session_record(handle, p.number, p.domain, p.port));
    if (record == nullptr) return 1;
    const size_t n = strnlen(record->target_name, sizeof record->target_name);
    if (strlen(name) == n && strncasecmp(record->target_name, name, n) == 0) {
      snprintf(out, 35, "%s", (record->flags & tavo::kSessionNotPersistent) == 0 ? "True" : "False");
      return 0;
    }
  }
  return 0;
}

uint32_t TAVO_get_tgt_persistent_val(TavoNode* node, const char* name, char* out) {
  TAVO_LIBRARY_LOCK;
  const tavo::tree::HandlerContext p = tavo::tree::handler_context(node);
  std::vector<uint32_t> handles;
  if (name == nullptr || out == nullptr || !below_lhba(p) || !active_session_handles(p, &handles)) return 1;
  return persistence_among(p, handles, name, out);
}
