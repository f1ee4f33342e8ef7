// The LogicalHBA, SendTargetPortal, Target and TargetPortal groups as
// clients see them: nodes and their order, limits, stored values, checks.
#include <gtest/gtest.h>

#include "tests/iscsi/targets/targets_fixture.h"

namespace tavo::test {
namespace {

using Names = std::vector<std::string>;
using Counts = std::vector<size_t>;

TEST_F(TargetsTest, BranchesHoldTheirNodesInOrder) {
  const std::string lhba = kLhba;
  ASSERT_NE(add_target("iqn.t"), nullptr);
  ASSERT_NE(add_portal("10.1.1.1", "3260"), nullptr);
  ASSERT_NE(initialize_TargetPortal(node(lhba + "/Target0"), nullptr, nullptr, nullptr), nullptr);
  // The LogicalHBA's own nodes: its Target and portal come after them.
  EXPECT_EQ(order(lhba), (Names{"Enabled", "IfName", "InitiatoriSCSIName", "InitiatorDefaultLoginOptions",
                                "InitiatorLoginOptions", "iSCSIQoS", "iSCSIStatistics", "Discovery", "AddTarget",
                                "DeleteTarget", "Target0"}));
  EXPECT_EQ(count(lhba), (Counts{8 + 3 + 3 + 1, 62 + 15 + 16 + 3, 7 + 3 + 7}));
  EXPECT_EQ(count(lhba + "/Discovery/SendTargetPortal0"), (Counts{3, 15, 3}));
  EXPECT_EQ(count(lhba + "/Target0/TargetPortal0"), (Counts{1, 3, 0}));
  EXPECT_EQ(order(lhba + "/InitiatorLoginOptions"), (Names{"InitialR2T", "ImmediateData", "HeaderDigest", "DataDigest",
                                                            "HeaderParam", "DataParam", "Authentication"}));
  EXPECT_EQ(order(lhba + "/Target0"),
            (Names{"TargetLoginOptions", "TargetISCSIName", "TargetAlias", "ETO", "TargetType", "Login",
                   "DeleteTargetPortal", "AddTargetPortal", "Logout", "ReScanLUNS", "TargetPortal0"}));
  EXPECT_EQ(order(lhba + "/Discovery/SendTargetPortal0"),
            (Names{"SendTargetPortalLoginOptions", "IPAddress", "PortNumber", "PortMacAddress", "DiscoverTargets"}));
  EXPECT_EQ(order(lhba + "/Target0/TargetLoginOptions/Authentication"),
            (Names{"AuthenticationMethod", "InitiatorCHAPName", "InitiatorSecret", "TargetCHAPName", "TargetSecret",
                   "CHAPParam", "ConfigureCHAP", "DeleteCHAP"}));
  // One LogicalHBA0 per function, built at start-up with the adapter's name.
  EXPECT_EQ(get("Corvane1/iSCSIPhysicalHBA0/LogicalHBA0/IfName"), "vmhba42");
  EXPECT_EQ(initialize_LogicalHBA(node("Corvane0/iSCSIPhysicalHBA1"), nullptr, nullptr, nullptr), nullptr);
  // A portal is persistent whoever builds it; a target portal never.
  TavoPersistenceInfo info;
  EXPECT_EQ(TAVO_get_persistence_info(tag(lhba + "/Discovery/SendTargetPortal0"), &info), 0u);
  EXPECT_EQ(info.action_tag, tag(lhba + "/Discovery/AddSendTargetPortal"));
  EXPECT_EQ(TAVO_get_persistence_info(tag(lhba + "/Target0/TargetPortal0"), &info), 1u);
}

TEST_F(TargetsTest, InstancesStopAtTheirLimitsWithTheTreeUnchanged) {
  ASSERT_NE(add_target("iqn.t"), nullptr);
  const struct {
    std::string parent, name;
    TavoNode* (*build)(TavoNode*, TavoNode*, TavoNode*, char*);
    int32_t limit;
  } rows[] = {
      {std::string(kLhba) + "/Discovery", "SendTargetPortal", initialize_SendTargetPortal, 128},
      {kLhba, "Target", initialize_Target, 256},
      {std::string(kLhba) + "/Target0", "TargetPortal", initialize_TargetPortal, 64},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    TavoNode* parent = node(r.parent);
    uint32_t numbers[TAVO_MAX_INSTANCES], found = 0;
    const auto instances = [&] {
      return TAVO_get_valid_instances(tag(r.parent), r.name.c_str(), numbers, &found) == 0 ? found : 0;
    };
    while (instances() < static_cast<uint32_t>(r.limit)) ASSERT_NE(r.build(parent, nullptr, nullptr, nullptr), nullptr);
    const size_t nodes = order(r.parent).size();
    const uint32_t allocations = tavo_counter;
    EXPECT_EQ(r.build(parent, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(order(r.parent).size(), nodes);
    EXPECT_EQ(tavo_counter, allocations);
    // A freed number is taken again.
    ASSERT_EQ(delete_node(node(r.parent + "/" + r.name + "5")), 0u);
    EXPECT_EQ(tree::instance_number(r.build(parent, nullptr, nullptr, nullptr)), 5);
  }
}

TEST_F(TargetsTest, StoredValuesAndChecksAreAsDeclared) {
  ASSERT_NE(add_target("iqn.t"), nullptr);
  ASSERT_NE(add_portal("10.1.1.1", "3260"), nullptr);
  const std::string lhba = kLhba;
  const struct {
    std::string path, value;
    uint32_t code;
    const char* message;
  } writes[] = {
      {lhba + "/InitiatorDefaultLoginOptions/HeaderDigest", "CRC32C", 10, "Read only property"},
      {lhba + "/InitiatorLoginOptions/InitialR2T", "No", 10, "Read only property"},
      {lhba + "/InitiatorLoginOptions/ImmediateData", "maybe", 6, "Invalid value."},
      {lhba + "/InitiatorLoginOptions/ImmediateData", "yes", 0, ""},
      {lhba + "/iSCSIQoS/MaxBytesPerSecond", "1281", 7, "Value out of range. Valid range is from 0 to 1280."},
      {lhba + "/iSCSIQoS/MaxBytesPerSecond", "1280", 0, ""},
      {lhba + "/Target0/ETO", "3601", 7, "Value out of range. Valid range is from 0 to 3600."},
      {lhba + "/Target0/TargetType", "Static", 10, "Read only property"},
      {lhba + "/Discovery/SendTargetPortal0/PortNumber", "3261", 10, "Read only property"},
  };
  for (const auto& w : writes) {
    EXPECT_EQ(set(w.path, w.value), w.code == 0 ? 0u : 1u) << w.path;
    EXPECT_EQ(last_status(), std::make_pair(w.code, std::string(w.message))) << w.path;
  }
  const struct {
    std::string path, value;
  } reads[] = {
      {lhba + "/IfName", "vmhba40"},
      {lhba + "/InitiatoriSCSIName/InitiatoriSCSIName", "iqn.hx"},
      {lhba + "/InitiatorDefaultLoginOptions/MaxBurstLength", "262144"},
      {lhba + "/iSCSIStatistics/LastTgtFailureName", ""},  // from the firmware: no login failed yet
      {lhba + "/Discovery/DiscoverBootTargetThruDHCP", "Disabled"},
      {lhba + "/Target0/ETO", "30"},
      {lhba + "/Discovery/SendTargetPortal0/PortMacAddress", "00:00:00:00:00:00"},
  };
  for (const auto& r : reads) EXPECT_EQ(get(r.path), r.value) << r.path;
  TavoNodeDescription d;
  ASSERT_EQ(TAVO_get_node_description(tag(lhba + "/iSCSIStatistics/SessionDigestErrors"), &d), 0u);
  EXPECT_EQ(std::make_tuple(d.value_type, d.minimum, d.maximum), std::make_tuple(uint8_t{0}, 4, 0));
  static TavoParamInfo info;
  ASSERT_EQ(TAVO_get_param_info(tag(lhba + "/Target0/TargetLoginOptions/Authentication/ConfigureCHAP"), &info), 0u);
  ASSERT_EQ(info.param_count, 6);
  EXPECT_EQ(std::make_tuple(std::string(info.params[4].name), info.params[4].required, info.params[4].minimum,
                            info.params[4].maximum),
            std::make_tuple(std::string("TargetSecret"), uint8_t{1}, 12, 34));
  ASSERT_EQ(TAVO_get_param_info(tag(lhba + "/AddTarget"), &info), 0u);
  EXPECT_EQ(std::make_tuple(info.param_count, std::string(info.params[4].valid_list)),
            std::make_tuple(5, std::string("Primary,Secondary,None")));
  // Parameter texts given word for word.
  const struct {
    std::string action;
    int param;
    const char* text;
  } texts[] = {
      {"Login", 0, "This parameter specifies the IP address of the target portal to login."},
      {"Login", 1, "This parameter specifies the port number of the target to login."},
      {"Login", 2, "This parameter specifies the initiator iSCSI name for the session to login."},
      {"Login", 3, "This parameter indicates the ISIDQualifier for the session to login."},
      {"Login", 5,
       "This parameter is used to configure the iSCSI boot target priority. Valid values are None, Primary and "
       "Secondary."},
      {"Logout", 0,
       "This parameter accepts string input and converts it to an equivalent number and uses that as an instance "
       "number."},
  };
  for (const auto& q : texts) {
    ASSERT_EQ(TAVO_get_param_info(tag(lhba + "/Target0/" + q.action), &info), 0u);
    EXPECT_STREQ(info.params[q.param].description, q.text) << q.action << " " << q.param;
  }
}

}  // namespace
}  // namespace tavo::test
