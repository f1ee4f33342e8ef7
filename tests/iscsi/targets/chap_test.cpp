// CHAP of the three login option sets: the checks and their texts, what
// reaches the saved lines, in one rewrite, and what is refused whole.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/iscsi/targets/targets_fixture.h"

namespace tavo::test {
namespace {

using Status = std::pair<uint32_t, std::string>;

const std::string kInitiatorAuth = std::string(kLhba) + "/InitiatorLoginOptions/Authentication";
const std::string kTargetAuth = std::string(kLhba) + "/Target0/TargetLoginOptions/Authentication";

class ChapTest : public NetworkTargetsTest {
 protected:
  std::vector<std::string> values(const std::string& auth) {
    std::vector<std::string> v;
    for (const char* p : {"AuthenticationMethod", "InitiatorCHAPName", "InitiatorSecret", "TargetCHAPName",
                          "TargetSecret", "CHAPParam"})
      v.push_back(get(auth + "/" + p));
    return v;
  }
};

TEST_F(ChapTest, ConfigureChapChecks) {
  const Status ok{0, ""};
  const std::string hex24 = "0x0123456789abcdefABCDEF01";
  struct Row {
    std::vector<std::string> params;
    uint32_t result;
    Status status;
  } rows[] = {
      {{"Mutual CHAP", "", "", "t", "tsecret12345"}, 1, targets_text(138)},
      {{"One-Way CHAP", "", "", "t", "tsecret1234567890"},
       1,
       {8, "TargetSecret: Number of characters should be from 12 to 16."}},
      {{"One-Way CHAP", "", "", "t", hex24}, 0, ok},
      {{"One-Way CHAP", "", "", "t", hex24 + "2"}, 1, {6, "Invalid value. Odd number of characters are not allowed."}},
      {{"One-Way CHAP", "", "", "t", hex24.substr(0, 24)},
       1,
       {8, "TargetSecret: Number of characters should be from 24 to 32."}},
      {{"One-Way CHAP", "", "", "t", "0x0123456789abcdefABCDEFg1"},
       1,
       {6, "Invalid value. The valid values are 0-9, a-f and A-F."}},
      {{"One-Way CHAP", "", "", "t", "0123456789ab"}, 0, ok},  // "0" alone is no hex prefix
      {{"Mutual CHAP", "i", "isecret1234", "t", "tsecret12345"},
       1,
       {8, "InitiatorSecret: Number of characters should be from 12 to 16."}},
      {{"Mutual CHAP", "i", "tsecret12345", "t", "tsecret12345"}, 1, targets_text(38)},
      {{"One-Way CHAP", "", "tsecret12345", "t", "tsecret12345"}, 1, targets_text(38)},
      {{"One-Way CHAP", "i", "isecret123456", "t", "tsecret12345"}, 0, targets_text(137)},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.params[0] + " " + r.params[2] + " " + r.params[4]);
    const std::string before = saved("intr_logopts.txt");
    EXPECT_EQ(act(kInitiatorAuth + "/ConfigureCHAP", r.params), r.result);
    EXPECT_EQ(last_status(), r.status);
    if (r.result != 0) {
      EXPECT_EQ(saved("intr_logopts.txt"), before);  // a refusal changes nothing
    }
  }
  // The notice's ignored values are stored empty; no level means Required.
  EXPECT_EQ(values(kInitiatorAuth),
            (std::vector<std::string>{"One-Way CHAP", "", "", "t", "tsecret12345", "Required"}));
  EXPECT_EQ(saved("intr_logopts.txt")
                .rfind(std::string(kKey) + ",Yes,Yes,None,None,One-Way CHAP,,,t,tsecret12345,Required,Prohibited,"
                                           "Prohibited\n",
                       0),
            0u);
}

TEST_F(ChapTest, ChapReachesEveryLineOfItsOwner) {
  ASSERT_EQ(act(std::string(kLhba) + "/AddTarget", {"iqn.t1", "10.0.0.9"}), 0u);
  ASSERT_EQ(act(std::string(kLhba) + "/Target0/AddTargetPortal", {"10.0.0.10"}), 0u);
  const std::string session = std::string(kKey) +
                              ",iqn.t1,10.0.0.9,3260,7,iqn.hx,Yes,Yes,None,None,None,,,,,Static,"
                              "Prohibited,Prohibited,Prohibited,True";
  put_saved("savetgt.txt", saved("savetgt.txt") + session + "\n");
  // A write that fails changes neither the file nor the values shown.
  const std::string unchanged = saved("savetgt.txt");
  sim::Fault first_rename;
  first_rename.kind = sim::FaultKind::FileErrno;
  first_rename.file_call = "rename";
  first_rename.path_contains = "savetgt.txt";
  sim_->inject(first_rename);
  EXPECT_EQ(act(kTargetAuth + "/ConfigureCHAP", {"One-Way CHAP", "", "", "tgt", "tsecret12345"}), 1u);
  EXPECT_EQ(last_status().second.rfind("Failed to save /etc/config/QVL/tavo/savetgt.txt", 0), 0u);
  EXPECT_EQ(saved("savetgt.txt"), unchanged);
  EXPECT_EQ(values(kTargetAuth), (std::vector<std::string>{"None", "", "", "", "", "Prohibited"}));
  // Both lines of the target take the values, and its closed sessions are
  // persisted again with them, in one rewrite of the file.
  sim::Fault second_rename;
  second_rename.kind = sim::FaultKind::FileErrno;
  second_rename.file_call = "rename";
  second_rename.path_contains = "savetgt.txt";
  second_rename.skip = 1;
  second_rename.times = -1;
  sim_->inject(second_rename);
  ASSERT_EQ(
      act(kTargetAuth + "/ConfigureCHAP", {"Mutual CHAP", "ini", "isecret123456", "tgt", "tsecret12345", "Preferred"}),
      0u);
  sim_->clear_faults();
  const std::string chap =
      ",iqn.hx,Yes,Yes,None,None,Mutual CHAP,ini,isecret123456,tgt,tsecret12345,Static,Preferred,"
      "Prohibited,Prohibited,True";
  EXPECT_EQ(portal_lines(), (std::vector<std::string>{std::string(kKey) + ",iqn.t1,10.0.0.9,3260," + chap,
                                                      std::string(kKey) + ",iqn.t1,10.0.0.10,3260," + chap}));
  // The sessions the firmware holds carry the new values; a line of no
  // session stays as it was.
  EXPECT_EQ(session_lines(), (std::vector<std::string>{session, std::string(kKey) + ",iqn.t1,10.0.0.9,3260,2" + chap,
                                                      std::string(kKey) + ",iqn.t1,10.0.0.10,3260,3" + chap}));
  EXPECT_EQ(values(kTargetAuth),
            (std::vector<std::string>{"Mutual CHAP", "ini", "isecret123456", "tgt", "tsecret12345", "Preferred"}));
  ASSERT_EQ(act(kTargetAuth + "/DeleteCHAP"), 0u);
  EXPECT_EQ(values(kTargetAuth), (std::vector<std::string>{"None", "", "", "", "", "Prohibited"}));
  EXPECT_EQ(target_lines()[0], std::string(kKey) +
                                   ",iqn.t1,10.0.0.9,3260,,iqn.hx,Yes,Yes,None,None,None,,,,,Static,"
                                   "Prohibited,Prohibited,Prohibited,True");
  // A value that would make a line longer than the files allow is refused
  // whole, however it comes.
  const std::string before = saved("savetgt.txt");
  TavoNode* target = node(std::string(kLhba) + "/Target0");
  EXPECT_EQ(TAVO_set_target_loginoptions(target, nullptr, nullptr, "TargetSecret", std::string(3000, 's').c_str()), 1u);
  EXPECT_EQ(last_status().first, 8u);
  EXPECT_EQ(saved("savetgt.txt"), before);
}

}  // namespace
}  // namespace tavo::test
