// The structured Administrator DCBX changes: a priority group's priorities
// and bandwidth, application TLVs added and deleted (in the version-1 form
// of the record, or the basic one on firmware without it), and the
// ApplicationTLV instances rebuilt from the firmware's slots.
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include "base/validate.h"
#include "controller/controller.h"
#include "port/port_internal.h"
#include "port/record_texts.h"
#include "transport/commands.h"
#include "transport/glob.h"

namespace {

constexpr uint32_t kVersionNotSupported = 213;
constexpr char kDefaultOui[] = "6945";  // 0x1B21
constexpr int kMaxApplicationTlvs = tavo::kDcbxApplicationSlots;

const char* param(char* params, int i) { return params + i * TAVO_VALUE_SIZE; }

// A whole non-negative number in automatic base.
bool number(const char* text, long long* out) {
  return tavo::base::parse_number(text, out) == 0 && *out >= 0;
}

// What an added TLV holds, from AddApplicationTLV's parameters.
struct TlvAdd {
  uint16_t protocol_id = 0;
  uint8_t selector = 0;
  uint8_t bitmap = 0;
  uint32_t oui = 0;
};

// The parameters of an add; false with status 6 naming the bad one.
bool tlv_add_params(char* params, TlvAdd* out) {
  long long bitmap = 0, oui = 0, selector = 0, protocol = 0;
  const char* oui_text = param(params, 3)[0] != '\0' ? param(params, 3) : kDefaultOui;
  const char* bad = !number(param(params, 2), &bitmap)                         ? "PriorityBitMap"
                    : !number(oui_text, &oui)                                  ? "OUI"
                    : !number(param(params, 0), &selector) || selector > 0xFF ? "ProtocolSelector"
                    : !number(param(params, 1), &protocol)                     ? "ProtocolID"
                                                                               : nullptr;
  if (bad != nullptr) {
    tavo::port::invalid_value(bad);
    return false;
  }
  out->bitmap = static_cast<uint8_t>(bitmap);
  out->oui = static_cast<uint32_t>(oui);
  out->selector = static_cast<uint8_t>(selector);
  out->protocol_id = static_cast<uint16_t>(protocol);
  return true;
}

int32_t first_free_slot(const tavo::DcbxConfigRecord& r) {
  for (int32_t slot = 0; slot < tavo::kDcbxApplicationSlots; ++slot)
    if (r.applications[slot].in_use == 0) return slot;
  return -1;
}

int count_instances(TavoNode* group, const char* name) {
  int n = 0;
  for (TavoNode* i = get_first_instance(group, name); i != nullptr; i = tavo::tree::next_instance(i)) ++n;
  return n;
}

tavo::DcbxApplicationTlvEntry tlv_entry(const TlvAdd& add) {
  tavo::DcbxApplicationTlvEntry e{};
  e.protocol_id = add.protocol_id;
  e.protocol_selector = add.selector;
  e.in_use = 1;
  e.oui = add.oui;
  for (int p = 0; p < tavo::kDcbxPriorities; ++p) e.priority_enable[p] = (add.bitmap >> p & 1) != 0 ? 1 : 0;
  return e;
}

// The record of an add or a delete in either form: the version-1 request
// carries the basic one in front.
struct TlvChange {
  const tavo::tree::HandlerContext& at;  // the port's
  uint32_t path;
  TavoNode* group;
  bool v1;
};

uint32_t read_admin(const TlvChange& c, tavo::DcbxConfigRecordV1* answer) {
  *answer = tavo::DcbxConfigRecordV1{};
  answer->base.state = tavo::kDcbxAdministrator;
  return c.v1 ? ioctl_get_dcbx_cfg_params_v1(c.at.number, answer, c.at.domain, c.at.port, c.path)
              : ioctl_get_dcbx_cfg_params(c.at.number, &answer->base, c.at.domain, c.at.port, c.path);
}

uint32_t write_admin(const TlvChange& c, tavo::DcbxConfigRecordV1* request) {
  const uint32_t status = c.v1 ? ioctl_set_dcbx_cfg_params_v1(c.at.number, request, c.at.domain, c.at.port, c.path)
                               : ioctl_set_dcbx_cfg_params(c.at.number, &request->base, c.at.domain, c.at.port, c.path);
  if (status != 0) tavo::port::port_status(102);
  return status;
}

tavo::DcbxConfigRecordV1 admin_request(const TlvChange& c, const tavo::DcbxConfigRecordV1& answer) {
  if (c.v1) return tavo::port::dcbx_write_request(answer);
  tavo::DcbxConfigRecordV1 request{};
  request.base = tavo::port::dcbx_write_request(answer.base);
  return request;
}

// Adds the TLV in the first free slot and makes that slot's instance.
// answer: the Administrator view as read.
uint32_t tlv_add(const TlvChange& c, const tavo::DcbxConfigRecordV1& answer, const TlvAdd& add, TavoNode* action,
                 char* params) {
  tavo::DcbxConfigRecordV1 request = admin_request(c, answer);
  request.base.tlv_count_set = static_cast<uint8_t>(answer.base.tlv_count + 1);
  const int32_t slot = first_free_slot(answer.base);
  if (slot < 0 || count_instances(c.group, "ApplicationTLV") >= kMaxApplicationTlvs) {
    tavo::port::port_status(158);
    return 1;
  }
  const tavo::DcbxApplicationTlvEntry entry = tlv_entry(add);
  request.base.applications[slot] = entry;
  // The version-1 form takes the TLV's priorities as its CNPV bitmap.
  if (c.v1) request.cnpv_bitmap = add.bitmap;
  const uint32_t status = write_admin(c, &request);
  if (status != 0) return status;
  // An instance the tree still shows for the free slot is stale.
  char name[TAVO_NAME_SIZE];
  snprintf(name, sizeof name, "ApplicationTLV%d", slot);
  if (TavoNode* stale = internal_get_node(c.group, name, TAVO_KIND_GROUP); stale != nullptr && stale->parent == c.group)
    delete_node(stale);
  return tavo::port::application_tlv_instance(c.group, slot, entry, action, params) != nullptr ? 0 : 1;
}

// Frees the instance's slot and deletes the instance.
uint32_t tlv_delete(const TlvChange& c, const tavo::DcbxConfigRecordV1& answer, TavoNode* instance) {
  const int32_t slot = tavo::tree::instance_number(instance);
  if (slot < 0 || slot >= tavo::kDcbxApplicationSlots) return 1;
  tavo::DcbxConfigRecordV1 request = admin_request(c, answer);
  request.base.tlv_count_set = answer.base.tlv_count > 0 ? static_cast<uint8_t>(answer.base.tlv_count - 1) : 0;
  request.base.applications[slot].in_use = 0;
  const uint32_t status = write_admin(c, &request);
  if (status != 0) return status;
  return delete_node(instance);
}

// The ApplicationTLV instance an InstanceNumber names; null for none.
TavoNode* tlv_instance(TavoNode* group, const char* text) {
  long long n = 0;
  if (!number(text, &n) || n >= kMaxApplicationTlvs) return nullptr;
  char name[TAVO_NAME_SIZE];
  snprintf(name, sizeof name, "ApplicationTLV%lld", n);
  TavoNode* instance = internal_get_node(group, name, TAVO_KIND_GROUP);
  return instance != nullptr && instance->parent == group ? instance : nullptr;
}

// A view's instances rebuilt from its slots in use; a failed read answers
// its status or 1.
uint32_t tlv_refresh(TavoNode* group, uint8_t view, bool read_status_returned) {
  tavo::tree::HandlerContext c;
  if (group == nullptr || !tavo::port::port_context(group, &c)) return 1;
  tavo::DcbxConfigRecord r{};
  r.state = view;
  const uint32_t status = ioctl_get_dcbx_cfg_params(c.number, &r, c.domain, c.port, tavo::port::port_path(c));
  if (status != 0) {
    tavo::port::port_status(101);
    return read_status_returned ? status : 1;
  }
  purge_nodes_within(group, "ApplicationTLV");
  for (int32_t slot = 0; slot < tavo::kDcbxApplicationSlots; ++slot)
    if (r.applications[slot].in_use == 1 &&
        tavo::port::application_tlv_instance(group, slot, r.applications[slot], nullptr, nullptr) == nullptr)
      return 1;
  return 0;
}

// The priorities whose PG number is pg.
uint8_t members(const tavo::DcbxConfigRecord& r, int pg) {
  uint8_t bits = 0;
  for (int p = 0; p < tavo::kDcbxPriorities; ++p)
    if (r.pg_membership[p][0] == pg) bits = static_cast<uint8_t>(bits | 1u << p);
  return bits;
}

}  // namespace

uint32_t do_ConfigurePGSettings(TavoNode* pg, TavoNode*, char* params) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  tavo::tree::HandlerContext c;
  if (params == nullptr || pg == nullptr || !tavo::port::port_context(pg, &c)) return 1;
  const uint32_t path = tavo::port::port_path(c);
  if (vm_flag) return tavo::port::refuse_on_vf(nullptr);
  const int32_t n = tavo::tree::instance_number(pg);
  if (n < 0 || n >= tavo::kDcbxPriorities) return 1;
  long long membership = 0, bandwidth = 0;
  if (!number(param(params, 0), &membership)) return tavo::port::invalid_value(nullptr);
  if (!number(param(params, 1), &bandwidth) || bandwidth > 0xFF) return tavo::port::invalid_value("Bandwidth");
  const auto given = static_cast<uint8_t>(membership);
  tavo::DcbxConfigRecord answer{};
  answer.state = tavo::kDcbxAdministrator;
  uint32_t status = ioctl_get_dcbx_cfg_params(c.number, &answer, c.domain, c.port, path);
  if (status != 0) {
    tavo::port::port_status(101);
    return status;
  }
  tavo::DcbxConfigRecord request = tavo::port::dcbx_write_request(answer);
  // The given priorities move to this group and leave the others, which
  // keep the rest of what the firmware holds.
  uint8_t membership_of[tavo::kDcbxPriorities] = {};
  long long total = bandwidth;
  TavoNode* view = pg->parent;
  for (TavoNode* i = get_first_instance(view, "PG"); i != nullptr; i = tavo::tree::next_instance(i)) {
    const int32_t k = tavo::tree::instance_number(i);
    if (k < 0 || k >= tavo::kDcbxPriorities) continue;
    membership_of[k] = k == n ? given : static_cast<uint8_t>(members(answer, k) & ~given);
    if (k != n && answer.pg_bandwidth[k] != tavo::kDcbxNoBandwidthLimit) total += answer.pg_bandwidth[k];
  }
  if (bandwidth != tavo::kDcbxNoBandwidthLimit && total > 100) {
    tavo::port::port_status(51);
    return 1;
  }
  for (int p = 0; p < tavo::kDcbxPriorities; ++p) request.pg_membership[p][0] = tavo::kDcbxStrictPriorityGroup;
  for (TavoNode* i = get_first_instance(view, "PG"); i != nullptr; i = tavo::tree::next_instance(i)) {
    const int32_t k = tavo::tree::instance_number(i);
    if (k < 0 || k >= tavo::kDcbxPriorities) continue;
    for (int p = 0; p < tavo::kDcbxPriorities; ++p)
      if ((membership_of[k] >> p & 1) != 0) request.pg_membership[p][0] = static_cast<uint8_t>(k);
  }
  request.pg_bandwidth[n] = static_cast<uint8_t>(bandwidth);
  status = ioctl_set_dcbx_cfg_params(c.number, &request, c.domain, c.port, path);
  if (status != 0) {
    tavo::port::port_status(102);
    return status;
  }
  for (TavoNode* i = get_first_instance(view, "PG"); i != nullptr; i = tavo::tree::next_instance(i)) {
    const int32_t k = tavo::tree::instance_number(i);
    if (k < 0 || k >= tavo::kDcbxPriorities) continue;
    set_prop_val(i, "PriorityMembership", "0x%02x", membership_of[k]);
    set_prop_val(i, "Bandwidth", "%d", request.pg_bandwidth[k]);
  }
  return 0;
}

uint32_t do_AddApplicationTLV(TavoNode* group, TavoNode* action, char* params) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  tavo::tree::HandlerContext c;
  if (params == nullptr || group == nullptr || !tavo::port::port_context(group, &c)) return 1;
  if (vm_flag) return tavo::port::refuse_on_vf(nullptr);
  TlvAdd add;
  if (!tlv_add_params(params, &add)) return 1;
  const TlvChange change{c, tavo::port::port_path(c), group, true};
  tavo::DcbxConfigRecordV1 answer;
  const uint32_t status = read_admin(change, &answer);
  if (status == kVersionNotSupported) {
    if (TAVO_get_dcbx_cfg_v0(group, action, params, nullptr, add.bitmap, add.oui, c.number, 1) == 0) return 0;
    tavo::port::port_status(101);
    return 1;
  }
  if (status != 0) {
    tavo::port::port_status(101);
    return 1;
  }
  return tlv_add(change, answer, add, action, params);
}

uint32_t do_DeleteApplicationTLV(TavoNode* group, TavoNode* action, char* params) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  tavo::tree::HandlerContext c;
  if (params == nullptr || group == nullptr || !tavo::port::port_context(group, &c)) return 1;
  if (vm_flag) return tavo::port::refuse_on_vf(nullptr);
  TavoNode* instance = tlv_instance(group, param(params, 0));
  if (instance == nullptr) {
    tavo::port::port_status(20);
    return 1;
  }
  const TlvChange change{c, tavo::port::port_path(c), group, true};
  tavo::DcbxConfigRecordV1 answer;
  uint32_t status = read_admin(change, &answer);
  if (status == kVersionNotSupported) {
    status = TAVO_get_dcbx_cfg_v0(group, action, params, instance, 0, 0, c.number, 0);
    if (status == 0) return 0;
  }
  if (status != 0) {
    tavo::port::port_status(101);
    return status;
  }
  return tlv_delete(change, answer, instance);
}

uint32_t TAVO_get_dcbx_cfg_v0(TavoNode* group, TavoNode* action, char* params, TavoNode* instance,
                              uint8_t priority_bitmap, uint32_t oui, uint32_t function, uint32_t add) {
  tavo::tree::HandlerContext c;
  if (group == nullptr || action == nullptr || !tavo::port::port_context(group, &c)) return 1;
  c.number = function;
  const TlvChange change{c, tavo::port::port_path(c), group, false};
  tavo::DcbxConfigRecordV1 answer;
  const uint32_t status = read_admin(change, &answer);
  if (status != 0) return status;
  if (add == 0) return instance != nullptr ? tlv_delete(change, answer, instance) : 1;
  TlvAdd given;
  if (params == nullptr || !tlv_add_params(params, &given)) return 1;
  given.bitmap = priority_bitmap;
  given.oui = oui;
  return tlv_add(change, answer, given, action, params);
}

uint32_t group_AdministratorTLVSetting(TavoNode* group) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return tlv_refresh(group, tavo::kDcbxAdministrator, false);
}

uint32_t group_PeerTLVSetting(TavoNode* group) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  if (vm_flag) return 0;
  return tlv_refresh(group, tavo::kDcbxPeer, false);
}

uint32_t group_OperationalTLVSettings(TavoNode* group) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  if (vm_flag) return 0;
  return tlv_refresh(group, tavo::kDcbxOperational, true);
}
