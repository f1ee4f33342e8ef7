// The iSCSI boot regions in flash, which the adapter's pre-boot initiator
// reads: each is read whole, edited in copies (the pad taken out, records
// removed or appended, the pad put back) and written back whole. Every
// walk stays within the region's TLV length and each record's own length;
// a region whose records do not fill its TLV length exactly is refused
// before anything is written.
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include <vector>

#include "base/library_lock.h"
#include "base/memory.h"
#include "iscsi/sessions/sessions_internal.h"
#include "transport/commands.h"
#include "transport/glob.h"
#include "transport/mailbox.h"
#include "transport/object_records.h"

using namespace tavo::sessions;
using tavo::BootTargetTlv;
using tavo::FirmwareSessionRecord;
using tavo::IscsiRegion;
using tavo::IscsiRegionTlv;

namespace {

constexpr size_t kHead = sizeof(IscsiRegionTlv);
// A region is written in one chunk: header and records at most 32 KiB.
constexpr size_t kRegionMost = tavo::kObjectChunkMax;
constexpr size_t kChapNameMost = 256;  // the session record's fields
constexpr size_t kChapSecretMost = 16;

const uint8_t* region_bytes(const IscsiRegion* r) { return reinterpret_cast<const uint8_t*>(r); }
size_t region_size(const IscsiRegion* r) { return sizeof *r + r->tlv_length; }

uint16_t region_u16(const uint8_t* p) {
  uint16_t v;
  memcpy(&v, p, sizeof v);
  return v;
}

// Calls visit(offset, type, value length) for each record in order until it
// answers false; false when a record runs past the TLV length or bytes are
// left over that hold no record.
template <typename Visit>
bool region_walk(const IscsiRegion* r, Visit visit) {
  const uint8_t* bytes = region_bytes(r);
  const size_t end = region_size(r);
  for (size_t at = sizeof *r; at < end;) {
    if (end - at < kHead) return false;
    const uint16_t length = region_u16(bytes + at + 1);
    if (length > end - at - kHead) return false;
    if (!visit(at, bytes[at], length)) return true;
    at += kHead + length;
  }
  return true;
}

// A new region of header and records (the TLV length set from them); null
// when it would not fit one write or no memory is left.
IscsiRegion* region_made(const IscsiRegion* header, const std::vector<uint8_t>& records) {
  if (records.size() > kRegionMost - sizeof *header) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: Failed to create new iscsi region\n", __func__);
    return nullptr;
  }
  auto* made = static_cast<IscsiRegion*>(tavo_dmalloc(sizeof *header + records.size()));
  if (made == nullptr) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: new_iscsi_region is NULL\n", __func__);
    return nullptr;
  }
  *made = *header;
  made->tlv_length = static_cast<uint32_t>(records.size());
  if (!records.empty()) memcpy(reinterpret_cast<uint8_t*>(made) + sizeof *made, records.data(), records.size());
  return made;
}

// A copy with the records keep() answers true for, in their order; null
// for a malformed region.
template <typename Keep>
IscsiRegion* region_kept(const IscsiRegion* r, Keep keep) {
  if (r == nullptr) return nullptr;
  std::vector<uint8_t> records;
  const uint8_t* bytes = region_bytes(r);
  const bool whole = region_walk(r, [&](size_t at, uint8_t type, uint16_t length) {
    if (keep(bytes + at, type, length)) records.insert(records.end(), bytes + at, bytes + at + kHead + length);
    return true;
  });
  if (!whole) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: malformed iscsi region of %u record bytes\n", __func__, r->tlv_length);
    return nullptr;
  }
  return region_made(r, records);
}

// A copy with more records after the others.
IscsiRegion* region_appended(const IscsiRegion* r, const std::vector<uint8_t>& more) {
  if (r == nullptr || !region_walk(r, [](size_t, uint8_t, uint16_t) { return true; })) return nullptr;
  std::vector<uint8_t> records(region_bytes(r) + sizeof *r, region_bytes(r) + region_size(r));
  records.insert(records.end(), more.begin(), more.end());
  return region_made(r, records);
}

void region_put_record(std::vector<uint8_t>* out, uint8_t type, const uint8_t* value, size_t length) {
  out->push_back(type);
  out->push_back(static_cast<uint8_t>(length & 0xFF));
  out->push_back(static_cast<uint8_t>(length >> 8));
  out->insert(out->end(), value, value + length);
}

// The boot-target record at record (type 3 or 4, total bytes with its
// head) belongs to the session: the same target name (without case),
// qualifier, IP version and address.
bool region_same_session(const uint8_t* record, size_t total, const FirmwareSessionRecord& s) {
  if (total < sizeof(BootTargetTlv)) return false;
  BootTargetTlv t;
  memcpy(&t, record, sizeof t);
  const size_t address = t.ip_version == 1 ? 16 : 4;
  if (sizeof t + address + t.name_length > total) return false;
  const uint8_t type = s.connection.destination_type;
  const size_t name = strnlen(s.target_name, sizeof s.target_name);
  if (name != t.name_length ||
      strncasecmp(reinterpret_cast<const char*>(record) + sizeof t + address, s.target_name, name) != 0)
    return false;
  if (t.isid_qualifier != (s.isid[4] << 8 | s.isid[5])) return false;
  if ((t.ip_version == 1) != (type == tavo::kLoginAddressIPv6)) return false;
  if (type == tavo::kLoginAddressIPv4) return memcmp(record + sizeof t, s.connection.destination_address, 4) == 0;
  if (type == tavo::kLoginAddressIPv6) return memcmp(record + sizeof t, s.connection.destination_address, 16) == 0;
  return true;
}


// Reads a region, takes its pad out, edits the copy, pads it and writes it
// back; 0, or 1 at the step that failed, with nothing written.
template <typename Edit>
uint32_t region_edit(const char* caller, uint32_t device, uint32_t domain, uint32_t port, int number, Edit edit) {
  Region read(TAVO_read_iscsi_region(device, domain, port, static_cast<uint32_t>(number)));
  if (!read) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: Could not read iscsi region\n", caller);
    return 1;
  }
  if (read->tlv_length == 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: The Length from iSCSI Region header is zero, means there are no TLV's present.\n",
           caller);
    return 1;
  }
  Region stripped(TAVO_remove_pad_tlv(read.get()));
  if (!stripped) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: Failed to delete pad tlv from the iscsi region\n", caller);
    return 1;
  }
  Region edited(edit(stripped.get()));
  if (!edited) return 1;
  Region padded(TAVO_add_pad_tlv(edited.get()));
  if (!padded) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: iscsi_add_padtlv is NULL\n", caller);
    return 1;
  }
  if (TAVO_write_iscsi_region(device, domain, port, static_cast<uint32_t>(number), padded.get()) != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: Could not write iscsi region\n", caller);
    return 1;
  }
  return 0;
}

}  // namespace

bool tavo::sessions::region_well_formed(const IscsiRegion* r, size_t size) {
  return r != nullptr && size >= sizeof *r && r->tlv_length <= size - sizeof *r &&
         region_walk(r, [](size_t, uint8_t, uint16_t) { return true; });
}

size_t tavo::sessions::region_boot_target(const IscsiRegion* r, uint16_t qualifier) {
  size_t found = 0;
  region_walk(r, [&](size_t at, uint8_t type, uint16_t length) {
    if (type != kTlvBootTarget || kHead + length < sizeof(BootTargetTlv)) return true;
    if (region_u16(region_bytes(r) + at + offsetof(BootTargetTlv, isid_qualifier)) != qualifier) return true;
    found = at;
    return false;
  });
  return found;
}

bool tavo::sessions::region_uses_mutual_chap(const FirmwareSessionRecord& s) {
  return s.connection.options.authentication == 1 && (s.connection.options.chap_direction & 0xFF) == 1;
}

bool tavo::sessions::region_mutual_boot_target(const IscsiRegion* r) {
  bool found = false;
  region_walk(r, [&](size_t at, uint8_t type, uint16_t length) {
    found = type == kTlvBootTarget && kHead + length >= sizeof(BootTargetTlv) &&
            region_bytes(r)[at + offsetof(BootTargetTlv, authentication)] == 2;
    return !found;
  });
  return found;
}

size_t tavo::sessions::region_boot_target_at(const IscsiRegion* r, const char* name, const char* address,
                                             const char* port) {
  uint8_t type = 0, bytes[16] = {};
  uint16_t number = 0;
  char text[TAVO_VALUE_SIZE];
  snprintf(text, sizeof text, "%s", address);
  if (!put_portal(text, port, &type, bytes, &number)) return 0;
  const size_t name_length = strlen(name);
  size_t found = 0;
  region_walk(r, [&](size_t at, uint8_t record_type, uint16_t length) {
    const uint8_t* record = region_bytes(r) + at;
    if (record_type != kTlvBootTarget || kHead + length < sizeof(BootTargetTlv)) return true;
    BootTargetTlv t;
    memcpy(&t, record, sizeof t);
    const size_t address_length = t.ip_version == 1 ? 16 : 4;
    if (sizeof t + address_length + t.name_length > kHead + length || t.name_length != name_length ||
        t.port != number || (t.ip_version == 1) != (type == kLoginAddressIPv6) ||
        memcmp(record + sizeof t, bytes, address_length) != 0 ||
        strncasecmp(reinterpret_cast<const char*>(record) + sizeof t + address_length, name, name_length) != 0)
      return true;
    found = at;
    return false;
  });
  return found;
}

uint32_t tavo::sessions::region_add_boot_target(const char* caller, uint32_t device, uint32_t domain, uint32_t port,
                                               const FirmwareSessionRecord& fw, uint32_t priority,
                                               uint32_t target_number) {
  tavo::base::Counted<BootTargetTlv> tlv(TAVO_create_TLV(&fw, nullptr, priority, target_number));
  if (!tlv) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: could not get new_boot_tlv\n", caller);
    return 1;
  }
  const auto* t = reinterpret_cast<const uint8_t*>(tlv.get());
  const std::vector<uint8_t> record_bytes(t, t + kHead + tlv->head.length);
  const uint32_t r = region_edit(caller, device, domain, port, tavo::kBootTargetRegion, [&](const IscsiRegion* read) {
    // Only this session's earlier records go: the other boot targets stay.
    Region kept(region_kept(read, [&](const uint8_t* rec, uint8_t type, uint16_t length) {
      return type != tavo::kTlvBootTarget || !region_same_session(rec, kHead + length, fw);
    }));
    IscsiRegion* added = kept ? region_appended(kept.get(), record_bytes) : nullptr;
    if (added == nullptr)
      pdebug(TAVO_LOG_BACKEND, 3, "%s: Failed to delete boot target tlv's from the iscsi region\n", caller);
    return added;
  });
  if (r != 0 || !region_uses_mutual_chap(fw)) return r;
  if (TAVO_update_initiator_chap_region(device, domain, port, &fw) != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: Could not update iscsi region 2\n", caller);
    return 1;
  }
  return 0;
}

bool tavo::sessions::region_record_of(const IscsiRegion* r, TavoNode* session, size_t* at) {
  *at = 0;
  if (OPEN_ISCSI_DRIVER_LOADED) {
    char name[TAVO_VALUE_SIZE], address[TAVO_VALUE_SIZE], port[TAVO_VALUE_SIZE];
    if (read_text(session->parent, "TargetISCSIName", name) && session_portal(session, address, port))
      *at = region_boot_target_at(r, name, address, port);
    return true;
  }
  char qualifier[TAVO_VALUE_SIZE];
  if (!read_text(session, "ISIDQualifier", qualifier)) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: Failed to get ISIDQualifier node\n", __func__);
    return false;
  }
  *at = region_boot_target(r, parse_qualifier(qualifier));
  return true;
}

size_t tavo::sessions::region_mpio(const IscsiRegion* r) {
  size_t found = 0;
  region_walk(r, [&](size_t at, uint8_t type, uint16_t length) {
    if (type != kTlvMpio || length < 2) return true;
    found = at;
    return false;
  });
  return found;
}

IscsiRegion* TAVO_read_iscsi_region(uint32_t device, uint32_t domain, uint32_t port, uint32_t region) {
  TAVO_LIBRARY_LOCK;
  auto request = tavo::base::counted_zeroed<tavo::ObjectReadRequest>();
  if (!request) {
    sessions_status(31);
    return nullptr;
  }
  // The largest region one answer holds, from its start.
  request->length = tavo::kObjectChunkMax;
  snprintf(request->name, sizeof request->name, tavo::kIscsiRegionName, port, static_cast<int>(region));
  const uint32_t status =
      ioctl_common_read_object_version1(device, request.get(), sizeof(tavo::ObjectReadRequest),
                                        static_cast<uint8_t>(domain), static_cast<uint8_t>(port), TAVO_VIA_ISCSI);
  if (status != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: ioctl_common_read_object_version1 failed with status = %d\n", __func__,
           static_cast<int>(status));
    return nullptr;
  }
  const uint32_t count = request->length;
  if (count == 0) return nullptr;
  if ((request->offset & tavo::kObjectEndOfFile) == 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: eof not reached\n", __func__);
    return nullptr;
  }
  const uint8_t* data = reinterpret_cast<const uint8_t*>(request.get()) + tavo::kObjectReadData;
  if (count > tavo::kObjectReadRoom || count < sizeof(IscsiRegion) ||
      !region_well_formed(reinterpret_cast<const IscsiRegion*>(data), count)) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: region %s of %u bytes is malformed\n", __func__, request->name, count);
    return nullptr;
  }
  auto* copy = static_cast<IscsiRegion*>(tavo_dmalloc(count));
  if (copy == nullptr) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: Failed to allocate memory for iscsi_region\n", __func__);
    sessions_status(31);
    return nullptr;
  }
  memcpy(copy, data, count);
  return copy;
}

IscsiRegion* TAVO_read_iscsi_boot_region(uint32_t device, uint32_t domain, uint32_t port, uint32_t region) {
  return TAVO_read_iscsi_region(device, domain, port, region);
}

uint32_t TAVO_write_iscsi_region(uint32_t device, uint32_t domain, uint32_t port, uint32_t region,
                                 const IscsiRegion* data) {
  TAVO_LIBRARY_LOCK;
  if (data == nullptr) return 1;
  if (data->tlv_length > kRegionMost - sizeof *data) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: %u record bytes do not fit one write\n", __func__, data->tlv_length);
    return 1;
  }
  const size_t size = region_size(data);
  const size_t length = offsetof(tavo::ObjectWriteRequest, data) + size;
  auto request = tavo::base::counted_zeroed<uint8_t>(length);
  if (!request) {
    sessions_status(31);
    return 1;
  }
  const uint32_t word = static_cast<uint32_t>(size) | tavo::kObjectEndOfFile;
  memcpy(request.get(), &word, sizeof word);
  snprintf(reinterpret_cast<char*>(request.get()) + offsetof(tavo::ObjectWriteRequest, name), tavo::kObjectNameSize,
           tavo::kIscsiRegionName, port, static_cast<int>(region));
  memcpy(request.get() + offsetof(tavo::ObjectWriteRequest, data), data, size);
  const uint32_t status =
      ioctl_common_write_object_version1(device, request.get(), static_cast<uint16_t>(length),
                                         static_cast<uint8_t>(domain), static_cast<uint8_t>(port), TAVO_VIA_ISCSI);
  uint32_t written;
  memcpy(&written, request.get(), sizeof written);
  pdebug(TAVO_LOG_BACKEND, 6, "%s: %u bytes written, change status %d\n", __func__, written,
         request.get()[offsetof(tavo::ObjectWriteRequest, offset)]);
  if (status != 0)
    pdebug(TAVO_LOG_BACKEND, 3, "%s: ioctl_common_write_object_version1 failed with status = %d\n", __func__,
           static_cast<int>(status));
  return status;
}

uint32_t TAVO_write_iscsi_boot_region(uint32_t device, uint32_t domain, uint32_t port, uint32_t region,
                                      const IscsiRegion* data) {
  return TAVO_write_iscsi_region(device, domain, port, region, data);
}

IscsiRegion* TAVO_remove_pad_tlv(const IscsiRegion* region) {
  // Every pad goes, and nothing else: records a pad wrongly stands before
  // are kept.
  return region_kept(region, [](const uint8_t*, uint8_t type, uint16_t) { return type != tavo::kTlvPad; });
}

IscsiRegion* TAVO_add_pad_tlv(const IscsiRegion* region) {
  if (region == nullptr) return nullptr;
  static constexpr size_t kPadValue[] = {0, 0, 3, 2};  // by TLV length mod 4
  const uint32_t r = region->tlv_length % 4;
  std::vector<uint8_t> pad;
  if (r != 0) {
    const uint8_t zeros[3] = {};
    region_put_record(&pad, tavo::kTlvPad, zeros, kPadValue[r]);
  }
  return region_appended(region, pad);
}

IscsiRegion* TAVO_remove_boot_tlv(const IscsiRegion* region, const FirmwareSessionRecord* session, uint32_t mode) {
  return region_kept(region, [&](const uint8_t* record, uint8_t type, uint16_t length) {
    const bool boot_record = type == tavo::kTlvBootTarget || type == tavo::kTlvBootTargetOther;
    if (!boot_record) return true;
    if (mode == 1) return false;
    if (mode != 2 || session == nullptr) return true;
    const uint32_t flag = type == tavo::kTlvBootTarget ? tavo::kSessionBoot : tavo::kSessionBootOther;
    return (session->flags & flag) == 0 || !region_same_session(record, kHead + length, *session);
  });
}

BootTargetTlv* TAVO_create_TLV(const FirmwareSessionRecord* session, TavoNode*, uint32_t priority,
                               uint32_t target_number) {
  TAVO_LIBRARY_LOCK;
  if (session == nullptr) return nullptr;
  const tavo::ConnectionLoginOptions& o = session->connection.options;
  const uint8_t chap = o.authentication, mutual = static_cast<uint8_t>(o.chap_direction & 0xFF);
  const bool with_chap = chap == 1, with_mutual = chap == 1 && mutual == 1;
  const size_t name = strnlen(session->target_name, sizeof session->target_name);
  const size_t chap_name = with_chap ? o.target_chap_name_length : 0;
  const size_t chap_secret = with_chap ? o.target_secret_length : 0;
  const size_t mutual_name = with_mutual ? o.initiator_chap_name_length : 0;
  const size_t mutual_secret = with_mutual ? o.initiator_secret_length : 0;
  // Every length must fit its byte and its field of the session record.
  if (name > 0xFF || chap_name > 0xFF || mutual_name > 0xFF || chap_secret > kChapSecretMost ||
      mutual_secret > kChapSecretMost) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: Failed to create new tlv: a length does not fit its field\n", __func__);
    return nullptr;
  }
  const uint8_t type = session->connection.destination_type;
  const size_t address = type == tavo::kLoginAddressIPv4 ? 4 : type == tavo::kLoginAddressIPv6 ? 16 : 0;
  BootTargetTlv t{};
  t.head.type = tavo::kTlvBootTarget;
  t.head.length = static_cast<uint16_t>(tavo::kBootTargetFixedLength + address + name + chap_name + chap_secret +
                                        mutual_name + mutual_secret);
  t.version = tavo::kTlvVersion;
  t.target_number = static_cast<uint8_t>(target_number);
  t.priority = static_cast<uint8_t>(priority);
  t.byte7 = 1;
  t.authentication = with_mutual ? 2 : with_chap && mutual == 0 ? 1 : 0;
  t.isid_qualifier = static_cast<uint16_t>(session->isid[4] << 8 | session->isid[5]);
  t.session_bytes[0] = o.header_digest;
  t.session_bytes[1] = o.data_digest;
  t.port = session->connection.destination_port;
  t.ip_version = type == tavo::kLoginAddressIPv6 ? 1 : 0;
  t.name_length = static_cast<uint8_t>(name);
  t.chap_name_length = static_cast<uint8_t>(chap_name);
  t.chap_secret_length = static_cast<uint8_t>(chap_secret);
  std::vector<uint8_t> bytes(reinterpret_cast<const uint8_t*>(&t), reinterpret_cast<const uint8_t*>(&t) + sizeof t);
  auto put = [&bytes](const void* from, size_t n) {
    bytes.insert(bytes.end(), static_cast<const uint8_t*>(from), static_cast<const uint8_t*>(from) + n);
  };
  put(session->connection.destination_address, address);
  put(session->target_name, name);
  put(o.target_chap_name, chap_name);
  put(o.target_secret, chap_secret);
  bytes.push_back(static_cast<uint8_t>(mutual_name));
  bytes.push_back(static_cast<uint8_t>(mutual_secret));
  put(o.initiator_chap_name, mutual_name);
  put(o.initiator_secret, mutual_secret);
  auto* made = static_cast<BootTargetTlv*>(tavo_dmalloc(bytes.size()));
  if (made == nullptr) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: Failed to create new tlv\n", __func__);
    return nullptr;
  }
  memcpy(made, bytes.data(), bytes.size());
  return made;
}

IscsiRegion* TAVO_add_initiator_chap_tlv(const IscsiRegion* region, const FirmwareSessionRecord* session) {
  if (region == nullptr || session == nullptr) return nullptr;
  const tavo::ConnectionLoginOptions& o = session->connection.options;
  if (o.initiator_chap_name_length > kChapNameMost || o.initiator_secret_length > kChapSecretMost) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: chap_name_tlv is NULL\n", __func__);
    return nullptr;
  }
  std::vector<uint8_t> more;
  // Each value: the version byte, then the name or the secret.
  const auto put = [&more](uint8_t type, const void* bytes, size_t n) {
    std::vector<uint8_t> value(1 + n, tavo::kTlvVersion);
    if (n > 0) memcpy(value.data() + 1, bytes, n);
    region_put_record(&more, type, value.data(), value.size());
  };
  put(tavo::kTlvInitiatorChapName, o.initiator_chap_name, o.initiator_chap_name_length);
  put(tavo::kTlvInitiatorChapSecret, o.initiator_secret, o.initiator_secret_length);
  return region_appended(region, more);
}

IscsiRegion* TAVO_delete_initiator_chap_tlv(const IscsiRegion* region) {
  return region_kept(region, [](const uint8_t*, uint8_t type, uint16_t) {
    return type != tavo::kTlvInitiatorChapName && type != tavo::kTlvInitiatorChapSecret;
  });
}

uint32_t TAVO_delete_initiator_chap_region(uint32_t device, uint32_t domain, uint32_t port) {
  TAVO_LIBRARY_LOCK;
  return region_edit(__func__, device, domain, port, tavo::kInitiatorRegion, [](const IscsiRegion* r) {
    IscsiRegion* kept = TAVO_delete_initiator_chap_tlv(r);
    if (kept == nullptr)
      pdebug(TAVO_LOG_BACKEND, 3, "%s: Failed to remove chap tlv's from the iscsi region\n", __func__);
    return kept;
  });
}

uint32_t TAVO_update_initiator_chap_region(uint32_t device, uint32_t domain, uint32_t port,
                                           const FirmwareSessionRecord* session) {
  TAVO_LIBRARY_LOCK;
  if (session == nullptr) return 1;
  return region_edit(__func__, device, domain, port, tavo::kInitiatorRegion, [&](const IscsiRegion* r) {
    Region kept(TAVO_delete_initiator_chap_tlv(r));
    IscsiRegion* added = kept ? TAVO_add_initiator_chap_tlv(kept.get(), session) : nullptr;
    if (added == nullptr) pdebug(TAVO_LOG_BACKEND, 3, "%s: Failed to add chap tlv's to the iscsi region\n", __func__);
    return added;
  });
}

uint32_t TAVO_delete_boottarget_tlv(uint32_t device, uint32_t domain, uint32_t port,
                                    const FirmwareSessionRecord* session) {
  TAVO_LIBRARY_LOCK;
  if (session == nullptr) return 1;
  bool mutual_left = false;
  const uint32_t r = region_edit(__func__, device, domain, port, tavo::kBootTargetRegion, [&](const IscsiRegion* read) {
    IscsiRegion* kept = TAVO_remove_boot_tlv(read, session, 2);
    if (kept == nullptr)
      pdebug(TAVO_LOG_BACKEND, 3, "%s: Failed to delete boot target tlv's from the iscsi region\n", __func__);
    else
      mutual_left = region_mutual_boot_target(kept);
    return kept;
  });
  // The initiator's CHAP in region 2 serves every mutual CHAP boot target:
  // it goes with the last of them.
  if (r != 0 || !region_uses_mutual_chap(*session) || mutual_left) return r;
  if (TAVO_delete_initiator_chap_region(device, domain, port) != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: Could not delete iscsi region 2\n", __func__);
    return 1;
  }
  return 0;
}

uint32_t TAVO_add_boottarget_tlv(uint32_t device, uint32_t domain, uint32_t port, TavoNode* session, uint32_t priority,
                                 uint32_t target_number) {
  TAVO_LIBRARY_LOCK;
  const SessionPrivateRecord* record = private_record(session);
  if (record == nullptr) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:Failed: Invalid session handle.\n", __func__);
    return 1;
  }
  SessionRecord fw(TAVO_get_session_params(record->handle, device, domain, port));
  if (fw == nullptr) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: could not get session info\n", __func__);
    return 1;
  }
  return region_add_boot_target(__func__, device, domain, port, *fw, priority, target_number);
}
