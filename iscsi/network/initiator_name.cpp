// The initiator's iSCSI name and alias, kept by the firmware per domain in
// one block: read on every get (once per request: record_reads.h),
// read-modify-written on every set. The header-version-1 commands come
// first; firmware that does not know them (status 213) is asked once more
// with version 0.
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include "base/library_lock.h"
#include "base/validate.h"
#include "iscsi/network/network_internal.h"
#include "iscsi/common/record_reads.h"
#include "iscsi/common/software_initiator.h"
#include "transport/commands.h"
#include "transport/glob.h"

using namespace tavo::network;
using tavo::iscsi::RecordKey;
using tavo::iscsi::RecordReads;

namespace {

constexpr uint32_t kVersionNotSupported = 213;

bool name_is(const TavoNode* property, const char* name) {
  return property->name != nullptr && strcasecmp(property->name, name) == 0;
}

// Reads the domain's block; 0, else the failing command's status (status
// 110 left). saving names the log line of a read before a save.
uint32_t name_fetch(const HandlerContext& t, tavo::InitiatorNameBlock* b, bool saving, const char* caller) {
  auto fetch = [&](bool v1) {
    *b = tavo::InitiatorNameBlock{};  // flag bit 0 clear
    return v1 ? ioctl_fetch_initiator_name_params_v1(t.number, b, t.domain, t.port)
              : ioctl_fetch_initiator_name_params(t.number, b, t.domain, t.port);
  };
  uint32_t status = fetch(true);
  if (saving)
    pdebug(TAVO_LOG_BACKEND, 6, "%s: initiator_name_params_v1 status = %d\n", caller, status);
  else
    pdebug(TAVO_LOG_BACKEND, 6, "%s: ioctl_fetch_initiator_name_params_v1 status = %d\n", caller, status);
  if (status == kVersionNotSupported) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: initiator_name_params_v1 failed trying V0\n", caller);
    status = fetch(false);
  }
  if (status != 0) network_status(110);
  return status;
}

RecordReads<tavo::InitiatorNameBlock>& name_reads() {
  static tavo::base::NoDestructor<RecordReads<tavo::InitiatorNameBlock>> kept(
      tavo::command::CommandId::ioctl_fetch_initiator_name_params_v1);
  return *kept;
}

RecordKey name_key(const HandlerContext& t) { return {t.number, t.domain, t.port, 0, 0, 0}; }

// Saves the block with flag bit 0 clear; 0, else status 111 and 1 (after
// a version-0 try, that command's status).
uint32_t name_save(const HandlerContext& t, const tavo::InitiatorNameBlock& block, const char* caller) {
  // A failed command may leave the firmware's answer in the buffer: every
  // try sends the block as built.
  auto save = [&](bool v1) {
    tavo::InitiatorNameBlock sent = block;
    sent.flags &= static_cast<uint16_t>(~1u);
    return v1 ? ioctl_save_initiator_name_params_v1(t.number, &sent, t.domain, t.port)
              : ioctl_save_initiator_name_params(t.number, &sent, t.domain, t.port);
  };
  uint32_t status = save(true);
  pdebug(TAVO_LOG_BACKEND, 6, "%s: save_initiator_name_params_v1 status = %d\n", caller, status);
  if (status == kVersionNotSupported) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: save_initiator_name_params_v1 failed trying V0\n", caller);
    status = save(false);
    if (status != 0) network_status(111);
    return status;
  }
  if (status == 0) return 0;
  network_status(111);
  return 1;
}

// The software initiator hears of every name the firmware holds.
uint32_t name_tell_software_initiator(TavoNode* property, const char* name) {
  if (!OPEN_ISCSI_DRIVER_LOADED || !name_is(property, "InitiatoriSCSIName")) return 0;
  return TAVO_op_set_intr_name(property, name) != 0 ? 1 : 0;
}

}  // namespace

namespace {

// The block into the group's two properties (and *out when given), read
// for the property asked (a client's read) or for the library (null).
uint32_t name_fill(const HandlerContext& t, TavoNode* property, TavoNode* asking,
                   tavo::network::InitiatorNames* out = nullptr) {
  tavo::InitiatorNameBlock b;
  if (const uint32_t status = name_reads().read(name_key(t), asking, &b, [&](tavo::InitiatorNameBlock* r) {
        return name_fetch(t, r, false, "get_name_params");
      }))
    return status;
  // Bounded copies, stored as they are: no format on every read.
  char name[sizeof b.name], alias[sizeof b.alias];
  tavo::iscsi::copy_field(name, sizeof name, b.name, sizeof b.name);
  tavo::iscsi::copy_field(alias, sizeof alias, b.alias, sizeof b.alias);
  pdebug(TAVO_LOG_BACKEND, 6, "%s: initiator name = %s\n", "get_name_params", name);
  // The group holds just the two: one walk of it stores both.
  const tavo::tree::StoredValue values[] = {{"InitiatoriSCSIName", name}, {"InitiatorAlias", alias}};
  if (tavo::tree::store_values(property->parent, values) != 0) return 1;
  if (out != nullptr) {
    memcpy(out->name, name, sizeof name);
    memcpy(out->alias, alias, sizeof alias);
  }
  return name_tell_software_initiator(property, name);
}

}  // namespace

uint32_t get_name_params(uint32_t device_handle, uint32_t domain, uint32_t port, TavoNode* property) {
  TAVO_LIBRARY_LOCK;
  if (property == nullptr || property->parent == nullptr || property->parent->kind != TAVO_KIND_GROUP) return 1;
  const HandlerContext t{
      .number = device_handle, .domain = static_cast<uint8_t>(domain), .port = static_cast<uint8_t>(port)};
  return name_fill(t, property, nullptr);
}

uint32_t handle_name_params(TavoNode* property, char* buf, uint32_t op) {
  if (property == nullptr || buf == nullptr) return 1;
  const HandlerContext t = handler_context(property);
  if (op == TAVO_PROPERTY_GET) {
    if (!t) return 1;
    if (property->parent == nullptr || property->parent->kind != TAVO_KIND_GROUP) return 1;
    const uint32_t result = name_fill(t, property, property);
    if (result == 0) handle_internal_property(property, buf, TAVO_PROPERTY_GET);
    return result;
  }
  if (op != TAVO_PROPERTY_SET) return 0;
  char value[TAVO_VALUE_SIZE];
  snprintf(value, sizeof value, "%.255s", buf);
  if (name_is(property, "InitiatoriSCSIName")) {
    // Names are kept in lower case.
    char lower[224] = "";
    if (validateISCSIName(buf, lower) != 0) return 1;
    pdebug(TAVO_LOG_BACKEND, 6, "%s: value = %s, initiator_name = %s.\n", __func__, buf, lower);
    snprintf(value, sizeof value, "%.223s", lower);
  }
  return TAVO_set_initatorIQN_alias(property, value) != 0 ? 1 : 0;
}

uint32_t TAVO_set_initatorIQN_alias(TavoNode* property, const char* value) {
  TAVO_LIBRARY_LOCK;
  if (property == nullptr || value == nullptr || property->name == nullptr) return 1;
  // Only the two properties name a field: any other node changes nothing.
  const bool name = strcmp(property->name, "InitiatoriSCSIName") == 0;
  if (!name && strcmp(property->name, "InitiatorAlias") != 0) return 1;
  const HandlerContext t = handler_context(property);
  if (!t) return 1;
  tavo::InitiatorNameBlock b;
  if (const uint32_t status = name_fetch(t, &b, true, __func__)) return status;
  char* field = name ? b.name : b.alias;
  const size_t size = name ? sizeof b.name : sizeof b.alias;
  memset(field, 0, size);
  memcpy(field, value, strnlen(value, size - 1));
  pdebug(TAVO_LOG_BACKEND, 5, "%s:iscsiname=%.223s iscsialias=%.31s\n", __func__, b.name, b.alias);
  if (const uint32_t status = name_save(t, b, __func__)) return status;
  return name_tell_software_initiator(property, value);
}

uint32_t tavo::network::initiator_names(TavoNode* lhba, NameRead asked, InitiatorNames* out) {
  TAVO_LIBRARY_LOCK;
  TavoNode* group = internal_get_node(lhba, "InitiatoriSCSIName", TAVO_KIND_GROUP);
  TavoNode* property = internal_get_node(group, asked == NameRead::Name ? "InitiatoriSCSIName" : "InitiatorAlias",
                                         TAVO_KIND_PROPERTY);
  if (property == nullptr || property->record == nullptr || out == nullptr) return 1;
  const HandlerContext t = handler_context(property);
  if (!t) return 1;
  return name_fill(t, property, property, out);
}

uint32_t tavo::network::function_initiator_names(const HandlerContext& function, InitiatorNames* out) {
  tavo::InitiatorNameBlock b;
  if (const uint32_t status = name_fetch(function, &b, false, __func__)) return status;
  tavo::iscsi::copy_field(out->name, sizeof out->name, b.name, sizeof b.name);
  tavo::iscsi::copy_field(out->alias, sizeof out->alias, b.alias, sizeof b.alias);
  return 0;
}

uint32_t get_initiator_name(TavoNode* node, char* text, uint32_t domain) {
  TAVO_LIBRARY_LOCK;
  if (node == nullptr || node->parent == nullptr || text == nullptr) return 1;
  char lhba_name[TAVO_NAME_SIZE];
  snprintf(lhba_name, sizeof lhba_name, "LogicalHBA%u", domain);
  TavoNode* lhba = internal_get_node(node->parent, lhba_name, TAVO_KIND_GROUP);
  tavo::network::InitiatorNames names;
  if (tavo::network::initiator_names(lhba, tavo::network::NameRead::Name, &names) != 0) return 1;
  memcpy(text, names.name, sizeof names.name);
  return 0;
}

