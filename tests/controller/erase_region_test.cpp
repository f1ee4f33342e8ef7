// The controller's destructive operations: factory MACs put back into the
// NIC regions of the configured partitions, the NIC settings erase, the
// erase of everything, and the return to the factory profile.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "controller/controller.h"
#include "nic/nic.h"
#include "tests/support/client_fixture.h"
#include "transport/object_records.h"
#include "tree/declare.h"
#include "tree/group_builder.h"

namespace tavo::test {
namespace {

using Bytes = std::vector<uint8_t>;
using Status = std::pair<uint32_t, std::string>;

const Status kErased{184, "Erased the Configuration. Please reboot your system for the changes to take effect."};
const Status kRebootNow{239, "The operation completed successfully. Please reboot the machine immediately in order "
                             "to avoid inconsistent behaviour."};

// ProfileManagement/ConfiguredProfile/Port<p>/Function<k> as the profiles
// branch builds them: the function's factory MAC in MACAddress.
tree::SlotArea port_slots, function_slots;
const tree::ChildDef function_children[] = {declare::property("MACAddress", TAVO_ACCESS_READ_ONLY, TAVO_TYPE_TEXT, "",
                                                              0, 255, "", handle_internal_property, "Factory MAC.")};
const tree::GroupDef function_def = {"Function", "A partition.", 8, 0, nullptr, function_children, &function_slots};
const tree::GroupDef port_def = {"Port", "A port.", 4, 0, nullptr, {}, &port_slots};

// Offsets of the MAC records' flag bytes in the default region: a header,
// a 4-byte record of another type, records 32, 33 and 34, a last record.
constexpr size_t kMacFlags[3] = {26, 36, 46};

class EraseRegionTest : public ClientTest {
 protected:
  TavoNode* node(const std::string& path) { return get_node(tag(path)); }
  std::string region_name(int port, int partition) {
    return "/nicdata/Port" + std::to_string(port) + "/Partition" + std::to_string(partition) + "/Region1";
  }
  Bytes& region(int port, int partition) { return sim_->flash(0)[region_name(port, partition)]; }
  // The default region as the firmware holds it, read once to make it.
  Bytes original(int port, int partition) {
    base::Counted<uint8_t> r(
        TAVO_read_nic_region(1, 0, 0, static_cast<uint32_t>(port), static_cast<uint32_t>(partition)));
    EXPECT_TRUE(r);
    return region(port, partition);
  }
  TavoNode* function(TavoNode* port, const char* mac) {
    TavoNode* f = tree::build_group(function_def, port);
    set_prop_val(f, "MACAddress", "%s", mac);
    return f;
  }
};

Bytes patched(Bytes region, const uint8_t mac[6], std::initializer_list<int> records = {0, 1, 2}) {
  for (int i : records) {
    region[kMacFlags[i]] = 1;
    memcpy(&region[kMacFlags[i] + 1], mac, 6);
  }
  return region;
}

TEST_F(EraseRegionTest, ResetVirtMacWritesFactoryMacs) {
  TavoNode* configured = node("Corvane0/ProfileManagement/ConfiguredProfile");
  TavoNode* port0 = tree::build_group(port_def, configured);
  TavoNode* port1 = tree::build_group(port_def, configured);
  const uint8_t a[6] = {0x00, 0x0e, 0x1e, 0x30, 0x00, 0x00}, c[6] = {0x00, 0x0e, 0x1e, 0x30, 0x00, 0x03};
  function(port0, "00-0e-1e-30-00-00");
  function(port0, "02-0e-1e-00-00-21");  // what region 0/2 holds in its iSCSI record
  function(port1, "no MAC");
  function(port1, "00-0E-1E-30-00-03");
  const Bytes p01 = original(0, 1), p02 = original(0, 2), p12 = original(1, 2);
  sim_->clear_log();
  ASSERT_EQ(TAVO_reset_virt_mac(node("Corvane0"), 0), 0u);
  EXPECT_EQ(region(0, 1), patched(p01, a));
  const uint8_t b[6] = {0x02, 0x0e, 0x1e, 0x00, 0x00, 0x21};
  EXPECT_EQ(region(0, 2), patched(p02, b, {0, 2}));  // the record that held it is written back as it was
  EXPECT_EQ(region(1, 2), patched(p12, c));
  EXPECT_EQ(mailbox_count(1, 171), 3);  // partition 1 of port 1 has no MAC
  // The write: 16 + records with the end of file, offset 0, the name, the region.
  Bytes expected(p12.size() + 116, 0);  // the records + 132
  const uint32_t word = static_cast<uint32_t>(p12.size()) | kObjectEndOfFile;
  memcpy(expected.data(), &word, 4);
  memcpy(&expected[8], region_name(1, 2).c_str(), region_name(1, 2).size());
  const Bytes written = region(1, 2);
  std::copy(written.begin(), written.end(), expected.begin() + 112);
  EXPECT_EQ(last_payload(1, 172), expected);

  // Skipping the first partition of every port: those are neither read nor written.
  sim_->flash(0).erase(region_name(0, 1));
  sim_->clear_log();
  ASSERT_EQ(TAVO_reset_virt_mac(node("Corvane0"), 1), 0u);
  EXPECT_EQ(mailbox_count(1, 171), 2);
  EXPECT_EQ(sim_->flash(0).count(region_name(0, 1)), 0u);

  // Regions that cannot be read whole, or are malformed, are passed over or
  // patched only where they hold a complete MAC record.
  auto made = [](uint32_t length, const Bytes& records) {
    Bytes r(16, 0);
    memcpy(&r[4], &length, 4);
    r.insert(r.end(), records.begin(), records.end());
    return r;
  };
  const Bytes two_records = {32, 3, 0, 7, 7, 7, 33, 7, 0, 0, 1, 2, 3, 4, 5, 6};
  struct Row {
    const char* name;
    Bytes planted, left;
  } rows[] = {
      {"more than one chunk", Bytes(40000, 0x11), {}},
      {"header longer than the object", made(17, two_records), {}},
      {"no records", made(0, {}), {}},
      {"record past the end", made(15, two_records), made(15, Bytes(two_records.begin(), two_records.end() - 1))},
      {"MAC record too short", made(16, two_records), made(16, {32, 3, 0, 7, 7, 7, 33, 7, 0, 1, 0, 0x0e, 0x1e,
                                                                 0x30, 0x00, 0x00})},
  };
  for (const Row& r : rows) {
    region(0, 1) = r.planted;
    ASSERT_EQ(TAVO_reset_virt_mac(node("Corvane0"), 0), 0u) << r.name;
    EXPECT_EQ(region(0, 1), r.left.empty() ? r.planted : r.left) << r.name;
  }
  // A failed write makes the answer 1 though the last partition succeeds.
  fail_mailbox(1, 172, 3);
  EXPECT_EQ(TAVO_reset_virt_mac(node("Corvane0"), 0), 1u);
  tree::build_group(port_def, configured);  // a port without functions
  EXPECT_EQ(TAVO_reset_virt_mac(node("Corvane0"), 0), 1u);
  EXPECT_EQ(TAVO_reset_virt_mac(node("Corvane1"), 0), 1u);  // no ConfiguredProfile ports
}

TEST_F(EraseRegionTest, NicEraseAnswers) {
  struct Row {
    uint8_t status;  // firmware; 0 answers as the firmware does
    uint32_t erase, action;
    Status left;
  } rows[] = {
      {0, 0, 0, kErased},
      {44, 55, 0, kRebootNow},
      {3, 1, 1, {188, "Failed to erase nic settings. Please check tavo2d.log file for more information."}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(static_cast<int>(r.status));
    if (r.status != 0) fail_mailbox(1, 7, r.status).times = 2;
    sim_->clear_log();
    EXPECT_EQ(TAVO_EraseNICConfiguration(node("Corvane0/NICPhysicalHBA1")), r.erase);
    EXPECT_EQ(last_status(), r.left);
    EXPECT_EQ(act("Corvane0/NICPhysicalHBA1/EraseNICConfiguration"), r.action);
    EXPECT_EQ(last_status(), r.left);
  }
  EXPECT_EQ(last_payload(1, 7), (Bytes{3, 0, 0, 0, 14, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(sim_->mailbox_log().back().kind, sim::LogKind::NicIoctl);
  EXPECT_EQ(sim_->flash(0)["/erased"], (Bytes{14, 14}));
}

TEST_F(EraseRegionTest, EraseAllKeepsTheFirstFailure) {
  // Each iSCSI function (region 6), both ports (15), then both NIC functions (14).
  EXPECT_EQ(act("Corvane0/EraseAllConfiguration"), 0u);
  EXPECT_EQ(last_status(), kErased);
  EXPECT_EQ(sim_->flash(0)["/erased"], (Bytes{6, 6, 15, 15, 14, 14}));
  EXPECT_EQ(mailbox_count(1, 169), 0);
  // A failed port erase stays the answer, whatever follows it.
  fail_mailbox(1, 7, 3).skip = 3;
  EXPECT_EQ(act("Corvane0/EraseAllConfiguration"), 1u);
  EXPECT_EQ(last_status(), (Status{187, "Failed to erase port and discovery configuration. Please check tavo2d.log "
                                        "file for more information."}));
  EXPECT_EQ(log_count("Erasing Port Configuration Failed for PortDiscoveryAndConfiguration1."), 1);
  EXPECT_EQ(sim_->flash(0)["/erased"].size(), 11u);  // the NIC functions were erased all the same
  fail_mailbox(1, 7, 3).skip = 4;
  EXPECT_EQ(act("Corvane0/EraseAllConfiguration"), 1u);
  EXPECT_EQ(last_status().first, 188u);
  EXPECT_EQ(log_count("Erasing NIC Configuration Failed for NICPhysicalHBA0."), 1);
  // Moravel: the factory profile too, version 0, all zero; the status stays the erase's.
  sim_->clear_log();
  EXPECT_EQ(act("Corvane2/EraseAllConfiguration"), 0u);
  EXPECT_EQ(last_status(), kErased);
  MailboxRequestHeader h{};
  EXPECT_EQ(last_payload(1, 169, &h), (Bytes{0, 0, 0, 0}));
  EXPECT_EQ(h.version, 0);
  fail_mailbox(1, 169, 66);
  EXPECT_EQ(act("Corvane2/EraseAllConfiguration"), 0u);
  EXPECT_EQ(last_status(), kErased);
}

TEST_F(EraseRegionTest, ResetFactoryDefaults) {
  const Status failed{339, "Failed to reset factory defaults on this adapter."};
  struct Row {
    const char* controller;
    std::vector<std::string> values;
    Bytes sent;  // empty: nothing sent
    uint32_t result;
    Status left;
  } rows[] = {
      {"Corvane2", {}, {0, 1, 0, 0}, 0, kRebootNow},
      {"Corvane2", {"0"}, {0, 0, 0, 0}, 0, kRebootNow},
      {"Corvane1", {"7"}, {7, 0, 0, 0}, 0, kRebootNow},
      {"Corvane2", {"0x10"}, {16, 0, 0, 0}, 0, kRebootNow},  // in the base the tree accepted it in
      {"Corvane2", {"255"}, {255, 0, 0, 0}, 1, failed},      // a profile the firmware lacks
      {"Corvane2", {"256"}, {}, 1, {7, "ProfileId: Value out of range. Valid range is from 0 to 255."}},
      {"Corvane0", {}, {}, 1, {338, "Reset to factory defaults is not supported on this adapter."}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.values.empty() ? "not given" : r.values[0]);
    sim_->clear_log();
    EXPECT_EQ(act(std::string(r.controller) + "/ResetFactoryDefaults", r.values), r.result);
    EXPECT_EQ(last_status(), r.left);
    MailboxRequestHeader h{};
    EXPECT_EQ(last_payload(1, 169, &h), r.sent);
    EXPECT_EQ(h.version, r.sent.empty() ? 0 : 1);
  }
  // Only "done, reboot now" is success: a plain 0 reset nothing.
  fail_mailbox(1, 169, 0);
  EXPECT_EQ(act("Corvane2/ResetFactoryDefaults"), 1u);
  EXPECT_EQ(last_status(), failed);
}

}  // namespace
}  // namespace tavo::test
