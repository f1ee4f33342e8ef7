// Login parameters as the host reads and sets them: the initiator's
// defaults whatever the object, the object's own yes/no options and
// digests, and the setters it may not use.
#include "tests/iscsimgt/plugins/cvima/ima_fixture.h"
#include "tree/tree.h"

namespace tavo::test {
namespace {

const std::string kL = "Corvane0/iSCSIPhysicalHBA1/LogicalHBA0";
constexpr IMA_DIGEST_TYPE N = IMA_DIGEST_NONE, C = IMA_DIGEST_CRC32C;

class ImaLoginParamsTest : public ImaTest {
 protected:
  void SetUp() override {
    ImaTest::SetUp();
    ASSERT_EQ(act(kL + "/AddTarget", {"iqn.2026-12.com.example:static", "10.9.9.9"}), 0u);
    ASSERT_EQ(act(kL + "/Discovery/AddSendTargetPortal", {"192.168.10.50", "3260"}), 0u);
  }
  IMA_OID lhba() { return oid(IMA_OBJECT_TYPE_LHBA, kL); }
  IMA_OID target() { return oid(IMA_OBJECT_TYPE_TARGET, kL + "/Target0/TargetPortal0"); }
  IMA_OID address() { return oid(IMA_OBJECT_TYPE_DISCOVERY_ADDRESS, kL + "/Discovery/SendTargetPortal0"); }
  std::vector<uint32_t> digests(IMA_STATUS (*call)(IMA_OID, IMA_UINT*, IMA_DIGEST_TYPE*), const IMA_OID& id) {
    IMA_UINT count = 9;
    IMA_DIGEST_TYPE list[2] = {9, 9};
    EXPECT_EQ(call(id, &count, list), 0u);
    return {count, list[0], list[1]};
  }
};

TEST_F(ImaLoginParamsTest, NumbersAreTheInitiatorDefaultsForEveryObject) {
  // The initiator's defaults differ from what a target's own options say.
  TavoNode* defaults = get_node(tag(kL + "/InitiatorDefaultLoginOptions"));
  ASSERT_EQ(set_prop_val(defaults, "MaxBurstLength", "%s", "131072"), 0u);
  const std::pair<IMA_STATUS (*)(IMA_OID, IMA_MIN_MAX_VALUE*), uint32_t> rows[] = {
      {IMA_GetDefaultTime2RetainProperties, 20}, {IMA_GetDefaultTime2WaitProperties, 2},
      {IMA_GetErrorRecoveryLevelProperties, 0},  {IMA_GetFirstBurstLengthProperties, 8192},
      {IMA_GetMaxBurstLengthProperties, 131072}, {IMA_GetMaxOutstandingR2TProperties, 1},
      {IMA_GetMaxRecvDataSegmentLengthProperties, 65536}, {IMA_GetMaxConnectionsProperties, 1},
  };
  for (const IMA_OID& id : {lhba(), target(), address()}) {
    for (const auto& [call, value] : rows) {
      IMA_MIN_MAX_VALUE v = sentinel<IMA_MIN_MAX_VALUE>();
      ASSERT_EQ(call(id, &v), 0u) << id.objectType << " " << value;
      EXPECT_EQ(words(v, 0, sizeof v), std::vector<uint32_t>({1, 0, value, 0, 0, 0, 0}));
    }
  }
  IMA_MIN_MAX_VALUE v = sentinel<IMA_MIN_MAX_VALUE>();
  EXPECT_EQ(IMA_GetMaxBurstLengthProperties(oid(IMA_OBJECT_TYPE_PHBA, "Corvane0/iSCSIPhysicalHBA1"), &v),
            IMA_ERROR_INCORRECT_OBJECT_TYPE);
  EXPECT_EQ(words(v, 0, sizeof v), std::vector<uint32_t>(7, 0));  // cleared before the id test
  EXPECT_EQ(IMA_GetMaxBurstLengthProperties(lhba(), nullptr), IMA_ERROR_INVALID_PARAMETER);
}

TEST_F(ImaLoginParamsTest, YesNoValues) {
  ASSERT_EQ(IMA_SetImmediateData(target(), 0), 0u);
  EXPECT_EQ(get(kL + "/Target0/TargetLoginOptions/ImmediateData"), "No");
  ASSERT_EQ(IMA_SetImmediateData(lhba(), 1), 0u);
  EXPECT_EQ(get(kL + "/InitiatorLoginOptions/ImmediateData"), "Yes");
  // valid, settable, current, default
  const struct {
    IMA_STATUS (*call)(IMA_OID, IMA_BOOL_VALUE*);
    IMA_OID id;
    std::vector<uint32_t> value;
  } rows[] = {
      {IMA_GetImmediateDataProperties, target(), {1, 1, 0, 1}},
      {IMA_GetImmediateDataProperties, lhba(), {1, 1, 1, 1}},
      {IMA_GetInitialR2TProperties, address(), {1, 0, 1, 0}},
      {IMA_GetDataPduInOrderProperties, target(), {1, 0, 1, 0}},
      {IMA_GetDataSequenceInOrderProperties, address(), {1, 0, 1, 0}},
  };
  for (const auto& r : rows) {
    IMA_BOOL_VALUE v = sentinel<IMA_BOOL_VALUE>();
    ASSERT_EQ(r.call(r.id, &v), 0u);
    EXPECT_EQ(words(v, 0, sizeof v), r.value) << r.id.objectType;
  }
}

TEST_F(ImaLoginParamsTest, DigestsFollowTheirLevel) {
  const IMA_DIGEST_TYPE on[] = {C, N}, off[] = {N, C};
  const std::string t = kL + "/Target0/TargetLoginOptions/";
  ASSERT_EQ(IMA_SetDataDigestValues(target(), 2, on), 0u);
  EXPECT_EQ(get(t + "DataDigest") + "," + get(t + "DataParam"), "CRC32C,Preferred");
  EXPECT_EQ(digests(IMA_VMW_GetDataDigest, target()), std::vector<uint32_t>({2, C, N}));
  EXPECT_EQ(digests(IMA_VMW_GetHeaderDigest, target()), std::vector<uint32_t>({1, N, 9}));
  ASSERT_EQ(IMA_SetDataDigestValues(target(), 2, off), 0u);  // the first entry counts
  EXPECT_EQ(get(t + "DataDigest") + "," + get(t + "DataParam"), "None,Prohibited");
  const std::string a = kL + "/Discovery/SendTargetPortal0/SendTargetPortalLoginOptions/";
  ASSERT_EQ(IMA_VMW_SetHeaderDigest(address(), 1, on), 0u);
  EXPECT_EQ(get(a + "HeaderDigest") + "," + get(a + "HeaderParam"), "CRC32C,Preferred");
  EXPECT_NE(read_file(root_.at("/etc/config/QVL/tavo/savestp.txt")).find(",CRC32C,"), std::string::npos);
  EXPECT_EQ(digests(IMA_VMW_GetHeaderDigest, address()), std::vector<uint32_t>({2, C, N}));
  IMA_DIGEST_PROPERTIES both = sentinel<IMA_DIGEST_PROPERTIES>();
  ASSERT_EQ(IMA_GetDigestProperties(address(), &both), 0u);
  EXPECT_EQ(words(both, 0, sizeof both), std::vector<uint32_t>({1, 1}));
}

TEST_F(ImaLoginParamsTest, RefusedAndUnsupportedSetters) {
  const IMA_DIGEST_TYPE on[] = {C};
  IMA_MARKER_VALUE marker = sentinel<IMA_MARKER_VALUE>();
  IMA_UINT count;
  const std::pair<IMA_STATUS, IMA_STATUS> rows[] = {
      {IMA_SetImmediateData(target(), 2), IMA_ERROR_INVALID_PARAMETER},
      {IMA_SetImmediateData(address(), 1), IMA_ERROR_INCORRECT_OBJECT_TYPE},
      {IMA_SetInitialR2T(lhba(), 1), IMA_ERROR_NOT_SUPPORTED},
      {IMA_SetInitialR2T(lhba(), 2), IMA_ERROR_INVALID_PARAMETER},
      {IMA_SetDataPduInOrder(address(), 2), IMA_ERROR_INVALID_PARAMETER},  // the value before the id
      {IMA_SetDataSequenceInOrder(address(), 0), IMA_ERROR_INCORRECT_OBJECT_TYPE},
      {IMA_SetMaxBurstLength(target(), 65536), IMA_ERROR_NOT_SUPPORTED},
      {IMA_SetOFMarkIntProperties(address(), 1), IMA_ERROR_INCORRECT_OBJECT_TYPE},
      {IMA_SetDataDigestValues(address(), 1, on), IMA_ERROR_INCORRECT_OBJECT_TYPE},
      {IMA_VMW_SetDataDigest(address(), 0, on), IMA_ERROR_INVALID_PARAMETER},
      {IMA_VMW_SetDataDigest(address(), 1, nullptr), IMA_ERROR_INVALID_PARAMETER},
      {IMA_VMW_GetDataDigest(address(), &count, nullptr), IMA_ERROR_INVALID_PARAMETER},
      {IMA_GetIFMarkerProperties(target(), &marker), IMA_ERROR_NOT_SUPPORTED},
      {IMA_GetOFMarkIntProperties(address(), &marker), IMA_ERROR_INCORRECT_OBJECT_TYPE},
  };
  for (size_t i = 0; i < std::size(rows); ++i) EXPECT_EQ(rows[i].first, rows[i].second) << i;
  EXPECT_EQ(words(marker, 0, sizeof marker), std::vector<uint32_t>(4, 0));
  EXPECT_EQ(get(kL + "/Target0/TargetLoginOptions/ImmediateData"), "Yes");
  EXPECT_EQ(get(kL + "/Discovery/SendTargetPortal0/SendTargetPortalLoginOptions/DataDigest"), "None");
}

}  // namespace
}  // namespace tavo::test
