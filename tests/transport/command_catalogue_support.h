// Test support for the command catalogue: a simulated host with its devices
// open as the back end opens them, every wrapper callable by table row, and
// the requests the drivers received, decoded.
#pragma once

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "tests/transport/transport_fixture.h"
#include "transport/command_table.h"
#include "transport/commands.h"
#include "simulator/responders.h"
#include "transport/devices.h"
#include "transport/flash_personality.h"
#include "transport/glob_access.h"
#include "transport/mailbox.h"

namespace tavo::test {

// Everything a wrapper may take; each row's invoker passes what its form needs.
struct CatalogueCall {
  uint32_t function_number;
  void* payload;
  uint16_t length;  // CallerLength, and the configured-personality query
  uint8_t domain;
  uint8_t port_number;
  uint32_t route;   // transport or controller instance
  uint16_t* actual_length;
  int32_t pci_function;
};
using CatalogueInvoker = uint32_t (*)(const CatalogueCall&);

// A mailbox command as a driver received it, unpacked.
struct SentCommand {
  uint32_t transport = 0;  // 1 an iSCSI device, 2 the NIC device
  std::string device;
  std::string signature;   // NIC wrapper only
  uint16_t marker = 0;
  uint8_t bus = 0, pci_device = 0, pci_function = 0;
  uint8_t opcode = 0, subsystem = 0, port_number = 0, domain = 0;
  uint32_t timeout = 0, request_length = 0;
  uint8_t version = 0, vf_number = 0;
  uint16_t pf_vh = 0;
  std::vector<uint8_t> payload;
};

#define TAVO_TEST_ROUTE_Iscsi
#define TAVO_TEST_ROUTE_Nic
#define TAVO_TEST_ROUTE_Caller , c.route
#define TAVO_TEST_ROUTE_Protocol , c.route
#define TAVO_TEST_ROUTE_IscsiUnlessNicOnly , c.route
#define TAVO_TEST_ROUTE_IscsiWhenIscsi , c.route
#define TAVO_TEST_CALL(...) [](const CatalogueCall& c) -> uint32_t { return __VA_ARGS__; }
#define TAVO_TEST_INVOKE_Own(name, device) nullptr
#define TAVO_TEST_INVOKE_Fixed(name, device) \
  TAVO_TEST_CALL(name(c.function_number, c.payload, c.domain, c.port_number TAVO_TEST_ROUTE_##device))
#define TAVO_TEST_INVOKE_Framed16 TAVO_TEST_INVOKE_Fixed
#define TAVO_TEST_INVOKE_Record20 TAVO_TEST_INVOKE_Fixed
#define TAVO_TEST_INVOKE_CallerLength(name, device) \
  TAVO_TEST_CALL(name(c.function_number, c.payload, c.length, c.domain, c.port_number TAVO_TEST_ROUTE_##device))
#define TAVO_TEST_INVOKE_SizeQuery(name, device)                                                  \
  TAVO_TEST_CALL(name(c.function_number, c.payload, c.actual_length, c.domain,                    \
                      c.port_number TAVO_TEST_ROUTE_##device))
#define TAVO_TEST_INVOKE_Zeros16(name, device) \
  TAVO_TEST_CALL(name(c.function_number, c.domain, c.port_number TAVO_TEST_ROUTE_##device))
#define TAVO_TEST_INVOKE_PfList(name, device)                                                     \
  TAVO_TEST_CALL(name(c.function_number, c.payload, c.domain, c.port_number TAVO_TEST_ROUTE_##device, \
                      c.pci_function))

inline constexpr CatalogueInvoker kCatalogueInvokers[] = {
#define TAVO_COMMAND(name, subsystem, opcode, version, form, length, direction, device, ...) \
  TAVO_TEST_INVOKE_##form(name, device),
#include "transport/command_table.def"
#undef TAVO_COMMAND
};
static_assert(sizeof(kCatalogueInvokers) / sizeof(kCatalogueInvokers[0]) == command::kCommandCount);

class CommandCatalogueTest : public TransportTest {
 public:
  // Default topology: iSCSI devices 0, 1, 2, 4, 5 open packed, so iSCSI
  // function 2 is cv2iscsi_1; NIC function 3 is controller 1's function 0.
  static constexpr uint32_t kIscsiFunction = 2;
  static constexpr const char* kIscsiFunctionDevice = "/vmfs/devices/char/vmkdriver/cv2iscsi_1";
  static constexpr uint32_t kNicFunction = 3;
  static constexpr uint8_t kNicBus = 5, kNicDevice = 0, kNicPciFunction = 0;
  // Controller instances by what get_the_protocol answers for them; none
  // equals a transport code, so a wrapper that took one for the other shows.
  static constexpr uint32_t kIscsiController = 5;    // 1: iSCSI and NIC functions
  static constexpr uint32_t kNicOnlyController = 6;  // 2
  static constexpr uint32_t kBareController = 7;     // 4: no functions
  static constexpr uint32_t kOtherController = 8;    // 3: bit 4 only

 protected:
  static constexpr uint8_t kDomain = 2;
  static constexpr uint8_t kPort = 1;
  static constexpr uint16_t kCallerLength = 40;
  static constexpr uint32_t kRecordData = 12;
  static constexpr int32_t kPciFunction = 5;

  // Area responders may model a catalogue command; these tests want the
  // generic answer for every row.
  void SetUp() override {
    TransportTest::SetUp();
    sim::install_catalogue_responders(*sim_);
    tavo_glob.protocol_bits[kIscsiController] = 1 | 2;
    tavo_glob.protocol_bits[kNicOnlyController] = 2;
    tavo_glob.protocol_bits[kBareController] = 0;
    tavo_glob.protocol_bits[kOtherController] = 4;
  }
  void TearDown() override {
    close_devices();
    EXPECT_EQ(sim_->open_device_count(), 0);  // no NIC device left open by any path
    TransportTest::TearDown();
  }

  // Calls the row's wrapper. The four wrappers with their own buffer take
  // 16 bytes of header space and own_request_length bytes (personalities)
  // or a record of their own.
  static uint32_t invoke(command::CommandId id, const CatalogueCall& c) {
    if (CatalogueInvoker f = kCatalogueInvokers[static_cast<size_t>(id)]) return f(c);
    auto* bytes = static_cast<uint8_t*>(c.payload);
    switch (id) {
      case command::CommandId::ioctl_get_available_personalities:
        return ioctl_get_available_personalities(c.function_number, bytes, c.domain, c.port_number, c.route);
      case command::CommandId::ioctl_get_configured_personality:
        return ioctl_get_configured_personality(c.function_number, bytes, c.length, c.domain, c.port_number,
                                                c.route);
      case command::CommandId::ioctl_get_flash_component_details: {
        uint32_t words[6] = {};
        return ioctl_get_flash_component_details(c.function_number, words, c.domain, c.port_number, c.route);
      }
      case command::CommandId::ioctl_upgrade_flash: {
        std::vector<uint8_t> image(sizeof(FlashWriteRequest) + 10, 0);
        FlashWriteRequest head{0, 1, 10, 0};
        memcpy(image.data(), &head, sizeof head);
        return ioctl_upgrade_flash(c.function_number, reinterpret_cast<const FlashWriteRequest*>(image.data()),
                                   c.domain, c.port_number, c.route, 0);
      }
      default:
        ADD_FAILURE() << "no invoker";
        return 1;
    }
  }
  // Request length a wrapper with its own buffer sends (buffer sizes above).
  static uint32_t own_request_length(command::CommandId id) {
    const command::CommandRow& row = command::command_row(id);
    return id == command::CommandId::ioctl_get_configured_personality ? kCallerLength : row.length;
  }

  // The trailing argument that sends a row on the iSCSI device.
  static uint32_t iscsi_route(const command::CommandRow& row) {
    return command::command_takes_controller(row) ? kIscsiController : uint32_t{TAVO_VIA_ISCSI};
  }

  static uint32_t expected_timeout(const command::CommandRow& row, uint32_t transport) {
    if (row.opcode == 18) return row.subsystem == 2 ? 20 : 11;
    return transport == TAVO_VIA_NIC ? 30 : 120;
  }

  std::vector<SentCommand> sent_commands() const {
    std::vector<SentCommand> out;
    for (const sim::LogEntry& e : sim_->mailbox_log()) {
      SentCommand s;
      s.device = e.device;
      s.transport = TAVO_VIA_ISCSI;
      if (e.kind == sim::LogKind::NicIoctl) {
        NicIoctlPrefix p;
        memcpy(&p, e.bytes.data(), sizeof p);
        s.transport = TAVO_VIA_NIC;
        s.signature.assign(p.signature, sizeof p.signature);
        s.marker = p.marker;
        s.bus = p.bus;
        s.pci_device = p.device;
        s.pci_function = p.function;
      }
      const MailboxRequestHeader h = header_of(e);
      s.opcode = h.opcode;
      s.subsystem = h.subsystem;
      s.port_number = h.port_number;
      s.domain = h.domain;
      s.timeout = h.timeout;
      s.request_length = h.request_length;
      s.version = h.version;
      s.vf_number = h.vf_number;
      s.pf_vh = h.pf_vh;
      s.payload = payload_of(e);
      out.push_back(std::move(s));
    }
    return out;
  }

  // The command went to the device of its function number.
  static void expect_device(const SentCommand& s, uint32_t transport) {
    if (transport == TAVO_VIA_ISCSI) {
      EXPECT_EQ(s.device, kIscsiFunctionDevice);
      return;
    }
    EXPECT_EQ(s.device, kNicDevicePath);
    EXPECT_EQ(s.signature, std::string(kNicSignature, sizeof kNicSignature));
    EXPECT_EQ(s.marker, kNicMarker);
    EXPECT_EQ(s.bus, kNicBus);
    EXPECT_EQ(s.pci_device, kNicDevice);
    EXPECT_EQ(s.pci_function, kNicPciFunction);
  }
};

}  // namespace tavo::test
