#include <gtest/gtest.h>
#include <string.h>

#include <vector>

#include "tests/support/sim_fixture.h"

namespace tavo {
namespace {

using platform::fixed_path;
using platform::host;

class TransportRespondersTest : public test::SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    fd_ = host().device_open(fixed_path(std::string(kIscsiDevicePrefix) + "0"), O_RDWR);
    ASSERT_GE(fd_, 0);
  }
  void TearDown() override {
    host().device_close(fd_);
    SimTest::TearDown();
  }
  // Sends one command on cv2iscsi_0 (controller 0); answers the buffer.
  std::vector<uint8_t> send(uint8_t subsystem, uint8_t opcode, const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> buf(kMailboxHeaderSize + payload.size(), 0);
    MailboxRequestHeader h{};
    h.opcode = opcode;
    h.subsystem = subsystem;
    h.timeout = 120;
    h.request_length = static_cast<uint32_t>(payload.size());
    memcpy(buf.data(), &h, sizeof h);
    std::copy(payload.begin(), payload.end(), buf.begin() + kMailboxHeaderSize);
    EXPECT_EQ(host().device_ioctl(fd_, kIscsiMailboxRequest, buf.data()), 0);
    return buf;
  }
  static uint8_t status_of(const std::vector<uint8_t>& buf) { return buf[4]; }
  static std::vector<uint8_t> chunk(uint32_t op, uint32_t optype, uint32_t length, uint32_t offset, uint8_t fill) {
    std::vector<uint8_t> p(kFlashChunkLength, 0);
    const FlashChunkHead head{op, optype, length, offset};
    memcpy(p.data(), &head, sizeof head);
    memset(p.data() + sizeof head, fill, std::min<uint32_t>(length, kFlashChunkData));
    return p;
  }
  static std::vector<uint8_t> query(uint32_t operation, uint32_t optype, uint32_t offset) {
    const FlashComponentQuery q{operation, optype, 4, offset, 0, 0};
    std::vector<uint8_t> p(sizeof q);
    memcpy(p.data(), &q, sizeof q);
    return p;
  }
  static uint32_t answered_word(const std::vector<uint8_t>& buf) {
    uint32_t w = 0;
    memcpy(&w, buf.data() + kMailboxHeaderSize + offsetof(FlashComponentQuery, data), 4);
    return w;
  }
  int fd_ = -1;
};

TEST_F(TransportRespondersTest, ChunksFollowOnUntilTheLastAndQueriesReadThem) {
  EXPECT_EQ(status_of(send(1, 7, chunk(2, 5, 4, 0x10, 0xAA))), 0);
  EXPECT_EQ(status_of(send(1, 7, chunk(1, 5, 4, 0x10, 0xBB))), 0);  // same offset field: follows on
  const auto& object = sim_->flash(0)["/optype/5"];
  ASSERT_EQ(object.size(), 0x18u);
  EXPECT_EQ(object[0], 0xFF);  // untouched flash stays erased
  EXPECT_EQ(object[0x10], 0xAA);
  EXPECT_EQ(object[0x14], 0xBB);
  EXPECT_EQ(answered_word(send(1, 6, query(4, 5, 0x12))), 0xBBBBAAAAu);
  EXPECT_EQ(answered_word(send(1, 6, query(4, 5, 0x16))), 0xFFFFBBBBu);  // half past the end
  EXPECT_EQ(answered_word(send(1, 6, query(4, 5, 0x18))), 0xFFFFFFFFu);  // past the end
  EXPECT_EQ(answered_word(send(1, 6, query(4, 6, 0))), 0xFFFFFFFFu);
  // A new write starts again at its own offset.
  EXPECT_EQ(status_of(send(1, 7, chunk(1, 5, 2, 0, 0xCC))), 0);
  EXPECT_EQ(sim_->flash(0)["/optype/5"][1], 0xCC);
  EXPECT_TRUE(sim_->flash(1).empty());  // another controller's flash is untouched
}

TEST_F(TransportRespondersTest, MalformedFlashRequestsAreRefused) {
  EXPECT_EQ(status_of(send(1, 7, chunk(1, 5, kFlashChunkData + 1, 0, 0))), 3);
  EXPECT_EQ(status_of(send(1, 7, chunk(9, 5, 4, 0, 0))), 3);
  EXPECT_EQ(status_of(send(1, 7, chunk(1, 5, 4, 0xFFFFFFF0u, 0))), 3);
  EXPECT_EQ(status_of(send(1, 7, chunk(1, 5, kFlashChunkData, 0xFFFFFFFFu, 0))), 3);
  EXPECT_EQ(answered_word(send(1, 6, query(4, 5, 0xFFFFFFFEu))), 0xFFFFFFFFu);
  EXPECT_EQ(status_of(send(1, 7, std::vector<uint8_t>(40, 0))), 3);
  EXPECT_TRUE(sim_->flash(0).empty());
  std::vector<uint8_t> erase(20, 0);
  erase[0] = 3;
  erase[4] = 15;
  EXPECT_EQ(status_of(send(1, 7, erase)), 0);
  EXPECT_EQ(status_of(send(1, 6, query(5, 5, 0))), 66);  // other reads of 6/1 are not modelled here
  auto bad = query(4, 5, 0);
  bad[8] = 8;
  EXPECT_EQ(status_of(send(1, 6, bad)), 3);
}

TEST_F(TransportRespondersTest, PersonalitiesAnswerTextWithItsLength) {
  auto available = send(1, 113, std::vector<uint8_t>(512, 0x55));
  uint32_t length = 0;
  memcpy(&length, available.data() + 8, 4);
  EXPECT_EQ(length, 14u);
  EXPECT_STREQ(reinterpret_cast<char*>(available.data() + kMailboxHeaderSize), "NIC,iSCSI,FCoE");
  auto configured = send(1, 114, std::vector<uint8_t>(8, 0));
  memcpy(&length, configured.data() + 8, 4);
  EXPECT_EQ(length, 5u);
  EXPECT_STREQ(reinterpret_cast<char*>(configured.data() + kMailboxHeaderSize), "iSCSI");
  const std::string fcoe = "FCoE";
  sim_->flash(0)["/cfg/personality"].assign(fcoe.begin(), fcoe.end());
  configured = send(1, 114, std::vector<uint8_t>(8, 0));
  EXPECT_STREQ(reinterpret_cast<char*>(configured.data() + kMailboxHeaderSize), "FCoE");
}

}  // namespace
}  // namespace tavo
