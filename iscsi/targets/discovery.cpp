// SendTargets discovery through a send-target portal: a discovery login,
// the SendTargets request (and on Moravel its continuation), the answer
// turned into Discovered targets with their portals and saved lines, and
// the logout. Every count and length of an answer is bounded by its buffer.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <memory>
#include <string>
#include <vector>

#include "base/library_lock.h"
#include "base/validate.h"
#include "controller/controller.h"
#include "iscsi/common/software_initiator.h"
#include "iscsi/common/record_reads.h"
#include "iscsi/network/network.h"
#include "iscsi/targets/targets_internal.h"
#include "transport/commands.h"
#include "transport/device_ids.h"
#include "transport/firmware_records.h"
#include "transport/glob.h"
#include "transport/mailbox.h"
#include "transport/nic_records.h"

using namespace tavo::targets;

namespace {

constexpr size_t kBuffer = tavo::kTargetBufferSize;
constexpr uint32_t kMoreTargets = 31;
constexpr uint32_t kMostTargetsSmall = 128;

// The records of an answer that lie whole in its buffer, at most count.
struct AnswerRecord {
  size_t at;
  uint32_t addresses;
};
std::vector<AnswerRecord> discovery_records(const uint8_t* answer, uint32_t most) {
  uint32_t count = 0;
  memcpy(&count, answer, sizeof count);
  std::vector<AnswerRecord> records;
  size_t at = sizeof count;
  for (uint32_t i = 0; i < count && i < most; ++i) {
    tavo::SendTargetsRecordHead head;
    if (at + sizeof head > kBuffer) break;
    memcpy(&head, answer + at, sizeof head);
    const size_t entries = head.address_count > 0 ? head.address_count : 1;
    if (entries > (kBuffer - at - sizeof head) / sizeof(tavo::SendTargetsAddress)) break;
    records.push_back({at, head.address_count});
    at += sizeof head + entries * sizeof(tavo::SendTargetsAddress);
  }
  return records;
}

// An address entry's address, port and tag as texts; false for an entry
// of no address (0.0.0.0), which ends its record.
bool discovery_entry(const uint8_t* entry, char address[TAVO_VALUE_SIZE], char port[16], char tag[16]) {
  tavo::SendTargetsAddress a;
  memcpy(&a, entry, sizeof a);
  ipaddr_to_string(a.address, address, a.type);
  snprintf(port, 16, "%u", a.port);
  snprintf(tag, 16, "%u", a.tag);
  return strcmp(address, "0.0.0.0") != 0;
}

// The portals of one record: new ones for an existing target only where
// it has none at that address and port. A portal whose line cannot be
// saved goes again (*unsaved set).
uint32_t discovery_portals(const uint8_t* answer, const AnswerRecord& r, TavoNode* lhba, TavoNode* portal,
                           TavoNode* target, const char* name, bool existing, bool* unsaved) {
  for (uint32_t j = 0; j < r.addresses; ++j) {
    char address[TAVO_VALUE_SIZE], port[16], tag[16];
    const uint8_t* entry = answer + r.at + sizeof(tavo::SendTargetsRecordHead) + j * sizeof(tavo::SendTargetsAddress);
    if (!discovery_entry(entry, address, port, tag)) break;
    if (existing && find_target_portal(target, address, port) != nullptr) continue;
    TavoNode* added = setup_portal(target, address, port, tag, nullptr, nullptr, nullptr);
    if (added == nullptr) return 1;
    if (TAVO_add_target_into_file(lhba, target, name, address, port, portal, "True") != 0) {
      *unsaved = true;
      tavo::iscsi::keeping_last_status([&] { delete_node(added); });
      return 1;
    }
    // When the discovery's lines cannot be written the portal goes again
    // (a new target goes whole).
    if (existing) SavedBatch::on_failure([added] { delete_node(added); });
  }
  return 0;
}

// The discovery login request to the portal; false when a value is missing.
bool discovery_request(TavoNode* lhba, TavoNode* portal, tavo::IscsiLoginRequest* r, char address[TAVO_VALUE_SIZE],
                       char port[TAVO_VALUE_SIZE]) {
  tavo::network::InitiatorNames names;
  if (tavo::network::initiator_names(lhba, tavo::network::NameRead::Name, &names) != 0 ||
      !read_text(portal, "IPAddress", address) || !read_text(portal, "PortNumber", port))
    return false;
  *r = tavo::IscsiLoginRequest{};
  put_text(r->target_name, sizeof r->target_name, "iSCSI");
  r->word224 = tavo::kLoginWord224;
  if (!tavo::iscsi::put_portal(address, port, &r->address_type, r->address, &r->port)) return false;
  r->eto = tavo::kNoEto;
  put_text(r->initiator_name, 224, names.name);
  put_text(r->initiator_alias, sizeof r->initiator_alias, names.alias);
  return true;
}

uint32_t discovery_logout(const tavo::tree::HandlerContext& p, uint32_t handle) {
  return ioctl_logout_target(p.number, &handle, p.domain, p.port);
}

// SendTargets on an open discovery session, its continuation on Moravel,
// and the targets they list; 0 or the failure's status.
uint32_t discovery_send(const tavo::tree::HandlerContext& p, uint32_t handle, const char* text, uint32_t most,
                        TavoNode* portal, TavoNode* action, char* params) {
  Buffer answer = zeroed_buffer(kBuffer);
  if (answer == nullptr) return 1;
  tavo::SendTargetsRequestHead head{handle, tavo::kSendTargetsWord, {}};
  put_text(head.text, sizeof head.text, text);
  memcpy(answer.get(), &head, sizeof head);
  const uint32_t first = ioctl_sendtargets(p.number, answer.get(), kBuffer, p.domain, p.port);
  if (first != 0 && first != kMoreTargets) {
    targets_status(131);
    return first;
  }
  uint32_t result = BuildTargetInfoList(answer.get(), p.lhba, portal, action, params);
  const uint32_t generation = generation_of(p);
  if (result != 0 || first != kMoreTargets || generation != tavo::kGenerationMoravel) return result;
  const uint32_t received = static_cast<uint32_t>(discovery_records(answer.get(), UINT32_MAX).size());
  Buffer more = zeroed_buffer(kBuffer);
  if (more == nullptr) return 1;
  // What is left to ask for never goes below nothing.
  const tavo::SendTargetsContinuation c{static_cast<uint16_t>(received & 0xFFFF),
                                        static_cast<uint16_t>(most > received ? (most - received) & 0xFFFF : 0),
                                        tavo::kContinuationWord};
  memcpy(more.get(), &c, sizeof c);
  const uint32_t next = ioctl_sendtargets_info(p.number, more.get(), kBuffer, p.domain, p.port);
  if (next != 0 && next != kMoreTargets) {
    targets_status(131);
    return next;
  }
  return BuildTargetInfoList(more.get(), p.lhba, portal, action, params);
}

// The firmware's maximum target count on Moravel, else 0; false when it
// cannot be read.
bool discovery_most(const tavo::tree::HandlerContext& p, uint32_t generation, uint32_t* most) {
  *most = 0;
  if (generation != tavo::kGenerationMoravel) return true;
  tavo::FirmwareConfig config{};
  if (ioctl_get_fw_config(p.number, &config, p.domain, p.port, TAVO_VIA_ISCSI) != 0) return false;
  *most = config.targets + config.more_targets;
  return true;
}

}  // namespace

uint32_t BuildTargetInfoList(uint8_t* answer, TavoNode* lhba, TavoNode* portal, TavoNode* action, char* params) {
  TAVO_LIBRARY_LOCK;
  tavo::tree::HandlerContext p = tavo::tree::handler_context(lhba);
  if (answer == nullptr || portal == nullptr || action == nullptr || !below_lhba(p)) return 1;
  const uint32_t generation = generation_of(p);
  if (generation == TAVO_GENERATION_UNREADABLE) return 1;
  const uint32_t most = small_generation(generation) ? kMostTargetsSmall : UINT32_MAX;
  for (const AnswerRecord& r : discovery_records(answer, most)) {
    char name[TAVO_VALUE_SIZE];
    tavo::SendTargetsRecordHead head;
    memcpy(&head, answer + r.at, sizeof head);
    snprintf(name, sizeof name, "%.*s", static_cast<int>(strnlen(head.name, 223)), head.name);
    if (name[0] == '\0' || r.addresses == 0) continue;
    TavoNode* target = find_target(p.lhba, name);
    const bool existing = target != nullptr;
    if (!existing) target = setup_target(p.lhba, name, portal, action, params, 1);
    if (target == nullptr) continue;  // not added: no instance left
    bool unsaved = false;
    const uint32_t added = discovery_portals(answer, r, p.lhba, portal, target, name, existing, &unsaved);
    if (existing) {
      if (added != 0) return 1;
      continue;
    }
    // A found target stays only with a saved line.
    if (unsaved && get_first_instance(target, "TargetPortal") == nullptr) {
      tavo::iscsi::keeping_last_status([&] { delete_with_records(target); });
      return 1;
    }
    SavedBatch::on_failure([target] { delete_with_records(target); });
    if (added != 0) return 1;
  }
  return 0;
}

uint32_t discover_targets(TavoNode* portal, TavoNode* action, char* params) {
  TAVO_LIBRARY_LOCK;
  // The initiator's name block and the controller's attributes are read
  // once, for the login and every target found.
  tavo::iscsi::ReadScope reads;
  if (OPEN_ISCSI_DRIVER_LOADED) return TAVO_discover_op_targets(portal, action, params);
  tavo::tree::HandlerContext p = tavo::tree::handler_context(portal);
  if (portal == nullptr || action == nullptr || params == nullptr || !below_lhba(p)) return 1;
  // The action's domain and port.
  const tavo::tree::HandlerContext a = tavo::tree::handler_context(action);
  p.domain = a.domain;
  p.port = a.port;
  const uint32_t generation = generation_of(p);
  if (generation == TAVO_GENERATION_UNREADABLE) return 1;
  std::string text = "SendTargets=All";
  if (param(params, 0)[0] != '\0') {
    char name[TAVO_VALUE_SIZE] = "";
    if (validateISCSIName(param(params, 0), name) != 0) return 1;
    text = std::string("SendTargets=") + name;
  }
  uint32_t most = 0;
  tavo::IscsiLoginRequest request;
  char address[TAVO_VALUE_SIZE], port[TAVO_VALUE_SIZE];
  if (!discovery_most(p, generation, &most) || !discovery_request(p.lhba, portal, &request, address, port))
    return 1;
  if (TAVO_sync_stp_with_file(p.controller, p.function, portal, p.lhba, address, port) != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: savestp.txt has no line for %s port %s\n", __func__, address, port);
    return 1;
  }
  if (TAVO_esx_login(action, internal_get_node(portal, "SendTargetPortalLoginOptions", TAVO_KIND_GROUP),
                                   &request, params, request.initiator_name, 0, 0) != 0)
    return 1;
  tavo::IscsiLoginReply reply;
  memcpy(&reply, &request, sizeof reply);
  if ((reply.discovery_state & tavo::kDiscoverySessionOpen) == 0) {
    // A login the firmware answered without a discovery session found nothing.
    discovery_logout(p, reply.session_handle);
    targets_status(131);
    return 1;
  }
  const uint32_t result = discovery_send(p, reply.session_handle, text.c_str(), most, portal, action, params);
  return result | discovery_logout(p, reply.session_handle);
}

namespace {

uint32_t discovery_action(TavoNode* portal, TavoNode* action, char* params) {
  const tavo::tree::HandlerContext p = tavo::tree::handler_context(portal);
  char enabled[TAVO_VALUE_SIZE];
  if (!below_lhba(p) || !read_text(p.lhba, "Enabled", enabled)) return 1;
  if (is_word(enabled, "False")) {
    targets_status(46);
    return 1;
  }
  return discover_targets(portal, action, params);
}

}  // namespace

uint32_t do_DiscoverTargets(TavoNode* portal, TavoNode* action, char* params) {
  TAVO_LIBRARY_LOCK;
  // The lines of every target found are written at once.
  SavedBatch batch;
  return batch.end(discovery_action(portal, action, params));
}
