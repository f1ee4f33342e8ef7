// The port branch as clients see it: the children of a port instance in
// order, its instance slots, what the tree refuses before a handler runs,
// and what start-up builds from the firmware.
#include <ctype.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "nic/nic.h"
#include "tests/port/port_fixture.h"

namespace tavo::test {
namespace {

using Names = std::vector<std::string>;

class PortDefTest : public PortTest {
 protected:
  // Groups, properties and actions below a group, its own included, leaving
  // out the instances of PG and ApplicationTLV.
  void count(const std::string& path, int* groups, int* properties, int* actions) {
    ++*groups;
    *properties += static_cast<int>(children(path, TAVO_KIND_PROPERTY).size());
    *actions += static_cast<int>(children(path, TAVO_KIND_ACTION).size());
    for (const std::string& g : children(path, TAVO_KIND_GROUP))
      if (!isdigit(static_cast<unsigned char>(g.back()))) count(path + "/" + g, groups, properties, actions);
  }
};

TEST_F(PortDefTest, AnInstanceHoldsEveryNodeInOrder) {
  EXPECT_EQ(ordered_children(kMoravelPort), (Names{"PortNumber",
                                                   "PortName",
                                                   "PortState",
                                                   "PhysicalLinkStatus",
                                                   "PHYType",
                                                   "InterfaceType",
                                                   "BeaconState",
                                                   "TXThrottle",
                                                   "ChannelManagement",
                                                   "BaseT10G",
                                                   "FCoEWWPN",
                                                   "Mode",
                                                   "ConfiguredSpeed",
                                                   "DACCableLength",
                                                   "ANSpeedsSupported",
                                                   "ForceSpeedsSupported",
                                                   "TxFlowControl",
                                                   "RxFlowControl",
                                                   "FCoELinkSpeed",
                                                   "Beacon",
                                                   "SetPortSpeed",
                                                   "DumpTransceiverData",
                                                   "ErasePortandDiscoveryConfiguration",
                                                   "LLDP",
                                                   "DCBX"}));
  EXPECT_EQ(ordered_children(std::string(kMoravelPort) + "/DCBX"),
            (Names{"DCBXPortVars", "DCBXStatistics", "PFC", "PriorityGroups", "ApplicationTLVGroups", "QCN"}));
  const std::string admin_pg = std::string(kMoravelPort) + "/DCBX/PriorityGroups/AdministratorPGSetting";
  EXPECT_EQ(ordered_children(admin_pg),
            (Names{"PG15PriorityMemberShip", "Advertise", "Enabled", "Willing", "NumPGSupported", "PG0", "PG1", "PG2",
                   "PG3", "PG4", "PG5", "PG6", "PG7"}));
  EXPECT_EQ(ordered_children(admin_pg + "/PG7"), (Names{"Bandwidth", "PriorityMembership", "ConfigurePGSettings"}));
  EXPECT_EQ(ordered_children(std::string(kMoravelPort) + "/DCBX/PriorityGroups/PeerPGSetting/PG0"),
            (Names{"Bandwidth", "PriorityMembership"}));
  int groups = 0, properties = 0, actions = 0;
  count(kMoravelPort, &groups, &properties, &actions);
  EXPECT_EQ(groups, 26);
  EXPECT_EQ(properties, 148);
  EXPECT_EQ(actions, 9);
  // Untouched stored values.
  EXPECT_EQ(get(std::string(kMoravelPort) + "/PortName"), "0");
  EXPECT_EQ(get(std::string(kMoravelPort) + "/BaseT10G/SelfTestResult"), "");
  EXPECT_EQ(get(std::string(kMoravelPort) + "/DCBX/DCBXStatistics/UnrecognizedTLVs"), "0");
}

TEST_F(PortDefTest, SlotsAreLimitedPerParent) {
  TavoNode* moravel = node("Corvane1");
  EXPECT_NE(initialize_PortDiscoveryAndConfiguration(moravel, nullptr, nullptr, nullptr), nullptr);
  EXPECT_NE(initialize_PortDiscoveryAndConfiguration(moravel, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(initialize_PortDiscoveryAndConfiguration(moravel, nullptr, nullptr, nullptr), nullptr);  // a fifth
  const std::string views = std::string(kMoravelPort) + "/DCBX/";
  EXPECT_EQ(initialize_PeerPGSetting_PG(node(views + "PriorityGroups/PeerPGSetting"), nullptr, nullptr, nullptr),
            nullptr);  // a ninth
  TavoNode* admin = node(views + "ApplicationTLVGroups/AdministratorTLVSetting");
  TavoNode* oper = node(views + "ApplicationTLVGroups/OperationalTLVSettings");
  for (int i = 0; i < 15; ++i) ASSERT_NE(initialize_AdministratorTLVSetting_ApplicationTLV(admin, 0, 0, 0), nullptr);
  EXPECT_EQ(initialize_AdministratorTLVSetting_ApplicationTLV(admin, nullptr, nullptr, nullptr), nullptr);
  // Another view, and the same view of another port, keep their own slots.
  EXPECT_NE(initialize_OperationalTLVSettings_ApplicationTLV(oper, nullptr, nullptr, nullptr), nullptr);
  EXPECT_NE(initialize_AdministratorTLVSetting_ApplicationTLV(
                node("Corvane1/PortDiscoveryAndConfiguration1/DCBX/ApplicationTLVGroups/AdministratorTLVSetting"),
                nullptr, nullptr, nullptr),
            nullptr);
}

TEST_F(PortDefTest, TheTreeJudgesValuesBeforeAHandler) {
  const std::string p = kMoravelPort;
  const std::string tlv = p + "/DCBX/ApplicationTLVGroups/AdministratorTLVSetting/";
  EXPECT_EQ(set(p + "/PortNumber", "2"), 1u);
  EXPECT_EQ(last_status(), (Status{10, "Read only property"}));
  EXPECT_EQ(set(p + "/TXThrottle", "123"), 1u);  // length only: 1 or 2 characters
  EXPECT_EQ(last_status().first, 8u);
  EXPECT_EQ(act(tlv + "AddApplicationTLV", {"2", "3260", "0x10"}), 1u);
  EXPECT_EQ(last_status().first, 7u);
  EXPECT_EQ(act(tlv + "AddApplicationTLV", {"1", "3260"}), 1u);
  EXPECT_EQ(last_status().first, 9u);
  EXPECT_EQ(act(tlv + "DeleteApplicationTLV", {"15"}), 1u);
  EXPECT_EQ(last_status().first, 7u);
  EXPECT_EQ(act(tlv + "AddApplicationTLV", {"1", "3260", "0x10"}), 0u);  // without OUI
  EXPECT_EQ(set(p + "/PortState", "disabled"), 0u);                      // a list matches in any case
  EXPECT_FALSE(fw(2, 1).enabled);
}

// Two TLV slots in use in every view, with gaps before them.
constexpr char kTlvTopology[] =
    "controller 0 generation=cv3 serial=C bus=3\n"
    "nic controller=0 function=0 port=0 name=vmnic0\n"
    "iscsi controller=0 function=2 port=0 device=0\n"
    "nic controller=0 function=1 port=2 name=vmnic1\n"
    "port controller=0 port=0 tlv=admin/2/1/3260/0x10,admin/5/0/0x8906/0x09/0x1122,oper/3/1/3260/0x10,"
    "peer/14/0/0x8915/0xff loopback=unsupported\n"
    "controller 1 generation=moravel serial=M bus=7\n"
    "nic controller=1 function=0 port=1 name=vmnic2\n"
    "nic controller=1 function=1 port=3 name=vmnic3\n"
    "port controller=1 port=3 baset=no\n";

class PortStartupTest : public PortTest {
 protected:
  PortStartupTest() : PortTest(kTlvTopology) {}
};

TEST_F(PortStartupTest, PortsAreTiedToTheirFunctionsWithWhatTheFirmwareHolds) {
  // Instance numbers are slots: ports 1 and 3 make instances 0 and 1.
  EXPECT_EQ(get("Corvane1/PortDiscoveryAndConfiguration0/PortNumber"), "1");
  EXPECT_EQ(get("Corvane1/PortDiscoveryAndConfiguration1/PortNumber"), "3");
  EXPECT_EQ(tag("Corvane1/PortDiscoveryAndConfiguration2"), kNoTag);
  // The iSCSI function serves port 0, though a NIC function shares it.
  EXPECT_EQ(get_port_number(node("Corvane0/PortDiscoveryAndConfiguration0")),
            get_port_number(node("Corvane0/iSCSIPhysicalHBA0")));
  EXPECT_EQ(get_port_number(node("Corvane0/PortDiscoveryAndConfiguration1")),
            get_port_number(node("Corvane0/NICPhysicalHBA1")));
  EXPECT_EQ(get("Corvane0/PortDiscoveryAndConfiguration0/BaseT10G/IsClearCountersSupported"), "N/A");
  EXPECT_EQ(get("Corvane1/PortDiscoveryAndConfiguration0/BaseT10G/IsClearCountersSupported"), "True");
  EXPECT_EQ(get("Corvane1/PortDiscoveryAndConfiguration1/BaseT10G/IsClearCountersSupported"), "False");
  Bytes request = last_payload(18, 8);
  EXPECT_EQ(request.size(), 112u);
  EXPECT_EQ(request[0], 3);
  EXPECT_EQ(get("Corvane0/Diagnostics/IsLoopbackSupported"), "False");  // the first port answers 254
  EXPECT_EQ(get("Corvane1/Diagnostics/IsLoopbackSupported"), "True");
  // Channels on CV3 and Moravel: one call per port.
  EXPECT_EQ(log_count("--- entering TAVO_get_multi_channels_info ---"), 4);
}

TEST_F(PortStartupTest, ApplicationTlvsAreNumberedByTheirSlots) {
  const std::string tlv = "Corvane0/PortDiscoveryAndConfiguration0/DCBX/ApplicationTLVGroups/";
  struct Row {
    std::string path;
    const char *selector, *protocol, *oui, *bitmap;
  } rows[] = {
      {tlv + "AdministratorTLVSetting/ApplicationTLV2", "1", "0xcbc", "0x1b21", "0x10"},
      {tlv + "AdministratorTLVSetting/ApplicationTLV5", "0", "0x8906", "0x1122", "0x09"},
      {tlv + "OperationalTLVSettings/ApplicationTLV3", "1", "0xcbc", "0x1b21", "0x10"},
      {tlv + "PeerTLVSetting/ApplicationTLV14", "0", "0x8915", "0x1b21", "0xff"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.path);
    EXPECT_EQ(stored(r.path + "/ProtocolSelector"), r.selector);
    EXPECT_EQ(stored(r.path + "/ProtocolID"), r.protocol);
    EXPECT_EQ(stored(r.path + "/OUI"), r.oui);
    EXPECT_EQ(stored(r.path + "/PriorityBitMap"), r.bitmap);
  }
  EXPECT_EQ(children(tlv + "AdministratorTLVSetting", TAVO_KIND_GROUP),
            (Names{"ApplicationTLV2", "ApplicationTLV5"}));
  EXPECT_EQ(children(tlv + "OperationalTLVSettings", TAVO_KIND_GROUP), (Names{"ApplicationTLV3"}));
  // An Administrator instance records the AddApplicationTLV that makes it.
  const TavoGroupRecord* g = tree::group_record(node(rows[0].path));
  EXPECT_STREQ(g->params[0], "1");
  EXPECT_STREQ(g->params[1], "3260");
  EXPECT_STREQ(g->params[2], "16");
  EXPECT_STREQ(g->params[3], "6945");
  EXPECT_STREQ(g->params[4], "");
  EXPECT_GT(g->persistence_priority, 0u);
  EXPECT_EQ(tree::group_record(node(rows[2].path))->persistence_priority, 0u);
  // The views are read in order, each with its selector.
  Bytes request = last_payload(16, 1);
  ASSERT_EQ(request.size(), 312u);
  EXPECT_EQ(request[0], 2);
}

TEST_F(PortStartupTest, AFailedViewReadSkipsTheRestOfThatPortOnly) {
  // Port 0 reads its three views; port 2's Administrator read fails.
  fail_mailbox(16, 1, 3).skip = 3;
  ASSERT_EQ(TAVO_exit(), 0u);
  sim_->clear_log();
  ASSERT_EQ(TAVO_init(), 0u);
  EXPECT_EQ(log_count("TAVO_get_port_discovery_config:Get DCBX CFG params failed for Administrator TLV."), 1);
  EXPECT_EQ(mailbox_count(16, 1), 3 + 1 + 2 * 3);
  EXPECT_EQ(
      children("Corvane0/PortDiscoveryAndConfiguration1/DCBX/PriorityGroups/AdministratorPGSetting", TAVO_KIND_GROUP)
          .size(),
      8u);
  EXPECT_EQ(log_count("--- entering TAVO_get_multi_channels_info ---"), 4 + 3);  // the second build skips port 2
  EXPECT_EQ(get("Corvane1/PortDiscoveryAndConfiguration1/PortNumber"), "3");
}

}  // namespace
}  // namespace tavo::test
