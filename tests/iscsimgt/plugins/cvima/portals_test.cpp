// Network portals, physical network ports and IP settings as the host reads
// and changes them, read back from the simulated TCP/IP stack of each
// generation.
#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <bit>

#include "tests/iscsimgt/plugins/cvima/generations.h"
#include "tests/iscsimgt/plugins/cvima/ima_fixture.h"

namespace tavo::test {
namespace {

constexpr uint32_t kS = kSentinel * 0x01010101u;
using Words = std::vector<uint32_t>;
using Bytes = std::array<uint8_t, 16>;
using V4 = std::array<uint8_t, 4>;

// Leaves the sentinel in the stack the next call's frames take, so a byte
// a call hands over without writing it shows.
[[gnu::noinline]] void paint_stack() {
  volatile uint8_t area[32 * 1024];
  for (volatile uint8_t& b : area) b = kSentinel;
}

class ImaPortalsTest : public ImaTest {
 protected:
  ImaPortalsTest() : ImaTest(kGenerations) {}
  IMA_OID id(IMA_OBJECT_TYPE type, int controller, int function = 0) {
    std::string path = "Corvane" + std::to_string(controller) + "/iSCSIPhysicalHBA" + std::to_string(function);
    if (type == IMA_OBJECT_TYPE_NETWORK_PORTAL) path += "/Network/TCPIPConfiguration";
    if (type == IMA_OBJECT_TYPE_PNP) path += "/Network/NICConfiguration";
    if (type == IMA_OBJECT_TYPE_LHBA) path += "/LogicalHBA0";
    return oid(type, path);
  }
  static IMA_IP_ADDRESS v4(uint8_t a, uint8_t b, uint8_t c, uint8_t d) { return {1, {a, b, c, d}}; }
  static IMA_IP_ADDRESS v6(const char* text) {
    IMA_IP_ADDRESS address{0, {}};
    inet_pton(AF_INET6, text, address.ipAddress);
    return address;
  }
  static Bytes bytes(const char* v6_text) { return std::bit_cast<Bytes>(v6(v6_text).ipAddress); }
};

TEST_F(ImaPortalsTest, GettersOfEachGeneration) {
  struct Row {
    int controller, function, mac;
    std::string address;
    Words ip;           // DHCP, mask valid, gateway valid
    IMA_STATUS extended;
    Words ipv6;         // auto-assigned, gateway valid
    uint32_t rate, max_rate, link;
  } rows[] = {{0, 0, 0x20, "10.2.0.21", {0, 1, 1}, 0, {0, 0}, 10000, 10000, 0},
              {1, 0, 0x30, "10.3.0.21", {0, 1, 0}, 0, {0, 0}, 10000, 10000, 0},
              {2, 0, 0x40, "172.16.5.40", {1, 1, 0}, IMA_ERROR_NOT_SUPPORTED, {0, 0}, 10000, 10000, 0},
              {3, 0, 0x50, "10.5.0.21", {0, 1, 1}, 0, {0, 1}, 0, 10000, 0},
              {3, 1, 0x50, "0.0.0.0", {0, 0, 0}, 0, {0, 0}, 0, 40000, IMA_NETWORK_PORT_STATUS_DISCONNECTED}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.address);
    const std::string lnp = entry(id(IMA_OBJECT_TYPE_LNP, r.controller, r.function));
    const IMA_OID np = id(IMA_OBJECT_TYPE_NETWORK_PORTAL, r.controller, r.function);
    const IMA_OID pnp = id(IMA_OBJECT_TYPE_PNP, r.controller, r.function);
    const IMA_OID phba = id(IMA_OBJECT_TYPE_PHBA, r.controller, r.function);
    EXPECT_EQ(list_of(IMA_GetNetworkPortalOidList, id(IMA_OBJECT_TYPE_LNP, r.controller, r.function)).at(0) + " " +
                  list_of(IMA_VMW_GetNetworkPortalOidList, id(IMA_OBJECT_TYPE_LHBA, r.controller, r.function)).at(0) +
                  " " + list_of(IMA_GetPnpOidList, phba).at(0),
              entry(np) + " " + entry(np) + " " + entry(pnp));
    IMA_NETWORK_PORTAL_PROPERTIES portal = sentinel<IMA_NETWORK_PORTAL_PROPERTIES>();
    ASSERT_EQ(IMA_GetNetworkPortalProperties(np, &portal), 0u);
    EXPECT_EQ(ipv4(portal.ipAddress) + " " + entry(portal.associatedLnp), "1:" + r.address + " " + lnp);
    EXPECT_EQ(words(portal, 8, 20), Words(3, 0));  // the whole address is written
    EXPECT_TRUE(untouched(portal, 36));
    for (const bool vmw : {false, true}) {
      IMA_PNP_PROPERTIES p = sentinel<IMA_PNP_PROPERTIES>();
      ASSERT_EQ((vmw ? IMA_VMW_GetPnpProperties : IMA_GetPnpProperties)(pnp, &p), 0u);
      EXPECT_EQ(entry(p.associatedPhbaOid), "4 " + lnp.substr(2));
      const uint32_t last = r.controller == 3 ? 4 + r.function : 2;
      EXPECT_EQ(Words(p.macAddress, p.macAddress + 6), Words({0, 0x0e, 0x1e, static_cast<uint32_t>(r.mac), 0, last}));
      EXPECT_EQ(words(p, 24, 40), Words({0, r.max_rate, r.rate, 9000}));
      EXPECT_EQ(words(p, 40, 72), Words(8, vmw ? 0 : kS));
      EXPECT_TRUE(untouched(p, 72));
    }
    IMA_NETWORK_PORT_STATUS link = kS;
    EXPECT_EQ(IMA_GetNetworkPortStatus(id(IMA_OBJECT_TYPE_LNP, r.controller, r.function), &link), 0u);
    EXPECT_EQ(link, r.link);

    IMA_IP_PROPERTIES ip = sentinel<IMA_IP_PROPERTIES>();
    ASSERT_EQ(IMA_GetIpProperties(pnp, &ip), 0u);
    EXPECT_EQ(words(ip, 0, 20), Words({1, r.ip[0], 1, r.ip[1], 1}));
    EXPECT_EQ(words(ip, 36, 44), Words({1, r.ip[2]}));
    EXPECT_EQ(words(ip, 64, 72), Words({0, 0}));
    EXPECT_EQ(words(ip, 92, 100), Words({kS, 0}));
    IMA_EXTENDED_IP_PROPERTIES e = sentinel<IMA_EXTENDED_IP_PROPERTIES>();
    paint_stack();
    EXPECT_EQ(IMA_VMW_GetExtendedIpProperties(phba, &e), r.extended);
    EXPECT_EQ(words(e, 0, 28), Words({0, 1, 1, r.ip[0], 1, r.ip[1], 1}));
    EXPECT_EQ(ipv4(e.subnetMask).substr(0, 2) + ipv4(e.defaultGateway).substr(0, 2), "1:1:");
    EXPECT_EQ(words(e, 44, 52), Words({1, r.ip[2]}));
    const Words ipv6 = {1, 0, 1, 0, 1, 64, 0, 0, 1, r.ipv6[0], 1, r.ipv6[0], 1, 1, r.ipv6[1], 0};
    EXPECT_EQ(words(e, 72, 136), r.extended != 0 ? Words(16, 0) : ipv6);
    // The IPv6 gateway's bytes: none ("N/A" or the zero address) is all 0.
    const bool has_gateway = r.controller == 3 && r.function == 0;
    EXPECT_EQ(std::bit_cast<Bytes>(e.ipv6DefaultGateway.ipAddress), has_gateway ? bytes("2001:db8::1") : Bytes{});
  }
}

TEST_F(ImaPortalsTest, Ipv6AddressRecord) {
  IMA_PORTAL_ADDRESSES* record = nullptr;
  EXPECT_EQ(IMA_VMW_GetNetworkPortalProperties(id(IMA_OBJECT_TYPE_PHBA, 1), &record), IMA_ERROR_NOT_SUPPORTED);
  EXPECT_EQ(record, nullptr);  // an IPv4-only function hands nothing out
  ASSERT_EQ(IMA_VMW_GetNetworkPortalProperties(id(IMA_OBJECT_TYPE_NETWORK_PORTAL, 3), &record), 0u);
  EXPECT_EQ(words(*record, 0, 8), Words({0x1500050a, 2}));
  EXPECT_EQ(std::bit_cast<Bytes>(record->ipv6[0].address), bytes("fe80::21"));
  EXPECT_EQ(std::bit_cast<Bytes>(record->ipv6[1].address), bytes("2001:db8::21"));
  EXPECT_EQ(words(*record, 24, 32), Words({64, 1}));
  EXPECT_EQ(words(*record, 56, 80), Words(6, 0));
  IMA_FreeMemory(record);
  // Only a link-local address, while the firmware says auto-assigned.
  sim_->network(2)->reported_ipv6_state = kStateAutoAssign;
  ASSERT_EQ(IMA_VMW_GetNetworkPortalProperties(id(IMA_OBJECT_TYPE_PHBA, 2), &record), 0u);
  EXPECT_EQ(record->ipv6Count, 1u);
  EXPECT_EQ(std::bit_cast<Bytes>(record->ipv6[0].address), bytes("fe80::40"));
  EXPECT_EQ(record->ipv6[0].state, 3u);
  IMA_FreeMemory(record);
  EXPECT_NE(ima_log().find("IMA_VMW_GetNetworkPortalProperties:ip_cnt = 1\n"), std::string::npos);
}

TEST_F(ImaPortalsTest, AddressMaskAndMethodSetters) {
  const IMA_IP_ADDRESS address = v4(10, 3, 0, 99);
  ASSERT_EQ(IMA_SetNetworkPortalIpAddress(id(IMA_OBJECT_TYPE_NETWORK_PORTAL, 1), &address), 0u);
  ASSERT_EQ(IMA_SetSubnetMask(id(IMA_OBJECT_TYPE_PNP, 1), v4(255, 255, 255, 128)), 0u);
  EXPECT_EQ(sim_->network(1)->address, (V4{10, 3, 0, 99}));
  EXPECT_EQ(sim_->network(1)->mask, (V4{255, 255, 255, 128}));
  // Without an address the mask reads 0.0.0.0: the new one gets a /24.
  sim_->network(0)->has_address = false;
  const IMA_IP_ADDRESS other = v4(10, 2, 0, 99);
  ASSERT_EQ(IMA_VMW_SetNetworkPortalIpAddress(id(IMA_OBJECT_TYPE_PHBA, 0), &other, 0, 1), 0u);
  EXPECT_EQ(sim_->network(0)->mask, (V4{255, 255, 255, 0}));
  ASSERT_EQ(IMA_VMW_SetSubnetMask(id(IMA_OBJECT_TYPE_LNP, 0), v4(255, 255, 0, 0)), 0u);
  EXPECT_EQ(sim_->network(0)->address, (V4{10, 2, 0, 99}));
  EXPECT_EQ(sim_->network(0)->mask, (V4{255, 255, 0, 0}));
  EXPECT_EQ(IMA_SetNetworkPortalIpAddress(id(IMA_OBJECT_TYPE_NETWORK_PORTAL, 2), &address),
            IMA_ERROR_INVALID_PARAMETER);  // under DHCP

  const IMA_OID moravel = id(IMA_OBJECT_TYPE_PHBA, 3);
  for (const char* text : {"fe80::99", "2001:db8::99"}) {
    const IMA_IP_ADDRESS a6 = v6(text);
    ASSERT_EQ(IMA_VMW_SetNetworkPortalIpAddress(moravel, &a6, 1, 1), 0u) << text;
  }
  const auto held = [&](uint8_t type, const char* text) {
    const auto& ipv6 = sim_->network(4)->ipv6;
    return std::any_of(ipv6.begin(), ipv6.end(), [&](auto& e) { return e.type == type && e.bytes == bytes(text); });
  };
  EXPECT_TRUE(held(kIPv6LinkLocal, "fe80::99") && held(kIPv6Routable, "2001:db8::99"));
  const IMA_IP_ADDRESS a6 = v6("fe80::1");
  EXPECT_EQ(IMA_VMW_SetNetworkPortalIpAddress(id(IMA_OBJECT_TYPE_PHBA, 1), &a6, 1, 1), IMA_ERROR_INVALID_PARAMETER);

  EXPECT_EQ(IMA_SetIpConfigMethod(id(IMA_OBJECT_TYPE_PNP, 1), 1), 0u);
  EXPECT_EQ(IMA_SetIpConfigMethod(id(IMA_OBJECT_TYPE_PNP, 1), 2), IMA_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(IMA_SetIpConfigMethod(id(IMA_OBJECT_TYPE_PHBA, 1), 0), IMA_ERROR_INCORRECT_OBJECT_TYPE);
  EXPECT_TRUE(sim_->network(1)->dhcp);
  EXPECT_EQ(IMA_VMW_SetIpv6ConfigMethod(moravel, 1, 1), IMA_ERROR_INVALID_PARAMETER);  // no such method
  ASSERT_EQ(IMA_VMW_SetIpv6ConfigMethod(moravel, 2, 1), 0u);
  EXPECT_TRUE(sim_->network(4)->ipv6_auto);
  const int switches = mailbox_count(2, 17) + mailbox_count(2, 18);
  EXPECT_EQ(IMA_VMW_SetIpv6ConfigMethod(moravel, 1, 1), 0u);  // already on: nothing runs
  EXPECT_EQ(mailbox_count(2, 17) + mailbox_count(2, 18), switches);
  ASSERT_EQ(IMA_VMW_SetIpv6ConfigMethod(id(IMA_OBJECT_TYPE_PNP, 3), 0, 0), 0u);
  EXPECT_FALSE(sim_->network(4)->ipv6_auto);
}

// An address of the family a setter does not serve is refused before
// anything reaches the adapter.
TEST_F(ImaPortalsTest, AddressesKeepTheirFamily) {
  const IMA_OID phba = id(IMA_OBJECT_TYPE_PHBA, 3), pnp = id(IMA_OBJECT_TYPE_PNP, 3);
  const IMA_IP_ADDRESS a6 = v6("fe80::1"), a4 = v4(10, 5, 0, 99), neither = {2, {10, 5, 0, 98}};
  sim_->clear_log();
  const IMA_STATUS answers[] = {
      IMA_SetNetworkPortalIpAddress(id(IMA_OBJECT_TYPE_NETWORK_PORTAL, 3), &a6),
      IMA_VMW_SetNetworkPortalIpAddress(phba, &a6, 0, 1),  // the IPv4 road
      IMA_VMW_SetNetworkPortalIpAddress(phba, &a4, 1, 0),  // the IPv6 road, no address given
      IMA_SetSubnetMask(pnp, a6),
      IMA_VMW_SetSubnetMask(phba, a6),
      IMA_SetDefaultGateway(pnp, a6),
      IMA_VMW_SetDefaultGateway(phba, neither),
  };
  for (size_t i = 0; i < std::size(answers); ++i) EXPECT_EQ(answers[i], IMA_ERROR_INVALID_PARAMETER) << i;
  EXPECT_TRUE(sim_->mailbox_log().empty());
}

TEST_F(ImaPortalsTest, GatewayWriteThatFailsPutsTheOldOneBack) {
  ASSERT_EQ(IMA_SetDefaultGateway(id(IMA_OBJECT_TYPE_PNP, 0), v4(10, 2, 0, 254)), 0u);
  EXPECT_EQ(sim_->network(0)->gateway, (V4{10, 2, 0, 254}));
  ASSERT_EQ(IMA_VMW_SetDefaultGateway(id(IMA_OBJECT_TYPE_LNP, 3), v6("2001:db8::fe")), 0u);
  EXPECT_EQ(sim_->network(4)->ipv6_gateway, bytes("2001:db8::fe"));
  ASSERT_EQ(IMA_VMW_SetDefaultGateway(id(IMA_OBJECT_TYPE_PHBA, 3), v4(10, 5, 0, 2)), 0u);
  EXPECT_EQ(sim_->network(4)->gateway, (V4{10, 5, 0, 2}));
  // The old gateway goes, the new one and the branch's own restore are refused.
  sim::Fault& refused = fail_mailbox(2, 23, 1);
  refused.skip = 1;
  refused.times = 2;
  EXPECT_EQ(IMA_SetDefaultGateway(id(IMA_OBJECT_TYPE_PHBA, 0), v4(10, 2, 0, 7)), IMA_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(sim_->network(0)->gateway, (V4{10, 2, 0, 254}));
}

TEST_F(ImaPortalsTest, AddressKeysAndHostExtensions) {
  IMA_OID added;
  IMA_STATIC_DISCOVERY_TARGET t = sentinel<IMA_STATIC_DISCOVERY_TARGET>();
  const std::vector<IMA_WCHAR> name = wide("iqn.2026-12.com.example:keys");
  memcpy(t.targetName, name.data(), name.size() * sizeof(IMA_WCHAR));
  for (const IMA_IP_ADDRESS& a : {v4(10, 5, 0, 50), v6("2001:db8::50")}) {
    t.targetAddress.hostnameIpAddress.id.ipAddress = a;
    t.targetAddress.portNumber = a.ipv4Address ? 3260 : 3261;
    ASSERT_EQ(IMA_AddStaticDiscoveryTarget(id(IMA_OBJECT_TYPE_LHBA, 3), t, &added), 0u);
  }
  IMA_ADDRESS_KEYS* keys = nullptr;
  ASSERT_EQ(IMA_GetAddressKeys(added, &keys), 0u);
  ASSERT_EQ(keys->addressKeyCount, 2u);
  EXPECT_EQ(ipv4(keys->addressKeys[0].ipAddress), "1:10.5.0.50");
  EXPECT_EQ(keys->addressKeys[1].ipAddress.ipv4Address, 0u);
  EXPECT_EQ(std::bit_cast<Bytes>(keys->addressKeys[1].ipAddress.ipAddress), bytes("2001:db8::50"));
  EXPECT_EQ(words(keys->addressKeys[1], 20, 36), Words({1, 3261, 1, 0}));
  IMA_FreeMemory(keys);
  // A discovery address has no portals of its own.
  ASSERT_EQ(act("Corvane3/iSCSIPhysicalHBA0/LogicalHBA0/Discovery/AddSendTargetPortal", {"10.5.0.60", "3260"}), 0u);
  const IMA_OID stp =
      oid(IMA_OBJECT_TYPE_DISCOVERY_ADDRESS, "Corvane3/iSCSIPhysicalHBA0/LogicalHBA0/Discovery/SendTargetPortal0");
  ASSERT_EQ(IMA_GetAddressKeys(stp, &keys), 0u);
  EXPECT_EQ(keys->addressKeyCount, 0u);
  IMA_FreeMemory(keys);

  IMA_ARP_REDIRECT_PROPERTIES arp = sentinel<IMA_ARP_REDIRECT_PROPERTIES>();
  IMA_MIN_MAX_VALUE mtu = sentinel<IMA_MIN_MAX_VALUE>();
  const IMA_OID phba = id(IMA_OBJECT_TYPE_PHBA, 3), lnp = id(IMA_OBJECT_TYPE_LNP, 3);
  EXPECT_EQ(Words({IMA_VMW_GetArpRedirectProperties(phba, &arp), IMA_VMW_GetMtuProperties(phba, &mtu),
                   IMA_VMW_SetArpRedirect(phba, 1), IMA_VMW_SetMtu(phba, 1500), IMA_VMW_SetMtu(lnp, 1500),
                   IMA_VMW_EnableIP(lnp, 1), IMA_GetNetworkPortStatus(lnp, nullptr),
                   IMA_GetNetworkPortStatus(phba, nullptr), IMA_GetNetworkPortalOidList(phba, nullptr)}),
            Words({0, 0, IMA_ERROR_NOT_SUPPORTED, IMA_ERROR_NOT_SUPPORTED, IMA_ERROR_INCORRECT_OBJECT_TYPE, 0,
                   IMA_ERROR_INVALID_PARAMETER, IMA_ERROR_INCORRECT_OBJECT_TYPE, IMA_ERROR_INVALID_PARAMETER}));
  EXPECT_EQ(words(arp, 0, 16), Words({1, 0, 0, 0}));
  EXPECT_EQ(words(mtu, 0, 28), Words({1, 0, 9000, 0, 0, 0, 0}));
}

}  // namespace
}  // namespace tavo::test
