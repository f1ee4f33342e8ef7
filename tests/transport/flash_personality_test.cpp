#include "transport/flash_personality.h"

#include <errno.h>
#include <gtest/gtest.h>

#include "tests/transport/transport_fixture.h"
#include "transport/mailbox.h"
#include "tree/tree.h"

namespace tavo {
namespace {

class FlashPersonalityTest : public test::TransportTest {
 protected:
  // A FlashWriteRequest head followed by `length` bytes counting up.
  static std::vector<uint8_t> component(uint32_t optype, uint32_t length, uint32_t offset) {
    std::vector<uint8_t> out(sizeof(FlashWriteRequest) + length);
    const FlashWriteRequest head{1, optype, length, offset};
    memcpy(out.data(), &head, sizeof head);
    for (uint32_t i = 0; i < length; ++i) out[sizeof head + i] = static_cast<uint8_t>(i * 7 + i / 251);
    return out;
  }
  static const FlashWriteRequest* as_request(const std::vector<uint8_t>& v) {
    return reinterpret_cast<const FlashWriteRequest*>(v.data());
  }
  static FlashChunkHead chunk_of(const sim::LogEntry& e) {
    FlashChunkHead h;
    const auto p = payload_of(e);
    memcpy(&h, p.data(), sizeof h);
    return h;
  }
};

TEST_F(FlashPersonalityTest, FlashWriteIsCutIntoChunksWithOperationsAndOffsets) {
  const auto data = component(9, 70000, 0x1000);
  for (uint8_t offset_mode : {0, 1}) {
    sim_->clear_log();
    ASSERT_EQ(ioctl_upgrade_flash(2, as_request(data), 0, 1, TAVO_VIA_ISCSI, offset_mode), 0u);
    auto log = sim_->mailbox_log();
    ASSERT_EQ(log.size(), 3u);
    const uint32_t lengths[3] = {32768, 32768, 4464};
    const uint32_t ops[3] = {2, 2, 1};
    uint32_t sent = 0;
    for (size_t i = 0; i < 3; ++i) {
      const MailboxRequestHeader h = header_of(log[i]);
      const uint32_t request_length = h.request_length;
      EXPECT_EQ(h.opcode, 7);
      EXPECT_EQ(h.subsystem, 1);
      EXPECT_EQ(request_length, 32788u);
      const FlashChunkHead c = chunk_of(log[i]);
      const uint32_t op = c.operation, optype = c.optype, length = c.length, offset = c.offset;
      EXPECT_EQ(op, ops[i]);
      EXPECT_EQ(optype, 9u);
      EXPECT_EQ(length, lengths[i]);
      EXPECT_EQ(offset, offset_mode ? 0x1000 + sent : 0x1000u);
      const auto p = payload_of(log[i]);
      EXPECT_TRUE(std::equal(p.begin() + 16, p.begin() + 16 + length, data.begin() + 16 + sent));
      // The rest of a short chunk and the closing word are zero.
      EXPECT_TRUE(std::all_of(p.begin() + 16 + length, p.end(), [](uint8_t b) { return b == 0; }));
      sent += length;
    }
    // The firmware assembled the whole component at its offset.
    const auto& stored = sim_->flash(0)["/optype/9"];
    ASSERT_EQ(stored.size(), 0x1000u + 70000u);
    EXPECT_TRUE(std::equal(stored.begin() + 0x1000, stored.end(), data.begin() + 16));
    sim_->flash(0).clear();
  }
}

TEST_F(FlashPersonalityTest, FlashWriteStopsAtARefusedChunkWithItsRawStatus) {
  const auto data = component(23, 70000, 0);
  struct Row {
    uint8_t status;
    uint16_t additional;
    uint32_t optype, result;
  } rows[] = {{1, 77, 23, 0}, {1, 77, 22, 1}, {23, 87, 23, 337}, {23, 86, 23, 336}, {23, 85, 23, 23},
              {66, 0, 23, 66}, {4, 0, 23, 4}};
  for (const Row& r : rows) {
    auto req = component(r.optype, 70000, 0);
    sim::Fault f;
    f.kind = sim::FaultKind::FirmwareStatus;
    f.subsystem = 1;
    f.opcode = 7;
    f.skip = 1;
    f.status = r.status;
    f.additional_status = r.additional;
    sim_->inject(f);
    sim_->clear_log();
    EXPECT_EQ(ioctl_upgrade_flash(1, as_request(req), 0, 0, TAVO_VIA_NIC, 1), r.result)
        << int(r.status) << "/" << r.additional << " optype " << r.optype;
    EXPECT_EQ(sim_->mailbox_log().size(), 2u);  // the third chunk is never sent
    sim_->clear_faults();
  }
}

TEST_F(FlashPersonalityTest, FlashWriteTransportFailuresAndEmptyData) {
  const auto data = component(9, 40000, 0);
  sim::Fault eio;
  eio.kind = sim::FaultKind::IoctlErrno;
  eio.err = EIO;
  sim_->inject(eio);
  EXPECT_EQ(ioctl_upgrade_flash(1, as_request(data), 0, 0, TAVO_VIA_ISCSI, 0), 295u);
  sim_->inject(eio);
  EXPECT_EQ(ioctl_upgrade_flash(1, as_request(data), 0, 0, TAVO_VIA_NIC, 0), 1u);
  EXPECT_EQ(ioctl_upgrade_flash(1, as_request(data), 0, 0, 3, 0), 1u);
  EXPECT_EQ(ioctl_upgrade_flash(0, as_request(data), 0, 0, TAVO_VIA_ISCSI, 0), 1u);
  sim_->clear_log();
  const auto empty = component(9, 0, 0);
  EXPECT_EQ(ioctl_upgrade_flash(1, as_request(empty), 0, 0, 3, 0), 0u);
  EXPECT_TRUE(sim_->mailbox_log().empty());
  EXPECT_EQ(sim_->open_device_count(), tavo_glob.iscsi_valid_hba);
}

TEST_F(FlashPersonalityTest, ComponentQueryAnswersTheStoredWordOrTheRawStatus) {
  const auto data = component(9, 64, 0);
  ASSERT_EQ(ioctl_upgrade_flash(1, as_request(data), 0, 0, TAVO_VIA_ISCSI, 0), 0u);
  uint32_t words[6] = {4, 9, 4, 60, 0, 0};
  ASSERT_EQ(ioctl_get_flash_component_details(1, words, 0, 0, TAVO_VIA_ISCSI), 0u);
  uint32_t expected = 0;
  memcpy(&expected, data.data() + 16 + 60, 4);
  EXPECT_EQ(words[4], expected);
  uint32_t missing[6] = {4, 5, 4, 0, 0, 0};
  ASSERT_EQ(ioctl_get_flash_component_details(2, missing, 0, 0, TAVO_VIA_NIC), 0u);
  EXPECT_EQ(missing[4], 0xFFFFFFFFu);  // nothing flashed there
  auto log = sim_->mailbox_log();
  const MailboxRequestHeader h = header_of(log.back());
  const uint32_t length = h.request_length;
  EXPECT_EQ(length, 24u);
  EXPECT_EQ(h.opcode, 6);

  sim::Fault f;
  f.kind = sim::FaultKind::FirmwareStatus;
  f.status = 3;
  f.additional_status = 9;
  sim_->inject(f);
  uint32_t kept[6] = {4, 9, 4, 60, 0x1234, 0};
  EXPECT_EQ(ioctl_get_flash_component_details(1, kept, 0, 0, TAVO_VIA_ISCSI), 3u);
  EXPECT_EQ(kept[4], 0x1234u);
  EXPECT_NE(debug_log().find("Error in Writing ROM. status = 3 and Addstatus = 9"), std::string::npos);
  EXPECT_EQ(ioctl_get_flash_component_details(1, kept, 0, 0, 4), 1u);
}

TEST_F(FlashPersonalityTest, PersonalityQueriesSendTheirLengthsAndMapFailures) {
  std::vector<uint8_t> buf(16 + 512, 0);
  ASSERT_EQ(ioctl_get_available_personalities(1, buf.data(), 0, 0, TAVO_VIA_ISCSI), 0u);
  MailboxResponseHeader rsp;
  memcpy(&rsp, buf.data(), sizeof rsp);
  const uint32_t text_length = rsp.reserved8;
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf.data() + 16), text_length), "NIC,iSCSI,FCoE");
  std::vector<uint8_t> conf(16 + 8, 0);
  ASSERT_EQ(ioctl_get_configured_personality(3, conf.data(), 8, 0, 0, TAVO_VIA_NIC), 0u);
  EXPECT_STREQ(reinterpret_cast<char*>(conf.data() + 16), "iSCSI");  // controller 1 via vmnic2
  auto log = sim_->mailbox_log();
  ASSERT_EQ(log.size(), 2u);
  const MailboxRequestHeader h0 = header_of(log[0]), h1 = header_of(log[1]);
  const uint32_t l0 = h0.request_length, l1 = h1.request_length;
  EXPECT_EQ(h0.opcode, 113);
  EXPECT_EQ(l0, 512u);
  EXPECT_EQ(h1.opcode, 114);
  EXPECT_EQ(l1, 8u);

  sim::Fault f;
  f.kind = sim::FaultKind::FirmwareStatus;
  f.status = 66;
  f.times = -1;
  sim_->inject(f);
  tavo_set_last_status(0, "");
  EXPECT_EQ(ioctl_get_available_personalities(1, buf.data(), 0, 0, TAVO_VIA_ISCSI), 149u);
  EXPECT_EQ(tavo_last_status_code, 149u);
  EXPECT_NE(debug_log().find("IOCTL with opcode:0x71 subsystem:0x1 failed with status 0x42"), std::string::npos);
  EXPECT_EQ(ioctl_get_configured_personality(1, conf.data(), 8, 0, 0, 3), 1u);
  EXPECT_EQ(ioctl_get_configured_personality(9, conf.data(), 8, 0, 0, TAVO_VIA_NIC), 1u);
}

}  // namespace
}  // namespace tavo
