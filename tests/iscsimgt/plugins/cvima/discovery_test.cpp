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
constexpr uint32_t kS = kSentinel * 0x01010101u;  // a word left alone

class ImaDiscoveryTest : public ImaTest {
 protected:
  std::string saved(const std::string& name) { return read_file(root_.at("/etc/config/QVL/tavo/" + name)); }
  static IMA_TARGET_ADDRESS address(uint8_t last, uint16_t port) {
    IMA_TARGET_ADDRESS a = sentinel<IMA_TARGET_ADDRESS>();
    a.hostnameIpAddress.id.ipAddress = {1, {192, 168, 10, last}};
    a.portNumber = port;
    return a;
  }
  static IMA_STATIC_DISCOVERY_TARGET static_target(const std::string& name, uint8_t last, uint16_t port) {
    IMA_STATIC_DISCOVERY_TARGET t = sentinel<IMA_STATIC_DISCOVERY_TARGET>();
    const std::vector<IMA_WCHAR> w = wide(name);
    memcpy(t.targetName, w.data(), w.size() * sizeof(IMA_WCHAR));
    t.targetAddress = address(last, port);
    return t;
  }
  IMA_OID lhba() { return oid(IMA_OBJECT_TYPE_LHBA, kL); }
};

TEST_F(ImaDiscoveryTest, PropertiesOfEachHbaId) {
  ASSERT_EQ(set(kPhba + "/iSNS/iSNSEnabled", "Yes"), 0u);
  for (const IMA_OID& id : {oid(IMA_OBJECT_TYPE_PHBA, kPhba), lhba(),
                            oid(IMA_OBJECT_TYPE_NETWORK_PORTAL, kPhba + "/Network/TCPIPConfiguration")}) {
    IMA_DISCOVERY_PROPERTIES p = sentinel<IMA_DISCOVERY_PROPERTIES>();
    ASSERT_EQ(IMA_GetDiscoveryProperties(id, &p), 0u) << id.objectType;
    // iSNS not settable, on, method 1; no server yet: an empty host name.
    EXPECT_EQ(words(p, 0, 20), std::vector<uint32_t>({0, 1, 1, 1, 0}));
    EXPECT_TRUE(untouched(p, 20, offsetof(IMA_DISCOVERY_PROPERTIES, slpDiscoverySettable)));
    EXPECT_EQ(words(p, 1040, 1064), std::vector<uint32_t>({0, 0, 0, 1, 0, 1}));  // SLP, static, SendTargets
    EXPECT_TRUE(untouched(p, offsetof(IMA_DISCOVERY_PROPERTIES, reserved)));
  }
  ASSERT_EQ(act(kPhba + "/iSNS/ConfigureiSNSServer", {"192.168.10.7"}), 0u);
  ASSERT_EQ(set(kPhba + "/iSNS/iSNSEnabled", "No"), 0u);
  IMA_DISCOVERY_PROPERTIES p = sentinel<IMA_DISCOVERY_PROPERTIES>();
  ASSERT_EQ(IMA_GetDiscoveryProperties(lhba(), &p), 0u);
  EXPECT_EQ(words(p, 0, 16), std::vector<uint32_t>({0, 0, kS, 0}));  // the method is left alone
  EXPECT_EQ(ipv4(p.iSnsHost.id.ipAddress), "1:192.168.10.7");
  EXPECT_EQ(IMA_GetDiscoveryProperties(oid(IMA_OBJECT_TYPE_PNP, kPhba + "/Network/NICConfiguration"), &p),
            IMA_ERROR_INCORRECT_OBJECT_TYPE);
  EXPECT_EQ(IMA_GetDiscoveryProperties(lhba(), nullptr), IMA_ERROR_INVALID_PARAMETER);
}

TEST_F(ImaDiscoveryTest, SettersCheckThenAnswerNotSupported) {
  const IMA_OID phba = oid(IMA_OBJECT_TYPE_PHBA, kPhba);
  IMA_OID foreign = phba;
  foreign.ownerId = kOwner + 1;
  const std::pair<IMA_STATUS, IMA_STATUS> rows[] = {
      {IMA_SetIsnsDiscovery(phba, 1, 2, nullptr), IMA_ERROR_NOT_SUPPORTED},
      {IMA_SetIsnsDiscovery(phba, 1, 3, nullptr), IMA_ERROR_INVALID_PARAMETER},
      {IMA_SetIsnsDiscovery(phba, 2, 0, nullptr), IMA_ERROR_INVALID_PARAMETER},
      {IMA_SetIsnsDiscovery(foreign, 0, 0, nullptr), IMA_ERROR_OBJECT_NOT_FOUND},
      {IMA_SetSlpDiscovery(phba, 2), IMA_ERROR_INVALID_PARAMETER},
      {IMA_SetStaticDiscovery(lhba(), 1), IMA_ERROR_NOT_SUPPORTED},
      {IMA_SetStaticDiscovery(oid(IMA_OBJECT_TYPE_LNP, kPhba), 1), IMA_ERROR_INCORRECT_OBJECT_TYPE},
  };
  for (size_t i = 0; i < std::size(rows); ++i) EXPECT_EQ(rows[i].first, rows[i].second) << i;
}

TEST_F(ImaDiscoveryTest, DiscoveryAddressAddedListedReadAndRemoved) {
  IMA_OID added = sentinel<IMA_OID>();
  ASSERT_EQ(IMA_AddDiscoveryAddress(lhba(), address(50, 0), &added), 0u);
  const std::string portal = kL + "/Discovery/SendTargetPortal";
  EXPECT_EQ(entry(added), "11 " + portal + "0");
  EXPECT_NE(saved("savestp.txt").find(",192.168.10.50,3260,"), std::string::npos);  // port 0: the default
  // Its discovery found the network's target.
  EXPECT_EQ(get(kL + "/Target0/TargetISCSIName") + " " + get(kL + "/Target0/TargetType"), kStore + std::string(" Discovered"));
  // An address where nothing listens is added all the same.
  ASSERT_EQ(IMA_AddDiscoveryAddress(oid(IMA_OBJECT_TYPE_PNP, kPhba + "/Network/NICConfiguration"), address(99, 3261),
                                    &added),
            0u);
  EXPECT_EQ(list_of(IMA_GetDiscoveryAddressOidList, lhba()),
            std::vector<std::string>({"11 " + portal + "0", "11 " + portal + "1"}));

  IMA_DISCOVERY_ADDRESS_PROPERTIES p = sentinel<IMA_DISCOVERY_ADDRESS_PROPERTIES>();
  ASSERT_EQ(IMA_GetDiscoveryAddressProperties(added, &p), 0u);
  EXPECT_EQ(entry(p.associatedNodeOid) + ", " + entry(p.associatedLhbaOid), "2 " + kPhba + ", 3 " + kL);
  EXPECT_EQ(p.discoveryAddress.hostnameIpAddress.hostnameInUse, 0u);
  EXPECT_EQ(ipv4(p.discoveryAddress.hostnameIpAddress.id.ipAddress), "1:192.168.10.99");
  EXPECT_EQ(words(p, 44, 56), std::vector<uint32_t>(3, 0));  // the whole address is written
  EXPECT_TRUE(untouched(p, 56, offsetof(IMA_DISCOVERY_ADDRESS_PROPERTIES, discoveryAddress.portNumber)));
  EXPECT_EQ(p.discoveryAddress.portNumber, 3261);

  ASSERT_EQ(IMA_RemoveDiscoveryAddress(added), 0u);
  EXPECT_EQ(tag(portal + "1"), kNoTag);
  EXPECT_EQ(saved("savestp.txt").find("192.168.10.99"), std::string::npos);
  EXPECT_EQ(IMA_AddDiscoveryAddress(lhba(), address(50, 3260), &added), IMA_ERROR_INVALID_PARAMETER);  // held
  // Beside the address's :3260 portal, :3261 is a portal of its own.
  ASSERT_EQ(IMA_AddDiscoveryAddress(lhba(), address(50, 3261), &added), 0u);
  EXPECT_EQ(entry(added), "11 " + portal + "1");
  EXPECT_EQ(get(portal + "1/PortNumber"), "3261");
  EXPECT_EQ(IMA_AddDiscoveryAddress(lhba(), address(50, 0), nullptr), IMA_ERROR_INVALID_PARAMETER);
}

TEST_F(ImaDiscoveryTest, StaticTargetsAsPortals) {
  IMA_OID first = sentinel<IMA_OID>(), second = sentinel<IMA_OID>();
  ASSERT_EQ(IMA_AddStaticDiscoveryTarget(lhba(), static_target(kStore, 50, 0), &first), 0u);
  // The same name again: one more portal of that target.
  ASSERT_EQ(IMA_AddStaticDiscoveryTarget(lhba(), static_target(kStore, 51, 3262), &second), 0u);
  EXPECT_EQ(entry(first) + ", " + entry(second),
            "12 " + kL + "/Target0/TargetPortal0, 12 " + kL + "/Target0/TargetPortal1");
  const std::string line = "iSCSIPhysicalHBA1,LogicalHBA0," + std::string(kStore);
  EXPECT_NE(saved("savetgt.txt").find(line + ",192.168.10.50,3260"), std::string::npos);
  EXPECT_NE(saved("savetgt.txt").find(line + ",192.168.10.51,3262"), std::string::npos);
  EXPECT_EQ(list_of(IMA_VMW_GetStaticDiscoveryTargetOidList, lhba()),
            std::vector<std::string>({entry(first), entry(second)}));

  IMA_STATIC_DISCOVERY_TARGET_PROPERTIES p = sentinel<IMA_STATIC_DISCOVERY_TARGET_PROPERTIES>();
  ASSERT_EQ(IMA_GetStaticDiscoveryTargetProperties(second, &p), 0u);
  EXPECT_EQ(entry(p.associatedNodeOid) + ", " + entry(p.associatedLhbaOid), "2 " + kPhba + ", 3 " + kL);
  EXPECT_EQ(narrow(p.staticTarget.targetName), kStore);
  EXPECT_EQ(ipv4(p.staticTarget.targetAddress.hostnameIpAddress.id.ipAddress), "1:192.168.10.51");
  EXPECT_EQ(p.staticTarget.targetAddress.portNumber, 3262);
  EXPECT_EQ(p.targetPortalGroupTagValid, 1u);
  const auto* bytes = reinterpret_cast<const uint8_t*>(&p);
  EXPECT_EQ(std::count(bytes, bytes + sizeof p, kSentinel), 0);  // cleared first
  const IMA_OID as_target = oid(IMA_OBJECT_TYPE_TARGET, kL + "/Target0/TargetPortal0");
  EXPECT_EQ(IMA_GetStaticDiscoveryTargetProperties(as_target, &p), IMA_ERROR_INCORRECT_OBJECT_TYPE);
  EXPECT_EQ(IMA_VMW_GetStaticDiscoveryTargetProperties(as_target, &p), 0u);

  // Two portals: only the named one goes; the last one takes its target along.
  ASSERT_EQ(IMA_RemoveStaticDiscoveryTarget(second), 0u);
  EXPECT_EQ(tag(kL + "/Target0/TargetPortal1"), kNoTag);
  ASSERT_EQ(IMA_RemoveStaticDiscoveryTarget(first), 0u);
  EXPECT_EQ(tag(kL + "/Target0"), kNoTag);
  EXPECT_EQ(saved("savetgt.txt").find(line), std::string::npos);
  EXPECT_NE(ima_log().find("TargetPortalName is TargetPortal1\nTargetPortalInst is 1\n"), std::string::npos);
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
            std::string::npos);
}

// Of two targets behind one portal, the id returned is the named target's.
TEST_F(ImaDiscoveryTest, StaticTargetIdIsThePortalOfTheNamedTarget) {
  IMA_OID a = sentinel<IMA_OID>(), b = sentinel<IMA_OID>();
  ASSERT_EQ(IMA_AddStaticDiscoveryTarget(lhba(), static_target("iqn.2026-12.com.example:a", 5, 3260), &a), 0u);
  ASSERT_EQ(IMA_AddStaticDiscoveryTarget(lhba(), static_target("iqn.2026-12.com.example:b", 5, 3260), &b), 0u);
  EXPECT_EQ(entry(b), "12 " + kL + "/Target1/TargetPortal0");
  // A name the host cannot hand over whole is refused before anything runs.
  IMA_STATIC_DISCOVERY_TARGET bad = static_target("iqn.x", 6, 0);
  bad.targetName[1] = 0x110000;
  testing::internal::CaptureStdout();
  EXPECT_EQ(IMA_AddStaticDiscoveryTarget(lhba(), bad, &a), IMA_ERROR_CONVERSION_FAILED);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(a.objectType, 0u);  // the result id is cleared first
  EXPECT_EQ(tag(kL + "/Target2"), kNoTag);
}

// One address on two ports is two portals, each with its own session: a
// session names the portal of its port, and removing a portal logs out
// only the sessions through it.
TEST_F(ImaDiscoveryTest, PortalIsAnAddressAndAPort) {
  reopen_with("target name=iqn.2026-12.com.example:ports portal=192.168.10.56/3260/1,192.168.10.56/3261/2 "
              "logged-in=0\n");
  const std::string target = std::string(kLhba0) + "/Target1";
  ASSERT_EQ(get(target + "/Session1/Connection0/DestinationPortNumber"), "3261");
  IMA_SESSION_PROPERTIES p = sentinel<IMA_SESSION_PROPERTIES>();
  ASSERT_EQ(IMA_GetSessionProperties(oid(IMA_OBJECT_TYPE_SESSION, target + "/Session1"), &p), 0u);
  EXPECT_EQ(entry(p.targetOid) + " " + std::to_string(p.targetPortalGroupTag), "9 " + target + "/TargetPortal1 2");
  sim_->clear_log();
  ASSERT_EQ(IMA_RemoveStaticDiscoveryTarget(oid(IMA_OBJECT_TYPE_STATIC_DISCOVERY_TARGET, target + "/TargetPortal1")),
            0u);
  EXPECT_EQ(mailbox_count(6, 24), 1);  // Session1's logout alone
  EXPECT_EQ(tag(target + "/TargetPortal1"), kNoTag);
  EXPECT_EQ(get(target + "/Session0/SessionStatus"), "Open");
}

TEST_F(ImaDiscoveryTest, RediscoveryAndItsStatus) {
  const IMA_OID phba = oid(IMA_OBJECT_TYPE_PHBA, kPhba);
  const auto status = [&] {
    IMA_UINT32 s = 0;
    EXPECT_EQ(IMA_VMW_GetDiscoveryStatus(phba, &s), 0u);
    return s;
  };
  sim_->clear_log();
  EXPECT_EQ(IMA_VMW_Rediscover(lhba()), 0u);  // an LHBA has no LogicalHBA below it
  EXPECT_TRUE(sim_->mailbox_log().empty());
  ASSERT_EQ(act(kL + "/Discovery/AddSendTargetPortal", {"192.168.10.50", "3260"}), 0u);
  ASSERT_EQ(IMA_VMW_Rediscover(phba), 0u);
  EXPECT_EQ(get(kL + "/Target0/Session0/SessionStatus"), "Open");  // discovered and logged in
  EXPECT_EQ(status(), 2u);
  // A portal where no target listens fails its discovery: the call fails,
  // and the status stays for good.
  ASSERT_EQ(act(kL + "/Discovery/AddSendTargetPortal", {"192.168.10.98", "3260"}), 0u);
  EXPECT_EQ(IMA_VMW_Rediscover(phba), IMA_ERROR_FAILED);
  ASSERT_EQ(act(kL + "/Discovery/DeleteSendTargetPortal", {"1"}), 0u);
  EXPECT_EQ(IMA_VMW_Rediscover(phba), 0u);
  EXPECT_EQ(status(), 3u);
  EXPECT_EQ(IMA_VMW_GetDiscoveryStatus(phba, nullptr), IMA_ERROR_INVALID_PARAMETER);
}

}  // namespace
}  // namespace tavo::test
