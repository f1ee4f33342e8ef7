#include "transport/mailbox.h"

#include <errno.h>
#include <gtest/gtest.h>

#include <thread>

#include "tests/transport/transport_fixture.h"
#include "transport/commands.h"
#include "tree/tree.h"

namespace tavo {
namespace {

class MailboxTest : public test::TransportTest {
 protected:
  // Registers a responder that fills the response area with `fill` and
  // answers status/additional.
  void answer(uint8_t subsystem, uint8_t opcode, uint8_t status, uint16_t additional, uint8_t fill = 0xA5,
              int64_t actual = -1) {
    sim_->on(subsystem, opcode, [=](sim::Simulator&, sim::MailboxCall& call) {
      std::fill(call.payload.begin(), call.payload.end(), fill);
      return sim::MailboxReply{status, additional, actual};
    });
  }
  uint32_t send(uint32_t fn, uint8_t opcode, uint8_t subsystem, std::vector<uint8_t>* payload, uint8_t direction,
                uint32_t transport, uint8_t domain = 0, uint8_t port = 0) {
    return TAVO_prepare_mailbox_cmd(fn, opcode, subsystem, static_cast<uint32_t>(payload->size()),
                                    static_cast<uint16_t>(payload->size() + 16), payload->data(), direction, domain,
                                    port, transport);
  }
};

TEST_F(MailboxTest, TimeoutsFollowTransportAndOpcode18) {
  struct Row {
    uint8_t opcode, subsystem;
    uint32_t transport, timeout;
  } rows[] = {{18, 2, 1, 20}, {18, 2, 2, 20}, {18, 11, 1, 11}, {18, 11, 2, 11},
              {32, 1, 1, 120}, {32, 1, 2, 30}, {17, 2, 1, 120}, {18, 6, 2, 11}};
  for (const Row& r : rows) {
    answer(r.subsystem, r.opcode, 0, 0);
    sim_->clear_log();
    std::vector<uint8_t> payload(8, 0);
    ASSERT_EQ(send(1, r.opcode, r.subsystem, &payload, 1, r.transport), 0u);
    auto log = sim_->mailbox_log();
    ASSERT_EQ(log.size(), 1u);
    const MailboxRequestHeader h = header_of(log[0]);
    const uint32_t timeout = h.timeout;
    EXPECT_EQ(timeout, r.timeout) << int(r.opcode) << "/" << int(r.subsystem) << " via " << r.transport;
  }
}

TEST_F(MailboxTest, HeaderCarriesFieldsVersionFlagAndPfNumber) {
  answer(1, 32, 0, 0);
  struct Row {
    uint8_t version_flag;
    int32_t pf_number;
    uint8_t version;
    uint16_t pf_vh;
  } rows[] = {{0, 0, 0, 0}, {1, 0, 1, 0}, {2, 0, 0, 0}, {0, 3, 0, 3}, {0, 200, 0, 200}, {0, -1, 0, 0},
              {0, 0x7FF, 0, 0x3FF}};
  for (const Row& r : rows) {
    tavo_glob.version_flag = r.version_flag;
    tavo_glob.pf_number = r.pf_number;
    sim_->clear_log();
    std::vector<uint8_t> payload(540, 0x11);
    ASSERT_EQ(send(2, 32, 1, &payload, 1, TAVO_VIA_ISCSI, 3, 1), 0u);
    tavo_glob.version_flag = 0;
    tavo_glob.pf_number = 0;
    auto log = sim_->mailbox_log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].device, "/vmfs/devices/char/vmkdriver/cv2iscsi_1");
    const MailboxRequestHeader h = header_of(log[0]);
    const uint32_t length = h.request_length;
    const uint16_t pf_vh = h.pf_vh;
    EXPECT_EQ(h.opcode, 32);
    EXPECT_EQ(h.subsystem, 1);
    EXPECT_EQ(h.domain, 3);
    EXPECT_EQ(h.port_number, 1);
    EXPECT_EQ(length, 540u);
    EXPECT_EQ(h.version, r.version);
    EXPECT_EQ(h.vf_number, 0);
    EXPECT_EQ(pf_vh, r.pf_vh) << "pf_number " << r.pf_number;
    EXPECT_EQ(payload_of(log[0]), std::vector<uint8_t>(540, 0x11));
  }
}

TEST_F(MailboxTest, NicCommandIsWrappedByteForByteAndTheDeviceClosedAfter) {
  answer(1, 32, 0, 0, 0x3C);
  std::vector<uint8_t> payload(12, 0x77);
  const int open_before = sim_->open_device_count();
  ASSERT_EQ(send(3, 32, 1, &payload, 1, TAVO_VIA_NIC), 0u);
  EXPECT_EQ(payload, std::vector<uint8_t>(12, 0x3C));
  EXPECT_EQ(sim_->open_device_count(), open_before);
  auto log = sim_->mailbox_log();
  ASSERT_EQ(log.size(), 1u);
  const std::vector<uint8_t>& b = log[0].bytes;
  ASSERT_EQ(b.size(), 12u + 37u);
  EXPECT_EQ(std::string(b.begin(), b.begin() + 16), "HALVEXMOORAND CO");
  EXPECT_EQ(b[16], 0x52);
  EXPECT_EQ(b[17], 0x50);
  // NIC function 3 is vmnic2: controller 1 at bus 5, device 0, function 0.
  EXPECT_EQ(b[18], 5);
  EXPECT_EQ(b[19], 0);
  EXPECT_EQ(b[20], 0);
  const MailboxRequestHeader h = header_of(log[0]);
  const uint32_t timeout = h.timeout;
  EXPECT_EQ(timeout, 30u);
  EXPECT_EQ(payload_of(log[0]), std::vector<uint8_t>(12, 0x77));
  // The refresh reopened the NIC device right before the request.
  auto all = sim_->log();
  ASSERT_GE(all.size(), 3u);
  EXPECT_EQ(all.back().kind, sim::LogKind::DeviceClose);
  EXPECT_EQ(count_log(sim::LogKind::DeviceOpen), 1);
}

TEST_F(MailboxTest, ResponseAreaComesBackAlsoOnFailureAndForWrites) {
  answer(2, 8, 1, 0, 0x5A);  // status 1, additional 0 -> 116
  std::vector<uint8_t> read(64, 0);
  EXPECT_EQ(send(1, 8, 2, &read, TAVO_DIR_READ, TAVO_VIA_ISCSI), 116u);
  EXPECT_EQ(read, std::vector<uint8_t>(64, 0x5A));
  answer(1, 2, 0, 0, 0x99);
  std::vector<uint8_t> write(12, 0x01);
  EXPECT_EQ(send(1, 2, 1, &write, TAVO_DIR_WRITE, TAVO_VIA_NIC), 0u);
  EXPECT_EQ(write, std::vector<uint8_t>(12, 0x99));
  std::vector<uint8_t> untouched(12, 0x01);
  EXPECT_EQ(send(1, 2, 1, &untouched, TAVO_DIR_NONE, TAVO_VIA_NIC), 0u);
  EXPECT_EQ(untouched, std::vector<uint8_t>(12, 0x01));
}

// What a command's buffer held before never travels: the header's unused
// bytes are zero and the payload is the caller's, or zeros without one,
// in a buffer of the stack or a large one of the heap, on either device (the
// NIC wrapper is built in front of the command).
TEST_F(MailboxTest, TheBufferSentHoldsThePayloadOrZerosWhateverItHeldBefore) {
  answer(2, 8, 0, 0, 0xEE);  // leaves its buffer full of 0xEE
  const struct {
    size_t length;
    bool given;  // a payload (0x42 ...), else none
  } rows[] = {{64, true}, {64, false}, {2000, false}, {2000, true}, {9000, false}, {9000, true}, {0, false}};
  for (const uint32_t transport : {TAVO_VIA_ISCSI, TAVO_VIA_NIC}) {
    for (const auto& r : rows) {
      SCOPED_TRACE(std::to_string(r.length) + (r.given ? " given" : " none") + " via " + std::to_string(transport));
      std::vector<uint8_t> before(r.length + 100, 0xEE);
      ASSERT_EQ(send(1, 8, 2, &before, TAVO_DIR_READ, transport), 0u);
      std::vector<uint8_t> payload(r.length);
      for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<uint8_t>(0x42 + i);
      const std::vector<uint8_t> sent = r.given ? payload : std::vector<uint8_t>(r.length, 0);  // the answer overwrites
      sim_->clear_log();
      ASSERT_EQ(TAVO_prepare_mailbox_cmd(1, 8, 2, static_cast<uint32_t>(r.length), static_cast<uint16_t>(r.length + 16),
                                         r.given ? payload.data() : nullptr, TAVO_DIR_READ, 0, 0, transport),
                0u);
      const auto log = sim_->mailbox_log();
      ASSERT_EQ(log.size(), 1u);
      const MailboxRequestHeader h = header_of(log[0]);
      const uint16_t pf_vh = h.pf_vh;
      EXPECT_EQ(h.vf_number, 0);
      EXPECT_EQ(pf_vh, 0);
      EXPECT_EQ(payload_of(log[0]), sent);
      if (r.given) {
        EXPECT_EQ(payload, std::vector<uint8_t>(r.length, 0xEE));
      }
    }
  }
}

TEST_F(MailboxTest, SizeQueryTakesStatus4AsSuccessOtherCommandsDoNot) {
  answer(6, 29, 4, 0, 0x20, 4000);
  std::vector<uint8_t> payload(12, 0);
  uint16_t actual = 0;
  EXPECT_EQ(TAVO_get_mailbox_cmd_size(1, 29, 6, 12, 28, payload.data(), &actual, 0, 0, TAVO_VIA_ISCSI), 0u);
  EXPECT_EQ(actual, 4000);
  EXPECT_EQ(payload, std::vector<uint8_t>(12, 0x20));
  std::vector<uint8_t> full(12, 0);
  EXPECT_EQ(send(1, 29, 6, &full, TAVO_DIR_READ_WRITE, TAVO_VIA_ISCSI), 31u);
  // A refused size query is mapped and leaves the payload alone.
  answer(6, 29, 66, 0, 0x20);
  std::vector<uint8_t> refused(12, 0);
  actual = 7;
  EXPECT_EQ(TAVO_get_mailbox_cmd_size(1, 29, 6, 12, 28, refused.data(), &actual, 0, 0, TAVO_VIA_ISCSI), 149u);
  EXPECT_EQ(actual, 7);
  EXPECT_EQ(refused, std::vector<uint8_t>(12, 0));
}

TEST_F(MailboxTest, AdditionalStatus23IsMappedButNotLogged) {
  answer(6, 23, 1, 23);
  std::vector<uint8_t> payload(16, 0);
  tavo_set_last_status(0, "");
  clear_debug_log();
  EXPECT_EQ(send(1, 23, 6, &payload, 3, TAVO_VIA_ISCSI), 1u);
  EXPECT_EQ(tavo_last_status_code, 52u);
  EXPECT_EQ(debug_log().find("failed with status"), std::string::npos);
  answer(6, 23, 1, 21);
  EXPECT_EQ(send(1, 23, 6, &payload, 3, TAVO_VIA_ISCSI), 1u);
  EXPECT_NE(debug_log().find("The IOCTL with opcode:0x17 subsystem:0x6 failed with status 0x1"), std::string::npos);
  EXPECT_NE(debug_log().find("additional status is:0x15"), std::string::npos);
}

TEST_F(MailboxTest, DriverErrorsEioOnlyFromTheIscsiDeviceGives295) {
  struct Row {
    uint32_t transport;
    int err;
    uint32_t issue_result;
  } rows[] = {{TAVO_VIA_ISCSI, EIO, 295}, {TAVO_VIA_ISCSI, EINVAL, 1}, {TAVO_VIA_NIC, EIO, 1}};
  for (const Row& r : rows) {
    sim::Fault f;
    f.kind = sim::FaultKind::IoctlErrno;
    f.err = r.err;
    sim_->inject(f);
    uint8_t buf[16 + 4] = {};
    const int32_t fd = r.transport == TAVO_VIA_ISCSI ? tavo_glob.iscsi_handles[0] : -1;
    EXPECT_EQ(TAVO_IssueIOCTL(fd, 32, 1, 4, buf, 0, 0, static_cast<int32_t>(r.transport), 1), r.issue_result);
    sim_->inject(f);
    std::vector<uint8_t> payload(4, 0);
    EXPECT_EQ(send(1, 32, 1, &payload, 1, r.transport), 1u);  // the layer reports every transport failure as 1
  }
  EXPECT_EQ(sim_->open_device_count(), tavo_glob.iscsi_valid_hba);  // the NIC device was closed again
  EXPECT_NE(debug_log().find("Unable to process command ioctl_result = -1 errno = 5 err_str = "),
            std::string::npos);
}

TEST_F(MailboxTest, RequestsOutsideTheTablesAreRefusedUnsent) {
  answer(1, 32, 0, 0);
  std::vector<uint8_t> payload(8, 0);
  struct Row {
    uint32_t fn, transport;
    uint8_t port;
  } rows[] = {{0, 1, 0}, {0xFFFFFFFF, 1, 0}, {6, 1, 0}, {129, 1, 0}, {0, 2, 0}, {9, 2, 0}, {0xFFFFFFFF, 2, 0},
              {1, 3, 0}, {1, 4, 0}, {1, 0, 0}, {1, 1, 4}, {1, 2, 4}, {1, 1, 255}};
  for (const Row& r : rows) {
    EXPECT_EQ(send(r.fn, 32, 1, &payload, 1, r.transport, 0, r.port), 1u)
        << "function " << r.fn << " transport " << r.transport << " port " << int(r.port);
  }
  EXPECT_TRUE(sim_->mailbox_log().empty());
  // The last valid numbers go through.
  EXPECT_EQ(send(5, 32, 1, &payload, 1, TAVO_VIA_ISCSI, 0, 3), 0u);
  EXPECT_EQ(send(8, 32, 1, &payload, 1, TAVO_VIA_NIC, 0, 3), 0u);
  EXPECT_EQ(sim_->mailbox_log().size(), 2u);
}

TEST_F(MailboxTest, PayloadThatDoesNotFitItsBufferIsRefused) {
  answer(1, 32, 0, 0);
  std::vector<uint8_t> payload(100, 0x42);
  EXPECT_EQ(TAVO_prepare_mailbox_cmd(1, 32, 1, 100, 115, payload.data(), 1, 0, 0, TAVO_VIA_ISCSI), 1u);
  EXPECT_EQ(TAVO_prepare_mailbox_cmd(1, 32, 1, 65520, 65535, payload.data(), 1, 0, 0, TAVO_VIA_ISCSI), 1u);
  uint16_t actual = 0;
  EXPECT_EQ(TAVO_get_mailbox_cmd_size(1, 32, 1, 100, 16, payload.data(), &actual, 0, 0, TAVO_VIA_ISCSI), 1u);
  std::vector<uint8_t> big(70000, 0);
  EXPECT_EQ(TAVO_IssueIOCTL(tavo_glob.iscsi_handles[0], 32, 1, 65520, big.data(), 0, 0, 1, 1), 1u);
  EXPECT_TRUE(sim_->mailbox_log().empty());
  EXPECT_EQ(payload, std::vector<uint8_t>(100, 0x42));
  // A buffer longer than the payload is fine.
  EXPECT_EQ(TAVO_prepare_mailbox_cmd(1, 32, 1, 100, 200, payload.data(), 1, 0, 0, TAVO_VIA_ISCSI), 0u);
}

TEST_F(MailboxTest, ChangedNicCountAbandonsTheRequestAndClosesTheDevice) {
  answer(1, 32, 0, 0);
  sim::Fault change;
  change.kind = sim::FaultKind::NicCountChange;
  change.nic_count = 6;
  sim_->inject(change);
  std::vector<uint8_t> payload(8, 0);
  EXPECT_EQ(send(1, 32, 1, &payload, 1, TAVO_VIA_NIC), 1u);
  EXPECT_TRUE(sim_->mailbox_log().empty());
  EXPECT_EQ(sim_->open_device_count(), tavo_glob.iscsi_valid_hba);
}

TEST_F(MailboxTest, ProtocolOfAController) {
  const struct {
    uint8_t bits;
    uint32_t protocol;
  } rows[] = {{0, 4}, {1, 1}, {3, 1}, {2, 2}, {6, 2}, {4, 3}};
  for (const auto& r : rows) {
    tavo_glob.protocol_bits[15] = r.bits;
    EXPECT_EQ(get_the_protocol(15), r.protocol) << int(r.bits);
  }
  tavo_glob.protocol_bits[15] = 0;
  EXPECT_EQ(get_the_protocol(16), 4u);
  EXPECT_EQ(get_the_protocol(0xFFFFFFFF), 4u);
}

}  // namespace
}  // namespace tavo

namespace tavo {
namespace {

// Wrappers on eight threads at once: each command carries its own header
// version and PCI function, and tavo_glob's flags stay untouched.
TEST_F(MailboxTest, ThreadsKeepTheirOwnHeaderFlags) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([t] {
      std::vector<uint8_t> payload(532, static_cast<uint8_t>(t));
      for (int i = 0; i < 100; ++i)
        t % 2 ? ioctl_get_link_status_v1(2, payload.data(), 0, 0, TAVO_VIA_ISCSI)
              : ioctl_get_macaddress_list(1, payload.data(), 0, 0, TAVO_VIA_ISCSI, t);
    });
  for (auto& thread : threads) thread.join();
  const auto log = sim_->mailbox_log();
  ASSERT_EQ(log.size(), 800u);
  for (const auto& e : log) {
    const MailboxRequestHeader h = header_of(e);
    const bool v1 = h.opcode == 5;
    EXPECT_EQ(h.version, v1 ? 1 : 0);
    EXPECT_EQ(h.pf_vh, v1 ? 0 : payload_of(e)[0] + 1);  // the sending thread's function
  }
  EXPECT_EQ(tavo_glob.version_flag, 0);
  EXPECT_EQ(tavo_glob.pf_number, 0);
}

}  // namespace
}  // namespace tavo
