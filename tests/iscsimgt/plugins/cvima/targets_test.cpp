// Targets, LUs, sessions and connections as the host lists and reads them,
// and the sessions it opens and closes.
#include "tests/iscsimgt/plugins/cvima/ima_fixture.h"

namespace tavo::test {
namespace {

const std::string kL = kLhba0;
constexpr char kStore[] = "iqn.2026-12.com.example:store0";

class ImaTargetsTest : public ImaTest {
 protected:
  template <typename Call>
  std::vector<std::string> list_of(Call call, const IMA_OID& id, IMA_STATUS expected = 0) {
    IMA_OID_LIST* list = nullptr;
    EXPECT_EQ(call(id, &list), expected);
    if (expected != 0) {
      EXPECT_EQ(list, nullptr);
    }
    return entries(list);
  }
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
  EXPECT_EQ(list_of(IMA_VMW_GetTargetOidList, oid(IMA_OBJECT_TYPE_LNP, "Corvane0/iSCSIPhysicalHBA0")), expected);
  EXPECT_TRUE(list_of(IMA_GetTargetOidList, oid(IMA_OBJECT_TYPE_LNP, "Corvane0/iSCSIPhysicalHBA1")).empty());
  list_of(IMA_GetTargetOidList, oid(IMA_OBJECT_TYPE_PHBA, "Corvane0/iSCSIPhysicalHBA0"),
          IMA_ERROR_INCORRECT_OBJECT_TYPE);
}

TEST_F(ImaTargetsTest, TargetProperties) {
  ASSERT_EQ(act(kL + "/Discovery/AddSendTargetPortal", {"192.168.10.50", "3260"}), 0u);
  ASSERT_EQ(act(kL + "/Discovery/SendTargetPortal0/DiscoverTargets"), 0u);
  ASSERT_EQ(act(kL + "/AddTarget", {"iqn.2026-12.com.example:static", "10.9.9.9"}), 0u);
  struct Row {
    std::string target, name;
    uint32_t flags;
  } rows[] = {{"Target0", kStore, IMA_TARGET_DISCOVERY_METHOD_SENDTARGETS},
              {"Target1", "iqn.2026-12.com.example:static", IMA_TARGET_DISCOVERY_METHOD_STATIC}};
  for (const Row& r : rows) {
    IMA_TARGET_PROPERTIES p = sentinel<IMA_TARGET_PROPERTIES>();
    ASSERT_EQ(IMA_GetTargetProperties(oid(IMA_OBJECT_TYPE_TARGET, kL + "/" + r.target + "/TargetPortal0"), &p), 0u);
    EXPECT_EQ(entry(p.associatedNodeOid), "2 Corvane0/iSCSIPhysicalHBA0");
    EXPECT_EQ(entry(p.associatedLhbaOid), "3 " + kL);
    EXPECT_EQ(narrow(p.name), r.name);
    EXPECT_EQ(narrow(p.alias), get(kL + "/" + r.target + "/TargetAlias"));
    EXPECT_EQ(p.name[IMA_NODE_NAME_LENGTH - 1], 0);  // the rest of the field is cleared
    EXPECT_EQ(p.discoveryMethodFlags, r.flags);
    EXPECT_EQ(p.sendTargetsDiscoverySettable, 0u);
    EXPECT_EQ(p.sendTargetsDiscoveryEnabled, 1u);
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
  const IMA_OID other_lhba = oid(IMA_OBJECT_TYPE_LHBA, "Corvane0/iSCSIPhysicalHBA1/LogicalHBA0");
  sim_->clear_log();
  EXPECT_EQ(IMA_VMW_AddSession(other_lhba), 0u);
  EXPECT_EQ(IMA_VMW_RemoveSession(other_lhba), 0u);
  EXPECT_EQ(IMA_VMW_RemoveSession(target), 0u);  // no session to close
  EXPECT_TRUE(sim_->mailbox_log().empty());
}

TEST_F(ImaTargetsTest, ReportLunsIsNotSupportedAfterItsChecks) {
  ASSERT_EQ(act(kL + "/AddTarget", {kStore, "192.168.10.50"}), 0u);
  const IMA_OID target = oid(IMA_OBJECT_TYPE_TARGET, kL + "/Target0/TargetPortal0");
  IMA_BYTE output[64], sense[32];
  IMA_UINT length = sizeof output, zero = 0, sense_length = sizeof sense;
  struct Row {
    IMA_OID id;
    IMA_BOOL flag;
    IMA_BYTE* output;
    IMA_UINT* length;
    IMA_BYTE* sense;
    IMA_STATUS expected;
  } rows[] = {
      {target, 0, output, &length, sense, IMA_ERROR_NOT_SUPPORTED},
      {target, 2, output, &length, sense, IMA_ERROR_INVALID_PARAMETER},
      {target, 1, nullptr, &length, sense, IMA_ERROR_INVALID_PARAMETER},
      {target, 1, output, nullptr, sense, IMA_ERROR_INVALID_PARAMETER},
      {target, 1, output, &zero, sense, IMA_ERROR_INVALID_PARAMETER},
      {target, 1, output, &length, nullptr, IMA_ERROR_INVALID_PARAMETER},
      {lhba(), 1, output, &length, sense, IMA_ERROR_INCORRECT_OBJECT_TYPE},
  };
  for (size_t i = 0; i < std::size(rows); ++i) {
    const Row& r = rows[i];
    EXPECT_EQ(IMA_LuReportLuns(r.id, r.flag, 0, r.output, r.length, r.sense, &sense_length), r.expected) << i;
  }
}

}  // namespace
}  // namespace tavo::test
