// The iSCSIPhysicalHBA subtree as clients see it, and the limits of the
// entry groups that the table refreshes build.
#include <gtest/gtest.h>

#include <functional>

#include "iscsi/network/iscsi_network.h"
#include "tests/iscsi/network/network_fixture.h"

namespace tavo::test {
namespace {

using Names = std::vector<std::string>;

// Display names of every child of the group at path, in child order.
Names child_order(TavoNode* group) {
  Names names;
  for (TavoNode* c = tree::group_record(group)->first_child; c != group; c = c->next) {
    char name[TAVO_NAME_SIZE];
    tree::display_name(c, name);
    names.emplace_back(name);
  }
  return names;
}

TEST_F(NetworkTest, FunctionSubtreeHoldsItsNodesInOrder) {
  const std::string fn = "Corvane0/iSCSIPhysicalHBA0";
  size_t groups = 1, properties = 0, actions = 0;
  std::function<void(const std::string&)> walk = [&](const std::string& path) {
    properties += children(path, TAVO_KIND_PROPERTY).size();
    actions += children(path, TAVO_KIND_ACTION).size();
    for (const std::string& g : children(path, TAVO_KIND_GROUP)) {
      if (g == "LogicalHBA0") continue;  // the targets branch
      ++groups;
      walk(path + "/" + g);
    }
  };
  walk(fn);
  EXPECT_EQ(groups, 12u);
  EXPECT_EQ(properties, 53u);
  EXPECT_EQ(actions, 24u);
  EXPECT_EQ(child_order(get_node(tag(fn))),
            (Names{"iSCSIBIOSEnable", "PortNumber", "iSCSIVersionMin", "iSCSIVersionMax", "MaxCDBLength", "MPIOEnabled",
                   "LDTO", "DefaultETO", "Driver", "Network", "VPD", "PCI", "iSNS", "EraseConfiguration",
                   "LogicalHBA0"}));
  EXPECT_EQ(child_order(get_node(tag(kTcpip0))),
            (Names{"RouteTable", "ARPTable", "VLANId", "Priority", "VLANEnabled", "InitiatorIPAddress",
                   "InitiatorSubnetMask", "DefaultGateway", "DHCPEnabled", "DeleteDefaultGateway", "DHCPEnable",
                   "DHCPDisable", "ConfigureIPAddress", "ConfigureVLAN", "VLANDisable", "Ping", "IPv6Configuration"}));
  EXPECT_EQ(child_order(get_node(tag(kNic0))).at(0), "vNIC");

  // Parameter tables reach clients as the descriptors hold them.
  static TavoParamInfo info;
  ASSERT_EQ(TAVO_get_param_info(tag(std::string(kTcpip0) + "/ConfigureVLAN"), &info), 0u);
  ASSERT_EQ(info.param_count, 2);
  EXPECT_STREQ(info.params[1].name, "Priority");
  EXPECT_EQ(info.params[1].required, 0);
  EXPECT_EQ(info.params[0].maximum, 4094);
  EXPECT_STREQ(info.params[0].description, "This parameter takes the value ranges from 0 to 4094 to enable VLAN.");
  // A fresh instance shows the placeholders until a handler fills it.
  EXPECT_EQ(get(std::string(kTcpip0) + "/IPv6Configuration/IPv6State"), "N/A");
  EXPECT_EQ(get(std::string(kTcpip0) + "/VLANEnabled"), "False");
}

TEST_F(NetworkTest, EntryGroupsStopAtTheirLimits) {
  struct Row {
    const char* parent;
    const char* name;
    TavoNode* (*build)(TavoNode*, TavoNode*, TavoNode*, char*);
    int32_t limit;
  } rows[] = {
      {"Corvane0/iSCSIPhysicalHBA0/Network/TCPIPConfiguration/RouteTable", "RouteTableEntry",
       initialize_RouteTableEntry, 1024},
      {"Corvane0/iSCSIPhysicalHBA0/Network/TCPIPConfiguration/ARPTable", "ARPTableEntry", initialize_ARPTableEntry, 64},
      {"Corvane0/iSCSIPhysicalHBA1/iSNS", "iSNSServer", initialize_iSNSServer, 4},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    TavoNode* parent = get_node(tag(r.parent));
    ASSERT_NE(parent, nullptr);
    TavoNode* last = nullptr;
    for (int32_t i = 0; i < r.limit; ++i) last = r.build(parent, nullptr, nullptr, nullptr);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(tree::instance_number(last), r.limit - 1);
    EXPECT_EQ(r.build(parent, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(children(std::string(r.parent) + "/" + r.name + "0", TAVO_KIND_PROPERTY).size(),
              std::string(r.name) == "RouteTableEntry" ? 3u : 2u);
    EXPECT_EQ(purge_nodes_within(parent, r.name), 0u);
  }
}

}  // namespace
}  // namespace tavo::test
