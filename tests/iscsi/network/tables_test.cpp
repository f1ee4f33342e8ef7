// Route and ARP tables against the simulated firmware: instance numbers
// kept across changes, refusals with their statuses, counts beyond the
// reply's room, and removing every route from firmware that keeps one.
#include <gtest/gtest.h>
#include <string.h>

#include <functional>

#include "iscsi/network/iscsi_network.h"
#include "tests/iscsi/network/network_fixture.h"

namespace tavo::test {
namespace {

const std::string kRoutes = std::string(kTcpip0) + "/RouteTable";
const std::string kArp = std::string(kTcpip0) + "/ARPTable";

class TablesTest : public NetworkTest {
 protected:
  TablesTest() : NetworkTest(kTablesTopology) {}
  // Each instance as "<name>=<texts>", in instance order.
  std::string entries(const std::string& table, const char* type) {
    std::string out;
    for (const std::string& e : children(table, TAVO_KIND_GROUP)) {
      if (e.rfind(type, 0) != 0) continue;
      out += (out.empty() ? "" : " ") + e.substr(strlen(type)) + "=";
      for (const std::string& p : children(table + "/" + e, TAVO_KIND_PROPERTY))
        out += get(table + "/" + e + "/" + p) + (p == "Gateway" || p == "MACAddress" ? "" : "/");
    }
    return out;
  }
  std::string routes() { return entries(kRoutes, "RouteTableEntry"); }
  std::string arp() { return entries(kArp, "ARPTableEntry"); }
  uint32_t add_route(const std::string& destination, const char* gateway = "10.0.0.1") {
    return act(kRoutes, "AddRouteTableEntry", {destination, "255.255.0.0", gateway});
  }
};

TEST_F(TablesTest, RouteEntriesKeepTheirNumbers) {
  EXPECT_EQ(routes(), "0=10.2.0.0/255.255.0.0/10.0.0.1");
  for (int i = 3; i <= 7; ++i) ASSERT_EQ(add_route("10." + std::to_string(i) + ".0.0"), 0u) << i;
  const auto sent = last_payload(2, 11);
  ASSERT_EQ(sent.size(), 72u);
  EXPECT_EQ(word(sent, 0), 1u);
  EXPECT_EQ(dotted(&sent[12]) + " " + dotted(&sent[28]) + " " + dotted(&sent[52]), "10.7.0.0 255.255.0.0 10.0.0.1");
  // Written with the tree's base, the number names no entry.
  for (const char* n : {"03", "0x3", "9"}) {
    EXPECT_EQ(act(kRoutes, "DeleteRouteTableEntry", {n}), 1u) << n;
    expect_status(20);
  }
  ASSERT_EQ(act(kRoutes, "DeleteRouteTableEntry", {"3"}), 0u);
  ASSERT_EQ(add_route("10.8.0.0"), 0u);
  EXPECT_EQ(routes(),
            "0=10.2.0.0/255.255.0.0/10.0.0.1 1=10.3.0.0/255.255.0.0/10.0.0.1 2=10.4.0.0/255.255.0.0/10.0.0.1 "
            "3=10.8.0.0/255.255.0.0/10.0.0.1 4=10.6.0.0/255.255.0.0/10.0.0.1 5=10.7.0.0/255.255.0.0/10.0.0.1");
  // The firmware listing a route twice shows it once; an empty table none.
  stack(0).routes.resize(1);
  stack(0).routes.push_back(stack(0).routes[0]);
  ASSERT_EQ(act(kRoutes, "RefreshRouteTableEntry"), 0u);
  EXPECT_EQ(routes(), "0=10.2.0.0/255.255.0.0/10.0.0.1");
  // A count beyond the reply's 999 entries reads no further than them.
  stack(0).reported_routes = 5000;
  EXPECT_EQ(act(kRoutes, "RefreshRouteTableEntry"), 0u);
  EXPECT_EQ(routes(), "0=10.2.0.0/255.255.0.0/10.0.0.1 1=0.0.0.0/0.0.0.0/0.0.0.0");
  stack(0).reported_routes = -1;
  stack(0).routes.clear();
  ASSERT_EQ(act(kRoutes, "RefreshRouteTableEntry"), 0u);
  EXPECT_EQ(routes(), "");
}

TEST_F(TablesTest, RouteRefusalsNameTheirCause) {
  // The controller's manual-route limit (16) is the firmware's: 245.
  for (int i = 1; i <= 15; ++i) ASSERT_EQ(add_route("10.100." + std::to_string(i) + ".0"), 0u) << i;
  sim_->clear_log();
  EXPECT_EQ(add_route("10.200.0.0"), 1u);
  expect_status(245);
  refuse(2, 11);
  EXPECT_EQ(act(kRoutes, "DeleteRouteTableEntry", {"1"}), 1u);
  expect_status(129);
  sim_->inject(refusal(2, 10));
  EXPECT_EQ(act(kRoutes, "RefreshRouteTableEntry"), 1u);
  expect_status(100);
  // Reached without the tree's parameter checks, the action checks itself.
  TavoNode* table = get_node(tag(kRoutes));
  TavoNode* action = get_node(tag(kRoutes + "/AddRouteTableEntry"));
  char params[TAVO_MAX_PARAMS][TAVO_VALUE_SIZE] = {"127.0.0.1", "255.0.0.0", "10.0.0.1"};
  sim_->clear_log();
  EXPECT_EQ(do_AddRouteTableEntry(table, action, &params[0][0]), 1u);
  expect_status(17);
  EXPECT_EQ(mailbox_count(2, 11), 0);
}

TEST_F(TablesTest, DeletingEveryRouteEndsAgainstFirmwareThatKeepsOne) {
  TavoNode* function_group = get_node(tag("Corvane0/iSCSIPhysicalHBA0"));
  ASSERT_EQ(add_route("10.3.0.0"), 0u);
  sim_->clear_log();
  EXPECT_EQ(TAVO_delete_available_routes(function_group), 0u);
  EXPECT_EQ(mailbox_count(2, 11), 2);
  EXPECT_TRUE(stack(0).routes.empty());
  sim_->clear_log();
  EXPECT_EQ(TAVO_delete_available_routes(function_group), 0u);
  EXPECT_EQ(mailbox_count(2, 11), 0);
  // Every delete is taken, the route stays: bounded, and said so.
  ASSERT_EQ(add_route("10.3.0.0"), 0u);
  stack(0).routes_stay = true;
  sim_->clear_log();
  EXPECT_EQ(TAVO_delete_available_routes(function_group), 1u);
  expect_status(129);
  EXPECT_EQ(mailbox_count(2, 11), 16);
}

TEST_F(TablesTest, ArpTableIsRebuiltInFirmwareOrder) {
  EXPECT_EQ(arp(), "0=10.0.0.1/00-1a-2b-3c-4d-5e");
  ASSERT_EQ(act(kArp, "AddARPTableEntry", {"10.0.0.2", "00:11:22:33:44:55"}), 0u);
  ASSERT_EQ(act(kArp, "AddARPTableEntry", {"10.0.0.3", "AA-BB-CC-DD-EE-0F"}), 0u);
  const auto sent = last_payload(2, 9);
  ASSERT_EQ(sent.size(), 48u);
  EXPECT_EQ(word(sent, 0), 1u);
  EXPECT_EQ(dotted(&sent[12]), "10.0.0.3");
  EXPECT_EQ(std::vector<uint8_t>(sent.begin() + 34, sent.begin() + 40),
            (std::vector<uint8_t>{0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0x0f}));
  // The first entry replays as the add that rebuilt the table.
  TavoNode* first = get_node(tag(kArp + "/ARPTableEntry0"));
  EXPECT_NE(tree::group_record(first)->persistence_priority, 0u);
  ASSERT_EQ(act(kArp, "DeleteARPTableEntry", {"1"}), 0u);
  EXPECT_EQ(arp(), "0=10.0.0.1/00-1a-2b-3c-4d-5e 1=10.0.0.3/aa-bb-cc-dd-ee-0f");
  // A delete is never recorded as what created the entries left.
  first = get_node(tag(kArp + "/ARPTableEntry0"));
  EXPECT_EQ(tree::group_record(first)->persistence_priority, 0u);
  EXPECT_EQ(tree::group_record(first)->creating_action.generation, 0u);

  const struct {
    const char* name;
    const char* action;
    std::vector<std::optional<std::string>> params;
    std::function<void(sim::Simulator&)> setup;
    uint32_t status;
  } refusals[] = {
      {"65 entries", "RefreshARPTableEntry", {}, [](sim::Simulator& s) { s.network(0)->reported_arp = 65; }, 1},
      {"table unreadable", "RefreshARPTableEntry", {}, [](sim::Simulator& s) { s.inject(refusal(2, 8)); }, 97},
      {"add refused", "AddARPTableEntry", {"10.0.0.9", "00:11:22:33:44:66"},
       [](sim::Simulator& s) { s.inject(refusal(2, 9)); }, 130},
      {"bad MAC", "AddARPTableEntry", {"10.0.0.9", "00:11:22:33:44.55"}, nullptr, 17},
      {"leading zero", "DeleteARPTableEntry", {"01"}, nullptr, 20},
  };
  for (const auto& r : refusals) {
    SCOPED_TRACE(r.name);
    if (r.setup) r.setup(*sim_);
    EXPECT_EQ(act(kArp, r.action, r.params), 1u);
    expect_status(r.status);
    EXPECT_EQ(arp(), "0=10.0.0.1/00-1a-2b-3c-4d-5e 1=10.0.0.3/aa-bb-cc-dd-ee-0f");
    sim_->clear_faults();
    stack(0).reported_arp = -1;
  }
}

}  // namespace
}  // namespace tavo::test
