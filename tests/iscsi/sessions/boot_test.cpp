// Boot targets on a Moravel, whose boot changes are mirrored in the boot
// regions of flash, and on a CV2, which has none of the boot settings:
// boot flags and priorities, the boot LUN, the BIOS, MPIO and DHCP boot
// discovery, with the firmware failing where each can.
#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "iscsi/sessions/sessions_internal.h"
#include "tests/iscsi/sessions/sessions_fixture.h"
#include "transport/glob.h"

namespace tavo::test {
namespace {

using Bytes = std::vector<uint8_t>;
using Status = std::pair<uint32_t, std::string>;

const std::string kBootTopology =
    "controller 0 generation=moravel serial=T0 bus=3\n"
    "iscsi controller=0 function=2 port=0 device=0 vmhba=vmhba40 ip=10.0.0.21 initiator-name=iqn.hx\n"
    "controller 1 generation=cv2 serial=T1 bus=5\n"
    "iscsi controller=1 function=2 port=0 device=2 vmhba=vmhba42 ip=10.0.1.21\n"
    "target name=iqn.2026-12.com.example:a portal=10.0.0.50/3260/1\n"
    "target name=iqn.2026-12.com.example:c portal=10.0.0.60/3260/3\n"
    "target name=iqn.2026-12.com.example:m portal=10.0.0.70/3260/4 chap=tgt-m/msecret123456 "
    "mutual=ini-m/isecret123456\n"
    "target name=iqn.2026-12.com.example:n portal=10.0.0.80/3260/5 chap=tgt-n/nsecret123456 "
    "mutual=ini-m/isecret123456\n"
    "target name=iqn.2026-12.com.example:s portal=10.0.1.50/3260/1 logged-in=2\n"
    "lun target=iqn.2026-12.com.example:a id=5 count=2\n"
    "lun target=iqn.2026-12.com.example:a id=300\n"
    "lun target=iqn.2026-12.com.example:s id=0\n";
const std::string kMoravelFunction = "Corvane0/iSCSIPhysicalHBA0";
const std::string kCv2Lhba = "Corvane1/iSCSIPhysicalHBA0/LogicalHBA0";
const Bytes kOther = {1, 4, 0, 0x10, 0x20, 0, 0};  // the pre-boot utility's record
const Bytes kMpioOff = {18, 2, 0, 1, 0};
constexpr char kN[] = "iqn.2026-12.com.example:n";  // a second mutual CHAP target

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

struct BootTarget {
  std::string name;
  uint8_t address;  // 10.0.0.<address>
  std::string qualifier;
  uint8_t priority, number;
  std::string chap = "", secret = "", mutual = "", mutual_secret = "";
  uint8_t header_digest = 0;
};

// A boot-target record as the pre-boot initiator reads it.
Bytes record(const BootTarget& t) {
  const uint16_t qualifier = static_cast<uint16_t>(strtoul(t.qualifier.c_str(), nullptr, 16));
  const uint8_t auth = t.mutual.empty() ? (t.chap.empty() ? 0 : 1) : 2;
  const size_t length =
      26 + 4 + t.name.size() + t.chap.size() + t.secret.size() + t.mutual.size() + t.mutual_secret.size();
  return Bytes{3,
               static_cast<uint8_t>(length),
               0,
               3,
               t.number,
               t.priority,
               0,
               1,
               0,
               0,
               0,
               0,
               0,
               0,
               0,
               0,
               auth,
               static_cast<uint8_t>(qualifier),
               static_cast<uint8_t>(qualifier >> 8),
               t.header_digest,
               0,
               0xBC,
               0x0C,
               0,
               static_cast<uint8_t>(t.name.size()),
               static_cast<uint8_t>(t.chap.size()),
               static_cast<uint8_t>(t.secret.size()),
               10,
               0,
               0,
               t.address} +
         text(t.name + t.chap + t.secret) +
         Bytes{static_cast<uint8_t>(t.mutual.size()), static_cast<uint8_t>(t.mutual_secret.size())} +
         text(t.mutual + t.mutual_secret);
}

class BootTest : public SessionsTest {
 protected:
  BootTest() : SessionsTest(kBootTopology) {}
  void TearDown() override {
    vm_flag = 0;
    OPEN_ISCSI_DRIVER_LOADED = 0;
    SessionsTest::TearDown();
  }
  Bytes& flash(int region) { return sim_->flash(0)["/iscsidata/Port0/Instance0/Region" + std::to_string(region)]; }
  // The records of a region in flash without its pad, which must make it a
  // multiple of 4 bytes and come last.
  std::vector<Bytes> records(int region) {
    const Bytes& b = flash(region);
    std::vector<Bytes> out;
    if (b.size() < 16) return out;
    EXPECT_EQ(b.size() % 4, 0u);
    for (size_t at = 16; at + 3 <= b.size();) {
      const size_t end = at + 3 + (b[at + 1] | b[at + 2] << 8);
      if (b[at] == 0xFF)
        EXPECT_EQ(end, b.size());
      else
        out.emplace_back(b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(std::min(end, b.size())));
      at = end;
    }
    return out;
  }
  uint32_t configure(int target, int session, const std::vector<std::string>& params) {
    return act(at(target, "Session" + std::to_string(session) + "/ConfigureBootTarget"), params);
  }
  std::string qualifier(int target, int session = 0) {
    return get(at(target, "Session" + std::to_string(session) + "/ISIDQualifier"));
  }
  sim::SimSession& fw_session(const std::string& target) {
    for (sim::SimSession& s : firmware())
      if (s.target == target && s.open) return s;
    return firmware().front();
  }
};

TEST_F(BootTest, BootTargetsAreMirroredInTheBootRegion) {
  ASSERT_EQ(act(std::string(kLhba) + "/AddTarget", {kA, "10.0.0.50", "3260", "True", "Primary"}), 0u);
  const Bytes header(flash(3).begin(), flash(3).begin() + 16);
  const BootTarget a{kA, 50, qualifier(0), 1, 1};
  EXPECT_EQ(records(3), (std::vector<Bytes>{kOther, record(a)}));
  // A Secondary beside the Primary.
  ASSERT_EQ(act(std::string(kLhba) + "/AddTarget", {kC, "10.0.0.60", "3260", "True", "Secondary"}), 0u);
  const BootTarget c{kC, 60, qualifier(1), 2, 1};
  EXPECT_EQ(records(3), (std::vector<Bytes>{kOther, record(a), record(c)}));
  EXPECT_EQ(get(at(1, "Session0/BootTargetPriority")), "Secondary");
  // A priority another target holds is refused before anything changes.
  sim_->clear_log();
  EXPECT_EQ(configure(1, 0, {"True", "Primary"}), 341u);
  EXPECT_EQ(last_status(), Status(341, "Given Boot target type already exists."));
  EXPECT_EQ(mailbox_count(6, 53) + mailbox_count(1, 172), 0);
  // No longer a boot target: the flag and the record go.
  ASSERT_EQ(configure(0, 0, {"False"}), 0u);
  EXPECT_EQ(records(3), (std::vector<Bytes>{kOther, record(c)}));
  EXPECT_EQ(get(at(0, "Session0/iSCSIBoot")), "False");
  EXPECT_EQ(get(at(0, "Session0/BootTargetPriority")), "N/A");
  // Made one again: the free priority, numbered by the boot targets.
  ASSERT_EQ(set(at(0, "Session0/iSCSIBoot"), "true"), 0u);
  EXPECT_EQ(records(3), (std::vector<Bytes>{kOther, record(c), record(BootTarget{kA, 50, qualifier(0), 1, 2})}));
  EXPECT_EQ(Bytes(flash(3).begin(), flash(3).begin() + 4), Bytes(header.begin(), header.begin() + 4));
  EXPECT_EQ(Bytes(flash(3).begin() + 8, flash(3).begin() + 16), Bytes(header.begin() + 8, header.end()));
  sim_->clear_log();
  EXPECT_EQ(set(at(0, "Session0/iSCSIBoot"), "TRUE"), 0u);
  EXPECT_EQ(mailbox_count(6, 53), 0);
  // The flash refusing the mirror leaves the flag as it was: 307.
  const Bytes before = flash(3);
  for (const std::string& path : {at(0, "Session0/iSCSIBoot"), at(0, "Session0/ConfigureBootTarget")}) {
    fail_mailbox(1, 172, 3);
    EXPECT_EQ(path.ends_with("iSCSIBoot") ? set(path, "False") : act(path, {"False"}), 1u);
    EXPECT_EQ(last_status(),
              Status(307, "Failed to delete the iSCSI Boot Target TLV in the iSCSI Region in firmware."));
    EXPECT_TRUE(fw_session(kA).boot);
    EXPECT_EQ(get(at(0, "Session0/iSCSIBoot")), "True");
    EXPECT_EQ(flash(3), before);
  }
  // A region whose records do not fill it is refused, and not written.
  flash(3) = header + Bytes{1, 9, 0, 1, 2, 3, 4};
  flash(3)[4] = 7;
  sim_->clear_log();
  EXPECT_EQ(set(at(0, "Session0/iSCSIBoot"), "False"), 1u);
  EXPECT_EQ(last_status().first, 307u);
  EXPECT_EQ(mailbox_count(1, 172), 0);
}

// A boot change killed at any request that changes the firmware, or at any
// file call (or its power cut there), leaves the next start to show each
// boot target as it was or as asked: the session's flag and priority, the
// firmware's flag and the region's records agree.
TEST_F(BootTest, ABootChangeCutShortLeavesItAsItWasOrAsAsked) {
  ASSERT_EQ(act(std::string(kLhba) + "/AddTarget", {kA, "10.0.0.50", "3260", "True", "Primary"}), 0u);
  ASSERT_EQ(add(kC, "10.0.0.60"), 0u);
  ASSERT_EQ(add(kM, "10.0.0.70"), 0u);
  options(2, {"Mutual CHAP", "ini-m", "isecret123456", "tgt-m", "msecret123456", "Required"}, "Preferred");
  ASSERT_EQ(login(2), 0u) << last_status().second;
  EXPECT_EQ(get(kMoravelFunction + "/MPIOEnabled"), "False");  // region 2 read, as the flash holds it
  const struct {
    const char* what;
    std::function<uint32_t()> op;
    std::function<void()> prepare = [] {};  // before the state the cuts start from
  } changes[] = {
      {"made a boot target", [&] { return configure(1, 0, {"True", "Secondary"}); }},
      {"no longer a boot target", [&] { return configure(0, 0, {"False"}); }},
      {"iSCSIBoot set", [&] { return set(at(1, "Session0/iSCSIBoot"), "True"); }},
      {"a boot session logged out", [&] { return act(at(0, "Logout")); }},
      {"a boot target deleted", [&] { return act(std::string(kLhba) + "/DeleteTarget", {"0"}); }},
      {"a boot target's HeaderDigest", [&] { return set(at(0, "TargetLoginOptions/HeaderDigest"), "CRC32C"); }},
      {"a mutual CHAP boot target made", [&] { return configure(2, 0, {"True", "Secondary"}); }},
      {"no longer a mutual CHAP boot target", [&] { return configure(2, 0, {"False"}); },
       [&] { ASSERT_EQ(configure(2, 0, {"True", "Secondary"}), 0u); }},
  };
  const auto next_start = [&] {
    return in_process([&] {
      TAVO_exit();
      std::string out = std::to_string(TAVO_init()) + "\n";
      std::vector<std::string> boot;
      for (const std::string& t : instances(kLhba, "Target")) {
        const std::string target = std::string(kLhba) + "/" + t;
        boot.push_back(get(target + "/TargetISCSIName") + " " + get(target + "/Session0/iSCSIBoot") + " " +
                       get(target + "/Session0/BootTargetPriority") + "\n");
      }
      // The firmware's sessions and the region's records in any order: an
      // entry made again goes last.
      for (const sim::SimSession& s : firmware()) boot.push_back(s.target + (s.boot ? " boot\n" : "\n"));
      for (const Bytes& r : records(3)) boot.push_back(std::string(r.begin(), r.end()) + "\n");
      for (const Bytes& r : records(2)) boot.push_back("2 " + std::string(r.begin(), r.end()) + "\n");
      std::sort(boot.begin(), boot.end());
      for (const std::string& line : boot) out += line;
      return out;
    });
  };
  for (const auto& c : changes) {
    SCOPED_TRACE(c.what);
    c.prepare();
    const auto restore = root_restorer();
    const std::string before = next_start();
    restore();
    const auto op = [&] { c.op(); };
    ASSERT_EQ(in_child(no_fault(), [&] { _exit(c.op() == 0 ? 0 : 1); }, true), 0);
    const std::string after = next_start();
    ASSERT_NE(after, before);
    const auto check = [&](int, const std::string& cut) {
      const std::string found = next_start();
      EXPECT_TRUE(found == before || found == after) << cut << "\n" << found << "before:\n" << before << "after:\n"
                                                     << after;
    };
    EXPECT_GE(at_every_command(restore, op, check, true), 3);
    EXPECT_GE(at_every_file_call("/etc/config/QVL/tavo", restore, op, check, true), 19);
    restore();
  }
}

// The boot checks decide from the firmware's flags and the region's
// records as they are, whatever an earlier state left in the tree.
TEST_F(BootTest, BootChecksFollowTheLiveState) {
  ASSERT_EQ(act(std::string(kLhba) + "/AddTarget", {kA, "10.0.0.50", "3260", "True", "Primary"}), 0u);
  ASSERT_EQ(add(kC, "10.0.0.60"), 0u);
  // Off and on again: the free priority, not the one it showed before.
  EXPECT_EQ(get(at(0, "Session0/BootTargetPriority")), "Primary");
  ASSERT_EQ(set(at(0, "Session0/iSCSIBoot"), "False"), 0u);
  ASSERT_EQ(set(at(0, "Session0/iSCSIBoot"), "True"), 0u);
  EXPECT_EQ(records(3), (std::vector<Bytes>{kOther, record(BootTarget{kA, 50, qualifier(0), 1, 1})}));
  // The Primary target no longer a boot target: its priority is free.
  ASSERT_EQ(configure(0, 0, {"False"}), 0u);
  EXPECT_EQ(configure(1, 0, {"True", "Primary"}), 0u) << last_status().second;
  EXPECT_EQ(records(3), (std::vector<Bytes>{kOther, record(BootTarget{kC, 60, qualifier(1), 1, 1})}));
  // A region with nothing in it takes no record: 306, the flag as it was.
  flash(3).resize(16);
  std::fill(flash(3).begin() + 4, flash(3).begin() + 8, 0);
  EXPECT_EQ(set(at(0, "Session0/iSCSIBoot"), "True"), 1u);
  EXPECT_EQ(last_status(), sessions_text(306));
  EXPECT_FALSE(fw_session(kA).boot);
  EXPECT_EQ(get(at(0, "Session0/iSCSIBoot")), "False");
  EXPECT_EQ(get(at(1, "Session0/BootTargetPriority")), "None");  // its record went with the region
}

TEST_F(BootTest, MutualChapBootTargetsFillRegionTwo) {
  // A target without sessions holds no boot priority and blocks nothing.
  ASSERT_EQ(add(kA, "10.0.0.50"), 0u);
  purge_nodes_within(node(at(0)), "Session");
  ASSERT_EQ(act(std::string(kLhba) + "/AddTarget", {kM, "10.0.0.70", "3260", "True", "Primary"}), 0u);
  options(1, {"Mutual CHAP", "ini-m", "isecret123456", "tgt-m", "msecret123456", "Required"}, "Preferred");
  ASSERT_EQ(login(1), 0u) << last_status().second;
  BootTarget m{kM, 70, qualifier(1), 1, 1, "tgt-m", "msecret123456", "ini-m", "isecret123456", 1};
  EXPECT_EQ(records(3), (std::vector<Bytes>{kOther, record(m)}));
  EXPECT_EQ(records(2), (std::vector<Bytes>{kMpioOff, Bytes{2, 6, 0, 3} + text("ini-m"),
                                            Bytes{3, 14, 0, 3} + text("isecret123456")}));
  // Boot sessions block the function's address changes.
  EXPECT_EQ(act(kMoravelFunction + "/Network/TCPIPConfiguration/ConfigureIPAddress", {"10.0.0.9", "255.0.0.0"}), 1u);
  EXPECT_EQ(last_status(), sessions_text(44));
  // Region 2's CHAP serves every mutual CHAP boot target: it stays while
  // one of them is left.
  ASSERT_EQ(act(std::string(kLhba) + "/AddTarget", {kN, "10.0.0.80", "3260", "True", "Secondary"}), 0u);
  options(2, {"Mutual CHAP", "ini-m", "isecret123456", "tgt-n", "nsecret123456", "Required"}, "Preferred");
  ASSERT_EQ(login(2), 0u) << last_status().second;
  const std::vector<Bytes> chap = records(2);
  ASSERT_EQ(configure(2, 0, {"False"}), 0u);
  EXPECT_EQ(records(2), chap);
  ASSERT_EQ(configure(1, 0, {"False", "None"}), 0u);
  EXPECT_EQ(records(3), std::vector<Bytes>{kOther});
  EXPECT_EQ(records(2), std::vector<Bytes>{kMpioOff});
}

TEST_F(BootTest, BootLunComparesEveryAddressingByte) {
  ASSERT_EQ(act(std::string(kLhba) + "/AddTarget", {kA, "10.0.0.50", "3260", "True", "Primary"}), 0u);
  ASSERT_EQ(login(0), 0u) << last_status().second;
  ASSERT_EQ(instances(at(0), "LUN").size(), 3u);  // LUN 5, 6 and 300
  sim::SimSession& s = fw_session(kA);
  const auto shown = [&] {
    return get(at(0, "LUN0/BootLUN")) + " " + get(at(0, "LUN1/BootLUN")) + " " + get(at(0, "LUN2/BootLUN"));
  };
  EXPECT_EQ(shown(), "False False False");
  ASSERT_EQ(set(at(0, "LUN0/BootLUN"), "True"), 0u);
  Bytes sent = last_payload(6, 55);
  EXPECT_EQ(Bytes(sent.begin() + 4, sent.end()), (Bytes{0, 5, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(s.boot_lun, (std::array<uint8_t, 8>{0, 5, 0, 0, 0, 0, 0, 0}));
  BootTarget a{kA, 50, qualifier(0), 1, 1};
  Bytes with_lun = record(a);
  with_lun[9] = 5;
  EXPECT_EQ(records(3), (std::vector<Bytes>{kOther, with_lun}));
  EXPECT_EQ(shown(), "True False False");
  // A two-level LUN differs in its first byte only; a reversed one is
  // written back reversed.
  s.boot_lun = {1, 5, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(shown(), "False False False");
  s.boot_lun = {0, 0, 0, 0, 0, 0, 0x2C, 0x41};
  EXPECT_EQ(shown(), "False False True");
  ASSERT_EQ(set(at(0, "LUN1/BootLUN"), "True"), 0u);
  EXPECT_EQ(s.boot_lun, (std::array<uint8_t, 8>{0, 0, 0, 0, 0, 0, 6, 0}));
  // Failures and refusals.
  fail_mailbox(6, 54, 3);
  EXPECT_EQ(get(at(0, "LUN0/BootLUN")), "<unreadable>");
  EXPECT_EQ(last_status(), sessions_text(345));
  fail_mailbox(6, 55, 3);
  EXPECT_EQ(set(at(0, "LUN0/BootLUN"), "True"), 1u);
  EXPECT_EQ(last_status(), sessions_text(346));
  vm_flag = 1;
  EXPECT_EQ(set(at(0, "LUN0/BootLUN"), "True"), 1u);
  EXPECT_EQ(last_status(), Status(256, "Performed operation is not supported on a SR-IOV virtual function."));
  vm_flag = 0;
  // Not a boot session: nothing to configure.
  ASSERT_EQ(configure(0, 0, {"False"}), 0u);
  EXPECT_EQ(get(at(0, "LUN0/BootLUN")), "N/A");
  EXPECT_EQ(set(at(0, "LUN0/BootLUN"), "True"), 1u);
  EXPECT_EQ(last_status(), sessions_text(347));
}

TEST_F(BootTest, Cv2HasNoBootSettings) {
  const std::string lun = kCv2Lhba + "/Target0/LUN0/BootLUN";
  EXPECT_EQ(get(lun), "N/A");
  EXPECT_EQ(set(lun, "True"), 1u);
  EXPECT_EQ(last_status(), sessions_text(347));
  EXPECT_EQ(get(kCv2Lhba + "/Discovery/DiscoverBootTargetThruDHCP"), "N/A");
  EXPECT_EQ(mailbox_count(6, 54) + mailbox_count(6, 57), 0);
}

TEST_F(BootTest, BiosAndMpioSwitches) {
  const std::string bios = kMoravelFunction + "/iSCSIBIOSEnable", mpio = kMoravelFunction + "/MPIOEnabled";
  EXPECT_EQ(get(bios), "No");
  ASSERT_EQ(set(bios, "yes"), 0u);
  EXPECT_EQ(last_payload(1, 67)[0], 1);
  EXPECT_EQ(get(bios), "Yes");
  fail_mailbox(1, 66, 3);
  EXPECT_EQ(get(bios), "<unreadable>");
  EXPECT_EQ(last_status(), sessions_text(141));
  fail_mailbox(1, 67, 3);
  EXPECT_EQ(set(bios, "No"), 1u);
  EXPECT_EQ(last_status(), sessions_text(142));
  EXPECT_EQ(get(mpio), "False");
  ASSERT_EQ(set(mpio, "True"), 0u);
  EXPECT_EQ(records(2), (std::vector<Bytes>{Bytes{18, 2, 0, 1, 1}}));
  EXPECT_EQ(get(mpio), "True");
  vm_flag = 1;
  EXPECT_EQ(set(mpio, "False"), 1u);
  EXPECT_EQ(last_status().first, 256u);
  vm_flag = 0;
  // Without an MPIO record the region is written back as it was.
  const Bytes header(flash(2).begin(), flash(2).begin() + 16);
  flash(2) = header + Bytes{9, 2, 0, 1, 2, 0xFF, 0, 0};
  flash(2)[4] = 8;
  const Bytes planted = flash(2);
  sim_->clear_log();
  ASSERT_EQ(set(mpio, "False"), 0u);
  EXPECT_EQ(mailbox_count(1, 172), 1);
  EXPECT_EQ(flash(2), planted);
  EXPECT_EQ(get(mpio), "True");
  // Malformed regions are neither read nor written.
  for (const Bytes& bad : {Bytes{9, 9, 0, 1, 2, 0, 0, 0}, Bytes{9, 2, 0, 1, 2, 0xFF, 1, 0}}) {
    flash(2) = header + bad;
    flash(2)[4] = 8;
    sim_->clear_log();
    EXPECT_EQ(get(mpio), "<unreadable>");
    EXPECT_EQ(set(mpio, "True"), 1u);
    EXPECT_EQ(mailbox_count(1, 172), 0);
  }
}

TEST_F(BootTest, DhcpDiscoveryTakesOverFromStaticBootTargets) {
  const std::string dhcp = std::string(kLhba) + "/Discovery/DiscoverBootTargetThruDHCP";
  // A change starts from the firmware's setting, not from the text shown.
  sim_->sessions(0)->bios.dhcp_discovery = 1;
  ASSERT_EQ(set(dhcp, "Disabled"), 0u);
  EXPECT_EQ(sim_->sessions(0)->bios.dhcp_discovery, 0);
  ASSERT_EQ(add(kA, "10.0.0.50"), 0u);
  ASSERT_EQ(login(0), 0u);
  ASSERT_EQ(login(0), 0u);
  ASSERT_EQ(logout(0, {"0"}), 0u);
  ASSERT_EQ(instances(at(0), "Session"), std::vector<std::string>{"Session1"});
  ASSERT_EQ(add(kC, "10.0.0.60"), 0u);
  EXPECT_EQ(get(dhcp), "Disabled");
  ASSERT_EQ(set(dhcp, "Enabled"), 0u);
  EXPECT_EQ(last_payload(6, 58), (Bytes{0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(get(dhcp), "Enabled");
  // Disabling logs out every boot session, whatever its number, and
  // deletes the target that held only boot sessions.
  ASSERT_EQ(set(at(0, "Session1/iSCSIBoot"), "True"), 0u);
  ASSERT_EQ(set(dhcp, "Disabled"), 0u) << last_status().second;
  EXPECT_EQ(last_payload(6, 58), Bytes(20, 0));
  EXPECT_EQ(instances(kLhba, "Target"), std::vector<std::string>{"Target1"});
  EXPECT_EQ(get(at(1, "TargetPortal0/TargetIPAddress")), "10.0.0.60");
  // A static boot target keeps DHCP discovery off.
  ASSERT_EQ(set(at(1, "Session0/iSCSIBoot"), "True"), 0u);
  sim_->clear_log();
  EXPECT_EQ(set(dhcp, "Enabled"), 1u);
  EXPECT_EQ(last_status(), sessions_text(344));
  EXPECT_EQ(mailbox_count(6, 58), 0);
  vm_flag = 1;
  EXPECT_EQ(set(dhcp, "Enabled"), 1u);
  EXPECT_EQ(last_status().first, 256u);
}

// A boot session removed from the firmware: logged out (three tries at
// most), its nodes and persistence gone; one that stays logged in answers 1.
TEST_F(BootTest, BootSessionRemoval) {
  ASSERT_EQ(act(std::string(kLhba) + "/AddTarget", {kA, "10.0.0.50", "3260", "True", "Primary"}), 0u);
  ASSERT_EQ(login(0), 0u);
  TavoNode* session = node(at(0, "Session0"));
  const sessions::SessionPrivateRecord* r = sessions::private_record(session);
  ASSERT_NE(r, nullptr);
  sessions::SessionRecord fw(TAVO_get_session_params(r->handle, r->function_number, 0, 0));
  ASSERT_NE(fw, nullptr);
  fail_mailbox(6, 24, 3).times = 3;
  sim_->clear_log();
  EXPECT_EQ(TAVO_remove_boot_session(r->function_number, 0, 0, node(at(0)), session, fw.get()), 1u);
  EXPECT_EQ(mailbox_count(6, 24), 3);
  EXPECT_EQ(instances(at(0), "Session"), std::vector<std::string>{"Session0"});
  EXPECT_EQ(TAVO_remove_boot_session(r->function_number, 0, 0, node(at(0)), session, fw.get()), 0u);
  EXPECT_TRUE(instances(at(0), "Session").empty());
  EXPECT_TRUE(instances(at(0), "LUN").empty());
  EXPECT_EQ(mailbox_count(6, 28), 1);  // its persistence
  EXPECT_TRUE(session_lines().empty());
}

// With the host's software initiator, a new boot setting is a new login:
// as a boot session (its record found by name, address and port), or the
// session removed with its record.
TEST_F(BootTest, SoftwareInitiatorLogsInAgain) {
  ASSERT_EQ(add(kA, "10.0.0.50"), 0u);
  ASSERT_EQ(login(0), 0u);
  OPEN_ISCSI_DRIVER_LOADED = 1;
  ASSERT_EQ(set(at(0, "Session0/iSCSIBoot"), "True"), 0u) << last_status().second;
  EXPECT_EQ(get(at(0, "Session0/iSCSIBoot")), "True");
  EXPECT_EQ(get(at(0, "Session0/BootTargetPriority")), "None");
  ASSERT_EQ(records(3).size(), 2u);
  EXPECT_EQ(act(at(0, "LUN0/SCSIWrite"), {"0", "1"}), 1u);
  EXPECT_EQ(last_status(), sessions_text(321));
  ASSERT_EQ(set(at(0, "Session0/iSCSIBoot"), "False"), 0u) << last_status().second;
  EXPECT_TRUE(instances(at(0), "Session").empty());
  EXPECT_EQ(records(3), std::vector<Bytes>{kOther});
}

}  // namespace
}  // namespace tavo::test
