// Simulated driver devices: the iSCSI devices (one per iSCSI function) and
// the NIC device, answering mailbox commands and the NIC side requests.
#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "ids/device_ids.h"
#include "simulator/simulator.h"

namespace tavo::sim {
namespace {

// SCSI pass-through (59/6), the one command that reaches the LUN disks;
// the iSCSI and TCP/IP subsystems' commands reach no port.
constexpr uint8_t kScsiSubsystem = 6, kScsiOpcode = 59, kTcpIpSubsystem = 2;

std::span<const uint8_t> raw(const void* request, size_t length) {
  return {static_cast<const uint8_t*>(request), length};
}

void put_u16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

}  // namespace

std::vector<const SimFunction*> Simulator::nic_functions() const {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  std::vector<const SimFunction*> out;
  if (!topology_.nic_driver) return out;
  for (const auto& c : topology_.controllers) {
    std::vector<const SimFunction*> chip;
    for (const auto& f : topology_.functions)
      if (f.kind == FunctionKind::Nic && f.controller == c.index) chip.push_back(&f);
    std::stable_sort(chip.begin(), chip.end(),
                     [](const SimFunction* a, const SimFunction* b) { return a->pci_function < b->pci_function; });
    out.insert(out.end(), chip.begin(), chip.end());
  }
  if (visible_nic_functions_ >= 0 && static_cast<size_t>(visible_nic_functions_) < out.size())
    out.resize(static_cast<size_t>(visible_nic_functions_));
  return out;
}

int Simulator::nic_function_count() const { return static_cast<int>(nic_functions().size()); }

const SimFunction* Simulator::nic_function_at(uint8_t bus, uint8_t dev, uint8_t fn) const {
  for (const SimFunction* f : nic_functions()) {
    const SimController* c = controller(f->controller);
    if (c && c->bus == bus && c->device == dev && f->pci_function == fn) return f;
  }
  return nullptr;
}

int Simulator::device_open(const std::string& path, int flags) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  (void)flags;
  std::string p = strip_root(path);
  Device dev;
  dev.path = p;
  const size_t prefix = strlen(kIscsiDevicePrefix);
  if (p.compare(0, prefix, kIscsiDevicePrefix) == 0) {
    char* end = nullptr;
    long n = strtol(p.c_str() + prefix, &end, 10);
    bool found = false;
    if (end && *end == '\0' && end != p.c_str() + prefix) {
      for (const auto& f : topology_.functions)
        found |= f.kind == FunctionKind::Iscsi && f.iscsi_device == n;
    }
    if (!found) {
      errno = ENOENT;
      return -1;
    }
    dev.iscsi_device = static_cast<int>(n);
  } else if (p == kNicDevicePath && topology_.nic_driver) {
    dev.nic = true;
  } else {
    errno = ENOENT;
    return -1;
  }
  for (auto& f : faults_) {
    if (f.kind != FaultKind::OpenFails && f.kind != FaultKind::NicCountChange) continue;
    if (f.kind == FaultKind::NicCountChange && !dev.nic) continue;
    if (!f.path_contains.empty() && p.find(f.path_contains) == std::string::npos) continue;
    if (f.times >= 0 && f.injected >= f.times) continue;
    if (f.skip > 0) {
      --f.skip;
      continue;
    }
    ++f.injected;
    if (f.kind == FaultKind::NicCountChange) {
      visible_nic_functions_ = f.nic_count;
      continue;
    }
    errno = f.err;
    return -1;
  }
  int fd = next_device_fd_++;
  devices_[fd] = dev;
  log_request(LogKind::DeviceOpen, p, 0);
  return fd;
}

int Simulator::device_close(int fd) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  auto it = devices_.find(fd);
  if (it == devices_.end()) {
    errno = EBADF;
    return -1;
  }
  log_request(LogKind::DeviceClose, it->second.path, 0);
  devices_.erase(it);
  return 0;
}

int Simulator::device_ioctl(int fd, unsigned long request, void* arg) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  auto it = devices_.find(fd);
  if (it == devices_.end()) {
    errno = EBADF;
    return -1;
  }
  const Device& dev = it->second;
  if (arg == nullptr) {
    errno = EFAULT;
    return -1;
  }
  if (!dev.nic) {
    const SimFunction* fn = nullptr;
    for (const auto& f : topology_.functions)
      if (f.kind == FunctionKind::Iscsi && f.iscsi_device == dev.iscsi_device) fn = &f;
    if (request == kIscsiMailboxRequest) {
      auto* hdr = static_cast<MailboxRequestHeader*>(arg);
      size_t total = kMailboxHeaderSize + hdr->request_length;
      log_request(LogKind::IscsiIoctl, dev.path, request, raw(arg, total), hdr);
      return mailbox(dev, static_cast<uint8_t*>(arg), total, false, fn);
    }
    log_request(LogKind::IscsiIoctl, dev.path, request);
    if (Fault* f = match_fault(FaultKind::IoctlErrno, kAny, kAny, dev.iscsi_device, static_cast<long>(request))) {
      errno = f->err;
      return -1;
    }
    if (request == kIscsiVmhbaNameRequest && fn != nullptr) {
      char* out = static_cast<char*>(arg);
      memset(out, 0, kVmhbaNameSize);
      snprintf(out, kVmhbaNameSize, "%s", fn->vmhba.c_str());
      return 0;
    }
    errno = EINVAL;
    return -1;
  }
  return nic_request(request, arg);
}

int Simulator::mailbox(const Device& dev, uint8_t* buf, size_t total, bool via_nic, const SimFunction* fn) {
  auto* hdr = reinterpret_cast<MailboxRequestHeader*>(buf);
  MailboxCall call;
  call.via_nic = via_nic;
  call.function = fn;
  call.controller = fn ? controller(fn->controller) : nullptr;
  call.header = *hdr;
  call.payload = std::span<uint8_t>(buf + kMailboxHeaderSize, total - kMailboxHeaderSize);
  int function_id = dev.iscsi_device;
  if (via_nic) {
    auto list = nic_functions();
    auto pos = std::find(list.begin(), list.end(), fn);
    function_id = pos == list.end() ? kAny : static_cast<int>(pos - list.begin()) + 1;
  }
  const long request = via_nic ? static_cast<long>(kNicMailboxRequest) : static_cast<long>(kIscsiMailboxRequest);
  // Most commands meet no fault armed: none is looked for then.
  const bool armed = !faults_.empty();
  const bool changes = reads_.count({hdr->subsystem, hdr->opcode}) == 0;
  if (armed && match_fault(FaultKind::CommandCrash, hdr->subsystem, hdr->opcode, function_id, request, kAny, changes))
    _exit(kCrashExitCode);
  Fault* fails =
      armed ? match_fault(FaultKind::IoctlErrno, hdr->subsystem, hdr->opcode, function_id, request) : nullptr;
  if (Fault* f = fails) {
    errno = f->err;
    return -1;
  }
  if (armed && match_fault(FaultKind::NoAnswer, hdr->subsystem, hdr->opcode, function_id, kAny)) {
    clock_ms_ += uint64_t{hdr->timeout} * 1000;
    errno = ETIMEDOUT;
    return -1;
  }
  MailboxReply reply;
  Fault* status = armed ? match_fault(FaultKind::FirmwareStatus, hdr->subsystem, hdr->opcode, function_id, kAny,
                                      hdr->version)
                        : nullptr;
  if (Fault* f = status) {
    reply.status = f->status;
    reply.additional_status = f->additional_status;
  } else {
    reply = default_reply_;
    auto r = responders_.find({hdr->subsystem, hdr->opcode});
    if (r != responders_.end()) {
      const Responder* chosen = nullptr;
      for (const auto& [version, responder] : r->second) {
        if (version == hdr->version) chosen = &responder;
        if (version == kAny && chosen == nullptr) chosen = &responder;
      }
      if (chosen != nullptr) {
        command_begin(changes);
        reply = (*chosen)(*this, call);
        const bool ports = hdr->subsystem != kScsiSubsystem && hdr->subsystem != kTcpIpSubsystem;
        // A change the adapters cannot keep fails in the driver: the
        // adapters are as they were.
        if (!command_end(changes, ports ? call.controller : nullptr,
                         hdr->subsystem == kScsiSubsystem && hdr->opcode == kScsiOpcode)) {
          errno = EIO;
          return -1;
        }
      }
    }
  }
  // A responder may have armed one.
  Fault* length = faults_.empty()
                      ? nullptr
                      : match_fault(FaultKind::ResponseLength, hdr->subsystem, hdr->opcode, function_id, kAny);
  if (Fault* f = length) {
    reply.actual_length = f->length;
    if (reply.length_word >= 0) reply.length_word = f->length;
  }
  auto* rsp = reinterpret_cast<MailboxResponseHeader*>(buf);
  rsp->status = reply.status;
  rsp->additional_status = reply.additional_status;
  rsp->actual_response_length =
      static_cast<uint32_t>(reply.actual_length < 0 ? call.header.request_length : reply.actual_length);
  if (reply.length_word >= 0) rsp->reserved8 = static_cast<uint32_t>(reply.length_word);
  return 0;
}

std::vector<uint8_t> Simulator::pci_config_space(const SimFunction& fn) const {
  std::vector<uint8_t> cfg(kPciConfigSpaceSize, 0);
  const SimController* c = controller(fn.controller);
  uint16_t vendor = c ? c->vendor_id : 0xFFFF;
  uint16_t device = c ? (fn.kind == FunctionKind::Nic ? c->nic_device_id : c->iscsi_device_id) : 0xFFFF;
  put_u16(&cfg[0], vendor);
  put_u16(&cfg[2], device);
  put_u16(&cfg[4], 0x0406);
  put_u16(&cfg[6], 0x0010);
  cfg[8] = 0x01;
  cfg[0x0B] = fn.kind == FunctionKind::Nic ? 0x02 : 0x01;  // network / mass storage
  cfg[0x0A] = fn.kind == FunctionKind::Nic ? 0x00 : 0x80;
  put_u16(&cfg[0x2C], vendor);
  put_u16(&cfg[0x2E], device);
  // The PCI Express capability; its link status word shows the link speed
  // and width (at 0xA6 on Galtor, 0xD2 on the other generations).
  const uint8_t cap = c != nullptr && c->generation == kGenerationGaltor ? 0x94 : 0xC0;
  cfg[0x34] = cap;
  cfg[cap] = 0x10;
  if (c != nullptr) put_u16(&cfg[cap + 0x12], static_cast<uint16_t>(c->link_speed | c->link_width << 4));
  return cfg;
}

int Simulator::nic_mailbox(unsigned long request, uint8_t* bytes) {
  auto* prefix = reinterpret_cast<NicIoctlPrefix*>(bytes);
  auto* hdr = reinterpret_cast<MailboxRequestHeader*>(bytes + sizeof(NicIoctlPrefix));
  size_t total = sizeof(NicIoctlPrefix) + kMailboxHeaderSize + hdr->request_length;
  log_request(LogKind::NicIoctl, kNicDevicePath, request, raw(bytes, total), hdr);
  if (memcmp(prefix->signature, kNicSignature, sizeof kNicSignature) != 0 || prefix->marker != kNicMarker) {
    errno = EINVAL;
    return -1;
  }
  const SimFunction* fn = nic_function_at(prefix->bus, prefix->device, prefix->function);
  if (fn == nullptr) {
    errno = ENODEV;
    return -1;
  }
  Device dev;
  dev.nic = true;
  return mailbox(dev, bytes + sizeof(NicIoctlPrefix), total - sizeof(NicIoctlPrefix), true, fn);
}

// The chips and functions the NIC driver knows, as its chip-info request lists them.
int Simulator::nic_chip_info(NicChipInfo* info, unsigned long request) {
  memset(info, 0, sizeof *info);
  for (const SimFunction* f : nic_functions()) {
    const SimController* c = controller(f->controller);
    int chip = -1;
    for (int i = 0; i < info->chip_count; ++i)
      if (info->chips[i].bus == c->bus && info->chips[i].device == c->device) chip = i;
    if (chip < 0) {
      if (info->chip_count >= kMaxNicChips) continue;
      chip = info->chip_count++;
      info->chips[chip].bus = c->bus;
      info->chips[chip].device = c->device;
    }
    NicChipEntry& e = info->chips[chip];
    if (e.function_count < kMaxNicChipFunctions) e.functions[e.function_count++] = f->pci_function;
  }
  if (match_fault(FaultKind::CountOverflow, kAny, kAny, kAny, static_cast<long>(request))) {
    info->chip_count = 255;
    for (auto& e : info->chips) e.function_count = 255;
  }
  return 0;
}

int Simulator::nic_request(unsigned long request, void* arg) {
  auto* bytes = static_cast<uint8_t*>(arg);
  if (request == kNicMailboxRequest) return nic_mailbox(request, bytes);
  size_t logged = request == kNicChipInfoRequest ? sizeof(NicChipInfo)
                  : request == kNicPciConfigRequest ? sizeof(PciConfigRequest)
                                                    : 4;
  log_request(LogKind::NicIoctl, kNicDevicePath, request, raw(bytes, logged));
  // Faults on side requests match the NIC function index as for mailboxes.
  auto index_of = [&](uint8_t b, uint8_t d, uint8_t f) {
    auto list = nic_functions();
    for (size_t i = 0; i < list.size(); ++i) {
      const SimController* c = controller(list[i]->controller);
      if (c && c->bus == b && c->device == d && list[i]->pci_function == f) return static_cast<int>(i) + 1;
    }
    return kAny;
  };
  int function_id = request == kNicChipInfoRequest ? kAny : index_of(bytes[0], bytes[1], bytes[2]);
  if (Fault* f = match_fault(FaultKind::IoctlErrno, kAny, kAny, function_id, static_cast<long>(request))) {
    errno = f->err;
    return -1;
  }
  switch (request) {
    case kNicChipInfoRequest:
      return nic_chip_info(static_cast<NicChipInfo*>(arg), request);
    case kNicMtuRequest:
    case kNicVfTableRequest: {
      auto* info = static_cast<NicCharInfo*>(arg);
      const SimFunction* fn = nic_function_at(info->bus, info->device, info->function);
      if (fn == nullptr) {
        errno = ENODEV;
        return -1;
      }
      if (request == kNicMtuRequest) {
        bytes[kNicPhyLinkDownReasonOffset] = fn->link_down_reason;
        put_u16(bytes + kNicMtuOffset, fn->mtu);
        return 0;
      }
      if (match_fault(FaultKind::VfRefusal, kAny, kAny, function_id, kAny)) {
        errno = EPERM;
        return -1;
      }
      command_begin(false);
      const SimNicState& state = nic_state(*fn);
      command_end(false);
      bytes[kNicVfCountOffset] = static_cast<uint8_t>(std::min<size_t>(state.vfs.size(), kMaxNicVfEntries));
      if (match_fault(FaultKind::CountOverflow, kAny, kAny, function_id, static_cast<long>(request)))
        bytes[kNicVfCountOffset] = 255;
      fill_vf_table(state, info->answer, sizeof info->answer);
      return 0;
    }
    case kNicPciConfigRequest: {
      auto* req = static_cast<PciConfigRequest*>(arg);
      const SimFunction* fn = nic_function_at(req->bus, req->device, req->function);
      if (fn == nullptr || req->offset >= kPciConfigSpaceSize) {
        errno = fn == nullptr ? ENODEV : EINVAL;
        return -1;
      }
      // The data goes beside the request; the address field is not followed.
      auto cfg = pci_config_space(*fn);
      const uint32_t asked = req->data_length;
      const uint32_t n = std::min<uint32_t>(asked, kPciConfigSpaceSize - req->offset);
      memcpy(bytes + kPciConfigDataOffset, cfg.data() + req->offset, n);
      req->data_length = n;
      if (match_fault(FaultKind::CountOverflow, kAny, kAny, function_id, static_cast<long>(request)))
        req->data_length = 4096;
      return 0;
    }
    default:
      errno = EINVAL;
      return -1;
  }
}

}  // namespace tavo::sim
