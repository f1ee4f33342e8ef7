// The targets the firmware holds, listed into the tree with their saved
// lines; the refresh of a whole LogicalHBA (file, firmware, every
// send-target portal, sessions and LUNs); and the client hook that
// refreshes every target's ETO.
#include <stddef.h>
#include <string.h>

#include <algorithm>
#include <functional>
#include <memory>

#include "base/library_lock.h"
#include "base/validate.h"
#include "iscsi/network/iscsi_network.h"
#include "iscsi/network/network.h"
#include "iscsi/common/record_reads.h"
#include "iscsi/common/software_initiator.h"
#include "iscsi/targets/targets_internal.h"
#include "transport/commands.h"
#include "transport/glob.h"
#include "transport/network_records.h"
#include "tree/waiting.h"

using namespace tavo::targets;
using tavo::tree::instance_number;
using tavo::tree::next_instance;

namespace {

constexpr size_t kBuffer = tavo::kTargetBufferSize;
constexpr uint32_t kNameServerUnreachable = 32;
constexpr uint32_t kOpenIscsiIsns = 309;

// The discovery block read, the initiator name put in and written back
// whole, so the firmware's iSNS settings stay. *answered: the write's
// status; 32 (the name server is out of reach) is no failure.
uint32_t listing_discovery_block(const tavo::tree::HandlerContext& p, TavoNode* function, uint32_t* answered) {
  tavo::DiscoveryParamsBlock block{};
  uint32_t r = ioctl_get_discoveryparams(p.number, &block, p.domain, p.port);
  if (r != 0) {
    targets_status(80);
    return r;
  }
  char name[TAVO_VALUE_SIZE] = "";
  r = get_initiator_name(internal_get_node(function, "iSNS", TAVO_KIND_GROUP), name, p.domain);
  if (r != 0) return r;
  put_text(block.initiator_iscsiname, sizeof block.initiator_iscsiname, name);
  *answered = ioctl_set_discoveryparams(p.number, &block, p.domain, p.port);
  if (*answered != 0 && *answered != kNameServerUnreachable) {
    targets_status(81);
    return *answered;
  }
  return 0;
}

// Portal j of group k of a target record of size bytes: its address, port
// and the group's tag as texts; false when it lies outside the record.
bool listing_portal(const uint8_t* record, size_t size, uint32_t k, uint32_t j, char address[TAVO_VALUE_SIZE],
                    char port[16], char tag[16]) {
  const size_t group = sizeof(tavo::FirmwareTargetHead) + tavo::kPortalGroupStride * k;
  const size_t at = group + sizeof(tavo::FirmwarePortalGroupHead) + tavo::kPortalStride * j;
  if (at + tavo::kFirmwarePortalPort + sizeof(uint16_t) > size) return false;
  tavo::FirmwarePortalGroupHead head;
  memcpy(&head, record + group, sizeof head);
  uint8_t bytes[16];
  memcpy(bytes, record + at + tavo::kFirmwarePortalAddress, sizeof bytes);
  ipaddr_to_string(bytes, address, record[at + tavo::kFirmwarePortalType]);
  uint16_t number = 0;
  memcpy(&number, record + at + tavo::kFirmwarePortalPort, sizeof number);
  tavo::base::write_decimal(port, number);
  tavo::base::write_decimal(tag, head.tag);
  return true;
}

// The portal groups and their portals counts of a record, bounded by it.
uint32_t listing_groups(const uint8_t* record, size_t size) {
  tavo::FirmwareTargetHead head;
  memcpy(&head, record, sizeof head);
  const size_t first = sizeof head + sizeof(tavo::FirmwarePortalGroupHead);
  const size_t room = size >= first ? (size - first) / tavo::kPortalGroupStride + 1 : 0;
  return head.group_count < room ? head.group_count : static_cast<uint32_t>(room);
}

uint32_t listing_portal_count(const uint8_t* record, size_t size, uint32_t k) {
  const size_t group = sizeof(tavo::FirmwareTargetHead) + tavo::kPortalGroupStride * k;
  if (group + sizeof(tavo::FirmwarePortalGroupHead) > size) return 0;
  tavo::FirmwarePortalGroupHead head;
  memcpy(&head, record + group, sizeof head);
  return head.portal_count;
}

// Whether the target's saved lines are persistent ("True", "False", "" for
// no session of it); false, with "", when that cannot be read. The
// sessions are read once per listing.
bool listing_persistence(const char* name, SessionPersistence* sessions, char persistence[35]) {
  persistence[0] = '\0';
  if (sessions->lookup(name, persistence) == 0) return true;
  persistence[0] = '\0';
  return false;
}

// One target of the firmware's list into the tree: the target (a new one
// when the tree has none of that name) and each portal with its line
// (with sessions to tell their persistence; without, no line is written).
// A target made here goes again when one of its portals cannot be made.
void listing_target(const tavo::tree::HandlerContext& p, TavoNode* add_target, const uint8_t* record, size_t size,
                    uint32_t discovered, SessionPersistence* sessions) {
  tavo::FirmwareTargetHead head;
  memcpy(&head, record, sizeof head);
  tavo::iscsi::ParamTexts params;
  tavo::iscsi::copy_field(params.text[0], TAVO_VALUE_SIZE, head.name, 223);
  char first_port[16], tag[16];
  if (listing_groups(record, size) == 0 || listing_portal_count(record, size, 0) == 0 ||
      !listing_portal(record, size, 0, 0, params.text[1], first_port, tag))
    return;
  strcpy(params.text[2], first_port);
  if (params.text[0][0] == '\0' || params.text[1][0] == '\0') return;
  TavoNode* target = setup_target(p.lhba, params.text[0], p.lhba, add_target, params.data(), discovered);
  const bool created = target != nullptr;
  if (!created) target = find_target(p.lhba, params.text[0]);
  if (target == nullptr) return;
  // The same for each portal: read for the first.
  char persistence[35] = "";
  bool known = false;
  for (uint32_t k = 0; k < listing_groups(record, size); ++k) {
    for (uint32_t j = 0; j < listing_portal_count(record, size, k); ++j) {
      char address[TAVO_VALUE_SIZE], port[16];
      if (!listing_portal(record, size, k, j, address, port, tag)) break;
      if (find_target_portal(target, address, port) == nullptr &&
          setup_portal(target, address, port, tag, nullptr, nullptr, nullptr) == nullptr) {
        if (created) delete_with_records(target);
        return;
      }
      if (sessions == nullptr) continue;
      if (!known) known = listing_persistence(params.text[0], sessions, persistence);
      TAVO_add_target_into_file(p.lhba, target, params.text[0], address, port, nullptr, persistence);
    }
  }
}

// The record of one target id into *record: its size asked first; 0, else
// 1 with status 31 or 83.
uint32_t listing_record(const tavo::tree::HandlerContext& p, uint32_t id, std::vector<uint8_t>* record) {
  uint8_t query[tavo::kTargetSizeQuery] = {};
  memcpy(query, &id, sizeof id);
  uint16_t length = 0;
  if (ioctl_get_a_target_size(p.number, query, &length, p.domain, p.port) != 0 || length == 0) {
    targets_status(31);
    return 1;
  }
  // Never less than the head the reader looks at; the firmware fills length.
  record->assign(length > sizeof(tavo::FirmwareTargetHead) ? length : sizeof(tavo::FirmwareTargetHead), 0);
  memcpy(record->data(), &id, sizeof id);
  if (ioctl_get_a_target(p.number, record->data(), length, p.domain, p.port) != 0) {
    targets_status(83);
    return 1;
  }
  return 0;
}

}  // namespace

namespace tavo::targets {

uint32_t read_listed_targets(TavoNode* lhba, uint32_t function_number, uint32_t domain, uint32_t port_number,
                             uint32_t discovered, ListedTargets* listed) {
  *listed = ListedTargets{};
  tavo::tree::HandlerContext p = tavo::tree::handler_context(lhba);
  if (!below_lhba(p)) return 1;
  p.number = function_number;
  p.domain = static_cast<uint8_t>(domain);
  p.port = static_cast<uint8_t>(port_number);
  uint32_t answered = 0;
  if (const uint32_t r = listing_discovery_block(p, p.function, &answered)) return r;
  // Without a name server the firmware is asked for its static targets;
  // those listed are still made as the caller asked.
  const uint32_t read = read_target_records(p, answered == kNameServerUnreachable ? 0 : discovered, listed);
  listed->discovered = discovered;
  return read;
}

uint32_t read_target_records(const tree::HandlerContext& p, uint32_t discovered, ListedTargets* listed) {
  *listed = ListedTargets{};
  listed->discovered = discovered;
  if (!below_lhba(p)) return 1;
  Buffer list = zeroed_buffer(kBuffer);
  if (list == nullptr) return 1;
  const tavo::TargetListRequest request{discovered, tavo::kTargetListWord};
  memcpy(list.get(), &request, sizeof request);
  if (ioctl_get_all_tgt_id(p.number, list.get(), kBuffer, p.domain, p.port) != 0) {
    targets_status(82);
    return 1;
  }
  if (internal_get_node(p.lhba, "AddTarget", TAVO_KIND_ACTION) == nullptr) return 1;
  listed->context = p;
  uint32_t count = 0;
  memcpy(&count, list.get(), sizeof count);
  const size_t room = (kBuffer - sizeof count) / sizeof(tavo::TargetIdEntry);
  // Room for as many targets of one portal each, as most are.
  listed->ends.reserve(std::min<size_t>(count, room));
  listed->bytes.reserve(std::min<size_t>(count, room) * (sizeof(tavo::FirmwareTargetHead) +
                                                         sizeof(tavo::FirmwarePortalGroupHead) +
                                                         tavo::kFirmwarePortalPort + sizeof(uint16_t)));
  std::vector<uint8_t> record;
  for (size_t i = 0; i < count && i < room; ++i) {
    tavo::TargetIdEntry entry;
    memcpy(&entry, list.get() + sizeof count + i * sizeof entry, sizeof entry);
    // Read where it is kept; the records read before one that fails are
    // still listed.
    if (listing_record(p, entry.id, &record) != 0) return 1;
    listed->add(record);
  }
  return 0;
}

void ListedTargets::add(std::span<const uint8_t> record) {
  // What listing_target and for_each_listed_portal read, bound as they do.
  const uint8_t* bytes_in = record.data();
  const size_t size = record.size();
  size_t used = sizeof(tavo::FirmwareTargetHead);
  for (uint32_t k = 0; k < listing_groups(bytes_in, size); ++k) {
    const size_t group = sizeof(tavo::FirmwareTargetHead) + tavo::kPortalGroupStride * k;
    used = std::max(used, group + sizeof(tavo::FirmwarePortalGroupHead));
    for (uint32_t j = 0; j < listing_portal_count(bytes_in, size, k); ++j) {
      const size_t end = group + sizeof(tavo::FirmwarePortalGroupHead) + tavo::kPortalStride * j +
                         tavo::kFirmwarePortalPort + sizeof(uint16_t);
      if (end > size) break;
      used = std::max(used, end);
    }
  }
  used = std::min(used, size);
  bytes.insert(bytes.end(), bytes_in, bytes_in + used);
  ends.push_back(static_cast<uint32_t>(bytes.size()));
}

void build_listed_targets(const ListedTargets& listed, bool save_lines) {
  const tavo::tree::HandlerContext& p = listed.context;
  if (p.lhba == nullptr) return;
  TavoNode* add_target = internal_get_node(p.lhba, "AddTarget", TAVO_KIND_ACTION);
  if (add_target == nullptr) return;
  SessionPersistence sessions(tavo::tree::handler_context(p.lhba));
  for (size_t i = 0; i < listed.size(); ++i) {
    const std::span<const uint8_t> record = listed.record(i);
    listing_target(p, add_target, record.data(), record.size(), listed.discovered, save_lines ? &sessions : nullptr);
  }
}

// The name as a listed record holds it (a record is never shorter than its head).
std::string_view ListedTargets::name(size_t i) const {
  const char* held = reinterpret_cast<const char*>(record(i).data()) + offsetof(tavo::FirmwareTargetHead, name);
  return std::string_view(held, strnlen(held, 223));
}

void for_each_listed_portal(const ListedTargets& listed,
                            const std::function<void(std::string_view, const char*, const char*)>& fn) {
  for (size_t i = 0; i < listed.size(); ++i) {
    const std::span<const uint8_t> record = listed.record(i);
    const uint8_t* bytes = record.data();
    const size_t size = record.size();
    const std::string_view name = listed.name(i);
    for (uint32_t k = 0; k < listing_groups(bytes, size); ++k) {
      for (uint32_t j = 0; j < listing_portal_count(bytes, size, k); ++j) {
        char address[TAVO_VALUE_SIZE], port[16], tag[16];
        if (!listing_portal(bytes, size, k, j, address, port, tag)) break;
        fn(name, address, port);
      }
    }
  }
}

bool listed_lines_present(const ListedTargets& listed, bool* any_portal) {
  std::vector<TargetPortalNames> portals;
  for_each_listed_portal(listed, [&](std::string_view name, const char* address, const char* port) {
    portals.push_back({name, address, port});
  });
  *any_portal = !portals.empty();
  return portals.empty() || target_lines_present(listed.context.lhba, portals);
}

}  // namespace tavo::targets

uint32_t get_all_targets(TavoNode* lhba, uint32_t function_number, uint32_t domain, uint32_t port_number,
                         uint32_t discovered, TavoNode*, TavoNode*, char*) {
  TAVO_LIBRARY_LOCK;
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  // Each session's record read once, whatever target asks.
  tavo::iscsi::ReadScope reads;
  ListedTargets listed;
  const uint32_t read = read_listed_targets(lhba, function_number, domain, port_number, discovered, &listed);
  build_listed_targets(listed);
  return read;
}

namespace {

// The software initiator's refresh: its iSNS servers, targets, sessions
// and LUNs; 0, or 1 with status 309 or 79.
uint32_t listing_software_refresh(TavoNode* lhba) {
  TavoNode* isns = internal_get_node(lhba->parent, "iSNS", TAVO_KIND_GROUP);
  if (isns == nullptr) return 1;
  uint32_t servers = 0, failed = 0, last = 0;
  for (TavoNode* s = get_first_instance(isns, "iSNSServer"); s != nullptr; s = next_instance(s)) {
    ++servers;
    last = TAVO_discover_isns_targets(s);
    failed += last != 0;
  }
  if (failed != 0) {
    if (last == kOpenIscsiIsns)
      targets_status(kOpenIscsiIsns);
    else
      kServersFailed.set(failed, servers);
    return 1;
  }
  const uint32_t listed = TAVO_list_op_iscsi_targets(lhba);
  TAVO_sync_targets_with_file(lhba);
  if (listed != 0) {
    kListingFailed.set();
    return 1;
  }
  return TAVO_list_op_sessions_luns(lhba) != 0 ? 1 : 0;
}

}  // namespace

uint32_t refresh_targets(TavoNode* lhba, uint32_t domain, uint32_t port_number, TavoNode* discovery, TavoNode* action,
                         char* params) {
  TAVO_LIBRARY_LOCK;
  // What the listing, the discoveries and the scans read, each once (a
  // discovery's login makes the sessions read anew).
  tavo::iscsi::ReadScope reads;
  const tavo::tree::HandlerContext p = tavo::tree::handler_context(lhba);
  if (!below_lhba(p) || discovery == nullptr) return 1;
  if (!OPEN_ISCSI_DRIVER_LOADED &&
      (add_target_from_file(lhba) != 0 || TAVO_sync_targets_with_file(lhba) != 0 ||
       get_all_targets(lhba, p.number, domain, port_number, 1, discovery, action, params) != 0))
    return 1;
  uint32_t portals = 0, failed = 0;
  for (TavoNode* s = get_first_instance(discovery, "SendTargetPortal"); s != nullptr; s = next_instance(s)) {
    tavo::iscsi::ParamTexts empty;
    ++portals;
    failed += discover_targets(s, internal_get_node(s, "DiscoverTargets", TAVO_KIND_ACTION), empty.data()) != 0;
  }
  tavo::iscsi::ParamTexts cleared;
  get_all_sessions(lhba, p.number, domain, port_number, nullptr, action, cleared.data());
  if (!OPEN_ISCSI_DRIVER_LOADED) {
    for (TavoNode* t = get_first_instance(lhba, "Target"); t != nullptr; t = next_instance(t)) {
      char answer[TAVO_VALUE_SIZE] = "";
      tavo::iscsi::ParamTexts luns;
      get_all_luns(t, domain, port_number, t, internal_get_node(t, "ReScanLUNS", TAVO_KIND_ACTION),
                                luns.data(), answer);
    }
  } else if (listing_software_refresh(lhba) != 0) {
    return 1;
  }
  if (failed != 0) {
    kPortalsFailed.set(failed, portals);
    return 1;
  }
  return 0;
}

namespace {

uint32_t listing_refresh_action(TavoNode* discovery, TavoNode* action, char* params) {
  const tavo::tree::HandlerContext p = tavo::tree::handler_context(discovery);
  char enabled[TAVO_VALUE_SIZE];
  if (!below_lhba(p) || !read_text(p.lhba, "Enabled", enabled)) return 1;
  if (is_word(enabled, "False")) {
    targets_status(46);
    return 1;
  }
  const tavo::tree::HandlerContext a = tavo::tree::handler_context(action);
  return refresh_targets(p.lhba, a.domain, a.port, discovery, action, params);
}

}  // namespace

uint32_t do_RefreshAvailableTargets(TavoNode* discovery, TavoNode* action, char* params) {
  TAVO_LIBRARY_LOCK;
  SavedBatch batch;
  return batch.end(listing_refresh_action(discovery, action, params));
}

uint32_t TAVO_refresh_backend_client_iscsi_targets(void) {
  TAVO_LIBRARY_LOCK;
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  for (TavoNode* c = get_first_instance(get_node(0), "Corvane"); c != nullptr; c = next_instance(c)) {
    TavoNode* first = get_first_instance(c, "iSCSIPhysicalHBA");
    if (first == nullptr) return 0;
    for (TavoNode* fn = first; fn != nullptr; fn = next_instance(fn)) {
      TavoNode* lhba = get_first_instance(fn, "LogicalHBA");
      if (lhba == nullptr) return 0;
      // Targets still waiting read their ETO when they are built.
      if (tavo::tree::children_wait(lhba)) continue;
      refresh_eto(lhba, static_cast<uint32_t>(instance_number(lhba)),
                                  tavo::tree::handler_context(fn).port);
    }
  }
  return 0;
}
