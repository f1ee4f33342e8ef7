// The plug-in frame as the host meets it: opening and closing the tree,
// object ids, status mapping, the small text helpers, the log and the login
// parameter helpers.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <tuple>

#include "tests/iscsimgt/plugins/cvima/ima_fixture.h"
#include "tree/tree.h"

namespace tavo::test {
namespace {

using ImaFrameTest = ImaTest;

TEST_F(ImaFrameTest, OpensAreCountedAndOnlyTheLastCloseReleasesTheTree) {
  ASSERT_EQ(IMA_VMW_PluginInit(kOwner + 1), 0u);
  EXPECT_EQ(MyOwnerId, kOwner + 1);  // a later init's owner id counts
  IMA_VMW_PluginCleanup();
  EXPECT_NE(get_node(0), nullptr);
  IMA_VMW_PluginCleanup();
  EXPECT_EQ(get_node(0), nullptr);
  EXPECT_EQ(tree_opened, 0u);
  IMA_VMW_PluginCleanup();  // nothing left to close
  EXPECT_EQ(open_count, 0);
  ASSERT_EQ(IMA_VMW_PluginInit(kOwner), 0u);
  EXPECT_NE(get_node(0), nullptr);
  EXPECT_EQ(tree_opened, 1u);
}

// A failed TAVO_init still counts as open and is not retried, but its
// close leaves alone the tree another client of the process opened.
TEST_F(ImaFrameTest, CloseAfterAFailedInitLeavesOtherClientsTheTree) {
  IMA_VMW_PluginCleanup();
  setenv("TAVO_SIMULATOR", "/nonexistent/topology.txt", 1);
  platform::install_host(nullptr);
  EXPECT_EQ(IMA_VMW_PluginInit(kOwner), 0u);
  EXPECT_EQ(tree_opened, 1u);
  EXPECT_NE(ima_log().find("TAVO_init status is 1\n"), std::string::npos);
  unsetenv("TAVO_SIMULATOR");
  std::string error;
  sim_ = sim::install("default", root_.path(), &error);
  ASSERT_NE(sim_, nullptr) << error;
  ASSERT_EQ(IMA_VMW_PluginInit(kOwner), 0u);
  EXPECT_EQ(get_node(0), nullptr);  // not retried
  ASSERT_EQ(TAVO_init(), 0u);       // another client
  IMA_VMW_PluginCleanup();
  IMA_VMW_PluginCleanup();
  EXPECT_NE(get_node(0), nullptr);
  EXPECT_EQ(TAVO_exit(), 0u);
  ASSERT_EQ(IMA_VMW_PluginInit(kOwner), 0u);
}

TEST_F(ImaFrameTest, ObjectIdChecks) {
  const uint32_t all = 0xFFFF;
  const std::string lhba = kLhba0;
  struct Row {
    uint32_t type;
    std::string path;
    uint32_t owner, accepted, expected;
  } rows[] = {
      {3, lhba, kOwner, all, 0},
      {0, lhba, kOwner, all, IMA_ERROR_INVALID_OBJECT_TYPE},
      {17, lhba, kOwner, all, IMA_ERROR_INVALID_OBJECT_TYPE},
      {16, lhba, kOwner, all, IMA_ERROR_INCORRECT_OBJECT_TYPE},
      {2, lhba + "/InitiatoriSCSIName", kOwner, all, IMA_ERROR_INCORRECT_OBJECT_TYPE},
      {6, lhba, kOwner, all, IMA_ERROR_INCORRECT_OBJECT_TYPE},
      {3, lhba, kOwner, 1u << 4, IMA_ERROR_INCORRECT_OBJECT_TYPE},
      {3, lhba, kOwner + 1, all, IMA_ERROR_OBJECT_NOT_FOUND},
      {4, lhba, kOwner, all, IMA_ERROR_OBJECT_NOT_FOUND},
      {3, lhba + "/Enabled", kOwner, all, IMA_ERROR_OBJECT_NOT_FOUND},  // a property
      {3, "Corvane1/NICPhysicalHBA0/NICLogicalHBA0", kOwner, all, 0},  // the word is a substring
      {4, "Corvane0/iSCSIPhysicalHBA1", kOwner, all, 0},
      {5, "Corvane0/iSCSIPhysicalHBA0/Network/TCPIPConfiguration", kOwner, all, 0},
      {8, "Corvane0/iSCSIPhysicalHBA0/Network/NICConfiguration", kOwner, all, 0},
      // A target id names a portal: a Target's own tag has LogicalHBA above it.
      {9, lhba + "/Discovery", kOwner, all, IMA_ERROR_OBJECT_NOT_FOUND},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::to_string(r.type) + " " + r.path);
    const uint32_t node = tag(r.path);
    ASSERT_NE(node, kNoTag);
    EXPECT_EQ(CheckParameters(r.type, r.owner, node, 0, r.accepted), r.expected);
  }
  EXPECT_EQ(CheckParameters(3, kOwner, 0x7FFFFF, 0, all), IMA_ERROR_OBJECT_NOT_FOUND);  // no such tag
  // The high word is the tag's sign and is not judged.
  EXPECT_EQ(CheckParameters(3, kOwner, tag(lhba), 0xFFFFFFFF, all), 0u);
  // An id whose group is gone is not found.
  ASSERT_EQ(act(lhba + "/Discovery/AddSendTargetPortal", {"192.168.10.50", "3260"}), 0u);
  const IMA_OID stale = oid(IMA_OBJECT_TYPE_DISCOVERY_ADDRESS, lhba + "/Discovery/SendTargetPortal0");
  ASSERT_EQ(IMA_RemoveDiscoveryAddress(stale), 0u);
  EXPECT_EQ(IMA_RemoveDiscoveryAddress(stale), IMA_ERROR_OBJECT_NOT_FOUND);
  EXPECT_EQ(IMA_GetTargetOidList(oid(IMA_OBJECT_TYPE_LHBA, lhba), nullptr), IMA_ERROR_INVALID_PARAMETER);
}

TEST_F(ImaFrameTest, CheckSupportedParameterLevelJudgesTheTypeOnly) {
  std::string answers;  // any owner, any tag
  for (uint32_t type = 0; type <= 17; ++type)
    answers += std::to_string(IMA_VMW_CheckSupportedParameterLevel(IMA_OID{type, kOwner + 7, 0x7FFFFF}) & 0xF);
  EXPECT_EQ(answers, "122020200020022221");  // 0 success, 1 invalid type, 2 incorrect type
}

TEST_F(ImaFrameTest, ErrorCheckNeverTurnsAFailureIntoSuccess) {
  const std::pair<uint32_t, uint32_t> rows[] = {
      {0, 0},
      {1, IMA_ERROR_INVALID_PARAMETER},
      {0xFFFFFFFF, IMA_ERROR_OBJECT_NOT_FOUND},
      {6, IMA_ERROR_INVALID_PARAMETER},
      {11, IMA_ERROR_INVALID_PARAMETER},
      {115, IMA_ERROR_INVALID_PARAMETER},
      {IMA_ERROR_CONVERSION_FAILED, IMA_ERROR_CONVERSION_FAILED},
      {IMA_ERROR_INCORRECT_OBJECT_TYPE, IMA_ERROR_INCORRECT_OBJECT_TYPE},
  };
  for (const auto& [status, expected] : rows) EXPECT_EQ(ErrorCheck(status), expected) << status;
  EXPECT_NE(ima_log().find("in Error check and failed in TAVO\n"), std::string::npos);
}

TEST_F(ImaFrameTest, HexAndAddressTexts) {
  const std::tuple<std::string, int, std::vector<uint8_t>> rows[] = {  // text, most bytes, eight bytes after
      {"0001000000000000", 8, {0, 1, 0, 0, 0, 0, 0, 0}},
      {"abc", 8, {0xAB, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}},  // an odd last digit is ignored
      {"0102030405060708090a", 8, {1, 2, 3, 4, 5, 6, 7, 8}},
      {"ffff", 0, std::vector<uint8_t>(8, 0xEE)},
  };
  for (const auto& [text, most, expected] : rows) {
    std::vector<uint8_t> bytes(8, 0xEE);
    EXPECT_EQ(Covert_Hex_To_Bin(bytes.data(), text.c_str(), static_cast<int32_t>(text.size()), most), 0u);
    EXPECT_EQ(bytes, expected) << text;
  }
  EXPECT_EQ(Covert_Hex_To_Bin(nullptr, "00", 2, 1), IMA_ERROR_FAILED);
  IMA_IP_ADDRESS address = {0, {0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}};
  char text[TAVO_VALUE_SIZE];
  EXPECT_EQ(IMA_copy_ipv6_addr(text, &address), 0u);
  EXPECT_STREQ(text, "fe80:0000:0000:0000:0000:0000:0000:0001");
}

// Every exported helper that takes a pointer answers its failure for a
// null one instead of following it.
TEST_F(ImaFrameTest, HelpersAnswerNullPointers) {
  const uint32_t lhba = tag(kLhba0), target = tag(std::string(kLhba0) + "/Target0");
  char text[TAVO_VALUE_SIZE];
  uint32_t tags[TAVO_MAX_INSTANCES], count = 0;
  const IMA_WCHAR wide_a[] = {'a', 0};
  const uint32_t units_a[] = {'a', 0};
  const int64_t kInvalid = IMA_ERROR_INVALID_PARAMETER;
  testing::internal::CaptureStdout();
  const std::pair<int64_t, int64_t> rows[] = {  // the answer, the failure expected
      {GetTavoPropertyVal(lhba, "Enabled", nullptr), kInvalid},
      {GetTavoVal(lhba, nullptr, "ImmediateData", text), kInvalid},
      {SetTavoPropertyVal(lhba, "InitiatorLoginOptions", "ImmediateData", nullptr), kInvalid},
      {Tavo_Get_Child_Tags(lhba, "Target", nullptr, &count), kInvalid},
      {Tavo_Get_TargetPortal_Tags(nullptr, tags, 1, &count), kInvalid},
      {Get_Target_tag(target, nullptr), 1},
      {IMA_copy_ipv6_addr(nullptr, nullptr), kInvalid},
      {check_session(&target, 1, nullptr, "3260"), 0},
      {Sample_Iscsi_ToWide(nullptr, "a", 8), kInvalid},
      {Sample_Iscsi_ToUtf8(text, nullptr, sizeof text), kInvalid},
      {Sample_Iscsi_WideLength(nullptr), -1},
      {Sample_Iscsi_WideAndUtf8Cmp(wide_a, nullptr, 1), kInvalid},
      {Iscsi_CodeSetOldGetUtf8(nullptr, nullptr, nullptr), 0},
      {Iscsi_CodeSetOldGetUtf8(text, text, nullptr), 0},  // nothing before the end
      {Iscsi_CodeSet_LengthInCodePoints(nullptr), -1},
      {Iscsi_CodeSet_UTF8ToUTF32("a", nullptr), 0},
      {Iscsi_CodeSet_UTF32ToUTF8(units_a, nullptr), 0},
  };
  testing::internal::GetCapturedStdout();
  for (size_t i = 0; i < std::size(rows); ++i) EXPECT_EQ(rows[i].first, rows[i].second) << i;
  ppdebug(nullptr);  // nothing to write
}

TEST_F(ImaFrameTest, SharedNodeIsTheFirstInitiatorName) {
  IMA_OID node = sentinel<IMA_OID>();
  ASSERT_EQ(IMA_GetSharedNodeOid(&node), 0u);
  EXPECT_EQ(entry(node), "2 " + std::string(kLhba0) + "/InitiatoriSCSIName");
  EXPECT_EQ(node.objectSequenceNumber >> 32, 0u);
  EXPECT_EQ(IMA_GetSharedNodeOid(nullptr), IMA_ERROR_INVALID_PARAMETER);
}

TEST_F(ImaFrameTest, LogAppendsLinesAsWrittenAndFollowsNoLink) {
  const std::string log = root_.at("/tmp/ima.log");
  ::unlink(log.c_str());
  ppdebug("one %d\n", 1);
  ppdebug("%s", std::string(2000, 'x').c_str());
  ppdebug("\n");
  EXPECT_EQ(ima_log(), "one 1\n" + std::string(2000, 'x') + "\n");
  struct stat st;
  ASSERT_EQ(stat(log.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0022, 0u);  // nobody else may write it
  // A link planted at the path is never followed.
  ::unlink(log.c_str());
  const std::string victim = root_.at("/victim");
  write_file(victim, "keep");
  ASSERT_EQ(symlink(victim.c_str(), log.c_str()), 0);
  ppdebug("planted\n");
  EXPECT_EQ(read_file(victim), "keep");
}

TEST_F(ImaFrameTest, LoginParameterHelpers) {
  const std::string lhba = kLhba0;
  ASSERT_EQ(set(lhba + "/InitiatorLoginOptions/ImmediateData", "No"), 0u);
  const uint32_t low = tag(lhba), s = kSentinel * 0x01010101u;
  IMA_MIN_MAX_VALUE number = sentinel<IMA_MIN_MAX_VALUE>();
  ASSERT_EQ(GetInitiatorDefaultLoginParameters(3, kOwner, low, 0, &number, "MaxBurstLength"), 0u);
  EXPECT_EQ(words(number, 0, sizeof number), std::vector<uint32_t>({1, 0, 262144, s, s, s, s}));
  EXPECT_EQ(GetInitiatorDefaultLoginParameters(3, kOwner, low, 0, &number, "NoSuchOption"),
            IMA_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(GetInitiatorDefaultLoginParameters(10, kOwner, low, 0, &number, "MaxBurstLength"),
            IMA_ERROR_INVALID_PARAMETER);  // no logical HBA for the type
  // Valid, settable, current, default.
  const std::pair<const char*, std::vector<uint32_t>> rows[] = {
      {"DataPDUInOrder", {1, 0, 1, s}}, {"InitialR2T", {1, 0, 1, s}}, {"ImmediateData", {1, 1, 0, 1}}};
  for (const auto& [name, expected] : rows) {
    IMA_BOOL_VALUE value = sentinel<IMA_BOOL_VALUE>();
    ASSERT_EQ(GetInitiatorParameters(3, kOwner, low, 0, &value, name), 0u) << name;
    EXPECT_EQ(words(value, 0, sizeof value), expected) << name;
  }
  EXPECT_NE(ima_log().find("FALSE\n"), std::string::npos);
}

}  // namespace
}  // namespace tavo::test
