// What a handler's context names for nodes at every level of the tree.
#include "tree/handler_context.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/client_fixture.h"

namespace tavo::test {
namespace {

class HandlerContextTest : public ClientTest {};

TEST_F(HandlerContextTest, NamesTheControllerFunctionAndPortAboveANode) {
  struct Row {
    std::string node, controller, function;
    uint8_t port;  // the function's or port's PortNumber inside one, else 0
  } rows[] = {
      // Above every function: the controller's first iSCSI function, port 0.
      {"Corvane0/ProfileManagement/RebootRequired", "Corvane0", "Corvane0/iSCSIPhysicalHBA0", 0},
      {"Corvane0/Personality/SetPersonality", "Corvane0", "Corvane0/iSCSIPhysicalHBA0", 0},
      {"Corvane2", "Corvane2", "Corvane2/iSCSIPhysicalHBA0", 0},
      // Inside a function: that function and its port, at any depth.
      {"Corvane0/iSCSIPhysicalHBA1/Network/TCPIPConfiguration/DefaultGateway", "Corvane0", "Corvane0/iSCSIPhysicalHBA1",
       1},
      {"Corvane0/iSCSIPhysicalHBA1/LogicalHBA0/InitiatoriSCSIName/InitiatorAlias", "Corvane0",
       "Corvane0/iSCSIPhysicalHBA1", 1},
      {"Corvane1/NICPhysicalHBA1/PCI/BusNumber", "Corvane1", "Corvane1/NICPhysicalHBA1", 1},
      // Under a port: the function that serves the port, and the port's number.
      {"Corvane0/PortDiscoveryAndConfiguration1/PortState", "Corvane0", "Corvane0/iSCSIPhysicalHBA1", 1},
      {"Corvane1/PortDiscoveryAndConfiguration1/DCBX/DCBXPortVars/DCBXMode", "Corvane1", "Corvane1/NICPhysicalHBA1",
       1},
      {"Corvane1/PortDiscoveryAndConfiguration1", "Corvane1", "Corvane1/NICPhysicalHBA1", 1},
  };
  for (const Row& r : rows) {
    const tree::HandlerContext c = tree::handler_context(get_node(tag(r.node)));
    TavoNode* function = get_node(tag(r.function));
    EXPECT_EQ(c.controller, get_node(tag(r.controller))) << r.node;
    EXPECT_EQ(c.function, function) << r.node;
    EXPECT_EQ(c.number, static_cast<uint32_t>(get_port_number(function))) << r.node;
    EXPECT_TRUE(c) << r.node;
    EXPECT_EQ(c.domain, 0) << r.node;
    EXPECT_EQ(c.port, r.port) << r.node;
    // The port group at or above the node, only under a port.
    const size_t port_at = r.node.find("/PortDiscoveryAndConfiguration");
    const size_t port_end = r.node.find('/', port_at + 1);
    EXPECT_EQ(c.port_group, port_at == std::string::npos ? nullptr : get_node(tag(r.node.substr(0, port_end))))
        << r.node;
    // The LogicalHBA at or above the node, only inside one.
    const size_t lhba_at = r.node.find("/LogicalHBA");
    const size_t lhba_end = r.node.find('/', lhba_at + 1);
    EXPECT_EQ(c.lhba, lhba_at == std::string::npos ? nullptr : get_node(tag(r.node.substr(0, lhba_end)))) << r.node;
  }
  // The LogicalHBA itself and its own action: that LogicalHBA.
  TavoNode* lhba = get_node(tag("Corvane0/iSCSIPhysicalHBA1/LogicalHBA0"));
  ASSERT_NE(lhba, nullptr);
  for (const char* node :
       {"Corvane0/iSCSIPhysicalHBA1/LogicalHBA0", "Corvane0/iSCSIPhysicalHBA1/LogicalHBA0/AddTarget"}) {
    const tree::HandlerContext c = tree::handler_context(get_node(tag(node)));
    EXPECT_EQ(c.lhba, lhba) << node;
    EXPECT_EQ(c.domain, 0) << node;
  }
  // Outside a controller, and for no node, nothing.
  for (TavoNode* n : {get_node(tag("TAVODebugLevel")), static_cast<TavoNode*>(nullptr)}) {
    const tree::HandlerContext c = tree::handler_context(n);
    EXPECT_FALSE(c);
    EXPECT_EQ(c.controller, nullptr);
    EXPECT_EQ(c.function, nullptr);
    EXPECT_EQ(c.lhba, nullptr);
  }
}

// Every node's context names what the separate walks up from it find.
TEST_F(HandlerContextTest, AgreesWithTheWalksUpFromEveryNode) {
  size_t seen = 0;
  for (uint32_t t = 0; t < hierarchy_name_.capacity; ++t) {
    TavoNode* n = get_node(t);
    if (n == nullptr) continue;
    ++seen;
    const tree::HandlerContext c = tree::handler_context(n);
    EXPECT_EQ(c.controller, tree::group_above(n, "Corvane")) << t;
    EXPECT_EQ(c.port_group, tree::group_above(n, "PortDiscoveryAndConfiguration")) << t;
    EXPECT_EQ(c.lhba, tree::group_above(n, "LogicalHBA")) << t;
    EXPECT_EQ(c.domain, static_cast<uint8_t>(get_domain_id(n))) << t;
    EXPECT_EQ(c.port, static_cast<uint8_t>(get_phba_port_number(n))) << t;
    TavoNode* function = tree::group_above(n, "iSCSIPhysicalHBA");
    if (function == nullptr) function = tree::group_above(n, "NICPhysicalHBA");
    if (function != nullptr && c.port_group == nullptr) {
      EXPECT_EQ(c.function, function) << t;
    }
  }
  EXPECT_GT(seen, 100u);
}

// A controller's own commands go through its first iSCSI, else NIC,
// function from any node of it, naming that function's own port.
TEST_F(HandlerContextTest, TheControllersCommandsNameItsFunctionsOwnPort) {
  use("controller 0 generation=cv3 serial=S\nnic controller=0 function=0 port=0\n"
      "iscsi controller=0 function=2 port=1 device=0\n"
      "controller 1 generation=galtor serial=T\nnic controller=1 function=0 port=1\n");
  ASSERT_EQ(TAVO_init(), 0u);
  struct Row {
    std::string node, function;
    uint8_t own_port;  // what the node's own context names
  } rows[] = {
      {"Corvane0", "Corvane0/iSCSIPhysicalHBA0", 0},
      {"Corvane0/Personality/SetPersonality", "Corvane0/iSCSIPhysicalHBA0", 0},
      {"Corvane0/NICPhysicalHBA0/PCI/BusNumber", "Corvane0/iSCSIPhysicalHBA0", 0},
      {"Corvane0/PortDiscoveryAndConfiguration0/PortState", "Corvane0/iSCSIPhysicalHBA0", 0},
      {"Corvane1/NCSI", "Corvane1/NICPhysicalHBA0", 0},
  };
  for (const Row& r : rows) {
    TavoNode* node = get_node(tag(r.node));
    ASSERT_NE(node, nullptr) << r.node;
    const tree::HandlerContext own = tree::handler_context(node);
    const tree::HandlerContext c = tree::handler_context(node, tree::Commands::OfController);
    TavoNode* function = get_node(tag(r.function));
    EXPECT_EQ(own.port, r.own_port) << r.node;
    EXPECT_EQ(c.controller, own.controller) << r.node;
    EXPECT_EQ(c.function, function) << r.node;
    EXPECT_EQ(c.number, static_cast<uint32_t>(get_port_number(function))) << r.node;
    EXPECT_EQ(c.domain, 0) << r.node;
    EXPECT_EQ(c.port, 1) << r.node;
    EXPECT_EQ(c.port_group, nullptr) << r.node;
  }
  for (TavoNode* n : {get_node(tag("TAVODebugLevel")), static_cast<TavoNode*>(nullptr)})
    EXPECT_FALSE(tree::handler_context(n, tree::Commands::OfController));
}

}  // namespace
}  // namespace tavo::test
