// IPv4 configuration of an iSCSI function against the simulated firmware
// stack: what reads show, the bytes each change sends, and that a refused
// change leaves the address and gateway as they were.
#include <gtest/gtest.h>
#include <string.h>

#include <functional>

#include "tests/iscsi/network/network_fixture.h"

namespace tavo::test {
namespace {

const std::string kT0 = kTcpip0;
const std::string kT1 = kTcpip1;

class TcpipTest : public NetworkTest {
 protected:
  // Both stacks as the topology gives them, no faults, empty log.
  void reset() {
    sim_->clear_faults();
    for (int device : {0, 1}) stack(device) = sim::SimNetwork(sim_->topology().functions[device]);
    sim_->clear_log();
  }
  std::string vlan_texts() {
    return get(kT0 + "/VLANEnabled") + "|" + get(kT0 + "/VLANId") + "|" + get(kT0 + "/Priority");
  }
};

TEST_F(TcpipTest, InterfaceReadsShowTheStack) {
  struct Row {
    const char* name;
    std::function<void(sim::Simulator&)> setup;
    const char* shown;  // address|mask|DHCP|VLAN enabled|id|priority
    uint32_t status;    // after the first read
  } rows[] = {
      {"static", [](sim::Simulator&) {}, "10.0.0.5|255.255.255.0|False|False||", 0},
      {"VLAN 100 priority 5", [](sim::Simulator& s) { s.network(0)->vlan_tag = 5 << 13 | 100; },
       "10.0.0.5|255.255.255.0|False|True|100|5", 0},
      {"no address", [](sim::Simulator& s) { s.network(0)->has_address = false; }, "0.0.0.0|0.0.0.0|False|False||", 0},
      {"DHCP", [](sim::Simulator& s) { s.network(0)->dhcp = true; }, "10.0.0.5|255.255.255.0|True|False||", 0},
      // Counts beyond the reply's tables are bounded, nothing is read past them.
      {"200 address entries", [](sim::Simulator& s) { s.network(0)->reported_entries = 200; },
       "10.0.0.5|255.255.255.0|False|False||", 0},
      {"40 interfaces", [](sim::Simulator& s) { s.network(0)->reported_interfaces = 40; },
       "10.0.0.5|255.255.255.0|False|False||", 0},
      {"response length beyond the buffer",
       [](sim::Simulator& s) {
         sim::Fault f;
         f.kind = sim::FaultKind::ResponseLength;
         f.subsystem = 2;
         f.opcode = 25;
         f.length = 100000;
         s.inject(f);
       },
       "10.0.0.5|255.255.255.0|False|False||", 0},
      {"interface list refused", [](sim::Simulator& s) { s.inject(refusal(2, 24)); }, "<unreadable>", 98},
      {"interface refused", [](sim::Simulator& s) { s.inject(refusal(2, 25)); }, "<unreadable>", 99},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    reset();
    r.setup(*sim_);
    std::string shown = get(kT0 + "/InitiatorIPAddress");
    expect_status(r.status);
    if (r.status == 0) {
      for (const char* p : {"InitiatorSubnetMask", "DHCPEnabled"}) shown += "|" + get(kT0 + "/" + p);
      shown += "|" + vlan_texts();
    }
    EXPECT_EQ(shown, r.shown);
  }
}

TEST_F(TcpipTest, VlanTagCarriesPriorityAndId) {
  struct Row {
    const char* action;
    std::vector<std::optional<std::string>> params;
    uint32_t tag;
    const char* shown;
  } rows[] = {
      {"ConfigureVLAN", {"100", std::nullopt}, 100, "True|100|0"},
      {"ConfigureVLAN", {"100", "5"}, 41060, "True|100|5"},
      // Read with the tree's automatic base: 0x64 is 100, 05 is 5.
      {"ConfigureVLAN", {"0x64", "05"}, 41060, "True|100|5"},
      {"ConfigureVLAN", {"4094", "7"}, 61438, "True|4094|7"},
      {"VLANDisable", {}, 65535, "False||"},
  };
  // The first action runs before any read of the interface.
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.action) + " " + (r.params.empty() ? "" : *r.params[0]));
    sim_->clear_log();
    ASSERT_EQ(act(kT0, r.action, r.params), 0u);
    const auto sent = last_payload(2, 14);
    EXPECT_EQ(sent.size(), 8u);
    EXPECT_EQ(word(sent, 0), stack(0).interface_id);
    EXPECT_EQ(word(sent, 4), r.tag);
    EXPECT_EQ(vlan_texts(), r.shown);
  }
  refuse(2, 14);
  EXPECT_EQ(act(kT0, "ConfigureVLAN", {"7"}), 1u);
  expect_status(124);
}

TEST_F(TcpipTest, ConfigureIPAddressReplacesOnlyAValidNewPair) {
  struct Row {
    const char* name;
    std::string group;
    const char* address;
    const char* mask;
    std::function<void(sim::Simulator&)> setup;
    uint32_t result, status;
    const char* changes;
    const char* stack0;  // function 0's address afterwards
  } rows[] = {
      {"same pair", kT0, "10.0.0.5", "255.255.255.0", nullptr, 0, 56, "", "10.0.0.5"},
      {"DHCP on", kT1, "10.0.1.9", "255.255.255.0", nullptr, 1, 43, "", "10.0.0.5"},
      {"mask with a hole", kT0, "10.0.0.9", "255.0.255.0", nullptr, 1, 17, "", "10.0.0.5"},
      {"loopback", kT0, "127.0.0.1", "255.0.0.0", nullptr, 1, 17, "", "10.0.0.5"},
      {"new pair", kT0, "10.0.0.9", "255.255.0.0", nullptr, 0, 0, "21del 21add", "10.0.0.9"},
      {"zero pair", kT0, "0.0.0.0", "0.0.0.0", nullptr, 0, 0, "21del 21add", "0.0.0.0"},
      {"address of another function", kT0, "10.0.1.7", "255.255.255.0", nullptr, 0, 69, "21del 21add", "10.0.1.7"},
      // The add fails after the delete: the old address is put back.
      {"add refused", kT0, "10.0.0.9", "255.255.0.0", [](sim::Simulator& s) { s.inject(refusal(2, 21, 1)); }, 1, 122,
       "21del 21add 21add", "10.0.0.5"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    reset();
    if (r.setup) r.setup(*sim_);
    EXPECT_EQ(act(r.group, "ConfigureIPAddress", {r.address, r.mask}), r.result);
    expect_status(r.status);
    EXPECT_EQ(changes(), r.changes);
    EXPECT_EQ(stack(0).has_address ? dotted(stack(0).address.data()) : "0.0.0.0", r.stack0);
  }
  reset();
  ASSERT_EQ(act(kT0, "ConfigureIPAddress", {"10.0.0.9", "255.255.0.0"}), 0u);
  const auto add = last_payload(2, 21);
  ASSERT_EQ(add.size(), 56u);
  EXPECT_EQ(word(add, 0), 1u);
  EXPECT_EQ(word(add, 4), 1u);
  EXPECT_EQ(word(add, 8), stack(0).interface_id);
  EXPECT_EQ(add[12], 40);
  EXPECT_EQ(add[14], 1);
  EXPECT_EQ(dotted(&add[16]) + "/" + dotted(&add[32]), "10.0.0.9/255.255.0.0");
  EXPECT_EQ(get(kT0 + "/InitiatorSubnetMask"), "255.255.0.0");
}

TEST_F(TcpipTest, DhcpEnableAndDisable) {
  ASSERT_EQ(act(kT0, "DHCPEnable"), 0u);
  EXPECT_EQ(changes(), "21del 23del 17");
  const auto on = last_payload(2, 17);
  EXPECT_EQ(on, (std::vector<uint8_t>{0x10, 0, 0, 0, 5, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0}));
  EXPECT_EQ(get(kT0 + "/DHCPEnabled"), "True");
  EXPECT_FALSE(stack(0).has_address);
  EXPECT_EQ(dotted(stack(0).gateway.data()), "0.0.0.0");

  sim_->clear_log();
  EXPECT_EQ(act(kT0, "DHCPEnable"), 0u);
  expect_status(57);
  EXPECT_EQ(changes(), "");

  // Disable does not ask first and clears the texts it owns.
  for (const std::string& group : {kT1, kT0}) {
    sim_->clear_log();
    ASSERT_EQ(act(group, "DHCPDisable"), 0u);
    EXPECT_EQ(changes(), "18");
    EXPECT_EQ(word(last_payload(2, 18), 4), 5u);
    EXPECT_EQ(get(group + "/DHCPEnabled"), "False");
    EXPECT_EQ(get(group + "/InitiatorIPAddress"), "0.0.0.0");
  }
  refuse(2, 18);
  EXPECT_EQ(act(kT1, "DHCPDisable"), 1u);
  expect_status(123);
}

TEST_F(TcpipTest, RefusedDhcpEnablePutsAddressAndGatewayBack) {
  struct Row {
    const char* name;
    std::function<void(sim::Simulator&)> setup;
    uint32_t status;
    const char* changes;
  } rows[] = {
      {"gateway delete refused", [](sim::Simulator& s) { s.inject(refusal(2, 23)); }, 132, "21del 23del 21add"},
      {"DHCP refused", [](sim::Simulator& s) { s.inject(refusal(2, 17)); }, 1, "21del 23del 17 21add 23add"},
      {"DHCP stays off",
       [](sim::Simulator& s) { s.on(2, 17, [](sim::Simulator&, sim::MailboxCall&) { return sim::MailboxReply{}; }); },
       135, "21del 23del 17 21add 23add"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    reset();
    r.setup(*sim_);
    EXPECT_EQ(act(kT0, "DHCPEnable"), 1u);
    expect_status(r.status);
    EXPECT_EQ(changes(), r.changes);
    EXPECT_EQ(dotted(stack(0).address.data()) + " via " + dotted(stack(0).gateway.data()), "10.0.0.5 via 10.0.0.1");
    EXPECT_FALSE(stack(0).dhcp);
  }
}

TEST_F(TcpipTest, BootSessionRefusesAddressChanges) {
  // The firmware's flag counts, not a text an earlier read left.
  add_session(false, "True");
  EXPECT_EQ(act(kT0, "ConfigureIPAddress", {"10.0.0.9", "255.255.0.0"}), 0u);
  add_session(true, "False");
  for (const char* action : {"ConfigureIPAddress", "DHCPEnable", "DHCPDisable"}) {
    SCOPED_TRACE(action);
    sim_->clear_log();
    EXPECT_EQ(act(kT0, action, {"10.0.0.9", "255.255.0.0"}), 1u);
    expect_status(44);
    EXPECT_EQ(changes(), "");
  }
  // VLAN changes are not blocked.
  EXPECT_EQ(act(kT0, "ConfigureVLAN", {"12"}), 0u);
}

TEST_F(TcpipTest, DefaultGatewayChangesOnlyForAValidAddress) {
  EXPECT_EQ(get(kT0 + "/DefaultGateway"), "10.0.0.1");
  struct Row {
    const char* name;
    std::string group;
    const char* value;
    std::function<void(sim::Simulator&)> setup;
    uint32_t result, status;
    const char* changes;
    const char* gateway0;  // function 0's gateway afterwards
  } rows[] = {
      {"replace", kT0, "10.0.0.254", nullptr, 0, 0, "23del 23add", "10.0.0.254"},
      // IPv6 passes the tree's check of an address but is no IPv4 gateway:
      // refused before the old gateway is deleted.
      {"IPv6 text", kT0, "fe80::1", nullptr, 1, 17, "", "10.0.0.1"},
      {"add refused", kT0, "10.0.0.77", [](sim::Simulator& s) { s.inject(refusal(2, 23, 1)); }, 1, 132,
       "23del 23add 23add", "10.0.0.1"},
      {"DHCP on", kT1, "10.0.1.1", nullptr, 1, 49, "", "10.0.0.1"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    reset();
    if (r.setup) r.setup(*sim_);
    EXPECT_EQ(set(r.group + "/DefaultGateway", r.value), r.result);
    expect_status(r.status);
    EXPECT_EQ(changes(), r.changes);
    EXPECT_EQ(dotted(stack(0).gateway.data()), r.gateway0);
  }
  reset();
  ASSERT_EQ(act(kT0, "DeleteDefaultGateway"), 0u);
  EXPECT_EQ(changes(), "23del");
  const auto del = last_payload(2, 23);
  EXPECT_EQ(std::vector<uint8_t>(del.begin() + 4, del.begin() + 12), (std::vector<uint8_t>{0, 0, 0, 1, 10, 0, 0, 1}));
  // Nothing left to delete: no command. A set then sends only the add.
  sim_->clear_log();
  EXPECT_EQ(act(kT0, "DeleteDefaultGateway"), 0u);
  ASSERT_EQ(set(kT0 + "/DefaultGateway", "10.0.0.2"), 0u);
  EXPECT_EQ(changes(), "23add");
  EXPECT_EQ(last_payload(2, 23)[4], 24);
  EXPECT_EQ(act(kT1, "DeleteDefaultGateway"), 1u);
  expect_status(43);
}

}  // namespace
}  // namespace tavo::test
