// The LUNs behind a Target: each scan asks every open session of the
// target for its LUNs (REPORT LUNS) and rebuilds the Target's LUN groups;
// their properties are read from the LUN whenever a client reads them.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "base/library_lock.h"
#include "base/memory.h"
#include "iscsi/sessions/sessions_internal.h"
#include "transport/glob.h"
#include "transport/scsi_records.h"

using namespace tavo::sessions;

namespace {

constexpr uint32_t kNoSession = 42;
constexpr uint32_t kLunsMissing = 90;
constexpr uint32_t kMostLunGroups = 255;
constexpr uint32_t kCapacityOverflow = 0xFFFFFFFF;

uint32_t luns_be32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

uint64_t luns_be64(const uint8_t* p) { return uint64_t{luns_be32(p)} << 32 | luns_be32(p + 4); }

// An answer of the pass-through commands, freed with its holder.
using LunData = tavo::base::Counted<uint8_t>;

// What a LUN's commands go through: the device of its Target's lowest
// Session and the LUN itself; false when either is missing.
struct LunPath {
  uint32_t device = 0;
  uint32_t session_handle = 0;  // the lowest Session's
  const LunPrivateRecord* lun = nullptr;
  uint8_t bytes[8] = {};
};

bool luns_path(TavoNode* lun, LunPath* out) {
  TavoNode* target = lun != nullptr ? lun->parent : nullptr;
  const SessionPrivateRecord* session = private_record(get_first_instance(target, "Session"));
  out->lun = lun_record(lun);
  if (session == nullptr || out->lun == nullptr) return false;
  out->device = session->function_number;
  out->session_handle = session->handle;
  lun_bytes(*out->lun, out->bytes);
  return true;
}

// "%0.2f <unit>" of size scaled in single precision, as the adapter's
// other tools show it.
void luns_size_text(uint64_t size, bool capacity16, char out[TAVO_VALUE_SIZE]) {
  const float f = static_cast<float>(size);
  if (capacity16 && size >= uint64_t{1} << 40)
    snprintf(out, TAVO_VALUE_SIZE, "%0.2f TB", static_cast<double>(f * 0x1p-40f));
  else if (size >= uint64_t{1} << 30)
    snprintf(out, TAVO_VALUE_SIZE, "%0.2f GB", static_cast<double>(f * 0x1p-30f));
  else if (size >= uint64_t{1} << 20)
    snprintf(out, TAVO_VALUE_SIZE, "%0.2f MB", static_cast<double>(f * 0x1p-20f));
  else if (size >= uint64_t{1} << 10)
    snprintf(out, TAVO_VALUE_SIZE, "%0.2f KB", static_cast<double>(f * 0x1p-10f));
  else
    snprintf(out, TAVO_VALUE_SIZE, "%d Bytes", static_cast<int>(size));
}

// A LUN property read: the fill once more when it fails, then the stored
// text. One of software_read's operations stands in for the fill while
// the host's software initiator owns the LUN.
template <typename Fill>
uint32_t luns_read(TavoNode* property, char* buf, uint32_t second_failure, Fill fill,
                   uint32_t (*software_read)(TavoNode*, char*)) {
  TavoNode* lun = property != nullptr ? property->parent : nullptr;
  if (lun == nullptr || lun->parent == nullptr || buf == nullptr) return 1;
  if (lun_record(lun) == nullptr && OPEN_ISCSI_DRIVER_LOADED) {
    if (software_read != nullptr) software_read(lun, buf);
  } else {
    const tavo::tree::HandlerContext at = tavo::tree::handler_context(property);
    if (fill(at, lun) != 0) {
      const uint32_t r = fill(at, lun);
      if (r != 0) return second_failure != 0 ? second_failure : r;
    }
  }
  snprintf(buf, TAVO_VALUE_SIZE, "%s", tavo::tree::property_record(property)->value);
  return 0;
}

// Whether a scan looks at the session: open (neither closed nor failed)
// and with its record.
bool luns_scanned(TavoNode* session) {
  SessionView view;
  return session_view(session, &view) && !reusable_status(view.status) && private_record(session) != nullptr;
}

// The LUN groups of one REPORT LUNS answer; false when one cannot be made.
bool luns_build(TavoNode* target, const uint8_t* answer, uint32_t count, uint32_t session_handle,
                TavoNode* creating_node, TavoNode* creating_action, char* params,
                const std::vector<std::pair<uint32_t, uint32_t>>& before, uint32_t* flag) {
  for (uint32_t i = 0; i < count; ++i) {
    TavoNode* lun = i == 0 ? initialize_LUN(target, creating_node, creating_action, params)
                           : initialize_LUN(target, nullptr, nullptr, nullptr);
    if (lun == nullptr) return false;
    auto* record = static_cast<LunPrivateRecord*>(tavo_dmalloc(sizeof(LunPrivateRecord)));
    if (record == nullptr) {
      // A LUN group never stays without its record: the next scan could
      // not tell which LUN it was.
      delete_node(lun);
      return false;
    }
    const uint8_t* entry = answer + 8 * (size_t{i} + 1);
    *record = LunPrivateRecord{0, luns_be32(entry), luns_be32(entry + 4), session_handle};
    tavo::tree::group_record(lun)->nhandle = record;
    if (!before.empty()) {
      bool found = false;
      for (const auto& id : before) found = found || (id.first == record->lun_high && id.second == record->lun_low);
      *flag = found ? 0 : 1;
    }
  }
  return true;
}

}  // namespace

LunPrivateRecord* tavo::sessions::lun_record(TavoNode* lun) {
  if (lun == nullptr || lun->kind != TAVO_KIND_GROUP || lun->record == nullptr) return nullptr;
  return static_cast<LunPrivateRecord*>(tree::group_record(lun)->nhandle);
}

void tavo::sessions::lun_bytes(const LunPrivateRecord& r, uint8_t out[8]) {
  for (int i = 0; i < 4; ++i) {
    out[i] = static_cast<uint8_t>(r.lun_high >> (24 - 8 * i));
    out[4 + i] = static_cast<uint8_t>(r.lun_low >> (24 - 8 * i));
  }
}

uint32_t scan_from_os(void) { return 0; }

uint32_t get_all_luns(TavoNode* target, uint32_t domain, uint32_t port_number, TavoNode* creating_node,
                      TavoNode* creating_action, char* params, char* answer) {
  TAVO_LIBRARY_LOCK;
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  if (target == nullptr) return 1;
  std::vector<std::pair<uint32_t, uint32_t>> before;
  for (TavoNode* lun = get_first_instance(target, "LUN"); lun != nullptr; lun = next_instance(lun)) {
    const LunPrivateRecord* r = lun_record(lun);
    if (r == nullptr) return 1;
    before.emplace_back(r->lun_high, r->lun_low);
  }
  if (const uint32_t purged = purge_nodes_within(target, "LUN")) return purged;
  TavoNode* first = get_first_instance(target, "Session");
  if (first == nullptr) return kNoSession;
  uint32_t failed = 0, total = 0, flag = 0;
  for (TavoNode* s = first; s != nullptr; s = next_instance(s)) {
    if (!luns_scanned(s)) continue;
    const SessionPrivateRecord* session = private_record(s);
    uint8_t* raw = nullptr;
    const uint32_t r = FetchReportLUNData(session->function_number, domain, port_number, session->handle, &raw);
    LunData data(raw);
    if (r == kLunsMissing) {
      ++failed;
      pdebug(TAVO_LOG_BACKEND, 3, "Failed to scan LUNs for Session%d.\n", tavo::tree::instance_number(s));
      continue;
    }
    if (r != 0) continue;
    if (!data) return 1;
    uint32_t count = luns_be32(data.get()) / 8;
    if (count > kMostLunGroups) count = kMostLunGroups;
    if (!luns_build(target, data.get(), count, session->handle, creating_node, creating_action, params, before, &flag))
      return 1;
    total += count;
    if (answer != nullptr) snprintf(answer, TAVO_VALUE_SIZE, "%u", total == before.size() ? flag : 1);
  }
  return failed != 0 ? kLunsMissing : 0;
}

uint32_t get_read_capacity(uint32_t domain, uint32_t port, TavoNode* lun) {
  TAVO_LIBRARY_LOCK;
  LunPath p;
  if (!luns_path(lun, &p)) return 1;
  uint8_t* raw = nullptr;
  uint32_t r = FetchReadCapacityData(p.device, domain, port, p.lun->session_handle, p.bytes, &raw, 0);
  LunData data(raw);
  if (r != 0 || !data) return r != 0 ? r : 1;
  uint64_t last = luns_be32(data.get());
  uint32_t block = luns_be32(data.get() + 4);
  const bool capacity16 = last == kCapacityOverflow;
  if (capacity16) {
    r = FetchReadCapacityData(p.device, domain, port, p.lun->session_handle, p.bytes, &raw, 1);
    data.reset(raw);
    if (r != 0 || !data) return r != 0 ? r : 1;
    last = luns_be64(data.get());
    block = luns_be32(data.get() + 8);
  }
  char size[TAVO_VALUE_SIZE];
  luns_size_text((last + 1) * block, capacity16, size);
  return set_prop_val(lun, "BlockSize", "%d", static_cast<int32_t>(block)) != 0 ||
                 set_prop_val(lun, "LUNSize", "%s", size) != 0
             ? 1
             : 0;
}

namespace {

// A LUN's standard INQUIRY data and its unit serial number page.
struct InquiryRead {
  uint8_t inquiry[36];
  uint8_t page[255];
};

tavo::iscsi::RecordReads<InquiryRead>& inquiry_reads() {
  static tavo::base::NoDestructor<tavo::iscsi::RecordReads<InquiryRead>> kept(
      tavo::command::CommandId::ioctl_scsi_passthru);
  return *kept;
}

}  // namespace

uint32_t get_std_inquiry_props(uint32_t, uint32_t domain, uint32_t port, TavoNode* lun) {
  TAVO_LIBRARY_LOCK;
  LunPath p;
  if (!luns_path(lun, &p)) return 1;
  // Both answers are read once per request; a page that cannot be read
  // leaves the INQUIRY's values shown.
  InquiryRead read;
  bool inquired = false;
  const uint32_t fetched = inquiry_reads().read(
      {p.device, domain, port, p.lun->session_handle, p.lun->lun_high, p.lun->lun_low}, nullptr, &read,
      [&](InquiryRead* out) {
        const uint32_t asked =
            FetchScsiInquiryData(p.device, domain, port, p.lun->session_handle, p.bytes, out->inquiry);
        if (asked != 0) return asked;
        inquired = true;
        return FetchLSNInquiryData(p.device, domain, port, p.lun->session_handle, p.bytes, out->page);
      });
  if (fetched != 0 && !inquired) return fetched;
  const uint8_t* inquiry = read.inquiry;
  const auto* text = reinterpret_cast<const char*>(inquiry);
  uint32_t r = 0;
  if ((r = set_prop_val(lun, "DeviceVendorName", "%.8s", text + 8)) != 0 ||
      (r = set_prop_val(lun, "DeviceModelNumber", "%.16s", text + 16)) != 0 ||
      (r = set_prop_val(lun, "LUNType", "0x%x", inquiry[0] & 0x1F)) != 0)
    return r;
  if (fetched != 0) return fetched;
  // The page's length byte may claim more than the 251 bytes kept.
  const size_t length = std::min<size_t>(read.page[3], sizeof read.page - 4);
  return set_prop_val(lun, "LUNSerialNumber", "%.*s", static_cast<int>(length),
                      reinterpret_cast<const char*>(read.page) + 4);
}

uint32_t get_lunname_prop(uint32_t domain, uint32_t port, TavoNode* lun) {
  TAVO_LIBRARY_LOCK;
  TavoNode* target = lun != nullptr ? lun->parent : nullptr;
  char name[TAVO_VALUE_SIZE];
  if (target == nullptr || !read_text(target->parent, "IfName", name)) {
    pdebug(TAVO_LOG_BACKEND, 3, "Failed to get Ifname for this lhba\n");
    return 1;
  }
  const SessionPrivateRecord* session = private_record(get_first_instance(target, "Session"));
  if (session == nullptr) return 1;
  tavo::SessionConfigRecord config{};
  const uint32_t r =
      read_session_config(session->function_number, domain, port, session->handle, tavo::kSessionConfigHostLun + 2,
                          " ioctl_get_sessionconfig_size failed\n", &config);
  if (r != 0) return r;
  uint16_t host_target = 0, host_lun = 0;
  memcpy(&host_target, reinterpret_cast<const uint8_t*>(&config) + tavo::kSessionConfigHostTarget, 2);
  memcpy(&host_lun, reinterpret_cast<const uint8_t*>(&config) + tavo::kSessionConfigHostLun, 2);
  return set_prop_val(lun, "LUNName", "%s:%d:%d", name, host_target, host_lun);
}

uint32_t handle_StdInquiry_properties(TavoNode* property, char* buf, uint32_t) {
  TAVO_LIBRARY_LOCK;
  return luns_read(
      property, buf, 1,
      [](const tavo::tree::HandlerContext& at, TavoNode* lun) {
        return get_std_inquiry_props(at.number, at.domain, at.port, lun);
      },
      TAVO_op_get_lun_props);
}

uint32_t handle_lun_block_size(TavoNode* property, char* buf, uint32_t) {
  TAVO_LIBRARY_LOCK;
  const bool block = property != nullptr && strcmp(property->name, "BlockSize") == 0;
  return luns_read(
      property, buf, 0,
      [](const tavo::tree::HandlerContext& at, TavoNode* lun) { return get_read_capacity(at.domain, at.port, lun); },
      block ? TAVO_get_BlockSize : TAVO_get_LUNSize);
}

uint32_t handle_LUNName(TavoNode* property, char* buf, uint32_t) {
  TAVO_LIBRARY_LOCK;
  return luns_read(
      property, buf, 0,
      [](const tavo::tree::HandlerContext& at, TavoNode* lun) { return get_lunname_prop(at.domain, at.port, lun); },
      nullptr);
}

namespace {

uint32_t lun_number(TavoNode* property, char* buf) {
  TavoNode* lun = property != nullptr ? property->parent : nullptr;
  if (lun == nullptr || lun->parent == nullptr || buf == nullptr) return 1;
  // Without its record a LUN keeps the number it shows.
  if (const LunPrivateRecord* r = lun_record(lun)) {
    uint8_t b[8];
    lun_bytes(*r, b);
    set_prop_val(lun, "LUNNumber", "%02x%02x%02x%02x%02x%02x%02x%02x", 0, 0, 0, 0, b[3], b[2], b[1], b[0]);
  }
  snprintf(buf, TAVO_VALUE_SIZE, "%s", tavo::tree::property_record(property)->value);
  return 0;
}

}  // namespace

uint32_t handle_LUNNumber(TavoNode* property, char* buf, uint32_t) {
  TAVO_LIBRARY_LOCK;
  return lun_number(property, buf);
}

uint32_t group_LUN(TavoNode* lun) {
  TAVO_LIBRARY_LOCK;
  TavoNode* target = lun != nullptr ? lun->parent : nullptr;
  if (target == nullptr) return 1;
  if (OPEN_ISCSI_DRIVER_LOADED) return 0;
  const tavo::tree::HandlerContext at = tavo::tree::handler_context(lun);
  for (TavoNode* s = get_first_instance(target, "Session"); s != nullptr; s = next_instance(s)) {
    const SessionPrivateRecord* r = private_record(s);
    if (r != nullptr && get_session_attribs(r->function_number, at.domain, at.port, s) == 0) return 0;
  }
  return 1;
}

uint32_t do_ReScanLUNS(TavoNode* target, TavoNode* action, char* params) {
  TAVO_LIBRARY_LOCK;
  scan_from_os();
  const tavo::tree::HandlerContext at = tavo::tree::handler_context(action != nullptr ? action : target);
  char answer[TAVO_VALUE_SIZE] = "";
  const uint32_t r = get_all_luns(target, at.domain, at.port, target, action, params, answer);
  if (r == kNoSession) {
    sessions_status(kNoSession);
    return 0;
  }
  if (r == kLunsMissing) {
    kRescanLunsMissing.set();
    return 0;
  }
  return r;
}

namespace {

uint32_t inquiry_action(TavoNode* lun) {
  if (OPEN_ISCSI_DRIVER_LOADED || lun == nullptr) return 1;
  TavoNode* session = get_first_instance(lun->parent, "Session");
  if (session == nullptr) return 1;
  LunPath p;
  if (!luns_path(lun, &p)) {
    pdebug(TAVO_LOG_BACKEND, 3, "do_StdInquiry:pSessionInfo is NULL.\n");
    return 1;
  }
  const tavo::tree::HandlerContext at = tavo::tree::handler_context(lun);
  uint8_t inquiry[36];
  if (FetchScsiInquiryData(p.device, at.domain, at.port, p.session_handle, p.bytes, inquiry) == 0) return 0;
  return FetchScsiInquiryData(p.device, at.domain, at.port, p.session_handle, p.bytes, inquiry);
}

}  // namespace

uint32_t do_StdInquiry(TavoNode* lun, TavoNode*, char*) {
  TAVO_LIBRARY_LOCK;
  return inquiry_action(lun);
}

namespace {

uint32_t write_action(TavoNode* lun, char* params) {
  if (lun == nullptr || params == nullptr) return 1;
  const auto start = static_cast<int32_t>(strtol(param(params, 0), nullptr, 10));
  const auto count = static_cast<uint16_t>(strtoul(param(params, 1), nullptr, 10));
  if (OPEN_ISCSI_DRIVER_LOADED) {
    sessions_status(321);
    return 1;
  }
  LunPath p;
  if (!luns_path(lun, &p)) return 1;
  const tavo::tree::HandlerContext at = tavo::tree::handler_context(lun);
  const uint32_t r =
      IssueSCSIReadWrite(p.device, at.domain, at.port, p.session_handle, p.bytes, tavo::kScsiDataOut, start, count);
  if (r == 0) return 0;
  return IssueSCSIReadWrite(p.device, at.domain, at.port, p.session_handle, p.bytes, tavo::kScsiDataOut, start, count);
}

}  // namespace

uint32_t do_SCSIWrite(TavoNode* lun, TavoNode*, char* params) {
  TAVO_LIBRARY_LOCK;
  return write_action(lun, params);
}
