// IPv6 configuration against the simulated stack: full-form texts, state
// words, the remove-then-add changes, and generations without IPv6.
#include <gtest/gtest.h>

#include <functional>

#include "tests/iscsi/network/network_fixture.h"

namespace tavo::test {
namespace {

const std::string kV6 = "Corvane0/iSCSIPhysicalHBA0/Network/TCPIPConfiguration/IPv6Configuration";
const std::string kAuto = "Corvane0/iSCSIPhysicalHBA1/Network/TCPIPConfiguration/IPv6Configuration";
const std::string kCv3 = "Corvane1/iSCSIPhysicalHBA0/Network/TCPIPConfiguration/IPv6Configuration";
const std::string kZero = "0000:0000:0000:0000:0000:0000:0000:0000";

std::string full(const char* tail) { return "2001:0DB8:0000:0000:0000:0000:0000:" + std::string(tail); }

class Ipv6Test : public NetworkTest {
 protected:
  Ipv6Test() : NetworkTest(kTablesTopology) {}
  void reset() {
    sim_->clear_faults();
    for (int device : {0, 1}) stack(device) = sim::SimNetwork(sim_->topology().functions[device]);
    sim_->clear_log();
  }
  std::string shown(const std::string& group) {
    std::string out;
    for (const char* p : {"IPv6State", "InitiatorLinkLocalAddress", "InitiatorRoutableAddress1",
                          "InitiatorRoutableAddress2", "DefaultIPv6Gateway"})
      out += (out.empty() ? "" : "|") + get(group + "/" + p);
    return out;
  }
};

TEST_F(Ipv6Test, ReadsShowFullFormsAndStateWords) {
  EXPECT_EQ(shown(kV6), "Static|FE80:0000:0000:0000:0000:0000:0000:0002|" + full("0005") + "|" + full("0006") + "|" +
                            full("0001"));
  EXPECT_EQ(shown(kAuto), "AutoAssign|" + kZero + "|" + full("0090") + "|" + kZero + "|" + kZero);
  // No IPv6 in CV3 firmware; the routable addresses are read all the same.
  EXPECT_EQ(shown(kCv3), "N/A|N/A|" + kZero + "|" + kZero + "|N/A");
  const struct {
    int32_t bits;
    const char* state;  // after "Static"
  } words[] = {{0x600, "AutoAssign"}, {0x300, "DHCP"}, {0x100, "Static"}, {0, "Static"}};
  for (const auto& w : words) {
    stack(0).reported_ipv6_state = w.bits;
    EXPECT_EQ(get(kV6 + "/IPv6State"), w.state) << w.bits;
  }
  // Firmware that does not know the version-1 view: "N/A", no failure.
  sim::Fault& v1 = fail_mailbox(2, 25, 1);
  v1.additional_status = 75;
  v1.version = 1;
  EXPECT_EQ(get(kV6 + "/IPv6State"), "N/A");
  EXPECT_EQ(last_status().first, 0u);
  // A failed address query is a failure, not the all-zero address.
  // (The routable read asks for IPv6State first.)
  for (const auto& [property, skip] : {std::pair{"InitiatorLinkLocalAddress", 0}, {"InitiatorRoutableAddress2", 1}}) {
    refuse(2, 25, skip);
    EXPECT_EQ(get(kV6 + "/" + property), "<unreadable>") << property;
    expect_status(99);
  }
}

TEST_F(Ipv6Test, ConfigureIPv6AddressRemovesThenAdds) {
  struct Row {
    const char* kind;
    const char* address;
    std::function<void(sim::Simulator&)> setup;
    uint32_t result, status;
    const char* changes;
    std::string property, shown;
  } rows[] = {
      {"0", "fe80::1", nullptr, 0, 0, "21del 21add", "InitiatorLinkLocalAddress",
       "FE80:0000:0000:0000:0000:0000:0000:0001"},
      {"1", "0:0:0:0:0:0:0:0", nullptr, 0, 0, "21del", "InitiatorRoutableAddress2", kZero},
      {"1", "::", nullptr, 1, 17, "", "InitiatorRoutableAddress1", full("0005")},
      {"1", "12:::3", nullptr, 1, 17, "", "InitiatorRoutableAddress1", full("0005")},
      {"2", "g::1", nullptr, 1, 17, "", "InitiatorRoutableAddress2", full("0006")},
      // The address of another function: removed, not replaced.
      {"2", "2001:db8::90", nullptr, 1, 69, "21del 21add", "InitiatorRoutableAddress2", kZero},
      {"1", "2001:db8::7", [](sim::Simulator& s) { s.inject(refusal(2, 21)); }, 1, 122, "21del",
       "InitiatorRoutableAddress1", full("0005")},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.kind) + " " + r.address);
    reset();
    if (r.setup) r.setup(*sim_);
    EXPECT_EQ(act(kV6, "ConfigureIPv6Address", {r.kind, r.address}), r.result);
    expect_status(r.status);
    EXPECT_EQ(changes(), r.changes);
    sim_->clear_faults();
    EXPECT_EQ(get(kV6 + "/" + r.property), r.shown);
  }
  reset();
  ASSERT_EQ(act(kV6, "ConfigureIPv6Address", {"1", "2001:db8::a:b"}), 0u);
  const auto add = last_payload(2, 21);
  ASSERT_EQ(add.size(), 56u);
  EXPECT_EQ(word(add, 4), 1u);
  EXPECT_EQ(word(add, 8), stack(0).interface_id);
  EXPECT_EQ(std::vector<uint8_t>(add.begin() + 12, add.begin() + 16), (std::vector<uint8_t>{40, 0, 0x30, 0}));
  EXPECT_EQ(std::vector<uint8_t>(add.begin() + 16, add.begin() + 32),
            (std::vector<uint8_t>{0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x0a, 0, 0x0b}));
}

TEST_F(Ipv6Test, GatewayAndAutoAssignNeverHideAFailedRemoval) {
  const std::string gateway = kV6 + "/DefaultIPv6Gateway";
  struct Row {
    const char* name;
    std::function<uint32_t()> run;
    std::function<void(sim::Simulator&)> setup;
    uint32_t result, status;
    const char* changes;
  } rows[] = {
      {"new gateway", [&] { return set(gateway, "2001:db8::fe"); }, nullptr, 0, 0, "23del 23add"},
      {"zero gateway", [&] { return set(gateway, "0::0"); }, nullptr, 1, 17, ""},
      {"old gateway kept by the firmware", [&] { return set(gateway, "2001:db8::fe"); },
       [](sim::Simulator& s) { s.inject(refusal(2, 23)); }, 1, 132, "23del"},
      {"auto-assignment", [&] { return act(kV6, "AutoAssignEnable", {"DHCP"}); }, nullptr, 0, 0,
       "23del 21del 21del 17"},
      {"auto-assignment, gateway kept", [&] { return act(kV6, "AutoAssignEnable", {"Auto"}); },
       [](sim::Simulator& s) { s.inject(refusal(2, 23)); }, 1, 132, "23del"},
      {"auto-assignment refused", [&] { return act(kV6, "AutoAssignEnable", {"Auto"}); },
       [](sim::Simulator& s) { s.inject(refusal(2, 17)); }, 1, 1, "23del 21del 21del 17"},
      {"auto-assignment off", [&] { return act(kV6, "AutoAssignDisable"); }, nullptr, 0, 0, "18"},
      {"auto-assignment off refused", [&] { return act(kV6, "AutoAssignDisable"); },
       [](sim::Simulator& s) { s.inject(refusal(2, 18)); }, 1, 123, "18"},
      {"no gateway to delete", [&] { return act(kAuto, "DeleteDefaultIPv6Gateway"); }, nullptr, 0, 0, ""},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    reset();
    if (r.setup) r.setup(*sim_);
    EXPECT_EQ(r.run(), r.result);
    expect_status(r.status);
    EXPECT_EQ(changes(), r.changes);
  }
  reset();
  ASSERT_EQ(act(kV6, "AutoAssignEnable", {"Auto"}), 0u);
  EXPECT_EQ(word(last_payload(2, 17), 4), 144u);
  EXPECT_EQ(get(kV6 + "/IPv6State"), "AutoAssign");
  EXPECT_TRUE(stack(0).ipv6.size() == 1 && stack(0).ipv6[0].type == 0x50);
  // CV3: every change is refused, the gateway write too.
  const std::pair<const char*, std::vector<std::optional<std::string>>> refused[] = {
      {"DeleteDefaultIPv6Gateway", {}},
      {"AutoAssignEnable", {"Auto"}},
      {"AutoAssignDisable", {}},
      {"ConfigureIPv6Address", {"1", "fe80::1"}}};
  for (const auto& [a, params] : refused) {
    sim_->clear_log();
    EXPECT_EQ(act(kCv3, a, params), 1u) << a;
    expect_status(291);
    EXPECT_TRUE(sim_->mailbox_log().empty()) << a;
  }
  EXPECT_EQ(set(kCv3 + "/DefaultIPv6Gateway", "2001:db8::fe"), 1u);
  expect_status(291);
}

}  // namespace
}  // namespace tavo::test
