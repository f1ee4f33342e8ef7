// LLDP of a port, the controller's loopback and DMA diagnostics, the
// 10GBase-T PHY, and their refusals inside a virtual function.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "backend/backend.h"
#include "tests/port/port_fixture.h"
#include "transport/device_ids.h"
#include "transport/glob.h"

namespace tavo::test {
namespace {

const std::string kSeeLog = "Please check tavo2d.log file for more information.";
const std::string kInternal = "Application internal error occurred. " + kSeeLog;
const Status kNone{0, ""};
// The Moravel (Corvane1, topology controller 2) serves ports 1 and 3.
const std::string kDiagnostics = "Corvane1/Diagnostics/";
const std::string kLocal = std::string(kMoravelPort) + "/LLDP/LocalConfiguration/";
const std::string kPeer = std::string(kMoravelPort) + "/LLDP/PeerConfiguration/";
const std::string kBaseT = std::string(kMoravelPort) + "/BaseT10G/";

class DiagnosticsTest : public PortTest {
 protected:
  LldpConfigRecord lldp(bool local) {
    LldpConfigRecord r;
    memcpy(&r, (local ? fw(2, 1).lldp_local : fw(2, 1).lldp_peer).data(), sizeof r);
    return r;
  }
  void plant(bool local, const LldpConfigRecord& r) {
    memcpy((local ? fw(2, 1).lldp_local : fw(2, 1).lldp_peer).data(), &r, sizeof r);
  }
  // The seven results, in their order.
  std::vector<std::string> results() {
    std::vector<std::string> v;
    for (const char* name : {"TotalTestCycles", "TotalCompleteCycles", "TotalErrorCycles", "SendErrorCount",
                             "ReceiveErrorCount", "DataMiscompareCount", "TotalCompleteCount"})
      v.push_back(get(kDiagnostics + name));
    return v;
  }
  std::vector<uint32_t> words(const Bytes& b) {
    std::vector<uint32_t> w(b.size() / 4);
    memcpy(w.data(), b.data(), w.size() * 4);
    return w;
  }
};

using Texts = std::vector<std::string>;

TEST_F(DiagnosticsTest, LldpShowsBothAgentsAndTheCounters) {
  LldpConfigRecord peer = lldp(false);
  peer.chassis_subtype = 1;
  peer.capabilities = 0x14;
  memset(peer.system_description, 'x', sizeof peer.system_description);  // no end inside the field
  plant(false, peer);
  struct Row {
    std::string path;
    const char* shown;
  } rows[] = {
      {kLocal + "TxState", "Enabled"},
      {kLocal + "SystemCapabilitiesTLV", "Enabled"},
      {kLocal + "ChassisId", "00-0e-1e-c2-00-00"},
      {kLocal + "ChassisType", "MAC Address"},
      {kLocal + "PortType", "MAC Address"},
      {kLocal + "SystemCapabilities", "Station"},
      {kLocal + "TTL", "120"},
      {kPeer + "ChassisType", "Chassis Component"},  // though the list spells it otherwise
      {kPeer + "PortType", "Interface Name"},
      {kPeer + "SystemCapabilities", "Bridge"},  // the lowest bit wins
      {kPeer + "PortDescription", "Ethernet1/2"},
      {std::string(kMoravelPort) + "/LLDP/LLDPStatistics/TxPacketCount", "120"},
      {std::string(kMoravelPort) + "/LLDP/LLDPStatistics/NumPacketsDropped", "1"},
      {std::string(kMoravelPort) + "/LLDP/LLDPStatistics/UnrecognizedTLVs", "2"},
      {std::string(kMoravelPort) + "/LLDP/LLDPStatistics/OrganizationalTLVCount", "5"},
  };
  for (const Row& r : rows) EXPECT_EQ(get(r.path), r.shown) << r.path;
  EXPECT_EQ(get(kPeer + "SystemDescription"), std::string(255, 'x'));
  EXPECT_EQ(last_payload(15, 1)[0], 1);  // the peer's record
  get(kLocal + "TTL");
  EXPECT_EQ(last_payload(15, 1)[0], 0);
  const struct {
    uint8_t opcode;
    std::string path;
    Status status;
  } failures[] = {
      {1, kLocal + "TTL", {105, "Cannot obtain LLDP properites. " + kInternal}},
      {3, std::string(kMoravelPort) + "/LLDP/LLDPStatistics/RxPacketCount",
       {107, "Cannot obtain LLDP statistics properties. " + kInternal}},
  };
  for (const auto& f : failures) {
    fail_mailbox(15, f.opcode, 3);
    EXPECT_EQ(get(f.path), "<unreadable>");
    EXPECT_EQ(last_status(), f.status);
  }
}

TEST_F(DiagnosticsTest, LldpWritesSwitchOneBitAndOnlyWhenItChanges) {
  LldpConfigRecord local = lldp(true);
  local.enables[0] = kLldpTransmit | kLldpReceive | 0x80;  // other bits go back as read
  local.enables[3] = 0;
  plant(true, local);
  EXPECT_EQ(write(kLocal + "SystemNameTLV", "Disabled"), (std::pair{0u, kNone}));
  EXPECT_EQ(last_payload(15, 2), (Bytes{0x83, 1, 0, 0, 1, 0, 0, 0}));
  EXPECT_EQ(write(kLocal + "TxState", "disabled"), (std::pair{0u, kNone}));
  EXPECT_EQ(last_payload(15, 2), (Bytes{0x82, 1, 0, 0, 1, 0, 0, 0}));
  EXPECT_EQ(write(kLocal + "SystemDescriptionTLV", "Enabled"), (std::pair{0u, kNone}));
  EXPECT_EQ(last_payload(15, 2), (Bytes{0x82, 1, 0, 1, 1, 0, 0, 0}));
  const int writes = mailbox_count(15, 2);
  EXPECT_EQ(write(kLocal + "TxState", "Disabled"), (std::pair{0u, kNone}));  // already so: not sent
  EXPECT_EQ(mailbox_count(15, 2), writes);
  fail_mailbox(15, 2, 3);
  EXPECT_EQ(write(kLocal + "RxState", "Disabled"),
            (std::pair{1u, Status{106, "Cannot set LLDP properites. " + kInternal}}));
  EXPECT_EQ(get(kLocal + "RxState"), "Enabled");
  // A port no function serves reads empty, and a write cannot be sent.
  tavo_glob.port_bitmap[1][1] = 0;
  sim_->clear_log();
  for (const char* p : {"TxState", "PortDescriptionTLV"}) EXPECT_EQ(get(kLocal + p), "Disabled") << p;
  for (const char* p : {"ChassisType", "PortType", "SystemCapabilities"}) EXPECT_EQ(get(kPeer + p), "Unknown") << p;
  EXPECT_EQ(get(kPeer + "SystemName"), "");
  EXPECT_EQ(get(kPeer + "TTL"), "0");
  EXPECT_EQ(write(kLocal + "TxState", "Enabled"),
            (std::pair{1u, Status{106, "Cannot set LLDP properites. " + kInternal}}));
  EXPECT_EQ(stored(kLocal + "TxState"), "Disabled");
  EXPECT_TRUE(sim_->mailbox_log().empty());
}

TEST_F(DiagnosticsTest, LoopbackModesAndTheirRules) {
  const std::string enter = kDiagnostics + "EnterLoopBackMode", leave = kDiagnostics + "ExitLoopBackMode";
  EXPECT_EQ(run(enter, {"1", "1", "macloopback"}), (std::pair{0u, kNone}));
  EXPECT_EQ(last_payload(11, 19), (Bytes{1, 1, 0, 1}));
  EXPECT_EQ(fw(2, 1).loopback_mode, 0);
  EXPECT_EQ(run(enter, {"1", "1", "MacLoopBack"}),
            (std::pair{1u, Status{172, "The specified LoopBack mode is already set."}}));
  EXPECT_EQ(run(enter, {"1", "1", "OnePortLoopBack"}),
            (std::pair{1u, Status{154,
                                  "The given port is already in loopback state, only after exiting this loopback "
                                  "mode, a new loopback type can be applied."}}));
  EXPECT_EQ(run(leave, {"1", "1"}), (std::pair{0u, kNone}));
  EXPECT_EQ(last_payload(11, 19), (Bytes{1, 1, 255, 0}));
  const int writes = mailbox_count(11, 19);
  EXPECT_EQ(run(leave, {"0x1", "1"}), (std::pair{1u, Status{171, "No LoopBack Mode is set on this port."}}));
  EXPECT_EQ(mailbox_count(11, 19), writes);
  // Two ports; the pair rule on each side.
  const Status same{67,
                    "Source port number and destination port number should be same for MAC loopback, PHY loopback "
                    "and one port loopback."};
  const Status different{68, "Source port number and destination port number should be different for two port "
                             "loopback."};
  EXPECT_EQ(run(enter, {"1", "3", "PhyLoopBack"}), (std::pair{1u, same}));
  EXPECT_EQ(run(enter, {"3", "3", "TwoPortLoopBack"}), (std::pair{1u, different}));
  EXPECT_EQ(run(enter, {"1", "3", "TwoPortLoopBack"}), (std::pair{0u, kNone}));
  EXPECT_EQ(fw(2, 3).loopback_mode, 3);
  EXPECT_EQ(run(leave, {"1", "1"}), (std::pair{1u, different}));
  EXPECT_EQ(run(leave, {"1", "3"}), (std::pair{0u, kNone}));
  EXPECT_EQ(fw(2, 3).loopback_mode, 255);
  // Ports without a function, in each action's words.
  EXPECT_EQ(run(enter, {"0", "0", "MacLoopBack"}),
            (std::pair{1u, Status{231, "There is no PhysicalHBA for the given SourcePortNumber."}}));
  EXPECT_EQ(run(enter, {"1", "2", "TwoPortLoopBack"}),
            (std::pair{1u, Status{231, "There is no PhysicalHBA for the given DestinationPortNumber."}}));
  EXPECT_EQ(run(leave, {"1", "2"}),
            (std::pair{1u, Status{231, "There is no PhysicalHBA for thie given DestinationPortNumber."}}));
  // PHY loopback where the controller offers it, asked with the source port.
  fw(2, 1).phy_loopback = false;
  MailboxRequestHeader h{};
  EXPECT_EQ(run(enter, {"1", "1", "PhyLoopBack"}),
            (std::pair{1u, Status{168, "PhyLoopBack is not supported on this controller."}}));
  last_payload(1, 32, &h);
  EXPECT_EQ(h.port_number, 1);
  // Failures of the firmware, by what failed.
  fail_mailbox(11, 20, 3);
  EXPECT_EQ(run(enter, {"1", "1", "MacLoopBack"}),
            (std::pair{1u, Status{234, "Failed to get LoopBack Mode. " + kSeeLog}}));
  fail_mailbox(11, 19, 3);
  EXPECT_EQ(run(enter, {"1", "1", "MacLoopBack"}),
            (std::pair{1u, Status{232, "Enter LoopBack Mode failed. " + kSeeLog}}));
  fw(2, 1).loopback_mode = 2;
  fail_mailbox(11, 19, 3);
  EXPECT_EQ(run(leave, {"1", "1"}), (std::pair{1u, Status{233, "Exit LoopBack Mode failed. " + kSeeLog}}));
  fail_mailbox(11, 19, 1).additional_status = 83;
  EXPECT_EQ(run(leave, {"1", "1"}),
            (std::pair{1u, Status{153, "This LoopBack type is not supported on this Corvane controller."}}));
  set_prop_val(node("Corvane1/Diagnostics"), "IsLoopbackSupported", "False");
  EXPECT_EQ(run(leave, {"1", "1"}), (std::pair{1u, Status{324, "Loopback test is not supported on specific adapter"}}));
  // A client's exit leaves no port looping.
  set_prop_val(node("Corvane1/Diagnostics"), "IsLoopbackSupported", "True");
  backend_client_exit(0);
  EXPECT_EQ(fw(2, 1).loopback_mode, 255);
}

TEST_F(DiagnosticsTest, LoopbackTestResultsAndStatuses) {
  const std::string test = kDiagnostics + "NetworkLoopBackTest";
  const std::vector<std::string> mac{"0102030405060708", "1500", "10", "1", "1", "MacLoopBack"};
  ASSERT_EQ(act(kDiagnostics + "EnterLoopBackMode", {"1", "1", "MacLoopBack"}), 0u);
  fw(2, 1).loop_received = 9;
  fw(2, 1).loop_ms = 500;
  EXPECT_EQ(run(test, mac), (std::pair{0u, kNone}));
  EXPECT_EQ(words(last_payload(11, 18)),
            (std::vector<uint32_t>{0, 10, 0x05060708, 0x01020304, 1, 1, 1500}));
  EXPECT_EQ(results(), (Texts{"500", "450", "50", "0", "1", "1", "9"}));
  fw(2, 1).loop_ms = 0;  // no time counts as a millisecond
  EXPECT_EQ(run(test, mac), (std::pair{0u, kNone}));
  EXPECT_EQ(results(), (Texts{"1", "0", "0", "0", "1", "1", "9"}));
  // Long runs: 64-bit arithmetic, and counts the firmware overstates are
  // kept within the loops.
  fw(2, 1).loop_ms = 4000000;
  fw(2, 1).loop_sent = 5000;
  fw(2, 1).loop_received = 4095;
  EXPECT_EQ(run(test, {"0ff", "1500", "4096", "1", "1", "MacLoopBack"}), (std::pair{0u, kNone}));
  EXPECT_EQ(results(), (Texts{"4000000", "3999023", "976", "0", "1", "1", "4095"}));
  fw(2, 1).loop_sent = fw(2, 1).loop_received = 0;
  EXPECT_EQ(run(test, {"0ff", "1500", "2", "1", "1", "MacLoopBack"}), (std::pair{0u, kNone}));
  EXPECT_EQ(results(), (Texts{"4000000", "0", "4000000", "2", "2", "2", "0"}));
  // A test status leaves the results; a failed command clears them.
  const struct {
    uint32_t status;
    Status shown;
  } statuses[] = {
      {1, {248, "Failed to perform loop back test. An error occurred in the transmit path of the loopback test."}},
      {2, {249, "Failed to perform loop back test. An error occurred in the receive path of the loopback test."}},
      {3, {250, "Failed to perform loop back test. Data integrity failure in the transmitted vs received packet."}},
      {4, {251, "Failed to perform loop back test. Timed out on loopback test."}},
      {5, {52, "The Link Status is Down. Please check the cable."}},
      {9, {62, "Failed to perform loop back test. " + kInternal}},
  };
  for (const auto& s : statuses) {
    fw(2, 1).loop_status = s.status;
    EXPECT_EQ(run(test, mac), (std::pair{1u, s.shown})) << s.status;
  }
  EXPECT_EQ(results()[0], "4000000");
  fw(2, 1).loop_status = 0;
  EXPECT_EQ(run(test, {"0x1", "4057", "1", "1", "1", "MacLoopBack"}),
            (std::pair{1u, Status{167, "Maximum ByteCount supported for MACLoopBack is 4056."}}));
  EXPECT_EQ(run(test, {"12g4", "1500", "1", "1", "1", "MacLoopBack"}),
            (std::pair{1u, Status{78, "Invalid pattern value. Please provide a valid hexadecimal value."}}));
  EXPECT_EQ(run(test, {"0x1", "1500", "1", "1", "1", "OnePortLoopBack"}),
            (std::pair{1u, Status{155,
                                  "This loopback mode is not set. Please set loopback mode using EnterLoopBackMode "
                                  "command before running this test."}}));
  EXPECT_EQ(results(), Texts(7, "0"));
  fw(2, 1).transceiver = false;
  EXPECT_EQ(run(test, mac),
            (std::pair{1u, Status{198, "Loopback test failed because module is not inserted for loopback test."}}));
  // No answer: the test gives up after its 11 seconds.
  fw(2, 1).transceiver = true;
  sim::Fault silent;
  silent.kind = sim::FaultKind::NoAnswer;
  silent.subsystem = 11;
  silent.opcode = 18;
  sim_->inject(silent);
  const uint64_t before = sim_->monotonic_ms();
  EXPECT_EQ(run(test, mac), (std::pair{1u, Status{62, "Failed to perform loop back test. " + kInternal}}));
  EXPECT_EQ(sim_->monotonic_ms() - before, 11000u);
  // A pattern past 64 bits, given to the handler directly.
  char params[TAVO_MAX_PARAMS][TAVO_VALUE_SIZE] = {"1ffffffffffffffff", "1500", "1", "1", "1", "MacLoopBack"};
  EXPECT_EQ(do_NetworkLoopBackTest(node("Corvane1/Diagnostics"), nullptr, &params[0][0]), 1u);
  EXPECT_EQ(last_status(), (Status{7, "Value out of range."}));
}

TEST_F(DiagnosticsTest, DmaTestCountsWhatCameBackWrong) {
  const std::string dma = kDiagnostics + "HostToDDRDMATest";
  EXPECT_EQ(run(dma, {"0102030405060708", "100", "3"}), (std::pair{0u, kNone}));
  EXPECT_EQ(mailbox_count(11, 17), 3);
  const Bytes request = last_payload(11, 17);
  ASSERT_EQ(request.size(), 8208u);
  EXPECT_EQ(words(Bytes(request.begin(), request.begin() + 12)), (std::vector<uint32_t>{0x05060708, 0x01020304, 96}));
  EXPECT_EQ(Bytes(request.begin() + 16, request.begin() + 32),
            (Bytes{8, 7, 6, 5, 4, 3, 2, 1, 8, 7, 6, 5, 4, 3, 2, 1}));
  EXPECT_EQ(results(), (Texts{"3", "3", "0", "0", "0", "0", "3"}));  // a millisecond a transfer
  sim::SimController& c = sim_->topology().controllers[2];
  ASSERT_EQ(c.generation, kGenerationMoravel);
  c.dma_transfers = 0;
  c.dma_miscompare_every = 2;
  c.dma_send_error_every = 3;
  EXPECT_EQ(run(dma, {"0ff", "4096", "6"}), (std::pair{0u, kNone}));
  EXPECT_EQ(results(), (Texts{"6", "1", "5", "2", "3", "3", "1"}));
  // Every transfer wrong both ways: never more errors than loops.
  c.dma_miscompare_every = c.dma_send_error_every = 1;
  EXPECT_EQ(run(dma, {"0ff", "64", "8"}), (std::pair{0u, kNone}));
  EXPECT_EQ(results(), (Texts{"8", "0", "8", "8", "8", "8", "0"}));
  fail_mailbox(11, 17, 3).skip = 1;
  EXPECT_EQ(run(dma, {"0ff", "64", "4"}),
            (std::pair{1u, Status{63, "Failed to perform DDR DMA test. " + kInternal}}));
  EXPECT_EQ(results(), Texts(7, "0"));
  EXPECT_EQ(run("Corvane2/Diagnostics/HostToDDRDMATest", {"0ff", "64", "1"}),
            (std::pair{1u, Status{259, "This operation is not supported on this controller."}}));
}

TEST_F(DiagnosticsTest, BaseTStatisticsAreReadAtMostEveryTenSeconds) {
  struct Row {
    const char *property, *shown;
  } rows[] = {{"10GBaseTDiagStatus", "0x1"}, {"Temperature", "47"},     {"PairDSNR", "0x1a3"},
              {"TimeSinceLinkLow", "3600"},  {"LDPCFrameLow", "1234"},  {"MDIPLLEventCounter", "2"},
              {"10GEMIEventCounter", "1"},   {"PHYFrameCounter", "4418424085"}};
  for (const Row& r : rows) EXPECT_EQ(get(kBaseT + r.property), r.shown) << r.property;
  EXPECT_EQ(mailbox_count(18, 8), 1 + 2);  // two at start-up
  const Bytes request = last_payload(18, 8);
  ASSERT_EQ(request.size(), 112u);
  EXPECT_EQ(words(request)[0], 1u);
  // Another port keeps its own time.
  EXPECT_EQ(get("Corvane1/PortDiscoveryAndConfiguration1/BaseT10G/Temperature"), "47");
  EXPECT_EQ(mailbox_count(18, 8), 4);
  fw(2, 1).baset_words[1] = 50;
  sim_->advance_ms(9999);
  EXPECT_EQ(get(kBaseT + "Temperature"), "47");
  sim_->advance_ms(1);
  EXPECT_EQ(get(kBaseT + "Temperature"), "50");
  // Without the version-1 form, the 84-byte one; without either, "N/A".
  sim::Fault& v1 = fail_mailbox(18, 8, 66);
  v1.version = 1;
  v1.times = -1;
  sim_->advance_ms(10000);
  EXPECT_EQ(get(kBaseT + "PHYFrameCounter"), "123456789");
  EXPECT_EQ(last_payload(18, 8).size(), 84u);
  fw(2, 1).baset_stats = false;
  sim_->advance_ms(10000);
  EXPECT_EQ(get(kBaseT + "Temperature"), "<unreadable>");
  EXPECT_EQ(get(kBaseT + "Temperature"), "N/A");  // stamped: not asked again
  sim_->advance_ms(10000);
  fail_mailbox(18, 8, 3);
  EXPECT_EQ(get(kBaseT + "PairASNR"), "<unreadable>");
  EXPECT_EQ(last_status(), (Status{215, "Failed to get 10BaseT Stats. " + kSeeLog}));
  // CV2 and Galtor have no 10GBase-T PHY.
  sim_->clear_log();
  for (const char* port : {kCv2Port, kGaltorPort}) EXPECT_EQ(get(std::string(port) + "/BaseT10G/Temperature"), "N/A");
  EXPECT_EQ(get(std::string(kCv2Port) + "/BaseT10G/NVPValue"), "N/A");
  EXPECT_EQ(get(std::string(kCv2Port) + "/BaseT10G/PHYLinkDownReason"), "N/A");
  EXPECT_TRUE(sim_->mailbox_log().empty());
  // The link-down reason comes from the port's NIC function.
  for (sim::SimFunction& f : sim_->topology().functions)
    if (f.controller == 2 && f.port == 1 && f.kind == sim::FunctionKind::Nic) f.link_down_reason = 5;
  EXPECT_EQ(get(kBaseT + "PHYLinkDownReason"), "5");
}

TEST_F(DiagnosticsTest, PhyTestsAndNvp) {
  const std::string self_test = kBaseT + "SelfTest";
  EXPECT_EQ(run(self_test, {"CrossTalk", "PairA"}),
            (std::pair{1u, Status{216, "TargetCable should be given when TestType is CrossTalk."}}));
  EXPECT_EQ(run(self_test, {"noise", "PairB", "PairD"}), (std::pair{0u, kNone}));
  const Bytes noise = last_payload(18, 9);
  EXPECT_EQ(words(Bytes(noise.begin(), noise.begin() + 16)),
            (std::vector<uint32_t>{1, 1, 1, 0}));  // the target pair only for cross talk
  EXPECT_EQ(get(kBaseT + "SelfTestResult"), "0");
  fw(2, 1).selftest_result = 4;
  EXPECT_EQ(run(self_test, {"CrossTalk", "PairC", "pairb"}), (std::pair{0u, kNone}));
  const Bytes cross = last_payload(18, 9);
  EXPECT_EQ(words(Bytes(cross.begin(), cross.begin() + 16)), (std::vector<uint32_t>{1, 5, 2, 1}));
  EXPECT_EQ(get(kBaseT + "SelfTestResult"), "4");
  fail_mailbox(18, 9, 3);
  EXPECT_EQ(run(self_test, {"NonLinear", "PairA"}),
            (std::pair{1u, Status{217, "Failed to run 10BaseT SelfTest. " + kSeeLog}}));

  // TDR: pairs A and C OK without an estimate keep their lengths.
  set_prop_val(node(kBaseT.substr(0, kBaseT.size() - 1)), "PairALengthEstimation", "33");
  fw(2, 1).tdr_results = 0x2101;
  EXPECT_EQ(run(kBaseT + "RunTDR", {}), (std::pair{0u, kNone}));
  EXPECT_EQ(words(last_payload(18, 11))[0], 1u);
  Texts tdr;
  for (const char* p : {"PairAResult", "PairBResult", "PairCResult", "PairDResult", "PairALengthEstimation",
                        "PairBLengthEstimation", "PairCLengthEstimation", "PairDLengthEstimation", "NVPUsed"})
    tdr.push_back(get(kBaseT + p));
  EXPECT_EQ(tdr, (Texts{"1", "0", "1", "2", "33", "50", "0", "60", "72"}));
  fail_mailbox(18, 11, 3);
  EXPECT_EQ(run(kBaseT + "RunTDR", {}), (std::pair{1u, Status{218, "Failed to run RunTDR test. " + kSeeLog}}));

  // NVP: the value shown is not sent again; only whole decimals 0-100.
  const std::string nvp = kBaseT + "NVPValue";
  EXPECT_EQ(get(nvp), "72");
  EXPECT_EQ(write(nvp, "72"), (std::pair{0u, kNone}));
  EXPECT_EQ(mailbox_count(18, 10), 0);
  for (const char* bad : {"0x50", "8O", "101", "-1", " 80"})
    EXPECT_EQ(write(nvp, bad), (std::pair{1u, Status{6, "NVPValue: Invalid Value."}})) << bad;
  EXPECT_EQ(mailbox_count(18, 10), 0);
  EXPECT_EQ(write(nvp, "080"), (std::pair{0u, kNone}));
  EXPECT_EQ(last_payload(18, 10), (Bytes{1, 0, 0, 0, 80, 0, 0, 0}));
  EXPECT_EQ(get(nvp), "80");
  fail_mailbox(18, 10, 3);
  EXPECT_EQ(write(nvp, "70"), (std::pair{1u, Status{221, "Failed to Set 10BaseT NVPValue. " + kSeeLog}}));
  fail_mailbox(18, 12, 3);
  EXPECT_EQ(get(nvp), "<unreadable>");
  EXPECT_EQ(last_status(), (Status{220, "Failed to get 10BaseT NVPValue. " + kSeeLog}));
  EXPECT_EQ(get(std::string(kCv3Port) + "/BaseT10G/NVPValue"), "N/A");  // no PHY there: 149

  // Counters are cleared through the version-1 form, on Moravel only.
  EXPECT_EQ(run(kBaseT + "ClearCounters", {}), (std::pair{0u, kNone}));
  EXPECT_EQ(words(last_payload(18, 8))[1], 1u);
  EXPECT_EQ(fw(2, 1).baset_clears, 1);
  EXPECT_EQ(run(std::string(kCv3Port) + "/BaseT10G/ClearCounters", {}),
            (std::pair{1u, Status{325, "ClearCounters test is not supported on specific adapter"}}));
}

TEST_F(DiagnosticsTest, InsideAVirtualFunctionNothingIsAsked) {
  ASSERT_EQ(restart("controller 0 generation=moravel serial=M\nnic controller=0 function=0 port=0 name=vmnic0\n"
                    "vf controller=0 function=1 parent=0 port=0 name=vmnic1\n"),
            0u);
  const std::string port = "Corvane0/PortDiscoveryAndConfiguration0/";
  const Status refused{256, "Performed operation is not supported on a SR-IOV virtual function."};
  sim_->clear_log();
  for (const char* property :
       {"LLDP/LocalConfiguration/TxState", "LLDP/LLDPStatistics/RxPacketCount", "DCBX/DCBXPortVars/DCBXMode",
        "DCBX/DCBXPortVars/SequenceNumber", "DCBX/PFC/AdministratorPFCSetting/Enabled", "BaseT10G/Temperature",
        "BaseT10G/NVPValue"}) {
    EXPECT_EQ(get(port + property), "<unreadable>") << property;
    EXPECT_EQ(last_status(), refused);
  }
  EXPECT_EQ(write(port + "DCBX/QCN/AdministratorQCNSetting/Willing", "No"), (std::pair{1u, refused}));
  EXPECT_EQ(run(port + "BaseT10G/RunTDR", {}), (std::pair{1u, refused}));
  EXPECT_EQ(run("Corvane0/Diagnostics/EnterLoopBackMode", {"0", "0", "MacLoopBack"}), (std::pair{1u, refused}));
  EXPECT_EQ(run("Corvane0/Diagnostics/HostToDDRDMATest", {"0ff", "64", "1"}), (std::pair{1u, refused}));
  EXPECT_TRUE(sim_->mailbox_log().empty());
}

}  // namespace
}  // namespace tavo::test
