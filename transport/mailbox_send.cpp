// The one place that sends a mailbox command to a driver: header filling,
// the NIC driver's wrapper, and the mapping of ioctl failures.
#include <errno.h>
#include <string.h>

#include <memory>
#include <new>

#include "platform/host.h"
#include "transport/device_layout.h"
#include "transport/devices.h"
#include "transport/nic_set_check.h"
#include "transport/glob_access.h"
#include "transport/mailbox.h"
#include "base/debug_log.h"
#include "base/library_lock.h"
#include "base/last_status.h"
#include "base/memory.h"

using tavo::MailboxRequestHeader;
using tavo::kMailboxHeaderSize;
using tavo::NicIoctlPrefix;
using tavo::kNicSignature;
using tavo::kNicMarker;
using tavo::kNicMailboxRequest;
using tavo::kIscsiMailboxRequest;
using tavo::kMaxMailboxPayload;

namespace {

constexpr uint32_t kEioStatus = 295;

uint32_t mailbox_send_timeout(uint8_t opcode, uint8_t subsystem, int32_t transport) {
  if (opcode == 18) return subsystem == 2 ? 20 : 11;
  return transport == TAVO_VIA_NIC ? 30 : 120;
}

void mailbox_send_fill_header(uint8_t* buffer, uint8_t opcode, uint8_t subsystem, uint32_t request_length,
                              uint8_t domain, uint8_t port_number, int32_t transport,
                              tavo::transport::HeaderFlags flags) {
  MailboxRequestHeader h;
  memcpy(&h, buffer, sizeof h);
  h.opcode = opcode;
  h.subsystem = subsystem;
  h.port_number = port_number;
  h.domain = domain;
  h.timeout = mailbox_send_timeout(opcode, subsystem, transport);
  h.request_length = request_length;
  h.version = flags.version == 1 ? 1 : 0;
  if (flags.pf_number > 0)
    h.pf_vh = static_cast<uint16_t>((h.pf_vh & 0xFC00u) | (static_cast<uint32_t>(flags.pf_number) & 0x3FFu));
  memcpy(buffer, &h, sizeof h);
  const uint16_t pf_vh = h.pf_vh;
  pdebug(TAVO_LOG_BACKEND, 6,
         "opcode = 0x%x subsystem = 0x%x port_number = %u domain = %u timeout = %u request_length = %u "
         "version = %u vf_number = %u pf_vh = 0x%x\n",
         h.opcode, h.subsystem, h.port_number, h.domain, static_cast<unsigned>(h.timeout),
         static_cast<unsigned>(h.request_length), h.version, h.vf_number, pf_vh);
}

void mailbox_send_log_failure(int result, int err) {
  pdebug(TAVO_LOG_BACKEND, 3, "Unable to process command ioctl_result = %d errno = %d err_str = %s\n", result, err,
         strerror(err));
}

// Wraps the command for the NIC driver and sends it on the descriptor that
// the refresh opened; the NIC device is closed again on every path. A framed
// buffer has the prefix's room before it and is sent where it lies.
uint32_t mailbox_send_nic(uint8_t* buffer, uint32_t request_length, uint32_t function_number, bool framed) {
  const size_t command_length = kMailboxHeaderSize + request_length;
  std::unique_ptr<uint8_t[]> copy;
  uint8_t* wrapper = nullptr;
  if (framed) {
    wrapper = buffer - sizeof(NicIoctlPrefix);
  } else {
    // Prefix and command fill it whole: nothing to clear.
    copy.reset(new (std::nothrow) uint8_t[sizeof(NicIoctlPrefix) + command_length]);
    if (!copy) {
      pdebug(TAVO_LOG_BACKEND, 3, "Failed to allocate pnicioctlbuffer\n");
      return 1;
    }
    wrapper = copy.get();
    memcpy(wrapper + sizeof(NicIoctlPrefix), buffer, command_length);
  }
  const NicFunctionRecord& fn = tavo_glob.nic_functions[function_number - 1];
  NicIoctlPrefix prefix;
  memcpy(prefix.signature, kNicSignature, sizeof prefix.signature);
  prefix.marker = kNicMarker;
  prefix.bus = fn.bus;
  prefix.device = fn.device;
  prefix.function = fn.function;
  memcpy(wrapper, &prefix, sizeof prefix);
  if (tavo::transport::check_nic_function_set() != 0) return 1;  // the tree is being rebuilt; the request is abandoned
  errno = 0;
  const int result = tavo::platform::host().device_ioctl(tavo_glob.nic_handles[0], kNicMailboxRequest, wrapper);
  const int err = errno;
  if (!framed) memcpy(buffer, wrapper + sizeof prefix, command_length);
  os_put_nic_port_instances(tavo_glob.nic_handles, TAVO_MAX_FUNCTIONS);
  if (result == 0) return 0;
  mailbox_send_log_failure(result, err);
  return 1;
}

// The devices and the NIC wrapper's function record belong to the library
// lock for the whole exchange.
uint32_t mailbox_send(int32_t handle, uint8_t opcode, uint8_t subsystem, uint32_t request_length, uint8_t* buffer,
                      uint8_t domain, uint8_t port_number, int32_t transport, uint32_t function_number,
                      tavo::transport::HeaderFlags flags, bool framed) {
  TAVO_LIBRARY_LOCK;
  if (buffer == nullptr || request_length > kMaxMailboxPayload) {
    pdebug(TAVO_LOG_BACKEND, 3, "Refused command opcode:0x%x subsystem:0x%x request_length = %u\n", opcode, subsystem,
           static_cast<unsigned>(request_length));
    return 1;
  }
  if (port_number >= TAVO_MAX_PORTS ||
      (transport == TAVO_VIA_NIC && !tavo::transport::valid_nic_function(function_number))) {
    pdebug(TAVO_LOG_BACKEND, 3, "Refused command opcode:0x%x subsystem:0x%x port = %u function = %u\n", opcode,
           subsystem, port_number, static_cast<unsigned>(function_number));
    return 1;
  }
  mailbox_send_fill_header(buffer, opcode, subsystem, request_length, domain, port_number, transport, flags);
  if (transport == TAVO_VIA_NIC) return mailbox_send_nic(buffer, request_length, function_number, framed);
  if (transport != TAVO_VIA_ISCSI) {
    mailbox_send_log_failure(-1, 0);
    return 1;
  }
  errno = 0;
  const int result = tavo::platform::host().device_ioctl(handle, kIscsiMailboxRequest, buffer);
  const int err = errno;
  if (result == 0) return 0;
  mailbox_send_log_failure(result, err);
  return err == EIO ? kEioStatus : 1;
}

}  // namespace

uint32_t get_the_protocol(uint32_t controller_instance) {
  if (controller_instance >= TAVO_MAX_CONTROLLERS) return 4;
  const uint8_t bits = tavo_glob.protocol_bits[controller_instance];
  if (bits & 1) return 1;
  if (bits & 2) return 2;
  if (bits & 4) return 3;
  return 4;
}

uint32_t TAVO_IssueIOCTL(int32_t handle, uint8_t opcode, uint8_t subsystem, uint32_t request_length, uint8_t* buffer,
                         uint8_t domain, uint8_t port_number, int32_t transport, uint32_t function_number) {
  return tavo::transport::issue_ioctl(handle, opcode, subsystem, request_length, buffer, domain, port_number, transport,
                                      function_number, tavo::transport::glob_header_flags());
}

namespace tavo::transport {

uint32_t issue_ioctl(int32_t handle, uint8_t opcode, uint8_t subsystem, uint32_t request_length, uint8_t* buffer,
                     uint8_t domain, uint8_t port_number, int32_t transport, uint32_t function_number,
                     HeaderFlags flags) {
  return mailbox_send(handle, opcode, subsystem, request_length, buffer, domain, port_number, transport,
                      function_number, flags, false);
}

uint32_t issue_framed_ioctl(int32_t handle, uint8_t opcode, uint8_t subsystem, uint32_t request_length,
                            uint8_t* buffer, uint8_t domain, uint8_t port_number, int32_t transport,
                            uint32_t function_number, HeaderFlags flags) {
  return mailbox_send(handle, opcode, subsystem, request_length, buffer, domain, port_number, transport,
                      function_number, flags, true);
}

}  // namespace tavo::transport
