// CHAP as the host sets and reads it on an initiator, a discovery address
// and a target: method lists, one-way and mutual credentials, what the
// tree and the saved lines then hold, and that no secret reaches a log.
#include <functional>

#include "tests/iscsimgt/plugins/cvima/ima_fixture.h"

namespace tavo::test {
namespace {

const std::string kL = "Corvane0/iSCSIPhysicalHBA1/LogicalHBA0";
constexpr char kVault[] = "iqn.2026-12.com.example:vault";
constexpr IMA_AUTHMETHOD N = IMA_AUTHMETHOD_NONE, C = IMA_AUTHMETHOD_CHAP;
constexpr char kDefaults[] = "One-Way CHAP,,,corvane,quillharborpine,";

struct Object {
  IMA_OBJECT_TYPE type;
  std::string id, auth, file;
};

// The network also holds a target behind two portals that asks for CHAP.
class ImaAuthTest : public ImaTest {
 protected:
  ImaAuthTest()
      : ImaTest(std::string(sim::default_topology_text()) + "target name=" + kVault +
                " portal=192.168.10.60/3260,192.168.10.61/3260 chap=vaultuser/vaultsecret12\n") {}
  // A static target (Target0) and a discovery address, on a function
  // without targets.
  void SetUp() override {
    ImaTest::SetUp();
    ASSERT_EQ(act(kL + "/AddTarget", {"iqn.2026-12.com.example:static", "10.9.9.9"}), 0u);
    ASSERT_EQ(act(kL + "/Discovery/AddSendTargetPortal", {"192.168.10.50", "3260"}), 0u);
  }
  const std::vector<Object> objects = {
      {IMA_OBJECT_TYPE_LHBA, kL, kL + "/InitiatorLoginOptions/Authentication/", "intr_logopts.txt"},
      {IMA_OBJECT_TYPE_DISCOVERY_ADDRESS, kL + "/Discovery/SendTargetPortal0",
       kL + "/Discovery/SendTargetPortal0/SendTargetPortalLoginOptions/Authentication/", "savestp.txt"},
      {IMA_OBJECT_TYPE_TARGET, kL + "/Target0/TargetPortal0", kL + "/Target0/TargetLoginOptions/Authentication/",
       "savetgt.txt"},
  };
  IMA_OID id(const Object& o) { return oid(o.type, o.id); }
  // The six CHAP values of an Authentication group, comma-joined.
  std::string chap(const std::string& auth) {
    std::string out;
    for (const char* p : {"AuthenticationMethod", "InitiatorCHAPName", "InitiatorSecret", "TargetCHAPName",
                          "TargetSecret", "CHAPParam"})
      out += (out.empty() ? "" : ",") + get(auth + p);
    return out;
  }
  std::string saved(const std::string& name) { return read_file(root_.at("/etc/config/QVL/tavo/" + name)); }
  std::vector<IMA_AUTHMETHOD> in_use(const IMA_OID& o, bool standard = false) {
    IMA_UINT count = 9;
    IMA_AUTHMETHOD m[2] = {9, 9};
    EXPECT_EQ(standard ? IMA_GetInUseInitiatorAuthMethods(o, &count, m)
                       : IMA_VMW_GetInUseInitiatorLocalAuthMethods(o, &count, m),
              0u);
    return std::vector<IMA_AUTHMETHOD>(m, m + (count <= 2 ? count : 0));
  }
  // A record held by the fixture, for calls that take its address.
  const IMA_INITIATOR_AUTHPARMS* parms(const std::string& name, const std::string& secret, uint32_t level) {
    held_ = record(name, secret, level);
    return &held_;
  }
  IMA_INITIATOR_AUTHPARMS held_;
  static IMA_INITIATOR_AUTHPARMS record(const std::string& name, const std::string& secret, uint32_t level) {
    IMA_INITIATOR_AUTHPARMS r = {};
    memcpy(r.chapParms.name, name.c_str(), name.size());
    memcpy(r.chapParms.challengeSecret, secret.c_str(), secret.size());
    r.chapParms.chapLevel = level;
    return r;
  }
  // A record as the plug-in should fill it: every other byte zero.
  static IMA_INITIATOR_AUTHPARMS filled(const std::string& name, uint32_t name_length, const std::string& secret,
                                        uint32_t secret_length, std::vector<uint32_t> retries_min_max_level) {
    IMA_INITIATOR_AUTHPARMS r = record(name, secret, retries_min_max_level[3]);
    r.chapParms.nameLength = name_length;
    r.chapParms.challengeSecretLength = secret_length;
    r.chapParms.retries = retries_min_max_level[0];
    r.chapParms.minValueLength = retries_min_max_level[1];
    r.chapParms.maxValueLength = retries_min_max_level[2];
    return r;
  }
  static bool same(const IMA_INITIATOR_AUTHPARMS& a, const IMA_INITIATOR_AUTHPARMS& b) {
    return memcmp(&a, &b, sizeof a) == 0;
  }
};

TEST_F(ImaAuthTest, MethodListsSwitchChapOnEachObject) {
  // Each list from the state the row before left.
  const struct {
    std::vector<IMA_AUTHMETHOD> list;
    std::string values;
  } rows[] = {
      {{N, C}, std::string(kDefaults) + "Discouraged"},
      {{C, N}, std::string(kDefaults) + "Preferred"},
      {{C}, std::string(kDefaults) + "Required"},
      {{N}, "None,,,,,Prohibited"},
      {{N}, "None,,,,,Prohibited"},
  };
  for (const Object& o : objects) {
    SCOPED_TRACE(o.id);
    for (const auto& r : rows) {
      ASSERT_EQ(IMA_VMW_SetInitiatorAuthMethods(id(o), static_cast<IMA_UINT>(r.list.size()), r.list.data()), 0u);
      EXPECT_EQ(chap(o.auth), r.values);
      EXPECT_EQ(in_use(id(o)), r.list);
    }
    ASSERT_EQ(IMA_VMW_SetInitiatorAuthMethods(id(o), 1, &C), 0u);
    EXPECT_NE(saved(o.file).find(kDefaults), std::string::npos);  // the owner's line took it
  }
  // The standard calls serve the initiator alone.
  const IMA_AUTHMETHOD list[] = {C, N};
  EXPECT_EQ(IMA_SetInitiatorAuthMethods(id(objects[0]), 2, list), 0u);
  EXPECT_EQ(in_use(id(objects[0]), true), std::vector<IMA_AUTHMETHOD>(list, list + 2));
  EXPECT_EQ(IMA_SetInitiatorAuthMethods(id(objects[2]), 2, list), IMA_ERROR_INCORRECT_OBJECT_TYPE);
}

TEST_F(ImaAuthTest, RefusedMethodListsChangeNothing) {
  const IMA_OID lhba = id(objects[0]);
  const IMA_AUTHMETHOD three[] = {N, C, N}, twice[] = {C, C}, none_twice[] = {N, N}, srp[] = {2};
  const std::pair<IMA_UINT, const IMA_AUTHMETHOD*> refused[] = {
      {3, three}, {2, twice}, {2, none_twice}, {1, srp}, {0, three}, {1, nullptr}};
  for (const auto& [count, list] : refused) {
    EXPECT_EQ(IMA_VMW_SetInitiatorAuthMethods(lhba, count, list), IMA_ERROR_INVALID_PARAMETER) << count;
    EXPECT_EQ(IMA_SetInitiatorAuthMethods(lhba, count, list), IMA_ERROR_INVALID_PARAMETER) << count;
  }
  // The standard call judges its list before the id, the other the id first.
  IMA_OID wrong = lhba;
  wrong.objectType = 16;
  EXPECT_EQ(IMA_SetInitiatorAuthMethods(wrong, 3, three), IMA_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(IMA_VMW_SetInitiatorAuthMethods(wrong, 3, three), IMA_ERROR_INCORRECT_OBJECT_TYPE);
  // Under mutual CHAP no list but NONE is taken.
  const IMA_INITIATOR_AUTHPARMS mutual = record("host", "hostsecret123", 4);
  ASSERT_EQ(IMA_VMW_SetInitiatorAuthMethods(lhba, 1, &C), 0u);
  ASSERT_EQ(IMA_AddLhbaMutualAuthParms(lhba, C, &mutual), 0u);
  const std::string before = chap(objects[0].auth);
  EXPECT_EQ(before, "Mutual CHAP,host,hostsecret123,corvane,quillharborpine,Required");
  EXPECT_EQ(IMA_VMW_SetInitiatorAuthMethods(lhba, 2, twice + 0), IMA_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(IMA_VMW_SetInitiatorAuthMethods(lhba, 1, &C), IMA_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(chap(objects[0].auth), before);
  EXPECT_EQ(in_use(lhba), std::vector<IMA_AUTHMETHOD>({C}));
}

TEST_F(ImaAuthTest, SupportedMethodsFillTheCapacity) {
  for (IMA_UINT capacity : {0u, 1u, 2u, 5u}) {
    IMA_UINT count = capacity;
    IMA_AUTHMETHOD m[5] = {9, 9, 9, 9, 9};
    ASSERT_EQ(IMA_VMW_GetSupportedAuthMethods(id(objects[2]), 1, &count, m), 0u);
    EXPECT_EQ(std::vector<IMA_AUTHMETHOD>(m, m + 3),
              (std::vector<IMA_AUTHMETHOD>{capacity > 0 ? N : 9, capacity > 1 ? C : 9, 9}));
    EXPECT_EQ(count, capacity < 2 ? capacity : 2);
  }
  IMA_UINT count = 2;
  IMA_AUTHMETHOD m[2];
  EXPECT_EQ(IMA_GetSupportedAuthMethods(id(objects[0]), 0, &count, m), 0u);
  EXPECT_EQ(IMA_GetSupportedAuthMethods(id(objects[0]), 2, &count, m), IMA_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(IMA_GetSupportedAuthMethods(id(objects[1]), 0, &count, m), IMA_ERROR_INCORRECT_OBJECT_TYPE);
  EXPECT_EQ(IMA_VMW_GetSupportedAuthMethods(id(objects[1]), 0, nullptr, m), IMA_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(IMA_VMW_GetSupportedMutualAuthMethods(id(objects[1]), 0, &count, m), IMA_ERROR_NOT_SUPPORTED);
  EXPECT_EQ(IMA_VMW_SetMutualAuthMethods(id(objects[1]), 1, &N), IMA_ERROR_NOT_SUPPORTED);
}

TEST_F(ImaAuthTest, OneWayCredentialsRoundTrip) {
  const IMA_INITIATOR_AUTHPARMS in = record("tuser", "tsecret123456", 3);
  for (const Object& o : objects) {
    SCOPED_TRACE(o.id);
    ASSERT_EQ(IMA_VMW_SetInitiatorAuthParms(id(o), N, &in), 0u);
    EXPECT_EQ(chap(o.auth), "One-Way CHAP,,,tuser,tsecret123456,Preferred");
    IMA_INITIATOR_AUTHPARMS out = sentinel<IMA_INITIATOR_AUTHPARMS>();
    ASSERT_EQ(IMA_GetInitiatorAuthParms(id(o), C, &out), 0u);
    EXPECT_TRUE(same(out, filled("tuser", 5, "tsecret123456", 13, {0, 0, 256, 0})));
    // Mutual parameters of a one-way object: the level word alone.
    ASSERT_EQ(IMA_VMW_GetMutualAuthParms(id(o), C, &out), 0u);
    EXPECT_TRUE(same(out, filled("", 0, "", 0, {0, 0, 0, 1})));
    if (o.type != IMA_OBJECT_TYPE_LHBA) {
      IMA_BOOL enabled = 9;
      ASSERT_EQ(IMA_GetInitiatorLocalAuthParms(id(o), C, &out, &enabled), 0u);
      EXPECT_EQ(enabled, 1u);
      EXPECT_TRUE(same(out, filled("tuser", 256, "tsecret123456", 256, {3, 12, 18, 0})));
      ASSERT_EQ(IMA_SetInitiatorLocalAuthParms(id(o), C, &in, 1), 0u);
      EXPECT_EQ(chap(o.auth), "One-Way CHAP,,,tuser,tsecret123456,Required");  // no level: the action's own
    }
    const IMA_INITIATOR_AUTHPARMS off = record("", "", 1);
    ASSERT_EQ(IMA_VMW_SetInitiatorAuthParms(id(o), C, &off), 0u);
    EXPECT_EQ(chap(o.auth), "None,,,,,Prohibited");
    ASSERT_EQ(IMA_GetInitiatorAuthParms(id(o), C, &out), 0u);
    EXPECT_TRUE(same(out, IMA_INITIATOR_AUTHPARMS{}));
  }
}

TEST_F(ImaAuthTest, SecretLengthsAndRefusedArguments) {
  const IMA_OID lhba = id(objects[0]), target = id(objects[2]);
  const IMA_INITIATOR_AUTHPARMS short11 = record("u", "abcdefghijk", 4), long17 = record("u", "abcdefghijklmnopq", 4),
                                hex = record("u", "0x00112233445566778899aabb", 4);
  IMA_INITIATOR_AUTHPARMS out;
  IMA_BOOL enabled;
  IMA_INITIATOR_AUTHPARMS_LIST* list = nullptr;
  const std::pair<IMA_STATUS, IMA_STATUS> rows[] = {
      {IMA_VMW_SetInitiatorAuthParms(target, C, &short11), IMA_ERROR_INVALID_PARAMETER},
      {IMA_VMW_SetInitiatorAuthParms(target, C, &long17), IMA_ERROR_INVALID_PARAMETER},
      {IMA_VMW_SetInitiatorAuthParms(target, C, &hex), IMA_ERROR_INVALID_PARAMETER},
      {IMA_SetInitiatorLocalAuthParms(target, C, &long17, 1), IMA_ERROR_INVALID_PARAMETER},
      {IMA_AddLhbaMutualAuthParms(lhba, C, &short11), IMA_ERROR_INVALID_PARAMETER},
      {IMA_VMW_SetMutualAuthParms(target, C, &long17), IMA_ERROR_INVALID_PARAMETER},
      {IMA_VMW_SetInitiatorAuthParms(target, 2, &hex), IMA_ERROR_INVALID_PARAMETER},
      {IMA_GetInitiatorAuthParms(target, N, &out), IMA_ERROR_INVALID_PARAMETER},
      {IMA_GetInitiatorAuthParms(target, C, nullptr), IMA_ERROR_INVALID_PARAMETER},
      {IMA_GetInitiatorLocalAuthParms(target, C, &out, nullptr), IMA_ERROR_INVALID_PARAMETER},
      {IMA_GetInitiatorLocalAuthParms(lhba, C, &out, &enabled), IMA_ERROR_INCORRECT_OBJECT_TYPE},
      {IMA_RemoveLhbaMutualAuthParms(lhba, C, nullptr), IMA_ERROR_INVALID_PARAMETER},
      {IMA_GetLhbaMutualAuthParmsList(target, C, &list), IMA_ERROR_INCORRECT_OBJECT_TYPE},
      {IMA_SetMutualLocalAuth(target, N, 1), IMA_ERROR_INVALID_PARAMETER},
      // Method NONE on the standard setter: success, nothing changed.
      {IMA_SetInitiatorAuthParms(lhba, N, &long17), IMA_STATUS_SUCCESS},
  };
  for (size_t i = 0; i < std::size(rows); ++i) EXPECT_EQ(rows[i].first, rows[i].second) << i;
  EXPECT_EQ(list, nullptr);
  for (const Object& o : objects) EXPECT_EQ(chap(o.auth), "None,,,,,Prohibited") << o.id;
  // The standard setter leaves the length to the action, which takes a
  // hexadecimal secret and refuses a long one with its own reason.
  ASSERT_EQ(IMA_SetInitiatorAuthParms(lhba, C, &hex), 0u);
  EXPECT_EQ(chap(objects[0].auth), "One-Way CHAP,,,u,0x00112233445566778899aabb,Required");
  EXPECT_EQ(IMA_SetInitiatorAuthParms(lhba, C, &long17), IMA_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(last_status().second, "TargetSecret: Number of characters should be from 12 to 16.");
}

TEST_F(ImaAuthTest, MutualCredentialsRoundTrip) {
  const IMA_OID lhba = id(objects[0]);
  const IMA_INITIATOR_AUTHPARMS host = record("host", "hostsecret123", 3);
  // Mutual CHAP needs one-way credentials first.
  EXPECT_EQ(IMA_AddLhbaMutualAuthParms(lhba, C, &host), IMA_ERROR_INVALID_PARAMETER);
  ASSERT_EQ(IMA_VMW_SetInitiatorAuthParms(lhba, C, parms("tuser", "tsecret123456", 4)), 0u);
  ASSERT_EQ(IMA_AddLhbaMutualAuthParms(lhba, C, &host), 0u);
  EXPECT_EQ(chap(objects[0].auth), "Mutual CHAP,host,hostsecret123,tuser,tsecret123456,Preferred");
  IMA_INITIATOR_AUTHPARMS_LIST* list = nullptr;
  ASSERT_EQ(IMA_GetLhbaMutualAuthParmsList(lhba, C, &list), 0u);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->count, 1u);
  EXPECT_TRUE(same(list->parms[0], filled("host", 4, "hostsecret123", 13, {0, 0, 256, 0})));
  EXPECT_EQ(IMA_FreeMemory(list), 0u);
  IMA_INITIATOR_AUTHPARMS out = sentinel<IMA_INITIATOR_AUTHPARMS>();
  ASSERT_EQ(IMA_VMW_GetMutualAuthParms(lhba, C, &out), 0u);
  EXPECT_TRUE(same(out, filled("host", 4, "hostsecret123", 13, {3, 12, 16, 3})));
  ASSERT_EQ(IMA_GetInitiatorAuthParms(lhba, C, &out), 0u);  // one-way only
  EXPECT_TRUE(same(out, IMA_INITIATOR_AUTHPARMS{}));
  ASSERT_EQ(IMA_RemoveLhbaMutualAuthParms(lhba, C, &host), 0u);
  EXPECT_EQ(chap(objects[0].auth), "One-Way CHAP,,,tuser,tsecret123456,Preferred");  // one-way stays

  // A target and a discovery address: defaults for the target's side, or
  // what it holds; level 1 of the host's call turns mutual CHAP off.
  for (const Object& o : {objects[1], objects[2]}) {
    SCOPED_TRACE(o.id);
    ASSERT_EQ(IMA_SetMutualLocalAuthParms(id(o), C, &host, 1), 0u);
    EXPECT_EQ(chap(o.auth), "Mutual CHAP,host,hostsecret123,corvane,quillharborpine,Required");
    ASSERT_EQ(IMA_GetMutualLocalAuthParms(id(o), C, &out), 0u);
    EXPECT_TRUE(same(out, filled("host", 4, "hostsecret123", 13, {3, 12, 16, 0})));
    EXPECT_EQ(IMA_VMW_SetMutualAuthParms(id(o), C, parms("", "", 1)), 0u);
    EXPECT_EQ(chap(o.auth), "One-Way CHAP,,,corvane,quillharborpine,Required");
    ASSERT_EQ(IMA_VMW_SetMutualAuthParms(id(o), C, parms("other", "othersecret12", 2)), 0u);
    EXPECT_EQ(chap(o.auth), "Mutual CHAP,other,othersecret12,corvane,quillharborpine,Discouraged");
    // Under mutual CHAP the default set is refused; off is always taken.
    EXPECT_EQ(IMA_SetMutualLocalAuth(id(o), C, 1), IMA_ERROR_INVALID_PARAMETER);
    ASSERT_EQ(IMA_SetMutualLocalAuth(id(o), C, 0), 0u);
    EXPECT_EQ(chap(o.auth), "One-Way CHAP,,,corvane,quillharborpine,Discouraged");
  }
}

// Each way of turning mutual CHAP off leaves one-way CHAP as it was (so a
// target that asks for CHAP takes the next login); without mutual CHAP it
// changes nothing.
TEST_F(ImaAuthTest, TurningMutualOffKeepsOneWayChap) {
  ASSERT_EQ(act(kL + "/AddTarget", {kVault, "192.168.10.60"}), 0u);
  const Object vault = {IMA_OBJECT_TYPE_TARGET, kL + "/Target1/TargetPortal0",
                        kL + "/Target1/TargetLoginOptions/Authentication/", "savetgt.txt"};
  const IMA_INITIATOR_AUTHPARMS host = record("host", "hostsecret123", 4), off = record("", "", 1);
  const std::string one_way = "One-Way CHAP,,,vaultuser,vaultsecret12,Required";
  const struct Row {
    const Object& object;
    bool mutual;  // on before the call
    std::function<IMA_STATUS(const IMA_OID&)> turn_off;
  } rows[] = {
      {objects[0], true, [&](const IMA_OID& o) { return IMA_RemoveLhbaMutualAuthParms(o, C, &host); }},
      {objects[1], true, [&](const IMA_OID& o) { return IMA_VMW_SetMutualAuthParms(o, C, &off); }},
      {vault, true, [&](const IMA_OID& o) { return IMA_SetMutualLocalAuthParms(o, C, &host, 0); }},
      {vault, true, [&](const IMA_OID& o) { return IMA_SetMutualLocalAuth(o, C, 0); }},
      {vault, false, [&](const IMA_OID& o) { return IMA_SetMutualLocalAuth(o, C, 0); }},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.object.id);
    ASSERT_EQ(IMA_VMW_SetInitiatorAuthParms(id(r.object), C, parms("vaultuser", "vaultsecret12", 4)), 0u);
    ASSERT_EQ(r.mutual ? IMA_VMW_SetMutualAuthParms(id(r.object), C, &host) : 0u, 0u);
    ASSERT_EQ(r.turn_off(id(r.object)), 0u);
    EXPECT_EQ(chap(r.object.auth), one_way);
    if (&r.object != &vault) continue;
    ASSERT_EQ(act(kL + "/Target1/Login", {"192.168.10.60", "3260"}), 0u) << last_status().second;
    ASSERT_EQ(act(kL + "/Target1/Logout", {"0"}), 0u) << last_status().second;
  }
}

TEST_F(ImaAuthTest, MutualListIsHandedOutOnlyWhenFilled) {
  const IMA_OID lhba = id(objects[0]);
  ASSERT_EQ(IMA_VMW_SetInitiatorAuthMethods(lhba, 1, &C), 0u);
  // The saved line cannot be looked at by the first, second or third read.
  for (int skip = 0; skip < 3; ++skip) {
    sim::Fault unreadable;
    unreadable.kind = sim::FaultKind::FileErrno;
    unreadable.file_call = "stat";
    unreadable.path_contains = "intr_logopts.txt";
    unreadable.skip = skip;
    unreadable.times = -1;
    sim_->inject(unreadable);
    IMA_INITIATOR_AUTHPARMS_LIST* list = nullptr;
    EXPECT_EQ(IMA_GetLhbaMutualAuthParmsList(lhba, C, &list), IMA_ERROR_INVALID_PARAMETER) << skip;
    EXPECT_EQ(list, nullptr);
    sim_->clear_faults();
  }
}

TEST_F(ImaAuthTest, TargetReadsTheCredentialsItsSessionLoggedInWith) {
  ASSERT_EQ(act(kL + "/AddTarget", {kVault, "192.168.10.60"}), 0u);
  const std::string target = kL + "/Target1";
  ASSERT_EQ(act(target + "/AddTargetPortal", {"192.168.10.61"}), 0u);
  const IMA_OID portal1 = oid(IMA_OBJECT_TYPE_STATIC_DISCOVERY_TARGET, target + "/TargetPortal1");
  ASSERT_EQ(IMA_VMW_SetInitiatorAuthParms(portal1, C, parms("vaultuser", "vaultsecret12", 4)), 0u);
  ASSERT_EQ(act(target + "/Login", {"192.168.10.60", "3260"}), 0u) << last_status().second;
  // New credentials for the next login; the open session keeps its own.
  ASSERT_EQ(IMA_VMW_SetInitiatorAuthParms(portal1, C, parms("nextuser", "nextsecret123", 2)), 0u);

  IMA_INITIATOR_AUTHPARMS out;
  IMA_BOOL enabled = 0;
  ASSERT_EQ(IMA_GetInitiatorAuthParms(portal1, C, &out), 0u);
  EXPECT_TRUE(same(out, filled("nextuser", 8, "nextsecret123", 13, {0, 0, 256, 0})));
  ASSERT_EQ(IMA_GetInitiatorLocalAuthParms(portal1, C, &out, &enabled), 0u);
  EXPECT_EQ(enabled, 1u);
  EXPECT_TRUE(same(out, filled("vaultuser", 256, "vaultsecret12", 256, {3, 12, 18, 0})));
  // The session's method with the target's own level, Discouraged.
  EXPECT_EQ(in_use(portal1), std::vector<IMA_AUTHMETHOD>({N, C}));
  ASSERT_EQ(IMA_SetInitiatorLocalAuthParms(portal1, C, parms("", "", 0), 0), 0u);
  EXPECT_EQ(in_use(portal1), std::vector<IMA_AUTHMETHOD>({N}));  // Prohibited
}

TEST_F(ImaAuthTest, NoSecretReachesEitherLog) {
  ASSERT_EQ(set("TAVODebugLevel", "6"), 0u);
  ASSERT_EQ(act(kL + "/AddTarget", {kVault, "192.168.10.60"}), 0u);
  const IMA_OID target = oid(IMA_OBJECT_TYPE_TARGET, kL + "/Target1/TargetPortal0");
  const IMA_OID lhba = oid(IMA_OBJECT_TYPE_LHBA, kL);
  ASSERT_EQ(IMA_VMW_SetInitiatorAuthParms(target, C, parms("vaultuser", "vaultsecret12", 4)), 0u);
  ASSERT_EQ(IMA_VMW_AddSession(target), 0u);
  EXPECT_EQ(get(kL + "/Target1/Session0/SessionStatus"), "Open");
  ASSERT_EQ(IMA_VMW_SetInitiatorAuthMethods(lhba, 1, &C), 0u);
  ASSERT_EQ(IMA_AddLhbaMutualAuthParms(lhba, C, parms("host", "hostsecret123", 4)), 0u);
  EXPECT_NE(IMA_SetInitiatorAuthParms(lhba, C, parms("u", "refusedsecret1234", 4)), 0u);
  ASSERT_EQ(IMA_SetMutualLocalAuthParms(id(objects[1]), C, parms("host", "discsecret1234", 1), 1), 0u);
  EXPECT_EQ(act(kL + "/Discovery/SendTargetPortal0/DiscoverTargets"), 0u) << last_status().second;
  IMA_INITIATOR_AUTHPARMS out;
  IMA_BOOL enabled;
  ASSERT_EQ(IMA_GetInitiatorLocalAuthParms(target, C, &out, &enabled), 0u);
  ASSERT_EQ(IMA_VMW_GetMutualAuthParms(lhba, C, &out), 0u);
  const std::string logs[] = {ima_log(), debug_log()};
  EXPECT_FALSE(logs[0].empty());
  EXPECT_FALSE(logs[1].empty());
  for (const char* secret : {"vaultsecret12", "quillharborpine", "hostsecret123", "refusedsecret1234", "discsecret1234"})
    for (const std::string& log : logs) EXPECT_EQ(log.find(secret), std::string::npos) << secret;
}

}  // namespace
}  // namespace tavo::test
