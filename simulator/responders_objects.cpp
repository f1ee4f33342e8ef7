// Firmware answers for the flash file system: one reader (171/1) and one
// writer (172/1) over the controller's named flash objects. A missing
// object reads as empty unless a maker below gives a default for it (NIC
// regions, iSCSI boot regions); further objects get makers, not responders.
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "simulator/responders.h"
#include "simulator/simulator.h"
#include "transport/boot_region_records.h"
#include "transport/firmware_records.h"
#include "transport/object_records.h"

namespace tavo::sim {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kStatusInvalid = 3;

// A write in progress per controller and object: what its chunks built and
// whether they changed the object.
struct PendingWrite {
  Bytes content;
  bool started = false;
};
using PendingWrites = std::map<std::pair<int, std::string>, PendingWrite>;

// The NIC region of a port's partition k: present for each function the
// port has (partition 1 its first); a header, a record of another type,
// the NIC, iSCSI and FCoE MAC records (02:0e:1e:<controller>:<port>:<k><n>),
// and a last record of another type.
bool objects_nic_region(Simulator& sim, int controller, const std::string& name, Bytes* out) {
  int port = -1, partition = -1, consumed = 0;
  if (sscanf(name.c_str(), "/nicdata/Port%d/Partition%d/Region1%n", &port, &partition, &consumed) != 2 ||
      consumed != static_cast<int>(name.size()) || partition < 1)
    return false;
  int functions = 0;
  for (const SimFunction& f : sim.topology().functions)
    functions += f.controller == controller && f.port == port && !f.virtual_function;
  if (partition > functions) return false;
  Bytes records;
  auto record = [&records](uint8_t type, const Bytes& value) {
    const auto length = static_cast<uint16_t>(value.size());
    records.push_back(type);
    records.push_back(static_cast<uint8_t>(length & 0xFF));
    records.push_back(static_cast<uint8_t>(length >> 8));
    records.insert(records.end(), value.begin(), value.end());
  };
  record(1, {0xAA, 0xBB, 0xCC, 0xDD});
  for (uint8_t type = kRegionNicMac; type <= kRegionFcoeMac; ++type)
    record(type, {0, 0x02, 0x0e, 0x1e, static_cast<uint8_t>(controller), static_cast<uint8_t>(port),
                  static_cast<uint8_t>(partition << 4 | (type - kRegionNicMac))});
  record(48, {0x12, 0x34});
  NicRegionHeader header{};
  memcpy(header.reserved0, "NRG1", 4);
  header.length = static_cast<uint32_t>(records.size());
  for (uint8_t i = 0; i < sizeof header.reserved8; ++i) header.reserved8[i] = static_cast<uint8_t>(0x80 + i);
  out->assign(reinterpret_cast<const uint8_t*>(&header), reinterpret_cast<const uint8_t*>(&header) + sizeof header);
  out->insert(out->end(), records.begin(), records.end());
  return true;
}

// The iSCSI boot regions of a port that an iSCSI function serves: region 2
// with the MPIO switch (off), region 3 with a settings record of the
// pre-boot utility; each padded to 4 bytes.
bool objects_boot_region(Simulator& sim, int controller, const std::string& name, Bytes* out) {
  unsigned port = 0;
  int region = 0;
  if (sscanf(name.c_str(), kIscsiRegionName, &port, &region) != 2 ||
      (region != kInitiatorRegion && region != kBootTargetRegion))
    return false;
  char canonical[kObjectNameSize];
  snprintf(canonical, sizeof canonical, kIscsiRegionName, port, region);
  if (name != canonical) return false;
  if (std::none_of(sim.topology().functions.begin(), sim.topology().functions.end(), [&](const SimFunction& f) {
        return f.kind == FunctionKind::Iscsi && f.controller == controller && f.port == static_cast<int>(port);
      }))
    return false;
  const Bytes records = region == kInitiatorRegion ? Bytes{kTlvMpio, 2, 0, 1, 0, kTlvPad, 0, 0}
                                                   : Bytes{1, 4, 0, 0x10, 0x20, 0, 0, kTlvPad, 2, 0, 0, 0};
  IscsiRegion header{};
  header.word0 = 0x52534969;  // "iISR"
  header.tlv_length = static_cast<uint32_t>(records.size());
  for (uint8_t i = 0; i < sizeof header.words8; ++i) header.words8[i] = static_cast<uint8_t>(0xA0 + i);
  out->assign(reinterpret_cast<const uint8_t*>(&header), reinterpret_cast<const uint8_t*>(&header) + sizeof header);
  out->insert(out->end(), records.begin(), records.end());
  return true;
}

// The object by name; a default one is made and kept on first use.
const Bytes* objects_find(Simulator& sim, int controller, const std::string& name) {
  auto& objects = sim.flash(controller);
  auto it = objects.find(name);
  if (it != objects.end()) return &it->second;
  Bytes made;
  const bool known =
      objects_nic_region(sim, controller, name, &made) || objects_boot_region(sim, controller, name, &made);
  if (!known) return nullptr;
  Bytes& kept = objects[name];
  kept.swap(made);
  return &kept;
}

// The NUL-terminated name of a request; false when it fills its field.
bool objects_name(const MailboxCall& call, std::string* name) {
  if (call.payload.size() < offsetof(ObjectWriteRequest, data)) return false;
  const char* text = reinterpret_cast<const char*>(call.payload.data() + offsetof(ObjectReadRequest, name));
  const size_t length = strnlen(text, kObjectNameSize);
  if (length == kObjectNameSize) return false;
  name->assign(text, length);
  return true;
}

// A request of length 0 answers the object's length and as much of it as
// fits, with end of file when all of it did; any other answers that many
// bytes from the offset.
MailboxReply objects_read(Simulator& sim, MailboxCall& call) {
  std::string name;
  if (call.controller == nullptr || !objects_name(call, &name)) return MailboxReply{kStatusInvalid, 0, 0};
  uint32_t length, offset;
  memcpy(&length, call.payload.data(), sizeof length);
  memcpy(&offset, call.payload.data() + 4, sizeof offset);
  length &= kObjectLengthMask;
  const Bytes* object = objects_find(sim, call.controller->index, name);
  const Bytes empty;
  const Bytes& data = object != nullptr ? *object : empty;
  const size_t room = call.payload.size() - kObjectReadData;
  const size_t from = std::min<size_t>(offset, data.size());
  const size_t n = std::min({length == 0 ? data.size() : size_t{length}, data.size() - from, room});
  std::fill(call.payload.begin(), call.payload.end(), 0);
  const uint32_t count = length == 0 ? static_cast<uint32_t>(data.size()) : static_cast<uint32_t>(n);
  const uint32_t eof = from + n >= data.size() ? kObjectEndOfFile : 0;
  memcpy(call.payload.data(), &count, sizeof count);
  memcpy(call.payload.data() + 4, &eof, sizeof eof);
  std::copy_n(data.begin() + static_cast<long>(from), n, call.payload.begin() + kObjectReadData);
  return MailboxReply{};
}

// Chunks build the object from offset 0 on; the last one (end of file)
// puts it in place and answers whether it changed.
MailboxReply objects_write(Simulator& sim, MailboxCall& call, PendingWrites& pending) {
  std::string name;
  if (call.controller == nullptr || !objects_name(call, &name)) return MailboxReply{kStatusInvalid, 0, 0};
  uint32_t word, offset;
  memcpy(&word, call.payload.data(), sizeof word);
  memcpy(&offset, call.payload.data() + 4, sizeof offset);
  const uint32_t length = word & kObjectLengthMask;
  const size_t room = call.payload.size() - offsetof(ObjectWriteRequest, data);
  PendingWrite& write = pending[{call.controller->index, name}];
  if (offset == 0) write = PendingWrite{{}, true};
  if (!write.started || length > kObjectChunkMax || length > room || offset != write.content.size()) {
    pending.erase({call.controller->index, name});
    return MailboxReply{kStatusInvalid, 0, 0};
  }
  const uint8_t* data = call.payload.data() + offsetof(ObjectWriteRequest, data);
  write.content.insert(write.content.end(), data, data + length);
  uint8_t changed = 0;
  if (word & kObjectEndOfFile) {
    Bytes& object = sim.flash(call.controller->index)[name];
    changed = object != write.content ? 1 : 0;
    object = std::move(write.content);
    pending.erase({call.controller->index, name});
  }
  std::fill(call.payload.begin(), call.payload.begin() + 8, 0);
  memcpy(call.payload.data(), &length, sizeof length);
  call.payload[offsetof(ObjectWriteRequest, offset)] = changed;
  return MailboxReply{};
}

}  // namespace

void install_object_responders(Simulator& sim) {
  auto pending = std::make_shared<PendingWrites>();
  sim.on(1, 171, objects_read);
  sim.on(1, 172, [pending](Simulator& s, MailboxCall& call) { return objects_write(s, call, *pending); });
}

}  // namespace tavo::sim
