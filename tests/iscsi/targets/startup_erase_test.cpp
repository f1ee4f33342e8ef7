// The LogicalHBA start-up from the saved files and the firmware (on a
// read-only root too), a restart that restores what was configured, the
// Enabled and iSNSEnabled handlers, the erase of a controller's iSCSI
// configuration (killed beside another process), and the saves' own files
// (commit records, lock links, leftovers of killed saves, files planted
// there).
#include <grp.h>
#include <gtest/gtest.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "base/root_gate.h"
#include "tests/iscsi/targets/targets_fixture.h"
#include "transport/glob.h"
#include "transport/network_records.h"

namespace tavo::test {
namespace {

using Status = std::pair<uint32_t, std::string>;

const std::string kL = kLhba;
const std::string kOther = "Corvane7,iSCSIPhysicalHBA0,LogicalHBA0";
const std::string kChapOptions = "Yes,Yes,None,None,One-Way CHAP,,,tn,tsecret12345";

std::string tgt_line(const std::string& key, const std::string& name, const std::string& address,
                     const std::string& port, const std::string& type = "Static", const std::string& level = "") {
  return key + "," + name + "," + address + "," + port + ",,iqn.hx," + kChapOptions + "," + type + "," + level +
         ",,,True\n";
}

class LhbaStartupTest : public NetworkTargetsTest {
 protected:
  void restart_client() {
    ASSERT_EQ(TAVO_exit(), 0u);
    ASSERT_EQ(TAVO_init(), 0u);
  }
  // A target, a send-target portal and an initiator option of the
  // LogicalHBA at path: a line in each saved file.
  void configure(const std::string& lhba) {
    ASSERT_EQ(act(lhba + "/AddTarget", {"iqn.t1", "10.0.0.9"}), 0u);
    ASSERT_EQ(act(lhba + "/Discovery/AddSendTargetPortal", {"10.0.0.50", "3260"}), 0u);
    ASSERT_EQ(set(lhba + "/InitiatorLoginOptions/DataDigest", "CRC32C"), 0u);
  }
  static constexpr const char* kFiles[] = {"savetgt.txt", "savestp.txt", "intr_logopts.txt"};
  // The lines of a text that begin with lead.
  static std::vector<std::string> lines_of(const std::string& text, const std::string& lead) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
      if (line.rfind(lead, 0) == 0) lines.push_back(line);
    return lines;
  }
  // The three saved files, each after its name.
  std::string files() {
    std::string all;
    for (const char* name : kFiles) all += std::string(name) + ":\n" + saved(name);
    return all;
  }
  std::vector<std::string> keep_files() {
    std::vector<std::string> kept;
    for (const char* name : kFiles) kept.push_back(saved(name));
    return kept;
  }
  void put_files(const std::vector<std::string>& kept) {
    for (size_t i = 0; i < kept.size(); ++i) put_saved(kFiles[i], kept[i]);
    // Nobody was killed in a change either: the gate's mark of one killed
    // would have the next call settle first, with file calls of its own.
    base::drop_cut_mark();
  }
  // The files as the erase leaves them, run in a child that the files keep.
  std::string files_after_erase() {
    sim::Fault none;
    none.kind = sim::FaultKind::Crash;
    none.path_contains = "no such file";
    EXPECT_EQ(in_child(none, [&] { act(kErase); }), 0);
    return files();
  }
  // Neither a temporary file nor the commit record is left.
  void expect_no_leftovers() {
    std::vector<std::string> left;
    sim_->list_directory(root_.at("/etc/config/QVL/tavo"), &left);
    for (const std::string& name : left) EXPECT_EQ(name.find(".tmp."), std::string::npos) << name;
    EXPECT_FALSE(file_exists(saved_path("iscsi_commit.txt")));
  }
  static constexpr char kErase[] = "Corvane0/iSCSIPhysicalHBA0/EraseConfiguration";
  // The ways a child reads the root without writing: a read-only bind
  // mount of it, where that can be had, and the simulator refusing every
  // call that would write. Each answers false when it cannot be had.
  struct ReadOnlyWay {
    const char* name;
    std::function<bool()> make;
  };
  std::vector<ReadOnlyWay> read_only_ways() {
    sim::Fault refused;
    refused.kind = sim::FaultKind::ReadOnly;
    refused.err = EROFS;
    refused.times = -1;
    return {{"a read-only bind mount", [this] { return root_read_only(root_.path(), true); }},
            {"every write refused", [this, refused] { return sim_->inject(refused), true; }}};
  }
  // The configuration of the LogicalHBAs a start reads, in a child (this
  // process keeps its tree) that first makes itself what way makes it;
  // "cannot" when that cannot be had.
  std::string start_in_child(const std::vector<std::string>& lhbas, const std::function<bool()>& way) {
    const std::string read = in_process([&] {
      if (!way()) return std::string("cannot");
      TAVO_exit();
      TAVO_init();
      return configuration_text(lhbas);
    });
    sim_->rewind_adapters();
    return read;
  }
  // Every value of the configuration a client sees, in tree order.
  std::vector<std::string> configuration(const std::string& lhba) {
    std::vector<std::string> v;
    auto options = [&](const std::string& group) {
      for (const std::string& p : children(group, TAVO_KIND_PROPERTY)) v.push_back(p + "=" + get(group + "/" + p));
      for (const std::string& p : children(group + "/Authentication", TAVO_KIND_PROPERTY))
        v.push_back(p + "=" + get(group + "/Authentication/" + p));
    };
    options(lhba + "/InitiatorLoginOptions");
    for (const std::string& t : instances(lhba, "Target")) {
      v.push_back(t + "=" + get(lhba + "/" + t + "/TargetISCSIName") + "," + get(lhba + "/" + t + "/TargetType"));
      for (const std::string& p : instances(lhba + "/" + t, "TargetPortal"))
        v.push_back(p + "=" + get(lhba + "/" + t + "/" + p + "/TargetIPAddress"));
      options(lhba + "/" + t + "/TargetLoginOptions");
    }
    for (const std::string& s : instances(lhba + "/Discovery", "SendTargetPortal")) {
      v.push_back(s + "=" + get(lhba + "/Discovery/" + s + "/IPAddress"));
      options(lhba + "/Discovery/" + s + "/SendTargetPortalLoginOptions");
    }
    return v;
  }
  // The same of several, a value a line.
  std::string configuration_text(const std::vector<std::string>& lhbas) {
    std::string text;
    for (const std::string& lhba : lhbas)
      for (const std::string& v : configuration(lhba)) text += v + "\n";
    return text;
  }
};

TEST_F(LhbaStartupTest, SavedLinesBuildTargetsAndPortals) {
  const std::string other = tgt_line(kOther, "iqn.o", "10.0.0.9", "0");
  // A port saved in another form than decimal is read as the tree reads a
  // number and written back in decimal; port 0 in any form is no portal.
  put_saved("savetgt.txt", tgt_line(kKey, "iqn.s1", "10.0.0.9", "3260", "", "Required") +
                               tgt_line(kKey, "iqn.s1", "10.0.0.10", "0xCBC") +
                               tgt_line(kKey, "iqn.s2", "10.0.0.9", "0x0") + tgt_line(kKey, "iqn.s3", "", "3260") +
                               other);
  // The send-target portals' ports the same way.
  const auto stp_line = [](const std::string& key, const std::string& address, const std::string& port) {
    return key + "," + address + "," + port + ",00:00:00:00:00:00," + kDefaults + "\n";
  };
  const std::string chap_stp = std::string(kKey) + ",10.0.0.50,3260,00:00:00:00:00:00," + kChapOptions + ",,,\n";
  put_saved("savestp.txt", chap_stp + stp_line(kKey, "10.0.0.51", "0xCBC") + stp_line(kKey, "10.0.0.52", "+3261") +
                               stp_line(kKey, "10.0.0.53", "0") + stp_line(kKey, "10.0.0.54", "0x0") +
                               stp_line(kOther, "10.0.0.51", "0"));
  restart_client();
  EXPECT_EQ(saved("savestp.txt"), chap_stp + stp_line(kKey, "10.0.0.51", "3260") + stp_line(kKey, "10.0.0.52", "3261") +
                                      stp_line(kOther, "10.0.0.51", "0"));
  auto unended = [](std::string s) {
    s.pop_back();
    return s;
  };
  EXPECT_EQ(target_lines(),
            (std::vector<std::string>{unended(tgt_line(kKey, "iqn.s1", "10.0.0.9", "3260", "", "Required")),
                                      unended(tgt_line(kKey, "iqn.s1", "10.0.0.10", "3260"))}));
  EXPECT_NE(saved("savetgt.txt").find(other), std::string::npos);
  EXPECT_EQ(instances(kL, "Target"), (std::vector<std::string>{"Target0"}));
  EXPECT_EQ(instances(kL + "/Target0", "TargetPortal").size(), 2u);
  EXPECT_EQ(get(kL + "/Target0/TargetPortal1/TargetPortNumber"), "3260");
  EXPECT_EQ(get(kL + "/Target0/TargetType"), "Static");  // an empty type
  EXPECT_EQ(get(kL + "/Target0/TargetLoginOptions/Authentication/TargetCHAPName"), "tn");
  EXPECT_EQ(get(kL + "/Target0/TargetLoginOptions/HeaderParam"), "Prohibited");
  const std::string stp = kL + "/Discovery/SendTargetPortal0";
  EXPECT_EQ(get(stp + "/IPAddress"), "10.0.0.50");
  EXPECT_EQ(get(stp + "/SendTargetPortalLoginOptions/Authentication/AuthenticationMethod"), "One-Way CHAP");
  EXPECT_EQ(get(stp + "/SendTargetPortalLoginOptions/Authentication/CHAPParam"), "Prohibited");
  EXPECT_EQ(instances(kL + "/Discovery", "SendTargetPortal").size(), 3u);
  EXPECT_EQ(get(kL + "/Discovery/SendTargetPortal1/PortNumber"), "3260");
  EXPECT_EQ(get(kL + "/Discovery/SendTargetPortal2/PortNumber"), "3261");
  // A stray NUL in a saved field ends the field where its C string does,
  // for the name the Target takes and the one its line is matched by.
  const std::string stray = tgt_line(kKey, std::string("iqn.s5\0x", 8), "10.0.0.9", "3260");
  put_saved("savetgt.txt", stray);
  restart_client();
  EXPECT_EQ(saved("savetgt.txt").rfind(stray, 0), 0u);
  ASSERT_EQ(instances(kL, "Target"), (std::vector<std::string>{"Target0"}));
  EXPECT_EQ(get(kL + "/Target0/TargetISCSIName"), "iqn.s5");
  EXPECT_EQ(get(kL + "/Target0/TargetPortal0/TargetIPAddress"), "10.0.0.9");
  EXPECT_EQ(get(kL + "/Target0/TargetLoginOptions/Authentication/TargetCHAPName"), "tn");
}

// Start-up writes each saved address as the tree takes it, whatever
// LogicalHBA its line is of; one written so already, or one the tree
// refuses, stays as it is.
TEST_F(LhbaStartupTest, SavedAddressesAreWrittenAsTheTreeTakesThem) {
  const std::pair<std::string, std::string> cases[] = {
      {"10.0.0.21", "10.0.0.21"},   {"010.0.0.22", "10.0.0.22"}, {"10.0.0.023", "10.0.0.23"},
      {"10.0..24", "10.0.0.24"},    {"0.0.0.0", "0.0.0.0"},      {"127.0.0.1", "127.0.0.1"},
      {"10.0.0.256", "10.0.0.256"}, {"10.0.0.25.", "10.0.0.25."}, {"10.0.0.x", "10.0.0.x"},
  };
  std::string given, taken;
  for (const auto& [from, to] : cases) {
    given += tgt_line(kOther, "iqn.a", from, "3260");
    taken += tgt_line(kOther, "iqn.a", to, "3260");
  }
  put_saved("savetgt.txt", given);
  restart_client();
  EXPECT_EQ(lines_of(saved("savetgt.txt"), kOther), lines_of(taken, kOther));
}

// Lines of one target, its name in any case, make one Target with a portal
// per address; a name is kept cut to 255 characters, and no other Target
// takes the name kept.
TEST_F(LhbaStartupTest, LinesOfOneTargetMakeOneTarget) {
  const std::string long_name = "iqn.2026-01.com.example:" + std::string(276, 'n');
  struct Case {
    std::vector<std::pair<std::string, std::string>> lines;  // name, address
    std::vector<std::pair<std::string, size_t>> targets;     // name shown, portals
  } cases[] = {
      {{{"iqn.a", "10.0.0.9"}, {"IQN.A", "10.0.0.10"}}, {{"iqn.a", 2}}},
      {{{"iqn.a", "10.0.0.9"}, {"iqn.b", "10.0.0.9"}, {"Iqn.B", "10.0.0.10"}, {"iqn.A", "10.0.0.11"}},
       {{"iqn.a", 2}, {"iqn.b", 2}}},
      {{{long_name, "10.0.0.9"}, {long_name, "10.0.0.10"}}, {{long_name.substr(0, 255), 2}}},
      // The name a Target keeps is taken: no second Target for it.
      {{{long_name, "10.0.0.9"}, {long_name.substr(0, 255), "10.0.0.10"}}, {{long_name.substr(0, 255), 1}}},
  };
  for (const Case& c : cases) {
    std::string file;
    for (const auto& [name, address] : c.lines) file += tgt_line(kKey, name, address, "3260");
    put_saved("savetgt.txt", file);
    restart_client();
    const std::vector<std::string> targets = instances(kL, "Target");
    ASSERT_EQ(targets.size(), c.targets.size()) << file;
    for (size_t i = 0; i < targets.size(); ++i) {
      const std::string target = kL + "/" + targets[i];
      EXPECT_EQ(get(target + "/TargetISCSIName"), c.targets[i].first) << file;
      EXPECT_EQ(instances(target, "TargetPortal").size(), c.targets[i].second) << file;
    }
    EXPECT_EQ(target_lines().size(), c.lines.size()) << file;  // every line stays
  }
}

TEST_F(LhbaStartupTest, ARestartRestoresTheConfiguration) {
  ASSERT_EQ(act(kL + "/AddTarget", {"iqn.t1", "10.0.0.9"}), 0u);
  ASSERT_EQ(act(kL + "/Target0/AddTargetPortal", {"10.0.0.10", "3261"}), 0u);
  ASSERT_EQ(act(kL + "/Target0/TargetLoginOptions/Authentication/ConfigureCHAP",
                {"Mutual CHAP", "ini", "isecret123456", "tgt", "tsecret12345", "Preferred"}),
            0u);
  ASSERT_EQ(act(kL + "/Discovery/AddSendTargetPortal", {"10.0.0.50", "3260"}), 0u);
  ASSERT_EQ(act(kL + "/Discovery/SendTargetPortal0/SendTargetPortalLoginOptions/Authentication/ConfigureCHAP",
                {"One-Way CHAP", "", "", "pn", "psecret12345"}),
            0u);
  ASSERT_EQ(act(kL + "/InitiatorLoginOptions/Authentication/ConfigureCHAP",
                {"One-Way CHAP", "", "", "in", "nsecret12345", "Discouraged"}),
            0u);
  ASSERT_EQ(set(kL + "/InitiatorLoginOptions/HeaderDigest", "CRC32C"), 0u);
  const std::vector<std::string> before = configuration(kL);
  restart_client();
  EXPECT_EQ(configuration(kL), before);
  // A reset signature drops that controller's initiator line alone; its
  // targets and portals stay.
  const std::string moravel = kMoravelLhba;
  ASSERT_EQ(set(moravel + "/InitiatorLoginOptions/ImmediateData", "No"), 0u);
  sim_->flash(0)["/cfg/signature"].assign(132, 0);
  restart_client();
  EXPECT_EQ(get(kL + "/InitiatorLoginOptions/Authentication/AuthenticationMethod"), "None");
  EXPECT_EQ(get(moravel + "/InitiatorLoginOptions/ImmediateData"), "No");
  std::vector<std::string> kept = configuration(kL);
  EXPECT_EQ(std::vector<std::string>(kept.begin() + 12, kept.end()),
            std::vector<std::string>(before.begin() + 12, before.end()));
}

// On a read-only root every saved target, portal and option is read at
// start-up as on any other; a write then fails with the reason.
TEST_F(LhbaStartupTest, AReadOnlyRootStartsWithWhatIsSaved) {
  put_saved("savetgt.txt",
            tgt_line(kKey, "iqn.s1", "10.0.0.9", "3260") + tgt_line(kKey, "iqn.s2", "10.0.0.10", "3260"));
  put_saved("savestp.txt", std::string(kKey) + ",10.0.0.50,3260,00:00:00:00:00:00," + kChapOptions + ",,,\n");
  put_saved("intr_logopts.txt", std::string(kKey) + ",Yes,No,None,CRC32C,None,,,,,Prohibited,Prohibited,Prohibited\n");
  restart_client();
  const auto state = [&] {
    std::string text = last_status().second + "\n";
    for (const std::string& v : configuration(kL)) text += v + "\n";
    return text;
  };
  const std::vector<std::string> before = configuration(kL);
  ASSERT_EQ(instances(kL, "Target").size(), 2u);
  const struct {
    const char* way;
    bool bind_mount;
    const char* reason;
  } ways[] = {
      {"a read-only bind mount", true, "Read-only file system"},
      {"no write permission", false, "Permission denied"},
  };
  for (const auto& w : ways) {
    SCOPED_TRACE(w.way);
    const std::function<void()> writable = w.bind_mount ? [] {} : read_only_files(root_.path());
    uint32_t started = ~0u;
    const auto [answer, after] = answer_in_child(no_fault(), [&] {
      if (!root_read_only(root_.path(), w.bind_mount)) return 99u;
      TAVO_exit();
      started = TAVO_init();
      return act(kL + "/AddTarget", {"iqn.t9", "10.0.0.9"});
    }, [&] { return std::to_string(started) + "\n" + state(); });
    writable();
    if (answer == 99u) {
      std::cout << "[ SKIPPED ] " << w.way << " cannot be had here\n";
      continue;
    }
    std::string expected = "0\nFailed to save /etc/config/QVL/tavo/savetgt.txt: " + std::string(w.reason) + ".\n";
    for (const std::string& v : before) expected += v + "\n";
    EXPECT_EQ(answer, 1u);
    EXPECT_EQ(after, expected);
  }
}

// A reader on a read-only view of the root, after the erase was killed at
// each of its file calls that leaves its commit record pending: it cannot
// complete the record, yet reads what the next read-write start reads
// (which completes it), never some files before and some after, and
// writes nothing. The view is a read-only bind mount where that can be
// had, and the simulator refusing every call that would write.
TEST_F(LhbaStartupTest, AReadOnlyRootReadsThroughAPendingCommit) {
  // Every run makes the same file calls, whatever time it takes: a file is
  // read again as long as its last change may share a tick with the look.
  sim_->stop_file_clock();
  const std::vector<std::string> lhbas = {kL, "Corvane0/iSCSIPhysicalHBA1/LogicalHBA0"};
  for (const std::string& lhba : lhbas) configure(lhba);
  ASSERT_EQ(act(kL + "/InitiatorLoginOptions/Authentication/ConfigureCHAP",
                {"One-Way CHAP", "", "", "in", "nsecret12345"}),
            0u);
  const std::vector<std::string> kept = keep_files();
  // Every file beside the saved ones, and what it holds.
  const auto directory = [&] {
    std::vector<std::string> names;
    sim_->list_directory(saved_path(""), &names);
    std::sort(names.begin(), names.end());
    std::string all;
    for (const std::string& name : names) all += name + ":\n" + saved(name);
    return all;
  };
  for (const ReadOnlyWay& way : read_only_ways()) {
    SCOPED_TRACE(way.name);
    sim::Fault kill;
    kill.kind = sim::FaultKind::Crash;
    kill.path_contains = "/etc/config/QVL/tavo";  // its flush too
    int status = sim::kCrashExitCode, pending = 0;
    for (kill.skip = 0; status == sim::kCrashExitCode; ++kill.skip) {
      SCOPED_TRACE("killed at file call " + std::to_string(kill.skip));
      put_files(kept);
      status = in_child(kill, [&] { act(kErase); });
      // The adapters go back to what they were before the erase: so do the
      // notes of persistent sessions, which a start that may write would
      // settle against them.
      ::unlink(saved_path("iscsi_pending.txt").c_str());
      if (!file_exists(saved_path("iscsi_commit.txt"))) continue;
      const std::string left = directory(), read = start_in_child(lhbas, way.make);
      if (read == "cannot") break;
      ++pending;
      EXPECT_EQ(directory(), left);
      EXPECT_EQ(read, start_in_child(lhbas, [] { return true; }));
    }
    // Each rename, the directory's flush and the record's removal.
    if (pending == 0 && status == sim::kCrashExitCode)
      std::cout << "[ SKIPPED ] " << way.name << " cannot be had here\n";
    else
      EXPECT_GE(pending, 5);
  }
}

TEST_F(LhbaStartupTest, EnabledAndIsnsEnabled) {
  EXPECT_EQ(set(kL + "/Enabled", "false"), 1u);
  EXPECT_EQ(last_status(), targets_text(47));
  EXPECT_EQ(set(kL + "/Enabled", "True"), 0u);
  const std::string isns = "Corvane0/iSCSIPhysicalHBA0/iSNS/iSNSEnabled";
  tavo::DiscoveryParamsBlock& block = sim_->network(0)->discovery_of(0);
  block.srv_count = 1;
  const tavo::DiscoveryParamsBlock before = block;
  ASSERT_EQ(set(isns, "yes"), 0u);
  EXPECT_EQ(get(isns), "Yes");
  // Only the enable bit changed.
  tavo::DiscoveryParamsBlock now = sim_->network(0)->discovery_of(0);
  now.isns_flags &= static_cast<uint16_t>(~tavo::kIsnsEnabled);
  EXPECT_EQ(memcmp(&now, &before, sizeof now), 0);
  sim_->clear_log();
  ASSERT_EQ(set(isns, "Yes"), 0u);
  EXPECT_EQ(mailbox_count(2, 29), 0);  // already enabled: nothing sent
  ASSERT_EQ(set(isns, "No"), 0u);
  EXPECT_EQ(get(isns), "No");
  for (const auto& [opcode, status] : {std::pair<uint8_t, uint32_t>{28, 80}, {29, 81}}) {
    fail_mailbox(2, opcode, 3);
    EXPECT_EQ(set(isns, "Yes"), 1u);
    EXPECT_EQ(last_status().first, status);
  }
}

TEST_F(LhbaStartupTest, EraseClearsEveryFunctionOfTheController) {
  const std::string second = "Corvane0/iSCSIPhysicalHBA1/LogicalHBA0";
  for (const std::string& lhba : {kL, second}) {
    ASSERT_EQ(act(lhba + "/AddTarget", {"iqn.t1", "10.0.0.9"}), 0u);
    ASSERT_EQ(act(lhba + "/Discovery/AddSendTargetPortal", {"10.0.0.50", "3260"}), 0u);
    ASSERT_EQ(act(lhba + "/InitiatorLoginOptions/Authentication/ConfigureCHAP",
                  {"One-Way CHAP", "", "", "in", "nsecret12345"}),
              0u);
    ASSERT_EQ(set(lhba + "/InitiatorLoginOptions/DataDigest", "CRC32C"), 0u);
  }
  ASSERT_EQ(act(std::string(kMoravelLhba) + "/AddTarget", {"iqn.mor", "10.0.0.9"}), 0u);
  const std::vector<std::string> fresh = configuration("Corvane1/iSCSIPhysicalHBA0/LogicalHBA0");
  vm_flag = 1;
  EXPECT_EQ(act("Corvane0/iSCSIPhysicalHBA1/EraseConfiguration"), 1u);
  vm_flag = 0;
  EXPECT_EQ(last_status(), (Status{256, "Performed operation is not supported on a SR-IOV virtual function."}));
  EXPECT_EQ(instances(kL, "Target").size(), 1u);
  sim_->clear_log();
  ASSERT_EQ(act("Corvane0/iSCSIPhysicalHBA1/EraseConfiguration"), 0u);
  EXPECT_EQ(mailbox_count(1, 7), 1);
  EXPECT_EQ(last_payload(1, 7), (std::vector<uint8_t>{3, 0, 0, 0, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  for (const std::string& lhba : {kL, second}) {
    SCOPED_TRACE(lhba);
    EXPECT_TRUE(instances(lhba, "Target").empty());
    EXPECT_TRUE(instances(lhba + "/Discovery", "SendTargetPortal").empty());
    EXPECT_EQ(get(lhba + "/InitiatorLoginOptions/DataDigest"), "None");
    EXPECT_EQ(get(lhba + "/InitiatorLoginOptions/Authentication/TargetSecret"), "");
  }
  EXPECT_EQ(get("Corvane0/iSCSIPhysicalHBA0/iSNS/iSNSEnabled"), "No");
  EXPECT_TRUE(target_lines().empty());
  EXPECT_EQ(saved("savestp.txt"), "");
  EXPECT_EQ(saved("intr_logopts.txt").find("CRC32C"), std::string::npos);
  // Another controller keeps everything.
  EXPECT_EQ(configuration("Corvane1/iSCSIPhysicalHBA0/LogicalHBA0"), fresh);
}

// The erase changes all three saved files. Killed, or the power cut, at
// any of its file calls, they hold everything before or the whole erase
// after, once start-up (its first step) has completed what was cut short.
TEST_F(LhbaStartupTest, ErasedFilesAreAllBeforeOrAllAfter) {
  configure(kL);
  configure("Corvane0/iSCSIPhysicalHBA1/LogicalHBA0");
  const std::vector<std::string> kept = keep_files();
  const auto completed = [&] {
    TAVO_check_for_corrupted_database();
    return files();
  };
  const std::string before = completed(), after = files_after_erase();
  ASSERT_NE(after, before);
  EXPECT_GE(old_or_new_at_every_file_call(
                "/etc/config/QVL/tavo/", [&] { put_files(kept); }, [&] { act(kErase); }, completed, before, after),
            20);
  expect_no_leftovers();
}

// Several processes on one root. A erases Corvane0 and is killed at each
// of its file calls; B, started before, then reads and writes lines of
// both controllers and erases Corvane1; then C starts (its first step).
// Every answer of B's is true of C's files, and each erase is whole or
// absent: B's reads and locks complete a commit record A left, and B's
// commit never writes over it.
TEST_F(LhbaStartupTest, AKilledEraseBesideAnotherWriterLeavesEveryAnsweredChange) {
  const std::string second = "Corvane0/iSCSIPhysicalHBA1/LogicalHBA0",
                    second_key = "Corvane0,iSCSIPhysicalHBA1,LogicalHBA0";
  for (const std::string& lhba : {kL, second, std::string(kMoravelLhba)}) configure(lhba);
  const std::vector<std::string> kept = keep_files();
  // Each erase's lines as they stood (B changes the second function's
  // options as well: left out), and whether all or none are left.
  std::vector<std::string> a_lines = lines_of(files(), "Corvane0,"), b_lines = lines_of(files(), "Corvane1,");
  std::erase_if(a_lines, [&](const std::string& l) { return l.rfind(second_key, 0) == 0; });
  const auto whole_or_absent = [&](const std::vector<std::string>& erased) {
    size_t left = 0;
    for (const std::string& line : erased) left += files().find(line + "\n") != std::string::npos;
    return left == 0 || left == erased.size();
  };
  const auto in_c = [&](const char* file, const std::string& lead) { return !lines_of(saved(file), lead).empty(); };
  // B's steps, and what holds of C's files when a step answered 0 (B's
  // read answers 1 when it found the erase made).
  const struct {
    std::function<uint32_t()> run;
    std::function<bool()> holds;
  } steps[] = {
      {[&] { return get(kL + "/InitiatorLoginOptions/DataDigest") == "None" ? 1u : 0u; },
       [&] { return !in_c("intr_logopts.txt", std::string(kKey) + "," + kDefaults); }},
      {[&] { return act(kL + "/Discovery/AddSendTargetPortal", {"10.0.1.1", "3260"}); },
       [&] { return in_c("savestp.txt", std::string(kKey) + ",10.0.1.1,3260,"); }},
      {[&] { return TAVO_set_initiator_loginoptions(node(second), nullptr, nullptr, "HeaderDigest", "CRC32C"); },
       [&] { return in_c("intr_logopts.txt", second_key + ",Yes,Yes,CRC32C,"); }},
      {[&] { return act("Corvane1/iSCSIPhysicalHBA0/EraseConfiguration"); },
       [&] { return !in_c("savetgt.txt", b_lines.front()) && whole_or_absent(b_lines); }},
      {[&] { return act(std::string(kMoravelLhba) + "/Discovery/AddSendTargetPortal", {"10.0.2.1", "3260"}); },
       [&] { return in_c("savestp.txt", "Corvane1,iSCSIPhysicalHBA0,LogicalHBA0,10.0.2.1,3260,"); }},
  };
  sim::Fault kill;
  kill.kind = sim::FaultKind::Crash;
  kill.file_call = "rename";
  kill.path_contains = "iscsi_commit.txt";
  ASSERT_EQ(in_child(kill, [&] { act(kErase); }), sim::kCrashExitCode);  // a change of several files
  kill.file_call.clear();
  kill.path_contains = "/etc/config/QVL/tavo/";
  // B reads first (the read finds A's record), or first writes a line
  // through the lock alone (the lock finds it).
  for (const size_t first : {0, 2}) {
    int status = sim::kCrashExitCode;
    for (kill.skip = 0; status == sim::kCrashExitCode; ++kill.skip) {
      SCOPED_TRACE("B begins at step " + std::to_string(first) + "; A killed at file call " +
                   std::to_string(kill.skip));
      put_files(kept);
      status = in_child(kill, [&] { act(kErase); });
      // B is forked from this process, which has not seen A's files.
      std::string in_b(std::size(steps), '?');
      const std::string answers = answer_in_child(no_fault(), [&] {
        for (size_t i = 0; i < std::size(steps); ++i) {
          const size_t at = (first + i) % std::size(steps);
          in_b[at] = steps[at].run() == 0 ? '0' : '1';
        }
        return 0u;
      }, [&] { return in_b; }).second;
      ASSERT_EQ(answers.size(), std::size(steps));
      TAVO_check_for_corrupted_database();
      EXPECT_TRUE(whole_or_absent(a_lines)) << files();
      for (size_t i = 0; i < std::size(steps); ++i)
        EXPECT_TRUE(answers[i] != '0' || steps[i].holds()) << "step " << i << "\n" << files();
    }
    EXPECT_GE(kill.skip, 20);
  }
}

// I/O faults where the erase replaces its files together: before the commit
// record is in place nothing changes and the erase answers the failed save;
// after it the change stands (a rename that failed is made again at once,
// or by start-up), and the erase answers 0.
TEST_F(LhbaStartupTest, ErasedFilesUnderIoFaults) {
  configure(kL);
  const std::vector<std::string> kept = keep_files();
  const std::string before = files(), after = files_after_erase();
  const struct {
    const char* what;
    const char* call;
    const char* path;
    int times;
    uint32_t result;
    bool after_at_once;
  } cases[] = {
      {"a temporary not written", "write", ".tmp.", -1, 1, false},
      {"the last temporary not flushed", "fsync", "intr_logopts.txt.tmp.", -1, 1, false},
      {"the record not written", "write", "iscsi_commit", -1, 1, false},
      {"the record not renamed in", "rename", "iscsi_commit", -1, 1, false},
      {"a rename failed once", "rename", "savestp.txt", 1, 0, true},
      {"a rename that keeps failing", "rename", "savestp.txt", -1, 0, false},
      {"the directory not flushed", "fsync_dir", "", -1, 0, true},
      {"the record not removed", "unlink", "iscsi_commit", -1, 0, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    put_files(kept);
    restart_client();
    sim::Fault fault;
    fault.kind = sim::FaultKind::FileErrno;
    fault.file_call = c.call;
    fault.path_contains = c.path;
    fault.times = c.times;
    sim_->inject(fault);
    EXPECT_EQ(act(kErase), c.result);
    sim_->clear_faults();
    if (c.result != 0) {
      EXPECT_EQ(last_status().second.rfind("Failed to save /etc/config/QVL/tavo/", 0), 0u) << last_status().second;
      EXPECT_EQ(files(), before);
    } else if (c.after_at_once) {
      EXPECT_EQ(files(), after);
    }
    restart_client();
    EXPECT_EQ(files(), c.result != 0 ? before : after);
    expect_no_leftovers();
  }
}

// An erase that fails at the second function leaves the first erased and
// the second as it was, in all three files alike.
TEST_F(LhbaStartupTest, AnEraseCutShortSavesWhatItDid) {
  const std::string second = "Corvane0/iSCSIPhysicalHBA1/LogicalHBA0";
  configure(kL);
  configure(second);
  const std::string second_key = "Corvane0,iSCSIPhysicalHBA1,LogicalHBA0";
  const std::vector<std::string> second_portals = portal_lines(second_key);
  std::vector<std::vector<std::string>> second_before;
  for (const char* name : {"savestp.txt", "intr_logopts.txt"})
    second_before.push_back(lines_of(saved(name), second_key + ","));
  ASSERT_FALSE(session_lines(second_key).empty());
  fail_mailbox(2, 28, 3).function = 1;  // the second function's iSNS state
  EXPECT_EQ(act(kErase), 1u);
  sim_->clear_faults();
  EXPECT_EQ(last_status().first, 80u);
  EXPECT_TRUE(lines_of(saved("savetgt.txt"), std::string(kKey) + ",").empty());
  EXPECT_TRUE(lines_of(saved("savestp.txt"), std::string(kKey) + ",").empty());
  EXPECT_EQ(lines_of(saved("intr_logopts.txt"), std::string(kKey) + ","),
            std::vector<std::string>{std::string(kKey) + "," + kDefaults});
  // The second function's sessions were logged out before the failure:
  // their lines went with them; the rest of its lines stay.
  EXPECT_EQ(portal_lines(second_key), second_portals);
  EXPECT_TRUE(session_lines(second_key).empty());
  size_t i = 0;
  for (const char* name : {"savestp.txt", "intr_logopts.txt"})
    EXPECT_EQ(lines_of(saved(name), second_key + ","), second_before[i++]) << name;
  EXPECT_EQ(instances(second, "Target").size(), 1u);
}

// A commit record left by a change of several files: start-up completes the
// change it tells of (the renames not made yet), or drops one that never
// committed (cut short, or naming a file that is not a saved iSCSI file),
// before it reads the files. A start on a read-only root, which can do
// neither, reads the files as that start leaves them.
TEST_F(LhbaStartupTest, StartUpCompletesTheChangeACommitRecordTells) {
  const std::string old_tgt = tgt_line(kKey, "iqn.old", "10.0.0.9", "3260"),
                    new_tgt = tgt_line(kKey, "iqn.new", "10.0.0.9", "3260");
  const std::string old_stp = std::string(kKey) + ",10.0.0.50,3260,00:00:00:00:00:00," + kDefaults + "\n",
                    new_stp = std::string(kKey) + ",10.0.0.60,3260,00:00:00:00:00:00," + kDefaults + "\n";
  const std::string both = "savetgt.txt.tmp.9.0 savetgt.txt\nsavestp.txt.tmp.9.1 savestp.txt\n";
  const struct {
    const char* what;
    std::string record;
    bool first_renamed;  // the kill came after the first rename
    bool done;
  } cases[] = {
      {"committed", both + "commit 2\n", false, true},
      {"one rename made", both + "commit 2\n", true, true},
      {"cut short", both, false, false},
      {"a miscount", both + "commit 3\n", false, false},
      {"another file named", "savetgt.txt.tmp.9.0 savetgt.txt\nlibtavo.conf.tmp.9.1 libtavo.conf\ncommit 2\n", false,
       false},
      {"a path named", "savetgt.txt.tmp.9.0 savetgt.txt\n../savestp.txt.tmp.9.1 savestp.txt\ncommit 2\n", false,
       false},
  };
  const std::string dir = saved_path("");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    put_saved("savetgt.txt", c.first_renamed ? new_tgt : old_tgt);
    put_saved("savestp.txt", old_stp);
    if (!c.first_renamed) write_file(dir + "savetgt.txt.tmp.9.0", new_tgt);
    write_file(dir + "savestp.txt.tmp.9.1", new_stp);
    write_file(dir + "libtavo.conf.tmp.9.1", "planted\n");
    write_file(dir + "iscsi_commit.txt", c.record);
    // A start on a read-only root reads what the start that completes the
    // record reads.
    std::vector<std::string> read_only;
    for (const ReadOnlyWay& way : read_only_ways()) read_only.push_back(start_in_child({kL}, way.make));
    restart_client();
    for (const std::string& read : read_only) {
      if (read != "cannot") {
        EXPECT_EQ(read, configuration_text({kL}));
      }
    }
    const std::string& tgt = c.done || c.first_renamed ? new_tgt : old_tgt;
    EXPECT_EQ(target_lines(), std::vector<std::string>{tgt.substr(0, tgt.size() - 1)});
    EXPECT_EQ(saved("savestp.txt"), c.done ? new_stp : old_stp);
    EXPECT_EQ(get(kL + "/Target0/TargetISCSIName"), c.done ? "iqn.new" : "iqn.old");
    EXPECT_EQ(get(kL + "/Discovery/SendTargetPortal0/IPAddress"), c.done ? "10.0.0.60" : "10.0.0.50");
    EXPECT_FALSE(file_exists(dir + "iscsi_commit.txt"));
    EXPECT_FALSE(file_exists(dir + "savetgt.txt.tmp.9.0"));
    EXPECT_FALSE(file_exists(dir + "savestp.txt.tmp.9.1"));
    EXPECT_NE(read_file(dir + "libtavo.conf"), "planted\n");
  }
}

// What stands at the record's name or a temporary's that the library did
// not write: start-up neither waits on it, nor follows it, nor renames it
// in, nor removes it; each is told in the log, and no commit writes over
// a record that is none of the library's.
TEST_F(LhbaStartupTest, PlantedRecordsAndTemporariesAreNotTakenIn) {
  namespace fs = std::filesystem;
  const std::string old_tgt = tgt_line(kKey, "iqn.old", "10.0.0.9", "3260"),
                    new_tgt = tgt_line(kKey, "iqn.new", "10.0.0.9", "3260");
  const std::string old_stp = std::string(kKey) + ",10.0.0.50,3260,00:00:00:00:00:00," + kDefaults + "\n",
                    new_stp = std::string(kKey) + ",10.0.0.60,3260,00:00:00:00:00:00," + kDefaults + "\n";
  const std::string dir = saved_path(""), record = dir + "iscsi_commit.txt", outside = root_.path() + "/outside";
  const std::string tgt_tmp = dir + "savetgt.txt.tmp.9.0", stp_tmp = dir + "savestp.txt.tmp.9.1";
  const std::string both = "savetgt.txt.tmp.9.0 savetgt.txt\nsavestp.txt.tmp.9.1 savestp.txt\ncommit 2\n";
  const auto link = [](const std::string& to, const std::string& at) {
    fs::remove(at);
    return ::symlink(to.c_str(), at.c_str());
  };
  const char *foreign = "is no commit record: left alone", *not_staged = "was not staged by the library";
  const struct {
    const char* what;
    std::function<int()> plant;
    bool new_tgt, new_stp;
    const char* told;
    std::string left;  // planted, and left where it is
  } cases[] = {
      {"a FIFO as the record", [&] { return ::mkfifo(record.c_str(), 0600); }, false, false, foreign, record},
      {"the record a link to /dev/zero", [&] { return link("/dev/zero", record); }, false, false, foreign, record},
      {"the record a link outside the root", [&] { return link(outside, record); }, false, false, foreign, record},
      {"a record of a megabyte", [&] { return write_file(record, both + std::string(1 << 20, '#')), 0; }, false,
       false, foreign, record},
      {"a temporary a link outside the root", [&] { return write_file(record, both), link(outside, tgt_tmp); },
       false, true, not_staged, tgt_tmp},
      {"a temporary a directory",
       [&] { return write_file(record, both), fs::remove(stp_tmp), ::mkdir(stp_tmp.c_str(), 0700); }, true, false,
       not_staged, stp_tmp},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    put_saved("savetgt.txt", old_tgt);
    put_saved("savestp.txt", old_stp);
    write_file(tgt_tmp, new_tgt);
    write_file(stp_tmp, new_stp);
    write_file(outside, both);
    ASSERT_EQ(c.plant(), 0);
    const int told = log_count(c.told);
    restart_client();
    const std::string& tgt = c.new_tgt ? new_tgt : old_tgt;
    EXPECT_EQ(target_lines(), std::vector<std::string>{tgt.substr(0, tgt.size() - 1)});
    EXPECT_EQ(saved("savestp.txt"), c.new_stp ? new_stp : old_stp);
    EXPECT_EQ(read_file(outside), both);
    EXPECT_FALSE(file_exists(saved_path("savetgt.txt.corrupt")));
    EXPECT_GT(log_count(c.told), told) << debug_log();
    for (const std::string& at : {record, tgt_tmp, stp_tmp}) EXPECT_EQ(fs::exists(fs::symlink_status(at)), at == c.left);
    // Saves of one file go on beside what stays; a change of several waits
    // while a record that is none of the library's stands.
    EXPECT_EQ(act(kL + "/Discovery/AddSendTargetPortal", {"10.0.0.70", "3260"}), 0u);
    EXPECT_EQ(act("Corvane0/iSCSIPhysicalHBA0/EraseConfiguration"), c.left == record ? 1u : 0u);
    if (c.left == record) {
      EXPECT_NE(last_status().second.find("File exists"), std::string::npos);
    }
    EXPECT_EQ(fs::exists(fs::symlink_status(record)), c.left == record);
    fs::remove(c.left);
  }
}

// This child process as an unprivileged user who owns everything below
// root but the path kept (which stays root's). False when that cannot be
// had here: not run as root, or the root out of the user's reach.
bool as_another_user(const std::string& root, const std::string& kept) {
  constexpr uid_t kUser = 65534;
  constexpr gid_t kGroup = 65534;
  if (geteuid() != 0) return false;
  namespace fs = std::filesystem;
  std::vector<std::string> paths{root};
  for (const auto& e : fs::recursive_directory_iterator(root)) paths.push_back(e.path());
  for (const std::string& path : paths)
    if (path != kept && lchown(path.c_str(), kUser, kGroup) != 0) return false;
  return setgroups(0, nullptr) == 0 && setgid(kGroup) == 0 && setuid(kUser) == 0 &&
         access(root.c_str(), R_OK | W_OK | X_OK) == 0;
}

// A commit record the process may not open (another user's, or a FIFO of
// another user's at its name) is none of the library's: start-up leaves it
// and reads the files as they are, saves of one file go on, and a change
// of several waits while it stands. The other user is real when this runs
// as root; the refusals are the simulator's too.
TEST_F(LhbaStartupTest, RecordsTheProcessMayNotOpenBlockOnlyChangesOfSeveralFiles) {
  const std::string old_tgt = tgt_line(kKey, "iqn.old", "10.0.0.9", "3260"),
                    new_tgt = tgt_line(kKey, "iqn.new", "10.0.0.9", "3260");
  const std::string record = saved_path("iscsi_commit.txt");
  const std::string both = "savetgt.txt.tmp.9.0 savetgt.txt\nsavestp.txt.tmp.9.1 savestp.txt\ncommit 2\n";
  const auto refused = [&](int err) {
    return [this, err] {
      sim::Fault f = file_errno("open", "iscsi_commit.txt", -1, err);
      sim_->inject(f);
      return true;
    };
  };
  const struct {
    const char* what;
    std::function<int()> plant;
    std::function<bool()> way;
  } cases[] = {
      {"another user's record", [&] { return write_file(record, both), ::chmod(record.c_str(), 0600); },
       [&] { return as_another_user(root_.path(), record); }},
      {"another user's FIFO", [&] { return ::mkfifo(record.c_str(), 0600); },
       [&] { return as_another_user(root_.path(), record); }},
      {"a record refused with EACCES", [&] { return write_file(record, both), 0; }, refused(EACCES)},
      {"a record refused with EPERM", [&] { return write_file(record, both), 0; }, refused(EPERM)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    put_saved("savetgt.txt", old_tgt);
    put_saved("savestp.txt", "");
    write_file(saved_path("savetgt.txt.tmp.9.0"), new_tgt);
    ASSERT_EQ(c.plant(), 0);
    const std::string answers = in_process([&] {
      if (!c.way()) return std::string("cannot");
      TAVO_exit();
      const uint32_t started = TAVO_init();
      std::string text = std::to_string(started) + "\n" + get(kL + "/Target0/TargetISCSIName") + "\n";
      text += std::to_string(act(kL + "/Discovery/AddSendTargetPortal", {"10.0.0.70", "3260"})) + "\n";
      const uint32_t erased = act(kErase);
      return text + std::to_string(erased) + " " + last_status().second + "\n";
    });
    sim_->rewind_adapters();
    // The root is this process's again: a gate file another user owns
    // would refuse its calls.
    for (const auto& e : std::filesystem::recursive_directory_iterator(root_.path()))
      if (e.path() != record) {
        EXPECT_EQ(lchown(e.path().c_str(), geteuid(), getegid()), 0);
      }
    const bool planted = std::filesystem::exists(std::filesystem::symlink_status(record));
    std::filesystem::remove(record);
    if (answers == "cannot") {
      std::cout << "[ SKIPPED ] " << c.what << ": no other user can be had here\n";
      continue;
    }
    EXPECT_EQ(answers, "0\niqn.old\n0\n1 Failed to save /etc/config/QVL/tavo/savetgt.txt: File exists.\n");
    EXPECT_TRUE(planted);
    EXPECT_NE(saved("savestp.txt").find(std::string(kKey) + ",10.0.0.70,3260,"), std::string::npos);
  }
}

TEST_F(LhbaStartupTest, SavesNeitherFollowLinksNorLeaveTemporaries) {
  // A link planted as the lock file fails the save; nothing is made where it points.
  const std::string elsewhere = root_.at("/tmp/planted");
  ::unlink((saved_path("savetgt.txt") + ".lock").c_str());
  ASSERT_EQ(::symlink(elsewhere.c_str(), (saved_path("savetgt.txt") + ".lock").c_str()), 0);
  EXPECT_EQ(act(kL + "/AddTarget", {"iqn.t1", "10.0.0.9"}), 1u);
  EXPECT_EQ(last_status().second.rfind("Failed to save /etc/config/QVL/tavo/savetgt.txt", 0), 0u);
  EXPECT_FALSE(file_exists(elsewhere));
  ::unlink((saved_path("savetgt.txt") + ".lock").c_str());
  // What killed saves left beside a saved file goes under its lock.
  const std::string conf = root_.at("/etc/config/QVL/tavo/libtavo.conf");
  for (const std::string& left :
       {saved_path("savetgt.txt") + ".tmp.4242.0", saved_path("savestp.txt") + ".tmp.7.3", conf + ".tmp.99.1"})
    write_file(left, "secret\n");
  restart_client();
  EXPECT_FALSE(file_exists(saved_path("savetgt.txt") + ".tmp.4242.0"));
  EXPECT_FALSE(file_exists(saved_path("savestp.txt") + ".tmp.7.3"));
  ASSERT_EQ(set("TAVODebugLevel", "6"), 0u);
  EXPECT_FALSE(file_exists(conf + ".tmp.99.1"));
}

}  // namespace
}  // namespace tavo::test
