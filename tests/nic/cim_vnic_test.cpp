// The CIM view of a NIC function and the vNIC name, state, outer VLAN and
// bandwidths of NIC and iSCSI functions.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "nic/nic.h"
#include "tests/nic/nic_fixture.h"
#include "tree/declare.h"

namespace tavo::test {
namespace {

using CimVnicTest = ClientTest;

TEST_F(CimVnicTest, CimValues) {
  struct Row {
    const char* property;
    const char* value;
  } rows[] = {{"ProtocolIfType", "Ethernet CSMA/CD"},
              {"LinkTechnology", "Ethernet"},
              {"Capabilities", "LoadBalancing,FailOver,WakeOnLAN"},
              {"EnabledCapabilities", "LoadBalancing,FailOver,WakeOnLAN"}};
  for (const Row& r : rows) EXPECT_EQ(get(std::string("Corvane2/NICPhysicalHBA1/CIM/") + r.property), r.value);

  // The IP endpoint handlers, which no group of the tree binds: the host has
  // no NIC address, so each shows "N/A" or the zero address of its family.
  static declare::SlotArea slots;
  auto row = [](const char* name, TavoPropertyHandler h) {
    return declare::property(name, declare::RO, declare::TEXT, "", 0, 64, "", h, "");
  };
  static const declare::ChildDef endpoint_children[] = {
      row("IPProtocolIfType", declare::stored), row("IPProtocolEndPointName", handle_CIM_IPProtocolEndPointName),
      row("IPv4Address", handle_CIM_IPv4Address), row("IPv6Address", handle_CIM_IPv6Address),
      row("SubnetMask", handle_NICPhysicalHBA_CIM_SubnetMask), row("Gateway", handle_CIM_GateWay),
      row("IPv6GateWay", handle_CIM_IPv6GateWay), row("AddressOrigin", handle_CIM_AddressOrigin),
      row("IfName", declare::stored), row("MACAddress", declare::stored)};
  static const declare::GroupDef endpoint = declare::instanced("Endpoint", 1, &slots, endpoint_children, "");
  TavoNode* group = tree::build_group(endpoint, get_node(tag("Corvane0")));
  ASSERT_NE(group, nullptr);
  const std::string e = "Corvane0/Endpoint0/";
  for (const char* p : {"SubnetMask", "Gateway", "IPv6GateWay", "AddressOrigin"}) EXPECT_EQ(get(e + p), "N/A") << p;
  char type[TAVO_VALUE_SIZE] = "";
  EXPECT_EQ(handle_CIM_IPProtocolIfType(get_node(tag(e + "IPProtocolIfType")), type, TAVO_PROPERTY_GET), 0u);
  EXPECT_STREQ(type, "N/A");
  struct TypeRow {
    const char* type;
    const char* name;
    const char* ipv4;
    const char* ipv6;
  } types[] = {{"N/A", "0.0.0.0", "0.0.0.0", "0000:0000:0000:0000"},
               {"IPv4", "N/A", "N/A", "0000:0000:0000:0000"},
               {"IPv6", "N/A", "0.0.0.0", "N/A"},
               {"IPv4/v6", "N/A", "N/A", "N/A"}};
  for (const TypeRow& t : types) {
    set_prop_val(group, "IPProtocolIfType", "%s", t.type);
    EXPECT_EQ(get(e + "IPProtocolEndPointName"), t.name) << t.type;
    EXPECT_EQ(get(e + "IPv4Address"), t.ipv4) << t.type;
    EXPECT_EQ(get(e + "IPv6Address"), t.ipv6) << t.type;
  }
}

TEST_F(CimVnicTest, VnicOfNicAndIscsiFunctions) {
  ASSERT_EQ(restart("controller 0 generation=moravel serial=M bus=7\ncontroller 1 generation=galtor serial=G bus=5\n"
                    "nic controller=0 function=0 name=vmnic0 vnic=Finance/100/10/500\n"
                    "nic controller=0 function=1 name=vmnic1\n"
                    "iscsi controller=0 function=2 device=0 vnic=Storage/200/20/300\n"
                    "nic controller=1 function=0 name=vmnic2\n"),
            0u);
  const std::string nic0 = "Corvane0/NICPhysicalHBA0/vNIC/", nic1 = "Corvane0/NICPhysicalHBA1/vNIC/";
  const std::string iscsi = "Corvane0/iSCSIPhysicalHBA0/Network/NICConfiguration/vNIC/";
  struct Row {
    std::string path;
    const char* value;
  } rows[] = {
      {nic0 + "vNICEnabled", "true"},  {nic0 + "vNICName", "Finance"},   {nic0 + "OuterVLANID", "100"},
      {nic0 + "MinBandwidth", "10"},   {nic0 + "MaxBandwidth", "500"},   {nic1 + "vNICEnabled", "False"},
      {nic1 + "vNICName", ""},         {nic1 + "MaxBandwidth", ""},      {iscsi + "vNICEnabled", "true"},
      {iscsi + "vNICName", "Storage"}, {iscsi + "OuterVLANID", "200"},   {iscsi + "MaxBandwidth", "300"},
  };
  for (const Row& r : rows) EXPECT_EQ(get(r.path), r.value) << r.path;
  EXPECT_EQ(get("Corvane1/NICPhysicalHBA0/vNIC/vNICName"), "<unreadable>");
  EXPECT_EQ(last_status(), nic_status_text(259));

  // Firmware without the name command: no vNIC, and no statistics.
  fail_mailbox(1, 120, 1).additional_status = 30;
  EXPECT_EQ(get(nic0 + "vNICName"), "");
  EXPECT_STREQ(tree::property_record(get_node(tag(nic0 + "vNICEnabled")))->value, "False");
  fail_mailbox(1, 120, 1).additional_status = 30;
  sim_->clear_log();
  EXPECT_EQ(get(nic0 + "OuterVLANID"), "");
  EXPECT_EQ(mailbox_count(1, 64), 0);
  fail_mailbox(1, 120, 3);
  EXPECT_EQ(get(nic0 + "vNICEnabled"), "<unreadable>");
  EXPECT_EQ(last_status(),
            nic_status_text(186));
  fail_mailbox(1, 64, 3);
  EXPECT_EQ(get(iscsi + "MinBandwidth"), "<unreadable>");
  EXPECT_EQ(last_status(),
            nic_status_text(185));
  fail_mailbox(1, 120, 3);  // an iSCSI vNIC whose state cannot be read counts as none
  EXPECT_EQ(get(iscsi + "MinBandwidth"), "");
}

}  // namespace
}  // namespace tavo::test
