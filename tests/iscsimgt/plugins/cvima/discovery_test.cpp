// Discovery settings, SendTargets discovery addresses, static targets and
// rediscovery as the host drives them, seen in the tree and the saved files.
#include <algorithm>

#include "tests/iscsimgt/plugins/cvima/ima_fixture.h"

namespace tavo::test {
namespace {

// The second function starts without targets (the first holds a session).
const std::string kPhba = "Corvane0/iSCSIPhysicalHBA1";
const std::string kL = kPhba + "/LogicalHBA0";
constexpr char kStore[] = "iqn.2026-12.com.example:store0";

class ImaDiscoveryTest : public ImaTest {
 protected:
  std::string saved(const std::string& name) { return read_file(root_.at("/etc/config/QVL/tavo/" + name)); }
  static IMA_TARGET_ADDRESS address(std::vector<uint8_t> bytes, uint16_t port) {
    IMA_TARGET_ADDRESS a = sentinel<IMA_TARGET_ADDRESS>();
    a.hostnameIpAddress.id.ipAddress.ipv4Address = bytes.size() == 4;
    memcpy(a.hostnameIpAddress.id.ipAddress.ipAddress, bytes.data(), bytes.size());
    a.portNumber = port;
    return a;
  }
  static IMA_STATIC_DISCOVERY_TARGET static_target(const std::string& name, std::vector<uint8_t> bytes,
                                                   uint16_t port) {
    IMA_STATIC_DISCOVERY_TARGET t = sentinel<IMA_STATIC_DISCOVERY_TARGET>();
    const std::vector<IMA_WCHAR> w = wide(name);
    memcpy(t.targetName, w.data(), w.size() * sizeof(IMA_WCHAR));
    t.targetAddress = address(bytes, port);
    return t;
  }
  std::vector<std::string> list_of(IMA_STATUS (*call)(IMA_OID, IMA_OID_LIST**), const IMA_OID& id) {
    IMA_OID_LIST* list = nullptr;
    EXPECT_EQ(call(id, &list), 0u);
    return entries(list);
  }
};

TEST_F(ImaDiscoveryTest, PropertiesOfEachHbaId) {
  ASSERT_EQ(set(kPhba + "/iSNS/iSNSEnabled", "Yes"), 0u);
  const IMA_OID ids[] = {oid(IMA_OBJECT_TYPE_PHBA, kPhba), oid(IMA_OBJECT_TYPE_LHBA, kL),
                         oid(IMA_OBJECT_TYPE_NETWORK_PORTAL, kPhba + "/Network/TCPIPConfiguration")};
  for (const IMA_OID& id : ids) {
    IMA_DISCOVERY_PROPERTIES p = sentinel<IMA_DISCOVERY_PROPERTIES>();
    ASSERT_EQ(IMA_GetDiscoveryProperties(id, &p), 0u) << id.objectType;
    EXPECT_EQ(p.iSnsDiscoverySettable, 0u);
    EXPECT_EQ(p.iSnsDiscoveryEnabled, 1u);
    EXPECT_EQ(p.iSnsDiscoveryMethod, 1u);
    EXPECT_EQ(p.iSnsHost.hostnameInUse, 1u);  // no server yet: an empty host name
    EXPECT_EQ(p.iSnsHost.id.hostname[0], 0);
    EXPECT_TRUE(untouched(p, offsetof(IMA_DISCOVERY_PROPERTIES, iSnsHost.id.hostname[1]),
                          offsetof(IMA_DISCOVERY_PROPERTIES, slpDiscoverySettable)));
    const IMA_BOOL fixed[] = {p.slpDiscoverySettable,    p.slpDiscoveryEnabled,          p.staticDiscoverySettable,
                              p.staticDiscoveryEnabled,  p.sendTargetsDiscoverySettable, p.sendTargetsDiscoveryEnabled};
    EXPECT_EQ(std::vector<IMA_BOOL>(std::begin(fixed), std::end(fixed)), std::vector<IMA_BOOL>({0, 0, 0, 1, 0, 1}));
    EXPECT_TRUE(untouched(p, offsetof(IMA_DISCOVERY_PROPERTIES, reserved)));
  }
  ASSERT_EQ(act(kPhba + "/iSNS/ConfigureiSNSServer", {"192.168.10.7"}), 0u);
  ASSERT_EQ(set(kPhba + "/iSNS/iSNSEnabled", "No"), 0u);
  IMA_DISCOVERY_PROPERTIES p = sentinel<IMA_DISCOVERY_PROPERTIES>();
  ASSERT_EQ(IMA_GetDiscoveryProperties(ids[0], &p), 0u);
  EXPECT_EQ(p.iSnsDiscoveryEnabled, 0u);
  EXPECT_EQ(p.iSnsDiscoveryMethod, kSentinel * 0x01010101u);
  EXPECT_EQ(p.iSnsHost.hostnameInUse, 0u);
  EXPECT_EQ(p.iSnsHost.id.ipAddress.ipv4Address, 1u);
  EXPECT_EQ(std::vector<uint8_t>(p.iSnsHost.id.ipAddress.ipAddress, p.iSnsHost.id.ipAddress.ipAddress + 4),
            std::vector<uint8_t>({192, 168, 10, 7}));
  EXPECT_EQ(IMA_GetDiscoveryProperties(oid(IMA_OBJECT_TYPE_PNP, kPhba + "/Network/NICConfiguration"), &p),
            IMA_ERROR_INCORRECT_OBJECT_TYPE);
  EXPECT_EQ(IMA_GetDiscoveryProperties(ids[0], nullptr), IMA_ERROR_INVALID_PARAMETER);
}

TEST_F(ImaDiscoveryTest, SettersCheckThenAnswerNotSupported) {
  const IMA_OID phba = oid(IMA_OBJECT_TYPE_PHBA, kPhba);
  IMA_OID foreign = phba;
  foreign.ownerId = kOwner + 1;
  struct Row {
    IMA_STATUS status, expected;
  } rows[] = {
      {IMA_SetIsnsDiscovery(phba, 1, 2, nullptr), IMA_ERROR_NOT_SUPPORTED},
      {IMA_SetIsnsDiscovery(phba, 1, 3, nullptr), IMA_ERROR_INVALID_PARAMETER},
      {IMA_SetIsnsDiscovery(phba, 2, 0, nullptr), IMA_ERROR_INVALID_PARAMETER},
      {IMA_SetIsnsDiscovery(foreign, 0, 0, nullptr), IMA_ERROR_OBJECT_NOT_FOUND},
      {IMA_SetSlpDiscovery(phba, 0), IMA_ERROR_NOT_SUPPORTED},
      {IMA_SetSlpDiscovery(phba, 2), IMA_ERROR_INVALID_PARAMETER},
      {IMA_SetStaticDiscovery(oid(IMA_OBJECT_TYPE_LHBA, kL), 1), IMA_ERROR_NOT_SUPPORTED},
      {IMA_SetStaticDiscovery(oid(IMA_OBJECT_TYPE_LNP, kPhba), 1), IMA_ERROR_INCORRECT_OBJECT_TYPE},
  };
  for (size_t i = 0; i < std::size(rows); ++i) EXPECT_EQ(rows[i].status, rows[i].expected) << i;
}

TEST_F(ImaDiscoveryTest, DiscoveryAddressAddedListedReadAndRemoved) {
  IMA_OID added = sentinel<IMA_OID>();
  ASSERT_EQ(IMA_AddDiscoveryAddress(oid(IMA_OBJECT_TYPE_LHBA, kL), address({192, 168, 10, 50}, 0), &added), 0u);
  const std::string portal = kL + "/Discovery/SendTargetPortal0";
  EXPECT_EQ(entry(added), "11 " + portal);
  EXPECT_EQ(get(portal + "/PortNumber"), "3260");  // port 0 is the default port
  EXPECT_NE(saved("savestp.txt").find(",192.168.10.50,3260,"), std::string::npos);
  // Its discovery found the network's target.
  EXPECT_EQ(get(kL + "/Target0/TargetISCSIName"), kStore);
  EXPECT_EQ(get(kL + "/Target0/TargetType"), "Discovered");
  // A second address where nothing listens is added all the same.
  ASSERT_EQ(IMA_AddDiscoveryAddress(oid(IMA_OBJECT_TYPE_PNP, kPhba + "/Network/NICConfiguration"),
                                    address({192, 168, 10, 99}, 3261), &added),
            0u);
  EXPECT_EQ(entry(added), "11 " + kL + "/Discovery/SendTargetPortal1");
  EXPECT_EQ(list_of(IMA_GetDiscoveryAddressOidList, oid(IMA_OBJECT_TYPE_LHBA, kL)),
            std::vector<std::string>({"11 " + portal, "11 " + kL + "/Discovery/SendTargetPortal1"}));

  IMA_DISCOVERY_ADDRESS_PROPERTIES p = sentinel<IMA_DISCOVERY_ADDRESS_PROPERTIES>();
  ASSERT_EQ(IMA_GetDiscoveryAddressProperties(added, &p), 0u);
  EXPECT_EQ(entry(p.associatedNodeOid), "2 " + kPhba);
  EXPECT_EQ(entry(p.associatedLhbaOid), "3 " + kL);
  const IMA_IP_ADDRESS& ip = p.discoveryAddress.hostnameIpAddress.id.ipAddress;
  EXPECT_EQ(p.discoveryAddress.hostnameIpAddress.hostnameInUse, 0u);
  EXPECT_EQ(ip.ipv4Address, 1u);
  EXPECT_EQ(std::vector<uint8_t>(ip.ipAddress, ip.ipAddress + 4), std::vector<uint8_t>({192, 168, 10, 99}));
  EXPECT_TRUE(untouched(p, offsetof(IMA_DISCOVERY_ADDRESS_PROPERTIES, discoveryAddress.hostnameIpAddress.id.ipAddress.ipAddress[4]),
                        offsetof(IMA_DISCOVERY_ADDRESS_PROPERTIES, discoveryAddress.portNumber)));
  EXPECT_EQ(p.discoveryAddress.portNumber, 3261);

  ASSERT_EQ(IMA_RemoveDiscoveryAddress(added), 0u);
  EXPECT_EQ(tag(kL + "/Discovery/SendTargetPortal1"), kNoTag);
  EXPECT_EQ(saved("savestp.txt").find("192.168.10.99"), std::string::npos);
  // The same address again is refused by the tree.
  EXPECT_EQ(IMA_AddDiscoveryAddress(oid(IMA_OBJECT_TYPE_LHBA, kL), address({192, 168, 10, 50}, 3260), &added),
            IMA_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(IMA_AddDiscoveryAddress(oid(IMA_OBJECT_TYPE_LHBA, kL), address({192, 168, 10, 50}, 0), nullptr),
            IMA_ERROR_INVALID_PARAMETER);
}

TEST_F(ImaDiscoveryTest, StaticTargetsAsPortals) {
  const IMA_OID lhba = oid(IMA_OBJECT_TYPE_LHBA, kL);
  IMA_OID first = sentinel<IMA_OID>(), second = sentinel<IMA_OID>();
  ASSERT_EQ(IMA_AddStaticDiscoveryTarget(lhba, static_target(kStore, {192, 168, 10, 50}, 0), &first), 0u);
  // The same name again: one more portal of that target.
  ASSERT_EQ(IMA_AddStaticDiscoveryTarget(lhba, static_target(kStore, {192, 168, 10, 51}, 3262), &second), 0u);
  EXPECT_EQ(entry(first), "12 " + kL + "/Target0/TargetPortal0");
  EXPECT_EQ(entry(second), "12 " + kL + "/Target0/TargetPortal1");
  const std::string lines = saved("savetgt.txt");
  EXPECT_NE(lines.find("iSCSIPhysicalHBA1,LogicalHBA0," + std::string(kStore) + ",192.168.10.50,3260"), std::string::npos)
      << lines;
  EXPECT_NE(lines.find("iSCSIPhysicalHBA1,LogicalHBA0," + std::string(kStore) + ",192.168.10.51,3262"), std::string::npos)
      << lines;
  EXPECT_EQ(list_of(IMA_VMW_GetStaticDiscoveryTargetOidList, lhba),
            std::vector<std::string>({entry(first), entry(second)}));

  IMA_STATIC_DISCOVERY_TARGET_PROPERTIES p = sentinel<IMA_STATIC_DISCOVERY_TARGET_PROPERTIES>();
  ASSERT_EQ(IMA_GetStaticDiscoveryTargetProperties(second, &p), 0u);
  EXPECT_EQ(entry(p.associatedNodeOid), "2 " + kPhba);
  EXPECT_EQ(entry(p.associatedLhbaOid), "3 " + kL);
  EXPECT_EQ(narrow(p.staticTarget.targetName), kStore);
  EXPECT_EQ(p.staticTarget.targetAddress.hostnameIpAddress.id.ipAddress.ipAddress[3], 51);
  EXPECT_EQ(p.staticTarget.targetAddress.portNumber, 3262);
  EXPECT_EQ(p.targetPortalGroupTagValid, 1u);
  EXPECT_EQ(p.targetPortalGroupTag, 0);
  // Cleared first: no byte keeps the sentinel.
  const auto* bytes = reinterpret_cast<const uint8_t*>(&p);
  EXPECT_EQ(std::count(bytes, bytes + sizeof p, kSentinel), 0);
  EXPECT_EQ(IMA_GetStaticDiscoveryTargetProperties(oid(IMA_OBJECT_TYPE_TARGET, kL + "/Target0/TargetPortal0"), &p),
            IMA_ERROR_INCORRECT_OBJECT_TYPE);
  EXPECT_EQ(IMA_VMW_GetStaticDiscoveryTargetProperties(oid(IMA_OBJECT_TYPE_TARGET, kL + "/Target0/TargetPortal0"), &p),
            0u);

  // Two portals: only the named one goes; the last one takes its target along.
  ASSERT_EQ(IMA_RemoveStaticDiscoveryTarget(second), 0u);
  EXPECT_EQ(tag(kL + "/Target0/TargetPortal1"), kNoTag);
  EXPECT_NE(tag(kL + "/Target0"), kNoTag);
  ASSERT_EQ(IMA_RemoveStaticDiscoveryTarget(first), 0u);
  EXPECT_EQ(tag(kL + "/Target0"), kNoTag);
  EXPECT_EQ(saved("savetgt.txt").find("iSCSIPhysicalHBA1,LogicalHBA0," + std::string(kStore)), std::string::npos);
  EXPECT_NE(ima_log().find("TargetPortalName is TargetPortal1\nTargetPortalInst is 1\n"), std::string::npos);
  EXPECT_TRUE(list_of(IMA_GetStaticDiscoveryTargetOidList, lhba).empty());
}

// The first function's target has a session: it is logged out first.
TEST_F(ImaDiscoveryTest, RemovingAStaticTargetLogsItsSessionsOut) {
  const std::string target = std::string(kLhba0) + "/Target0";
  sim_->clear_log();
  ASSERT_EQ(IMA_RemoveStaticDiscoveryTarget(oid(IMA_OBJECT_TYPE_STATIC_DISCOVERY_TARGET, target + "/TargetPortal0")),
            0u);
  EXPECT_EQ(mailbox_count(6, 24), 1);  // the logout
  EXPECT_EQ(tag(target), kNoTag);
  EXPECT_NE(ima_log().find("After Tavo_Get_Child_Tags  Scount is 1\nSessionName is Session0\nSessionInstNum is 0\n"
                           "before TAVO_do_action  status is 0  \n"),
            std::string::npos)
      << ima_log();
}

// Of two targets behind one portal, the id returned is the named target's.
TEST_F(ImaDiscoveryTest, StaticTargetIdIsThePortalOfTheNamedTarget) {
  const IMA_OID lhba = oid(IMA_OBJECT_TYPE_LHBA, kL);
  IMA_OID a = sentinel<IMA_OID>(), b = sentinel<IMA_OID>();
  ASSERT_EQ(IMA_AddStaticDiscoveryTarget(lhba, static_target("iqn.2026-12.com.example:a", {10, 0, 0, 5}, 3260), &a),
            0u);
  ASSERT_EQ(IMA_AddStaticDiscoveryTarget(lhba, static_target("iqn.2026-12.com.example:b", {10, 0, 0, 5}, 3260), &b),
            0u);
  EXPECT_EQ(entry(a), "12 " + kL + "/Target0/TargetPortal0");
  EXPECT_EQ(entry(b), "12 " + kL + "/Target1/TargetPortal0");
  // A name the host cannot hand over whole is refused before anything runs.
  IMA_STATIC_DISCOVERY_TARGET bad = static_target("iqn.x", {10, 0, 0, 6}, 0);
  bad.targetName[1] = 0x110000;
  testing::internal::CaptureStdout();
  EXPECT_EQ(IMA_AddStaticDiscoveryTarget(lhba, bad, &a), IMA_ERROR_CONVERSION_FAILED);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(a.objectType, 0u);  // the result id is cleared first
  EXPECT_EQ(tag(kL + "/Target2"), kNoTag);
}

TEST_F(ImaDiscoveryTest, RediscoveryAndItsStatus) {
  const IMA_OID phba = oid(IMA_OBJECT_TYPE_PHBA, kPhba);
  IMA_UINT32 status = 0;
  ASSERT_EQ(IMA_VMW_GetDiscoveryStatus(phba, &status), 0u);
  EXPECT_EQ(status, 2u);
  sim_->clear_log();
  EXPECT_EQ(IMA_VMW_Rediscover(oid(IMA_OBJECT_TYPE_LHBA, kL)), 0u);  // an LHBA has no LogicalHBA below it
  EXPECT_TRUE(sim_->mailbox_log().empty());
  ASSERT_EQ(act(kL + "/Discovery/AddSendTargetPortal", {"192.168.10.50", "3260"}), 0u);
  ASSERT_EQ(IMA_VMW_Rediscover(phba), 0u);
  EXPECT_EQ(get(kL + "/Target0/TargetISCSIName"), kStore);
  ASSERT_EQ(IMA_VMW_GetDiscoveryStatus(phba, &status), 0u);
  EXPECT_EQ(status, 2u);
  // A portal where no target listens fails its discovery: reported for good.
  ASSERT_EQ(act(kL + "/Discovery/AddSendTargetPortal", {"192.168.10.98", "3260"}), 0u);
  EXPECT_EQ(IMA_VMW_Rediscover(phba), 0u);
  ASSERT_EQ(act(kL + "/Discovery/DeleteSendTargetPortal", {"1"}), 0u);
  EXPECT_EQ(IMA_VMW_Rediscover(phba), 0u);
  ASSERT_EQ(IMA_VMW_GetDiscoveryStatus(phba, &status), 0u);
  EXPECT_EQ(status, 3u);
  EXPECT_EQ(IMA_VMW_GetDiscoveryStatus(phba, nullptr), IMA_ERROR_INVALID_PARAMETER);
}

}  // namespace
}  // namespace tavo::test
