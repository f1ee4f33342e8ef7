// NC-SI configuration: support and handshake per generation, the CV2
// static and dynamic instances, and writes that change one field of the
// dynamic block.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "controller/controller.h"
#include "tests/support/client_fixture.h"

namespace tavo::test {
namespace {

using Bytes = std::vector<uint8_t>;
using Status = std::pair<uint32_t, std::string>;

constexpr char kCv2[] = "controller 0 generation=cv2 serial=V\nnic controller=0 function=0 port=0 name=vmnic0\n";
constexpr char kStatic[] = "Corvane0/NCSI/NCSIStaticConfiguration0/";
constexpr char kDynamic[] = "Corvane0/NCSI/NCSIDynamicConfiguration0/";

class NcsiTest : public ClientTest {
 protected:
  NcsiTest() : ClientTest(kCv2) {}
  NcsiAttributes attributes() {
    NcsiAttributes a{};
    const Bytes& b = sim_->flash(0)["/cfg/ncsi"];
    memcpy(&a, b.data(), std::min(b.size(), sizeof a));
    return a;
  }
  void plant(const NcsiAttributes& a) {
    const auto* b = reinterpret_cast<const uint8_t*>(&a);
    sim_->flash(0)["/cfg/ncsi"].assign(b, b + sizeof a);
  }
  std::string stored(const std::string& path) { return tree::property_record(get_node(tag(path)))->value; }
};

TEST_F(NcsiTest, InstancesOnlyOnCv2WithNcsi) {
  EXPECT_EQ(children("Corvane0/NCSI", TAVO_KIND_GROUP),
            (std::vector<std::string>{"NCSIStaticConfiguration0", "NCSIDynamicConfiguration0"}));
  // Defaults until a property of theirs is read.
  EXPECT_EQ(stored(std::string(kStatic) + "Port0MAC"), "00:00:00:00:00:00");
  EXPECT_EQ(stored(std::string(kDynamic) + "MgmtVLANId"), "0");
  EXPECT_EQ(get(std::string(kStatic) + "PortSwap"), "No");
  EXPECT_EQ(get(std::string(kStatic) + "EnableWOLPort0"), "Yes");
  EXPECT_EQ(get(std::string(kStatic) + "Port1MAC"), "00:0e:1e:60:00:01");
  EXPECT_EQ(get(std::string(kDynamic) + "EnableWOLPort1"), "Yes");
  EXPECT_EQ(get(std::string(kDynamic) + "MgmtVLANId"), "100");
  EXPECT_EQ(get("Corvane0/NCSI/NCSISupport"), "Supported");
  EXPECT_EQ(get("Corvane0/NCSI/NCSICVHandShake"), "Success");
  // Handshake 1 is an error; other values leave what was shown.
  NcsiAttributes a = attributes();
  for (const auto& [handshake, shown] : {std::pair<uint8_t, const char*>{1, "Error"}, {7, "Error"}, {0, "Success"}}) {
    a.handshake = handshake;
    plant(a);
    EXPECT_EQ(get("Corvane0/NCSI/NCSICVHandShake"), shown);
  }
  fail_mailbox(1, 86, 3);
  EXPECT_EQ(get("Corvane0/NCSI/NCSISupport"), "<unreadable>");

  // Other generations: no instances; Galtor is not asked at all.
  ASSERT_EQ(restart(sim::default_topology_text()), 0u);
  for (const char* c : {"Corvane0", "Corvane1", "Corvane2"})
    EXPECT_TRUE(children(std::string(c) + "/NCSI", TAVO_KIND_GROUP).empty()) << c;
  sim_->clear_log();
  EXPECT_EQ(get("Corvane1/NCSI/NCSISupport"), "Not Supported");
  EXPECT_EQ(get("Corvane1/NCSI/NCSICVHandShake"), "N/A");
  EXPECT_EQ(mailbox_count(1, 86), 0);
  EXPECT_EQ(get("Corvane0/NCSI/NCSISupport"), "Supported");
  EXPECT_EQ(get("Corvane2/NCSI/NCSICVHandShake"), "N/A");
}

// Each write sends the dynamic block as read with exactly its field changed.
TEST_F(NcsiTest, DynamicWritesChangeOneField) {
  NcsiAttributes a = attributes();
  a.dynamic_block.port0_wol = 0x02;
  plant(a);
  struct Row {
    const char* property;
    const char* value;
    size_t offset;
    Bytes bytes;
    const char* shown;
  } rows[] = {
      {"EnableWOLPort0", "yes", 11, {0x03}, "yes"},  // bit 0 set, the rest kept; 3 reads as neither
      {"EnableWOLPort0", "No", 11, {0x00}, "No"},
      {"EnableWOLPort1", "NO", 18, {0x00}, "No"},
      {"Port0MAC", "02-AA-bb-cc-dd-ee", 5, {0x02, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE}, "02:aa:bb:cc:dd:ee"},
      {"MgmtVLANId", "0x10", 20, {0x10, 0x00}, "16"},  // in the base the tree accepted it in
      {"MgmtVLANId", "4095", 20, {0xFF, 0x0F}, "4095"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.property) + "=" + r.value);
    const NcsiAttributes before = attributes();
    Bytes expected(reinterpret_cast<const uint8_t*>(&before.dynamic_block),
                   reinterpret_cast<const uint8_t*>(&before.dynamic_block) + sizeof before.dynamic_block);
    std::copy(r.bytes.begin(), r.bytes.end(), expected.begin() + static_cast<long>(r.offset));
    ASSERT_EQ(set(std::string(kDynamic) + r.property, r.value), 0u);
    EXPECT_EQ(last_payload(1, 87), expected);
    EXPECT_EQ(stored(std::string(kDynamic) + r.property), r.value);  // as typed
    EXPECT_EQ(get(std::string(kDynamic) + r.property), r.shown);
  }
  sim_->clear_log();
  EXPECT_EQ(set_ncsi_attributes(0, 0, "Port1MAC", get_node(tag("Corvane0/NCSI")), 0, "02:aa:bb:cc:dd"), 1u);
  EXPECT_EQ(last_status(), (Status{17, "Invalid value. Please use valid value."}));
  EXPECT_EQ(mailbox_count(1, 87), 0);
  fail_mailbox(1, 87, 3);
  EXPECT_EQ(set(std::string(kDynamic) + "MgmtVLANId", "7"), 1u);
  EXPECT_EQ(last_status(), (Status{219, "Failed to set NCSI Dynamic Configuration properties. Please check "
                                        "tavo2d.log file for more information."}));
  EXPECT_EQ(stored(std::string(kDynamic) + "MgmtVLANId"), "4095");
  // NC-SI switched off: writes are refused before anything is sent.
  a = attributes();
  a.state = 0;
  plant(a);
  EXPECT_EQ(get("Corvane0/NCSI/NCSISupport"), "Not Supported");
  EXPECT_EQ(get("Corvane0/NCSI/NCSICVHandShake"), "N/A");
  sim_->clear_log();
  EXPECT_EQ(set(std::string(kDynamic) + "MgmtVLANId", "7"), 1u);
  EXPECT_EQ(last_status(), (Status{145, "Cannot set the property as NCSI status is Disabled."}));
  EXPECT_EQ(mailbox_count(1, 86) + mailbox_count(1, 87), 0);
}

}  // namespace
}  // namespace tavo::test
