// The port's beacon, transceiver dump, TX throttle, flow control, erase
// and operational modes on each generation, and the refusals inside a
// virtual function.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "nic/nic.h"
#include "simulator/responders.h"
#include "tests/port/port_fixture.h"
#include "transport/device_layout.h"

namespace tavo::test {
namespace {

const std::string kSeeLog = "Please check tavo2d.log file for more information.";
const Status kNotApplied{291, "Failed to execute the command. Because operation is not supported on this adapter."};

class PortActionsTest : public PortTest {
 protected:
  std::string at(const char* port, const std::string& name) { return std::string(port) + "/" + name; }
  std::pair<uint32_t, Status> run(const char* port, const std::string& action, const std::vector<std::string>& p) {
    return PortTest::run(at(port, action), p);
  }
  std::pair<uint32_t, Status> write(const char* port, const std::string& property, const std::string& value) {
    return PortTest::write(at(port, property), value);
  }
  // The PCI address the last NIC-device request went to.
  Bytes nic_address() {
    const std::vector<sim::LogEntry> log = sim_->mailbox_log();
    for (auto e = log.rbegin(); e != log.rend(); ++e)
      if (e->kind == sim::LogKind::NicIoctl) return Bytes(e->bytes.begin() + 18, e->bytes.begin() + 21);
    return {};
  }
};

TEST_F(PortActionsTest, BeaconSwitchesOnAndOff) {
  const std::string beacon = "Beacon";
  const Status none{0, ""};
  sim_->clear_log();
  EXPECT_EQ(run(kMoravelPort, beacon, {kNotGiven, kNotGiven, "disabled"}), (std::pair{0u, Status{244,
                                                                                                 "Beacon is already in "
                                                                                                 "disabled state."}}));
  EXPECT_EQ(mailbox_count(1, 69), 0);
  EXPECT_EQ(run(kMoravelPort, beacon, {"5", kNotGiven, "Enabled"}),
            (std::pair{1u, Status{134,
                                  "BeaconDuration or StatusDuration parameter is missing. Please provide the "
                                  "parameter value while enabling the beacon state."}}));
  EXPECT_EQ(run(kMoravelPort, beacon, {"0x10", "20", "enabled"}), (std::pair{0u, none}));
  EXPECT_EQ(last_payload(1, 69), (Bytes{1, 1, 16, 20}));  // port 1, on, durations in any base
  EXPECT_EQ(get(at(kMoravelPort, "BeaconState")), "Enabled");
  EXPECT_EQ(run(kMoravelPort, beacon, {"1", "1", "Enabled"}),
            (std::pair{1u, Status{236, "Failed set Beacon. Beacon operation is already in active state."}}));
  EXPECT_EQ(run(kMoravelPort, beacon, {kNotGiven, kNotGiven, "Disabled"}), (std::pair{0u, none}));
  EXPECT_EQ(last_payload(1, 69), (Bytes{1, 0, 0, 0}));
  EXPECT_EQ(fw(2, 1).beacon, 0);
  fail_mailbox(1, 69, 66);
  EXPECT_EQ(run(kCv3Port, beacon, {"1", "1", "Enabled"}), (std::pair{1u, Status{149,
                                                                                "This Operation is not "
                                                                                "supported."}}));
  fail_mailbox(1, 69, 3);
  EXPECT_EQ(run(kCv3Port, beacon, {"1", "1", "Enabled"}), (std::pair{1u, Status{119,
                                                                                "Failed to enable/disable "
                                                                                "beacon."}}));
  fail_mailbox(1, 70, 3);
  EXPECT_EQ(run(kCv3Port, beacon, {"1", "1", "Enabled"}), (std::pair{1u, Status{120,
                                                                                "Failed to get beacon "
                                                                                "state."}}));
  fw(1, 0).beacon = -1;
  EXPECT_EQ(get(at(kGaltorPort, "BeaconState")), "Not Supported");
  EXPECT_EQ(run(kGaltorPort, beacon, {"1", "1", "Enabled"}),
            (std::pair{1u, Status{150, "Beaconing is not supported on this model of Corvane controller."}}));
}

TEST_F(PortActionsTest, TransceiverPagesComeBackAsText) {
  for (auto [given, address] : {std::pair{"a0", 160u}, std::pair{"A2", 162u}}) {
    SCOPED_TRACE(given);
    EXPECT_EQ(act(at(kMoravelPort, "DumpTransceiverData"), {given}), 0u);
    EXPECT_EQ(last_payload(1, 73).size(), 264u);
    Bytes head = last_payload(1, 73);
    EXPECT_EQ(Bytes(head.begin(), head.begin() + 5), (Bytes{static_cast<uint8_t>(address), 0, 0, 0, 1}));
    uint8_t page[256];
    sim::port_transceiver_page(fw(2, 1), address, page);
    std::string expected;
    for (int w = 0; w < 64; ++w) {
      uint32_t word;
      memcpy(&word, page + 4 * w, 4);
      char text[10];
      snprintf(text, sizeof text, "%08x ", word);
      expected += (w > 0 && w % 16 == 0 ? "\n" : "") + std::string(text);
    }
    EXPECT_EQ(last_status(), (Status{60, expected}));
    EXPECT_EQ(expected.size(), 579u);
  }
  fw(2, 1).transceiver = false;
  EXPECT_EQ(run(kMoravelPort, "DumpTransceiverData", {"A0"}),
            (std::pair{1u, Status{191, "DumpTransceiverData is not supported on this model of Corvane controller."}}));
  fail_mailbox(1, 73, 3);
  EXPECT_EQ(
      run(kMoravelPort, "DumpTransceiverData", {"A0"}),
      (std::pair{1u, Status{64, "Failed to dump transceiver data. Application internal error occurred. " + kSeeLog}}));
}

TEST_F(PortActionsTest, TxThrottleOnlyWhereTheFirmwareHasIt) {
  const Status not_here{210, "Setting TXThrottel is not Supported on this type of adapter."};
  set_prop_val(node("Corvane3/Personality"), "CurrentPersonality", "FCoE");
  EXPECT_EQ(get(at(kCv2Port, "TXThrottle")), "2");
  EXPECT_EQ(write(kCv2Port, "TXThrottle", "3"), (std::pair{1u, Status{6, "Invalid Value. Valid values are 1 or 2."}}));
  EXPECT_EQ(write(kCv2Port, "TXThrottle", "x"), (std::pair{1u, Status{6, "Invalid Value. Valid values are 1 or 2."}}));
  EXPECT_EQ(mailbox_count(1, 132), 0);
  EXPECT_EQ(write(kCv2Port, "TXThrottle", "1"), (std::pair{0u, Status{0, ""}}));
  EXPECT_EQ(last_payload(1, 132), (Bytes{1, 0, 0, 0}));
  EXPECT_EQ(write(kCv2Port, "TXThrottle", "1"), (std::pair{0u, Status{0, ""}}));  // the current value: not sent
  EXPECT_EQ(mailbox_count(1, 132), 1);
  fail_mailbox(1, 133, 3);
  EXPECT_EQ(get(at(kCv2Port, "TXThrottle")), "<unreadable>");
  EXPECT_EQ(last_status(), (Status{208, "Failed to get TXThrottel property. " + kSeeLog}));
  fail_mailbox(1, 132, 3);
  EXPECT_EQ(write(kCv2Port, "TXThrottle", "2"),
            (std::pair{1u, Status{209, "Failed to set TXThrottel property. " + kSeeLog}}));
  set_prop_val(node("Corvane3/Personality"), "CurrentPersonality", "NIC");
  EXPECT_EQ(get(at(kCv2Port, "TXThrottle")), "N/A");
  EXPECT_EQ(write(kCv2Port, "TXThrottle", "1"), (std::pair{1u, not_here}));
  EXPECT_EQ(write(kCv3Port, "TXThrottle", "1"), (std::pair{1u, not_here}));
  EXPECT_EQ(get(at(kMoravelPort, "TXThrottle")), "N/A");
  EXPECT_EQ(write(kMoravelPort, "TXThrottle", "1"), (std::pair{1u, kNotApplied}));
  EXPECT_EQ(write(kGaltorPort, "TXThrottle", "1"), (std::pair{0u, Status{0, ""}}));
  EXPECT_EQ(fw(1, 0).tx_throttle, 1u);
}

TEST_F(PortActionsTest, FlowControlByGeneration) {
  fw(0, 0).rx_pause = 0;
  EXPECT_EQ(get(at(kCv3Port, "TxFlowControl")), "Enabled");
  EXPECT_EQ(stored(at(kCv3Port, "RxFlowControl")), "Disabled");
  EXPECT_EQ(write(kCv3Port, "RxFlowControl", "Enabled"), (std::pair{1u, kNotApplied}));
  for (const char* port : {kGaltorPort, kCv2Port}) {
    EXPECT_EQ(get(at(port, "RxFlowControl")), "N/A");
    EXPECT_EQ(write(port, "TxFlowControl", "Enabled"), (std::pair{1u, kNotApplied}));
  }
  // Moravel port 1 is served by its iSCSI function; flow control goes to
  // the port's NIC function (bus 7, function 0) on the NIC device.
  fw(2, 1).tx_pause = 0;
  EXPECT_EQ(get(at(kMoravelPort, "RxFlowControl")), "Enabled");
  EXPECT_EQ(stored(at(kMoravelPort, "TxFlowControl")), "Disabled");
  EXPECT_EQ(last_payload(1, 205), (Bytes{0, 0, 0, 1, 0, 0, 0, 0}));
  EXPECT_EQ(nic_address(), (Bytes{7, 0, 0}));
  sim_->clear_log();
  const std::string configured = "Corvane1/ProfileManagement/ConfiguredProfile";
  ASSERT_EQ(purge_nodes_within(node(configured), "Port"), 0u);
  EXPECT_EQ(set(at(kMoravelPort, "RxFlowControl"), "Disabled"), 1u);  // no configured profile port
  EXPECT_EQ(mailbox_count(1, 205), 0);
  ASSERT_EQ(TAVO_get_configured_profiles(node("Corvane1")), 0u);
  // The sub-command follows the written port's own configured type: the
  // configured Port whose descriptor carries its link number (Port0 for
  // port 1, Port1 for port 3), not the one its number counts to.
  const char* port3 = "Corvane1/PortDiscoveryAndConfiguration1";
  const struct {
    const char* port0;
    const char* port1;
    uint8_t on_port1, on_port3;
  } types[] = {{"NPAR", "None", 11, 8}, {"None", "NPAR", 8, 11}, {"npar", "NPAR", 11, 11}, {"UMC", "None", 8, 8}};
  for (const auto& row : types) {
    SCOPED_TRACE(std::string(row.port0) + "," + row.port1);
    ASSERT_EQ(set(configured + "/Port0/MCType", row.port0), 0u);
    ASSERT_EQ(set(configured + "/Port1/MCType", row.port1), 0u);
    EXPECT_EQ(set(at(kMoravelPort, "RxFlowControl"), "ENABLED"), 0u);
    EXPECT_EQ(last_payload(1, 205), (Bytes{0x10, row.on_port1, 0, 1, 0, 0, 0, 0}));
    ASSERT_EQ(set(at(port3, "TxFlowControl"), "Disabled"), 0u);
    EXPECT_EQ(set(at(port3, "RxFlowControl"), "Enabled"), 0u);
    EXPECT_EQ(last_payload(1, 205), (Bytes{0x10, row.on_port3, 0, 3, 0, 0, 0, 0}));
  }
  EXPECT_EQ(TAVO_reset_flow_control_properties(node(kMoravelPort), "UMC"), 0u);
  EXPECT_EQ(last_payload(1, 205), (Bytes{0x10, 8, 0, 1, 0, 0, 0, 0}));
  // The NIC function set changed: nothing is sent, and the tree is built
  // again once the call is over.
  sim::Fault change;
  change.kind = sim::FaultKind::NicCountChange;
  change.nic_count = 4;
  sim_->inject(change);
  sim_->clear_log();
  const uint32_t before = tag(kMoravelPort);
  EXPECT_EQ(set(at(kMoravelPort, "TxFlowControl"), "Enabled"), 1u);
  EXPECT_EQ(mailbox_count(1, 205), 0);
  EXPECT_NE(tag(kMoravelPort), before);
  // A controller without NIC functions sends nothing.
  ASSERT_EQ(restart("controller 0 generation=moravel serial=M\niscsi controller=0 function=2 device=0\n"), 0u);
  EXPECT_EQ(get("Corvane0/PortDiscoveryAndConfiguration0/TxFlowControl"), "<unreadable>");
  EXPECT_EQ(mailbox_count(1, 205), 0);
}

// Whatever links a Moravel's ports sit on, a flow-control write and
// SaveProfile's resend use the configured type of the port's own link.
TEST_F(PortActionsTest, FlowControlFollowsTheConfiguredPortOfItsLink) {
  const struct {
    const char* topology;
    std::vector<uint8_t> links;  // the ports' links, in port group order
  } layouts[] = {
      {"nic controller=0 function=0 port=1 name=vmnic0\nnic controller=0 function=1 port=2 name=vmnic1\n", {1, 2}},
      {"nic controller=0 function=0 port=1 name=vmnic0\n", {1}},
      {"nic controller=0 function=0 port=2 name=vmnic0\nnic controller=0 function=1 port=3 name=vmnic1\n", {2, 3}},
  };
  const std::string configured = "Corvane0/ProfileManagement/ConfiguredProfile";
  for (const auto& layout : layouts) {
    SCOPED_TRACE(layout.topology);
    ASSERT_EQ(restart(std::string("controller 0 generation=moravel serial=M bus=7\n") + layout.topology), 0u);
    ASSERT_EQ(set("TAVODebugLevel", "6"), 0u);
    // Each configured port gets its own type: NPAR on the first only.
    for (size_t p = 0; p < layout.links.size(); ++p)
      ASSERT_EQ(set(configured + "/Port" + std::to_string(p) + "/MCType", p == 0 ? "NPAR" : "UMC"), 0u);
    for (size_t p = 0; p < layout.links.size(); ++p) {
      const std::string port = "Corvane0/PortDiscoveryAndConfiguration" + std::to_string(p);
      ASSERT_EQ(get(port + "/PortNumber"), std::to_string(layout.links[p]));
      EXPECT_EQ(write(port.c_str(), "TxFlowControl", "Enabled"), (std::pair{0u, Status{0, ""}})) << p;
      const uint8_t subcommand = p == 0 ? 11 : 8;
      EXPECT_EQ(last_payload(1, 205), (Bytes{0x11, subcommand, 0, layout.links[p], 0, 0, 0, 0})) << p;
    }
    sim_->clear_log();
    const std::string before = debug_log();
    ASSERT_EQ(act("Corvane0/ProfileManagement/SaveProfile"), 0u) << last_status().second;
    std::vector<Bytes> expected, resent;
    for (size_t p = 0; p < layout.links.size(); ++p)
      expected.push_back(Bytes{0x11, static_cast<uint8_t>(p == 0 ? 11 : 8), 0, layout.links[p], 0, 0, 0, 0});
    for (const Bytes& b : payloads(1, 205))
      if (b[1] != 0) resent.push_back(b);  // the writes among the reads
    EXPECT_EQ(resent, expected);
    EXPECT_EQ(debug_log().find("Failed to reset the flow control", before.size()), std::string::npos);
  }
}

TEST_F(PortActionsTest, PortEraseAcceptsRebootNow) {
  struct Row {
    uint8_t status;
    uint32_t result;
    Status left;
  } rows[] = {
      {0, 0, {184, "Erased the Configuration. Please reboot your system for the changes to take effect."}},
      {44,
       0,
       {239,
        "The operation completed successfully. Please reboot the machine immediately in order to avoid "
        "inconsistent behaviour."}},
      {3, 1, {187, "Failed to erase port and discovery configuration. " + kSeeLog}},
  };
  for (const Row& r : rows) {
    if (r.status != 0) fail_mailbox(1, 7, r.status);
    EXPECT_EQ(run(kMoravelPort, "ErasePortandDiscoveryConfiguration", {}), (std::pair{r.result, r.left}));
    EXPECT_EQ(last_payload(1, 7), (Bytes{3, 0, 0, 0, 15, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  }
  EXPECT_EQ(fw(2, 1).erased, 1);
}

TEST_F(PortActionsTest, OperationalModesMarkTheOperationalView) {
  const std::string view = std::string(kMoravelPort) + "/DCBX/PriorityGroups/OperationalPGSettings";
  TavoNode* group = node(view);
  uint32_t flag = 0;
  EXPECT_EQ(TAVO_get_operating_value(1, 0, 1, group, &flag), 0u);
  EXPECT_EQ(flag, 0u);
  fw(2, 1).op_modes = {1, 2};
  EXPECT_EQ(TAVO_get_operating_value(1, 0, 1, group, &flag), 0u);
  EXPECT_EQ(flag, 1u);
  EXPECT_EQ(stored(view + "/OperationalMode"), "N/A");
  EXPECT_EQ(nic_address(), (Bytes{7, 0, 0}));
  Bytes request = last_payload(1, 108);
  EXPECT_EQ(request.size(), 2080u);
  EXPECT_EQ(Bytes(request.begin(), request.begin() + 5), (Bytes{1, 0, 0, 0, 1}));
  // A count past the buffer with descriptors of length 0 (mode 0): the walk
  // ends at once.
  sim_->on(1, 108, [](sim::Simulator&, sim::MailboxCall& call) {
    std::fill(call.payload.begin(), call.payload.end(), 0);
    call.payload[0] = 0xFF;
    call.payload[1] = 0xFF;
    return sim::MailboxReply{};
  });
  set_prop_val(group, "OperationalMode", "True");
  flag = 0;
  EXPECT_EQ(TAVO_get_operating_value(1, 0, 1, group, &flag), 0u);
  EXPECT_EQ(flag, 0u);
  EXPECT_EQ(stored(view + "/OperationalMode"), "True");
}

TEST_F(PortActionsTest, InsideAVirtualFunctionPortsAreRefused) {
  ASSERT_EQ(restart("controller 0 generation=moravel serial=M\nnic controller=0 function=0 port=0 name=vmnic0\n"
                    "vf controller=0 function=1 parent=0 port=0 name=vmnic1\n"),
            0u);
  const char* port = "Corvane0/PortDiscoveryAndConfiguration0";
  const Status refused{256, "Performed operation is not supported on a SR-IOV virtual function."};
  sim_->clear_log();
  for (const char* property : {"PortState", "BeaconState", "TXThrottle", "TxFlowControl", "Mode"}) {
    EXPECT_EQ(get(at(port, property)), "<unreadable>") << property;
    EXPECT_EQ(last_status(), refused);
  }
  EXPECT_EQ(write(port, "RxFlowControl", "Enabled"), (std::pair{1u, refused}));
  EXPECT_EQ(run(port, "ErasePortandDiscoveryConfiguration", {}), (std::pair{1u, refused}));
  EXPECT_EQ(run(port, "Beacon", {"1", "1", "Enabled"}), (std::pair{1u, refused}));
  EXPECT_TRUE(sim_->mailbox_log().empty());
}

}  // namespace
}  // namespace tavo::test
