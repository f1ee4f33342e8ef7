// Targets, LUs, sessions and connections as the host lists and reads them,
// and the sessions it opens and closes.
#include "tests/iscsimgt/plugins/cvima/ima_fixture.h"

namespace tavo::test {
namespace {

// The second function starts without targets; the first's store0 target
// has an open session.
const std::string kL = "Corvane0/iSCSIPhysicalHBA1/LogicalHBA0";
const std::string kTarget = std::string(kLhba0) + "/Target0";
constexpr char kStore[] = "iqn.2026-12.com.example:store0";

class ImaTargetsTest : public ImaTest {
 protected:
  IMA_OID lhba() { return oid(IMA_OBJECT_TYPE_LHBA, kL); }
};

TEST_F(ImaTargetsTest, TargetListCarriesEachTargetsFirstPortal) {
  EXPECT_TRUE(list_of(IMA_GetTargetOidList, lhba()).empty());
  ASSERT_EQ(act(kL + "/AddTarget", {kStore, "192.168.10.50"}), 0u);
  for (int i = 1; i <= 5; ++i)
    ASSERT_EQ(act(kL + "/Target0/AddTargetPortal", {"192.168.10." + std::to_string(50 + i)}), 0u);
  for (const char* gone : {"0", "1", "3", "4"}) ASSERT_EQ(act(kL + "/Target0/DeleteTargetPortal", {gone}), 0u);
  ASSERT_EQ(act(kL + "/AddTarget", {"iqn.2026-12.com.example:other", "10.9.9.9"}), 0u);
  const std::vector<std::string> expected = {"9 " + kL + "/Target0/TargetPortal2",
                                             "9 " + kL + "/Target1/TargetPortal0"};
  EXPECT_EQ(list_of(IMA_GetTargetOidList, lhba()), expected);
  EXPECT_EQ(list_of(IMA_VMW_GetTargetOidList, oid(IMA_OBJECT_TYPE_LNP, "Corvane0/iSCSIPhysicalHBA1")), expected);
  EXPECT_TRUE(list_of(IMA_GetTargetOidList, oid(IMA_OBJECT_TYPE_LNP, "Corvane1/iSCSIPhysicalHBA0")).empty());
  list_of(IMA_GetTargetOidList, oid(IMA_OBJECT_TYPE_PHBA, "Corvane0/iSCSIPhysicalHBA1"),
          IMA_ERROR_INCORRECT_OBJECT_TYPE);
}

TEST_F(ImaTargetsTest, TargetProperties) {
  ASSERT_EQ(act(kL + "/Discovery/AddSendTargetPortal", {"192.168.10.50", "3260"}), 0u);
  ASSERT_EQ(act(kL + "/Discovery/SendTargetPortal0/DiscoverTargets"), 0u);
  ASSERT_EQ(act(kL + "/AddTarget", {"iqn.2026-12.com.example:static", "10.9.9.9"}), 0u);
  // The alias is the first session's: none for a target whose session is
  // closed (the discovered one), where its read fails.
  struct Row {
    std::string target, name, alias;
    uint32_t flags;
  } rows[] = {{kL + "/Target0", kStore, "", IMA_TARGET_DISCOVERY_METHOD_SENDTARGETS},
              {kL + "/Target1", "iqn.2026-12.com.example:static", "", IMA_TARGET_DISCOVERY_METHOD_STATIC},
              {kTarget, kStore, "store0", IMA_TARGET_DISCOVERY_METHOD_STATIC}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.target);
    IMA_TARGET_PROPERTIES p = sentinel<IMA_TARGET_PROPERTIES>();
    ASSERT_EQ(IMA_GetTargetProperties(oid(IMA_OBJECT_TYPE_TARGET, r.target + "/TargetPortal0"), &p), 0u);
    const std::string lhba = r.target.substr(0, r.target.rfind('/'));
    EXPECT_EQ(entry(p.associatedNodeOid) + ", " + entry(p.associatedLhbaOid),
              "2 " + lhba.substr(0, lhba.rfind('/')) + ", 3 " + lhba);
    EXPECT_EQ(narrow(p.name) + "/" + narrow(p.alias), r.name + "/" + r.alias);
    EXPECT_EQ(p.name[IMA_NODE_NAME_LENGTH - 1], 0);  // the rest of the field is cleared
    EXPECT_EQ(words(p, 1952, 1964), std::vector<uint32_t>({r.flags, 0, 1}));  // SendTargets: not settable, on
    EXPECT_TRUE(untouched(p, offsetof(IMA_TARGET_PROPERTIES, reserved)));
  }
  IMA_TARGET_PROPERTIES p;
  EXPECT_EQ(IMA_GetTargetProperties(oid(IMA_OBJECT_TYPE_TARGET, kL + "/Target0"), &p), IMA_ERROR_OBJECT_NOT_FOUND);
  EXPECT_EQ(IMA_GetTargetProperties(oid(IMA_OBJECT_TYPE_TARGET, kL + "/Target0/TargetPortal0"), nullptr),
            IMA_ERROR_INVALID_PARAMETER);
}

TEST_F(ImaTargetsTest, EmptyListsAndNothingToOpenOrClose) {
  ASSERT_EQ(act(kL + "/AddTarget", {kStore, "192.168.10.50"}), 0u);
  const IMA_OID target = oid(IMA_OBJECT_TYPE_TARGET, kL + "/Target0/TargetPortal0");
  EXPECT_TRUE(list_of(IMA_GetLuOidList, lhba()).empty());
  EXPECT_TRUE(list_of(IMA_GetLuOidList, target).empty());
  EXPECT_TRUE(list_of(IMA_GetSessionOidList, lhba()).empty());
  list_of(IMA_GetConnectionOidList, target, IMA_ERROR_INCORRECT_OBJECT_TYPE);
  const IMA_OID other_lhba = oid(IMA_OBJECT_TYPE_LHBA, "Corvane1/iSCSIPhysicalHBA0/LogicalHBA0");
  sim_->clear_log();
  EXPECT_EQ(IMA_VMW_AddSession(other_lhba), 0u);
  EXPECT_EQ(IMA_VMW_RemoveSession(other_lhba), 0u);
  EXPECT_TRUE(sim_->mailbox_log().empty());
}

// The LUNs the scan found, as the host lists and reads them: an LHBA's
// targets in order, each LUN's bytes from the tree's number text.
TEST_F(ImaTargetsTest, LogicalUnitsOfTheLiveSessions) {
  reopen_with("lun target=iqn.2026-12.com.example:store0 id=300\n"
              "target name=iqn.2026-12.com.example:second portal=192.168.10.61/3260/1,192.168.10.62/3260/2 "
              "logged-in=0\n"
              "lun target=iqn.2026-12.com.example:second id=7\n");
  const std::string second = std::string(kLhba0) + "/Target1";
  ASSERT_EQ(get(second + "/TargetISCSIName"), "iqn.2026-12.com.example:second");
  EXPECT_EQ(list_of(IMA_GetLuOidList, oid(IMA_OBJECT_TYPE_LHBA, kLhba0)),
            std::vector<std::string>({"10 " + kTarget + "/LUN0", "10 " + kTarget + "/LUN1", "10 " + kTarget + "/LUN2",
                                      "10 " + second + "/LUN0", "10 " + second + "/LUN1"}));
  EXPECT_EQ(list_of(IMA_GetLuOidList, oid(IMA_OBJECT_TYPE_TARGET, second + "/TargetPortal0")),
            std::vector<std::string>({"10 " + second + "/LUN0", "10 " + second + "/LUN1"}));
  list_of(IMA_GetLuOidList, oid(IMA_OBJECT_TYPE_LU, second + "/LUN0"), IMA_ERROR_INCORRECT_OBJECT_TYPE);

  // Single-level LUNs 0, 1 and 7 (reported by both sessions of the second
  // target) and flat LUN 300 (bytes 41 2c), as the tree shows their first
  // four bytes: the record is cleared, then filled.
  struct Row {
    std::string lun, number;
    std::vector<uint8_t> bytes;
  } rows[] = {{kTarget + "/LUN0", "0000000000000000", {0, 0, 0, 0, 0, 0, 0, 0}},
              {kTarget + "/LUN1", "0000000000000100", {0, 0, 0, 0, 0, 0, 0x01, 0}},
              {kTarget + "/LUN2", "0000000000002c41", {0, 0, 0, 0, 0, 0, 0x2c, 0x41}},
              {second + "/LUN0", "0000000000000700", {0, 0, 0, 0, 0, 0, 0x07, 0}},
              {second + "/LUN1", "0000000000000700", {0, 0, 0, 0, 0, 0, 0x07, 0}}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.lun);
    ASSERT_EQ(get(r.lun + "/LUNNumber"), r.number);
    IMA_LU_PROPERTIES expected = {};
    expected.associatedTargetOid = oid(IMA_OBJECT_TYPE_TARGET, r.lun.substr(0, r.lun.rfind('/')) + "/TargetPortal0");
    memcpy(&expected.targetLun, r.bytes.data(), sizeof expected.targetLun);
    IMA_LU_PROPERTIES p = sentinel<IMA_LU_PROPERTIES>();
    ASSERT_EQ(IMA_GetLuProperties(oid(IMA_OBJECT_TYPE_LU, r.lun), &p), 0u);
    EXPECT_EQ(memcmp(&p, &expected, sizeof p), 0);
  }

  IMA_LU_PROPERTIES p;
  EXPECT_EQ(IMA_GetLuProperties(oid(IMA_OBJECT_TYPE_LU, kTarget + "/LUN0"), nullptr), IMA_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(IMA_GetLuProperties(oid(IMA_OBJECT_TYPE_TARGET, kTarget + "/LUN0"), &p), IMA_ERROR_INCORRECT_OBJECT_TYPE);
  EXPECT_EQ(IMA_GetLuProperties(oid(IMA_OBJECT_TYPE_LU, kTarget + "/Session0"), &p), IMA_ERROR_OBJECT_NOT_FOUND);
  // Without its first portal a target has no id for its LUNs to name.
  ASSERT_EQ(IMA_VMW_RemoveSession(oid(IMA_OBJECT_TYPE_SESSION, second + "/Session0")), 0u);
  ASSERT_EQ(act(second + "/DeleteTargetPortal", {"0"}), 0u);
  ASSERT_EQ(children(second, TAVO_KIND_GROUP),
            std::vector<std::string>({"TargetLoginOptions", "TargetPortal1", "Session1", "LUN0"}));
  EXPECT_EQ(IMA_GetLuProperties(oid(IMA_OBJECT_TYPE_LU, second + "/LUN0"), &p), IMA_ERROR_INVALID_PARAMETER);
}

// An LHBA's LUNs go into one list of at most 1024 ids: the default
// target's two and 255 on each of four more fill it; one more is refused
// whole.
TEST_F(ImaTargetsTest, LuListOfAnLhbaIsBounded) {
  for (const int last : {2, 3}) {
    SCOPED_TRACE(last);
    std::string lines;
    for (int t = 1; t <= 5; ++t) {
      const std::string name = "iqn.2026-12.com.example:bulk" + std::to_string(t);
      lines += "target name=" + name + " portal=192.168.10." + std::to_string(70 + t) + "/3260/1 logged-in=0\n";
      lines += "lun target=" + name + " id=0 count=" + std::to_string(t < 5 ? 255 : last) + "\n";
    }
    reopen_with(lines);
    const IMA_OID lhba0 = oid(IMA_OBJECT_TYPE_LHBA, kLhba0);
    if (last == 2) {
      const std::vector<std::string> all = list_of(IMA_GetLuOidList, lhba0);
      ASSERT_EQ(all.size(), 1024u);
      EXPECT_EQ(all.back(), "10 " + std::string(kLhba0) + "/Target5/LUN1");
    } else {
      list_of(IMA_GetLuOidList, lhba0, IMA_ERROR_FAILED);
      EXPECT_EQ(
          list_of(IMA_GetLuOidList, oid(IMA_OBJECT_TYPE_TARGET, std::string(kLhba0) + "/Target5/TargetPortal0")).size(),
          3u);
    }
  }
}

TEST_F(ImaTargetsTest, ReportLunsIsNotSupportedAfterItsChecks) {
  const IMA_OID target = oid(IMA_OBJECT_TYPE_TARGET, kTarget + "/TargetPortal0");
  IMA_BYTE out[64], sense[32];
  IMA_UINT length = sizeof out, zero = 0, sense_length = sizeof sense;
  const std::pair<IMA_STATUS, IMA_STATUS> rows[] = {
      {IMA_LuReportLuns(target, 0, 0, out, &length, sense, &sense_length), IMA_ERROR_NOT_SUPPORTED},
      {IMA_LuReportLuns(target, 2, 0, out, &length, sense, &sense_length), IMA_ERROR_INVALID_PARAMETER},
      {IMA_LuReportLuns(target, 1, 0, nullptr, &length, sense, &sense_length), IMA_ERROR_INVALID_PARAMETER},
      {IMA_LuReportLuns(target, 1, 0, out, nullptr, sense, &sense_length), IMA_ERROR_INVALID_PARAMETER},
      {IMA_LuReportLuns(target, 1, 0, out, &zero, sense, &sense_length), IMA_ERROR_INVALID_PARAMETER},
      {IMA_LuReportLuns(target, 1, 0, out, &length, nullptr, &sense_length), IMA_ERROR_INVALID_PARAMETER},
      {IMA_LuReportLuns(lhba(), 1, 0, out, &length, sense, &sense_length), IMA_ERROR_INCORRECT_OBJECT_TYPE},
  };
  for (size_t i = 0; i < std::size(rows); ++i) EXPECT_EQ(rows[i].first, rows[i].second) << i;
}

TEST_F(ImaTargetsTest, SessionAndConnectionOfTheLiveLogin) {
  const IMA_OID lhba0 = oid(IMA_OBJECT_TYPE_LHBA, kLhba0);
  const IMA_OID target = oid(IMA_OBJECT_TYPE_TARGET, kTarget + "/TargetPortal0");
  const std::vector<std::string> sessions = {"14 " + kTarget + "/Session0"};
  EXPECT_EQ(list_of(IMA_GetSessionOidList, lhba0), sessions);
  EXPECT_EQ(list_of(IMA_GetSessionOidList, target), sessions);
  const IMA_OID session = oid(IMA_OBJECT_TYPE_SESSION, kTarget + "/Session0");
  EXPECT_EQ(list_of(IMA_GetConnectionOidList, session),
            std::vector<std::string>({"13 " + kTarget + "/Session0/Connection0"}));

  // Every byte of the session record, as the firmware's session gives it.
  IMA_SESSION_PROPERTIES expected = {};
  expected.lhbaOid = lhba0;
  expected.targetOid = target;
  expected.authMethod = IMA_AUTHMETHOD_NONE;
  expected.dataPduInOrder = expected.dataSequenceInOrder = expected.immediateData = expected.initialR2T = 1;
  expected.defaultTime2Retain = 20;
  expected.defaultTime2Wait = 2;
  expected.firstBurstLength = 8192;
  const uint8_t isid[] = {0x80, 0x0e, 0x1e, 0, 0, 0};
  memcpy(expected.isid, isid, sizeof isid);
  expected.maxBurstLength = 262144;
  expected.maxConnections = expected.maxOutstandingR2T = 1;
  expected.targetPortalGroupTag = 1;
  expected.tsih = static_cast<uint16_t>(std::stoi(get(kTarget + "/Session0/SessionTSIH")));
  ASSERT_EQ(get(kTarget + "/Session0/ISID"), "800e1e000000");
  IMA_SESSION_PROPERTIES p = sentinel<IMA_SESSION_PROPERTIES>();
  ASSERT_EQ(IMA_GetSessionProperties(session, &p), 0u);
  EXPECT_EQ(memcmp(&p, &expected, sizeof p), 0);
  EXPECT_EQ(IMA_GetSessionProperties(target, &p), IMA_ERROR_INCORRECT_OBJECT_TYPE);
  // A status that cannot be read fails the list: none is handed out.
  fail_mailbox(6, 14, 1).times = 100;
  list_of(IMA_GetSessionOidList, lhba0, IMA_ERROR_INVALID_PARAMETER);
  sim_->clear_faults();

  const IMA_OID connection = oid(IMA_OBJECT_TYPE_CONNECTION, kTarget + "/Session0/Connection0");
  IMA_CONNECTION_PROPERTIES c = sentinel<IMA_CONNECTION_PROPERTIES>();
  ASSERT_EQ(IMA_GetConnectionProperties(connection, &c), 0u);
  EXPECT_EQ(entry(c.sessionOid), "14 " + kTarget + "/Session0");
  EXPECT_EQ(c.connectionId, 1);
  const uint32_t s = kSentinel * 0x01010101u;  // the words the host's record keeps
  // Digests none, IF marker 0, its interval kept, the segment lengths, OF marker 0, its interval kept.
  EXPECT_EQ(words(c, 20, sizeof c), std::vector<uint32_t>({0, 0, 0, s, 65536, 65536, 0, s}));
  EXPECT_TRUE(untouched(c, 18, 20));

  IMA_CONNECTION_STATUS st = sentinel<IMA_CONNECTION_STATUS>();
  ASSERT_EQ(IMA_VMW_GetConnectionStatus(connection, &st), 0u);
  EXPECT_EQ(st.state, 4u);
  EXPECT_EQ(std::to_string(st.sourceValid) + ipv4(st.source) + " " + std::to_string(st.destinationValid) +
                ipv4(st.destination) + " " + std::to_string(st.redirectedDestinationValid) +
                ipv4(st.redirectedDestination),
            "11:192.168.10.21 11:192.168.10.50 11:192.168.10.50");
  // An IPv4 address fills four bytes; the other twelve are written 0.
  EXPECT_EQ(std::vector<uint8_t>(st.source.ipAddress + 4, st.source.ipAddress + 16), std::vector<uint8_t>(12, 0));
}

// Only open sessions reach the host; the boot flags come from every one.
TEST_F(ImaTargetsTest, ClosedSessionsAreNotListed) {
  reopen_with("target name=iqn.2026-12.com.example:idle portal=192.168.10.60/3260/2 persistent=0\n");
  const std::string idle = std::string(kLhba0) + "/Target1";
  ASSERT_EQ(get(idle + "/TargetISCSIName"), "iqn.2026-12.com.example:idle");
  ASSERT_EQ(get(idle + "/Session0/SessionStatus"), "Closed");
  EXPECT_EQ(list_of(IMA_GetSessionOidList, oid(IMA_OBJECT_TYPE_LHBA, kLhba0)),
            std::vector<std::string>({"14 " + kTarget + "/Session0"}));
  EXPECT_TRUE(list_of(IMA_GetSessionOidList, oid(IMA_OBJECT_TYPE_TARGET, idle + "/TargetPortal0")).empty());
  IMA_UINT32 flags[3] = {7, 7, 7};
  const IMA_OID target = oid(IMA_OBJECT_TYPE_TARGET, idle + "/TargetPortal0");
  ASSERT_EQ(IMA_VMW_GetInternalConfigData(target, 4, flags, 2), 0u);
  EXPECT_EQ(std::vector<IMA_UINT32>(flags, flags + 3), std::vector<IMA_UINT32>({0, 7, 7}));
  EXPECT_EQ(IMA_VMW_GetInternalConfigData(target, 3, flags, 2), IMA_ERROR_NOT_SUPPORTED);
  EXPECT_EQ(IMA_VMW_GetInternalConfigData(oid(IMA_OBJECT_TYPE_LHBA, kLhba0), 4, flags, 2),
            IMA_ERROR_INVALID_PARAMETER);
}

// A target with two portals, logged in on the first: the host closes a
// session by its id and opens the missing ones, each portal by its own
// address.
TEST_F(ImaTargetsTest, SessionsOpenedAndClosedByTheHost) {
  reopen_with("target name=iqn.2026-12.com.example:twin portal=192.168.10.52/3260/1,192.168.10.53/3260/2 "
              "logged-in=0\n");
  const std::string twin = std::string(kLhba0) + "/Target1";
  ASSERT_EQ(get(twin + "/TargetISCSIName"), "iqn.2026-12.com.example:twin");
  const IMA_OID target = oid(IMA_OBJECT_TYPE_TARGET, twin + "/TargetPortal0");
  const auto destinations = [&] {
    std::vector<std::string> out;
    for (const std::string& session : children(twin, TAVO_KIND_GROUP))
      if (session.rfind("Session", 0) == 0)
        out.push_back(session + ":" + get(twin + "/" + session + "/SessionStatus") + ":" +
                      get(twin + "/" + session + "/Connection0/DestinationIPAddress"));
    return out;
  };
  const std::vector<std::string> both = {"Session0:Open:192.168.10.52", "Session1:Open:192.168.10.53"};
  ASSERT_EQ(destinations(), both);
  // The session the id names is the one logged out, not the lowest.
  ASSERT_EQ(IMA_VMW_RemoveSession(oid(IMA_OBJECT_TYPE_SESSION, twin + "/Session1")), 0u);
  EXPECT_EQ(destinations(), std::vector<std::string>({"Session0:Open:192.168.10.52"}));
  // Only the portal without a live session gets one.
  ASSERT_EQ(IMA_VMW_AddSession(target), 0u);
  EXPECT_EQ(destinations(), both);
  // A target id closes one session at a time.
  ASSERT_EQ(IMA_VMW_RemoveSession(target), 0u);
  EXPECT_EQ(destinations(), std::vector<std::string>({"Session1:Open:192.168.10.53"}));
  ASSERT_EQ(IMA_VMW_RemoveSession(target), 0u);
  EXPECT_TRUE(destinations().empty());
  // Without any session, each portal is logged in to by its own address.
  ASSERT_EQ(IMA_VMW_AddSession(oid(IMA_OBJECT_TYPE_LHBA, kLhba0)), 0u);
  EXPECT_EQ(destinations(), both);
  // A session id opens one more session to where its connection went.
  ASSERT_EQ(IMA_VMW_AddSession(oid(IMA_OBJECT_TYPE_SESSION, twin + "/Session1")), 0u);
  EXPECT_EQ(destinations().back(), "Session2:Open:192.168.10.53");
  // A logout the firmware refuses reaches the host as a failure.
  fail_mailbox(6, 24, 1).times = 100;
  EXPECT_EQ(IMA_VMW_RemoveSession(oid(IMA_OBJECT_TYPE_SESSION, twin + "/Session2")), IMA_ERROR_INVALID_PARAMETER);
}

// A login that fails beside a target's live session is the host's answer,
// not only a line in the log.
TEST_F(ImaTargetsTest, AFailedLoginBesideALiveSessionIsReported) {
  reopen_with("target name=iqn.2026-12.com.example:twin portal=192.168.10.52/3260/1,192.168.10.53/3260/2 "
              "logged-in=0\n");
  const std::string twin = std::string(kLhba0) + "/Target1";
  ASSERT_EQ(get(twin + "/TargetISCSIName"), "iqn.2026-12.com.example:twin");
  ASSERT_EQ(IMA_VMW_RemoveSession(oid(IMA_OBJECT_TYPE_SESSION, twin + "/Session1")), 0u);
  fail_mailbox(6, 23, 1).times = 100;
  EXPECT_EQ(IMA_VMW_AddSession(oid(IMA_OBJECT_TYPE_TARGET, twin + "/TargetPortal0")), IMA_ERROR_INVALID_PARAMETER);
  EXPECT_NE(ima_log().find("IMA_check_session_status:Login Failed\n"), std::string::npos);
}

// An LHBA id walks every target: one whose CHAP login is refused is the
// answer, and the targets after it still get their sessions.
TEST_F(ImaTargetsTest, AnLhbaLoginTriesEveryTarget) {
  reopen_with(
      "target name=iqn.2026-12.com.example:vault portal=192.168.10.60/3260 chap=vaultuser/vaultsecret12\n"
      "target name=iqn.2026-12.com.example:a portal=192.168.10.61/3260\n"
      "target name=iqn.2026-12.com.example:b portal=192.168.10.62/3260\n");
  struct Row {
    std::vector<std::string> targets;  // in the order they are added
    IMA_STATUS answer;
  } rows[] = {
      {{"vault", "a", "b"}, IMA_ERROR_INVALID_PARAMETER},
      {{"a", "vault", "b"}, IMA_ERROR_INVALID_PARAMETER},
      {{"a", "b", "vault"}, IMA_ERROR_INVALID_PARAMETER},
      {{"a", "b"}, IMA_STATUS_SUCCESS},
  };
  const char* address[] = {"192.168.10.60", "192.168.10.61", "192.168.10.62"};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.targets[0] + "," + r.targets[1]);
    for (const std::string& t : r.targets) {
      const int i = t == "vault" ? 0 : t == "a" ? 1 : 2;
      ASSERT_EQ(act(kL + "/AddTarget", {"iqn.2026-12.com.example:" + t, address[i]}), 0u);
    }
    EXPECT_EQ(IMA_VMW_AddSession(lhba()), r.answer);
    for (size_t n = 0; n < r.targets.size(); ++n) {
      const std::string target = kL + "/Target" + std::to_string(n);
      const bool open = r.targets[n] != "vault";
      EXPECT_EQ(get(target + "/Session0/SessionStatus") == "Open", open) << r.targets[n];
    }
    // The logout walk, too, reaches every target.
    IMA_VMW_RemoveSession(lhba());
    for (size_t n = 0; n < r.targets.size(); ++n)
      ASSERT_EQ(act(kL + "/DeleteTarget", {std::to_string(n)}), 0u) << n << last_status().second;
  }
}

}  // namespace
}  // namespace tavo::test
