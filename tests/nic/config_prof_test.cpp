// config_prof.txt: how its lines are cut into fields and matched, and its
// saves under killed processes, power cuts, I/O faults and two writers.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <functional>

#include "nic/nic.h"
#include "tests/nic/profile_fixture.h"

namespace tavo::test {
namespace {

using Fields = char[TAVO_CPROF_FIELDS][TAVO_CPROF_FIELD_SIZE];

std::string joined(const Fields& f) {
  std::string s;
  for (int i = 0; i < TAVO_CPROF_FIELDS; ++i) s += std::string(i ? "|" : "") + f[i];
  return s;
}

TEST(ConfigProfLine, FieldsAndMatches) {
  const std::string long_field(40, 'x');
  const struct {
    std::string line;
    const char* function;
    uint32_t mode, result;
    const char* fields;
  } rows[] = {
      {"MA,0x7,2,None,0x1,NIC,N/A", "0X1", 1, 0, "MA|0x7|2|None|0x1|NIC|N/A"},  // without case
      {"MA,0x7,2,None,0x1,NIC,N/A", "0x2", 1, 1, "MA|0x7|2|None|0x1|NIC|N/A"},
      {"MA,0x7,2,None,0x1,NIC,N/A", "0x2", 0, 0, "MA|0x7|2|None|0x1|NIC|N/A"},
      {"ma,0x7", nullptr, 0, 0, "ma|0x7|k|k|k|k|k"},  // missing fields stay as they were
      {"MA,0x8,2,None,0x1,NIC,N/A", nullptr, 0, 1, "MA|0x8|2|None|0x1|NIC|N/A"},
      {"MA,0x7,2," + long_field + ",0x1,NIC,N/A,extra", nullptr, 0, 0,
       "MA|0x7|2|xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx|0x1|NIC|N/A"},  // 34 characters of each
      {"", nullptr, 0, 1, "|k|k|k|k|k|k"},
  };
  for (const auto& r : rows) {
    Fields f;
    for (auto& field : f) snprintf(field, sizeof field, "k");
    EXPECT_EQ(TAVO_compare_cprofile_data(r.line.c_str(), "MA", "0x7", r.function, f, r.mode), r.result) << r.line;
    EXPECT_EQ(joined(f), r.fields) << r.line;
  }
  Fields f{};
  EXPECT_EQ(TAVO_compare_cprofile_data("MA,0x7", nullptr, "0x7", nullptr, f, 0), 1u);
}

TEST_F(ProfileTest, LinesOfAFunction) {
  TavoNode* ma = node("Corvane0");
  Fields f{};
  // A NIC function with RoCE answers its second line; another its only one.
  put_lines("MA,0x7,2,None,0x1,NIC,N/A\nMA,0x7,2,None,0x1,NIC+RoCE,Enabled\nMA,0x7,2,UMC,0x2,iSCSI,N/A\n");
  ASSERT_EQ(TAVO_get_config_prof_prop(ma, "0x1", f, TAVO_CPROF_FUNCTION_LINE), 0u);
  EXPECT_EQ(joined(f), "MA|0x7|2|None|0x1|NIC+RoCE|Enabled");
  ASSERT_EQ(TAVO_get_config_prof_prop(ma, "0x2", f, TAVO_CPROF_FUNCTION_LINE), 0u);
  EXPECT_EQ(f[TAVO_CPROF_MC_TYPE], std::string("UMC"));
  put_lines("MA,0x7,2,None,0x1,NIC,N/A\nMA,0x7,2,None,0x3,NIC,N/A\n");
  ASSERT_EQ(TAVO_get_config_prof_prop(ma, "0x1", f, TAVO_CPROF_FUNCTION_LINE), 0u);
  EXPECT_EQ(f[TAVO_CPROF_FUNCTION], std::string("0x1"));
  EXPECT_EQ(TAVO_get_config_prof_prop(ma, "0x9", f, TAVO_CPROF_FUNCTION_LINE), 1u);
  // What cannot stand in a line is refused, the file unchanged.
  EXPECT_EQ(TAVO_set_config_prof_prop(ma, "0x1", "NIC,x", TAVO_CPROF_FUNCTION_LINE, TAVO_CPROF_PROTOCOL), 1u);
  EXPECT_EQ(TAVO_set_config_prof_prop(ma, "0x1", "N\nIC", TAVO_CPROF_FUNCTION_LINE, TAVO_CPROF_PROTOCOL), 1u);
  EXPECT_EQ(TAVO_set_config_prof_prop(ma, "0x1", "x", TAVO_CPROF_FUNCTION_LINE, TAVO_CPROF_FIELDS), 1u);
  EXPECT_EQ(lines(), "MA,0x7,2,None,0x1,NIC,N/A\nMA,0x7,2,None,0x3,NIC,N/A\n");
  EXPECT_EQ(TAVO_delete_cfg_prof_from_file("ma", "0x7"), 0u);
  EXPECT_EQ(lines(), "");
  ::unlink(root_.at("/etc/config/QVL/tavo/config_prof.txt").c_str());
  EXPECT_EQ(TAVO_get_config_prof_prop(ma, nullptr, f, TAVO_CPROF_CONTROLLER), 1u);
  EXPECT_EQ(TAVO_set_config_prof_prop(ma, nullptr, "3", TAVO_CPROF_CONTROLLER, TAVO_CPROF_PROFILE_ID), 1u);
  EXPECT_EQ(TAVO_delete_cfg_prof_from_file("MA", "0x7"), 1u);
}

// A child killed, or the power cut, at every file call of an edit, a
// rebuild, a start-up and a SaveProfile: the file holds its old content or
// its new, every controller's lines in either, and the temporary files the
// killed saves left go at the next start-up.
TEST_F(ProfileTest, KilledOrPoweredOffSavesLeaveOldOrNew) {
  const std::string protocol_path = std::string(kConfigured) + "/Port0/Function1/Protocol";
  const auto plant_new_layout = [&] {
    sim_->flash(0)["/cfg/profile/configured"] =
        profile_image({pci_function(3, 1, kProtocolNic, kProtocolNic), protocol(kProfileNic, 3, 0, 3),
                       port_descriptor(0, 2, 4)});
  };
  const struct {
    const char* name;
    std::function<void()> prepare;  // in this process, before the content is taken
    std::function<void()> save;      // in the child
  } saves[] = {
      {"edit", [] {}, [&] { set(protocol_path, "FCoE"); }},
      {"rebuild", [] {},
       [&] {
         plant_new_layout();
         purge_nodes_within(node(kConfigured), "Port");
         TAVO_get_configured_profiles(node("Corvane0"));
       }},
      {"start-up", [] {},
       [&] {
         plant_new_layout();
         TAVO_exit();
         TAVO_init();
       }},
      // Last: its edit stays in this process.
      {"SaveProfile", [&] { ASSERT_EQ(set(std::string(kConfigured) + "/Port0/MCType", "NPAR"), 0u); },
       [&] { act("Corvane0/ProfileManagement/SaveProfile"); }},
  };
  const std::string initial = lines();
  for (const auto& s : saves) {
    put_lines(initial);
    s.prepare();
    const std::string before = lines();
    // The content a save without faults leaves.
    sim::Fault none;
    none.kind = sim::FaultKind::Crash;
    none.path_contains = "/nowhere/";
    ASSERT_EQ(in_child(none, s.save), 0);
    const std::string after = lines();
    ASSERT_NE(after, before) << s.name;
    ASSERT_NE(after.find("MB,0x9,"), std::string::npos) << s.name;
    SCOPED_TRACE(s.name);
    EXPECT_GE(old_or_new_at_every_file_call(
                  "/etc/config/QVL/tavo/config_prof", [&] { put_lines(before); }, s.save, [&] { return lines(); },
                  before, after),
              6);
  }
  const auto temporaries = [&] {
    std::vector<std::string> names;
    sim_->list_directory(root_.at("/etc/config/QVL/tavo"), &names);
    return std::count_if(names.begin(), names.end(), [](auto& n) { return n.rfind("config_prof.txt.tmp.", 0) == 0; });
  };
  EXPECT_GT(temporaries(), 0);
  TAVO_exit();
  ASSERT_EQ(TAVO_init(), 0u);
  EXPECT_EQ(temporaries(), 0);
}

// Every change of Corvane0's configured profile: the edits and the
// actions that rewrite config_prof.txt.
class ProfileChangeTest : public ProfileTest {
 protected:
  struct Change {
    const char* name;
    std::function<void()> prepare;  // before the change, a fresh start
    std::function<uint32_t()> op;
    bool action;  // it reaches the adapter
  };
  std::vector<Change> changes() {
    const std::string c = kConfigured, pm = "Corvane0/ProfileManagement/", lr = "Corvane0/LinkReconfiguration/";
    const auto edit = [&](const std::string& path, const char* value) {
      return [=, this] { return set(path, value); };
    };
    const auto action = [&](const std::string& path, std::vector<std::string> values = {}) {
      return [=, this] { return act(path, values); };
    };
    const auto edited = [=, this] { ASSERT_EQ(set(c + "/ProfileId", "7"), 0u); };
    return {
        {"Protocol", [] {}, edit(c + "/Port0/Function1/Protocol", "FCoE"), false},
        {"Protocol with RoCE", [] {}, edit(c + "/Port1/Function0/Protocol", "NIC+RoCE"), false},
        {"ProfileId", [] {}, edit(c + "/ProfileId", "7"), false},
        {"MCType", [] {}, edit(c + "/Port0/MCType", "NPAR"), false},
        {"SaveProfile", [=, this] { ASSERT_EQ(set(c + "/Port0/Function1/Protocol", "FCoE"), 0u); },
         action(pm + "SaveProfile"), true},
        {"SetProfileId", edited, action(pm + "SetProfileId", {"2"}), true},
        {"SetFactoryDefaults", edited, action(pm + "SetFactoryDefaults"), true},
        {"SetMaxFunctionNumber",
         [=, this] {
           ASSERT_EQ(get(c + "/SettableMaxFunctionNumber"), "Yes");
           edited();
         },
         action(c + "/SetMaxFunctionNumber", {"15"}), true},
        {"SetLinkConfigID", edited, action(lr + "SetLinkConfigID", {"2"}), true},
        {"SetLinkConfigFactoryDefaults", edited, action(lr + "SetLinkConfigFactoryDefaults"), true},
    };
  }
};

// Every rewrite of config_prof.txt under the I/O faults of io_faults (a
// failed stat among them) answers truly: 0 with the lines rewritten, or a
// failure that names the file with the lines as they were. An edit
// changes its value in the lines (RoCE's the profile id too); an action
// writes the adapter and rebuilds the view from it, discarding an edit.
TEST_F(ProfileChangeTest, EveryRewriteAnswersTrulyUnderIoFaults) {
  const std::string c = kConfigured;
  // The view as it reads the lines: the profile id and the protocols and
  // multi-channel type of port 0.
  const auto shown = [&] {
    return get(c + "/ProfileId") + " " + get(c + "/Port0/MCType") + " " + view(c, "Protocol")[0];
  };
  const auto state = [&] {
    const bool unsaved = last_status().second.rfind(kCprofUnsaved, 0) == 0;
    const std::string status = unsaved ? "unsaved" : "saved";
    return lines() + shown() + " " + status;
  };
  for (const Change& r : changes()) {
    SCOPED_TRACE(r.name);
    ASSERT_EQ(restart_with({}), 0u);
    r.prepare();
    const std::string content = lines(), before = content + shown() + " unsaved";
    const auto [answer, after] = answer_in_child(no_fault(), r.op, state);
    ASSERT_EQ(answer, 0u);
    ASSERT_NE(after, content + shown() + " saved");
    EXPECT_GT(true_answer_under_io_faults(
                  "/etc/config/QVL/tavo/config_prof", [&] { put_lines(content); }, r.op, state, before, after),
              0);
  }
  // A start whose lines cannot replace the file's reads them in its place:
  // the view shows the adapter's layout, not an edit a process that is
  // gone left in the file.
  const std::string left = "MA,0x7,7,NPAR,0x0,NIC,N/A\nMA,0x7,7,NPAR,0x2,FCoE,N/A\n";
  const auto start = [&] {
    TAVO_exit();
    return TAVO_init();
  };
  const auto [answer, after] = answer_in_child(no_fault(), start, shown);
  ASSERT_EQ(answer, 0u);
  ASSERT_EQ(after, "2 None Port0:NIC,iSCSI");
  EXPECT_EQ(true_answer_under_io_faults(
                "/etc/config/QVL/tavo/config_prof", [&] { put_lines(left); }, start, shown, "", after),
            0);
}

// Every change fails with a status naming config_prof.txt and why, when
// what stands at the file or its lock cannot be read or locked; an action
// then tells the adapter nothing.
TEST_F(ProfileChangeTest, EveryChangeThatCannotReadTheFileFailsWithItsReason) {
  const std::string file = root_.at("/etc/config/QVL/tavo/config_prof.txt");
  const std::string lock = file + ".lock";
  const struct {
    const char* what;
    std::function<void()> make;
    const char* reason;
  } obstacles[] = {
      {"a directory", [&] { ::mkdir(file.c_str(), 0755); }, "Is a directory."},
      {"a symbolic link", [&] { ::symlink((file + ".old").c_str(), file.c_str()); }, "Too many levels of symbolic links."},
      {"a FIFO", [&] { ::mkfifo(file.c_str(), 0644); }, "Invalid argument."},
      {"its lock a directory",
       [&] {
         ::unlink(lock.c_str());
         ::mkdir(lock.c_str(), 0755);
       },
       "Is a directory."},
  };
  for (const auto& o : obstacles) {
    SCOPED_TRACE(o.what);
    for (const Change& r : changes()) {
      SCOPED_TRACE(r.name);
      ASSERT_EQ(restart_with({}), 0u);
      r.prepare();
      ::rename(file.c_str(), (file + ".old").c_str());
      o.make();
      sim_->clear_log();
      EXPECT_EQ(r.op(), 1u);
      EXPECT_EQ(last_status(), (std::pair<uint32_t, std::string>{1, std::string(kCprofUnsaved) + o.reason}));
      if (r.action) {
        EXPECT_EQ(mailbox_writes(), (std::vector<std::pair<int, int>>{})) << "commands reached the adapter";
      }
      ::rmdir(lock.c_str());
      ::rmdir(file.c_str());
      ::unlink(file.c_str());
      ::rename((file + ".old").c_str(), file.c_str());
    }
  }
}

// An edit one process answered and holds unsaved while another process
// changes the file: what replaced the edit (a start, an action's rebuild,
// another value) fails the first one's SaveProfile with a status that says
// so, the adapter untouched, until it edits again; what kept it (an edit
// elsewhere, a save of it) lets the save write it.
TEST_F(ProfileTest, AnEditHeldAcrossAnotherProcess) {
  const std::string c = kConfigured, protocol = c + "/Port0/Function1/Protocol";
  const std::string saved = "MA,0x7,2,None,0x2,FCoE,N/A\n";
  const struct {
    const char* other;  // what the other process does
    std::function<uint32_t()> run;
    bool kept;
  } rows[] = {
      {"starts",
       [] {
         TAVO_exit();
         const uint32_t started = TAVO_init();
         return started + TAVO_exit();
       },
       false},
      {"sets the profile id", [&] { return act("Corvane0/ProfileManagement/SetProfileId", {"2"}); }, false},
      {"edits the value", [&] { return set(protocol, "iSCSI"); }, false},
      {"edits another controller", [&] { return set("Corvane1/ProfileManagement/ConfiguredProfile/ProfileId", "5"); },
       true},
      {"saves the edit", [&] { return act("Corvane0/ProfileManagement/SaveProfile"); }, true},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.other);
    ASSERT_EQ(restart_with({}), 0u);
    ASSERT_EQ(set(protocol, "FCoE"), 0u);
    ASSERT_EQ(in_process([&] { return std::to_string(r.run()); }), "0");
    EXPECT_EQ(get(protocol), r.kept ? "FCoE" : "iSCSI");
    const int writes = mailbox_count(1, 165);
    if (r.kept) {
      EXPECT_EQ(act("Corvane0/ProfileManagement/SaveProfile"), 0u);
      EXPECT_EQ(mailbox_count(1, 165), writes + 1);
      EXPECT_NE(lines().find(saved), std::string::npos);
      continue;
    }
    const std::string left = lines();
    EXPECT_EQ(act("Corvane0/ProfileManagement/SaveProfile"), 1u);
    EXPECT_EQ(last_status(), (std::pair<uint32_t, std::string>{
                                 1, "Failed to save configured profile, because its unsaved changes were discarded "
                                    "when another process restarted or changed the configuration. Please make the "
                                    "changes again."}));
    EXPECT_EQ(mailbox_count(1, 165), writes);
    EXPECT_EQ(lines(), left);
    // Told once: the edit made again is saved.
    ASSERT_EQ(set(protocol, "FCoE"), 0u);
    EXPECT_EQ(act("Corvane0/ProfileManagement/SaveProfile"), 0u);
    EXPECT_NE(lines().find(saved), std::string::npos);
  }
}

// A start whose lines could not replace the file reads them in its place
// only until another process changes the root: from then on this process
// reads the file too, and its own edit keeps the other's. Also when the
// other's last write leaves the file as the start found it to the eye of
// a stat: its inode again (a rename frees the one it replaces), the same
// size, the times of the same tick (the file clock stands).
TEST_F(ProfileTest, LinesAStartCouldNotWriteGiveWayToAnotherProcesssWrite) {
  const std::string other = "Corvane1/ProfileManagement/ConfiguredProfile/ProfileId";
  const std::string mine = std::string(kConfigured) + "/Port0/Function1/Protocol";
  const std::string file = root_.at("/etc/config/QVL/tavo/config_prof.txt");
  const auto inode = [&] {
    struct stat st {};
    return ::stat(file.c_str(), &st) == 0 ? st.st_ino : 0;
  };
  for (const bool same_inode : {false, true}) {
    SCOPED_TRACE(same_inode ? "until the inode comes back" : "once");
    ASSERT_EQ(restart_with({}), 0u);
    sim_->stop_file_clock();
    // A process that is gone left an edit the start must write over, in
    // a line as long as the adapter's.
    ASSERT_EQ(in_process([&] { return std::to_string(set(std::string(kConfigured) + "/Port0/MCType", "NPAR")); }),
              "0");
    TAVO_exit();
    sim::Fault rename = file_errno("rename", "config_prof");
    sim_->inject(rename);
    ASSERT_EQ(TAVO_init(), 0u);
    sim_->clear_faults();
    ASSERT_EQ(get(std::string(kConfigured) + "/Port0/MCType"), "None");
    const ino_t found = inode();
    const std::string last = in_process([&] {
      TAVO_exit();
      if (TAVO_init() != 0) return std::string("no start");
      std::string value;
      for (int i = 0; i < 8 && (value.empty() || (same_inode && inode() != found)); ++i) {
        value = i % 2 == 0 ? "5" : "6";
        if (set(other, value) != 0) return "refused " + value;
      }
      return value;
    });
    ASSERT_TRUE(last == "5" || last == "6") << last;
    EXPECT_EQ(get(other), last);
    ASSERT_EQ(set(mine, "FCoE"), 0u);
    EXPECT_NE(lines().find("MB,0x9," + last + ",None,0x0,NIC,"), std::string::npos) << lines();
    EXPECT_NE(lines().find("MA,0x7,2,None,0x2,FCoE,"), std::string::npos) << lines();
  }
}

// Two or three processes edit the protocols of their own functions side
// by side, one saving the profile now and then; one started last on a file
// its start could not write (its own edit before the start stays there),
// or is killed in its fourth edit's save. Each last answered edit stands
// in the file and, once saved, on the adapter; the killed one's function
// is as it was before that edit. The values are as long as each other and
// the file clock stands, so that a save may leave the file as an earlier
// one did to the eye of a stat.
TEST_F(ProfileTest, EachProcesssLastAnsweredEditStands) {
  constexpr char kTopology[] =
      "controller 0 generation=moravel serial=MA bus=7\n"
      "nic controller=0 function=0 port=0 name=vmnic0 mac=00:0e:1e:60:00:00\n"
      "iscsi controller=0 function=1 port=0 device=0 mac=00:0e:1e:60:00:01\n"
      "iscsi controller=0 function=2 port=1 device=1 mac=00:0e:1e:60:00:02\n"
      "iscsi controller=0 function=3 port=1 device=2 mac=00:0e:1e:60:00:03\n";
  enum class Start { Kept, Own, Unwritten };
  struct Editor {
    const char* function;  // the Function's place, its number
    const char* number;
    std::vector<const char*> values;  // in turn
    Start start;
    bool saves;
    bool killed;
  };
  const Editor one{"Port0/Function1", "0x1", {"FCoE", "None"}, Start::Kept, true, false};
  const Editor two{"Port1/Function0", "0x2", {"None", "FCoE"}, Start::Own, false, false};
  const Editor three{"Port1/Function1", "0x3", {"FCoE", "None"}, Start::Unwritten, false, false};
  Editor killed = three;
  killed.start = Start::Kept;
  killed.killed = true;
  const struct {
    const char* name;
    std::vector<Editor> editors;
  } rows[] = {
      {"two", {one, two}},
      {"three, one on a file its start could not write", {one, two, three}},
      {"three, one killed", {one, two, killed}},
  };
  const std::string c = std::string(kConfigured) + "/";
  const auto mark = [&](size_t k, const char* what) { return root_.at("/" + std::string(what) + std::to_string(k)); };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    ASSERT_EQ(restart(kTopology), 0u);
    sim_->stop_file_clock();
    std::vector<pid_t> children;
    for (size_t k = 0; k < r.editors.size(); ++k) {
      const Editor& e = r.editors[k];
      const pid_t pid = fork();
      if (pid != 0) {
        children.push_back(pid);
        continue;
      }
      // The starts in turn, then the edits all at once.
      while (k > 0 && !file_exists(mark(k - 1, "started"))) usleep(100);
      // An edit the start must write over, as long as the adapter's value.
      if (e.start == Start::Unwritten && set(c + "Port0/MCType", "NPAR") != 0) _exit(2);
      if (e.start != Start::Kept) {
        TAVO_exit();
        if (e.start == Start::Unwritten) sim_->inject(file_errno("rename", "config_prof"));
        if (TAVO_init() != 0) _exit(2);
        sim_->clear_faults();
      }
      write_file(mark(k, "started"), "");
      while (!file_exists(mark(r.editors.size() - 1, "started"))) usleep(100);
      if (e.killed) {
        sim::Fault kill = file_errno("rename", "config_prof", 1);
        kill.kind = sim::FaultKind::Crash;
        kill.skip = 3;
        sim_->inject(kill);
      }
      for (size_t i = 0; i < 12; ++i) {
        const char* value = e.values[i % e.values.size()];
        if (set(c + e.function + "/Protocol", value) != 0) _exit(3);
        write_file(mark(k, "answered"), value);
        if (e.saves && i % 4 == 3 && act("Corvane0/ProfileManagement/SaveProfile") != 0) _exit(4);
      }
      _exit(0);
    }
    for (size_t k = 0; k < children.size(); ++k) {
      int status = 0;
      waitpid(children[k], &status, 0);
      const int expected = r.editors[k].killed ? sim::kCrashExitCode : 0;
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == expected) << k << ": " << status;
    }
    std::vector<std::string> answered;
    for (size_t k = 0; k < r.editors.size(); ++k) {
      answered.push_back(read_file(mark(k, "answered")));
      ::unlink(mark(k, "answered").c_str());
      ::unlink(mark(k, "started").c_str());
      EXPECT_NE(lines().find(std::string(",") + r.editors[k].number + "," + answered[k] + ","), std::string::npos)
          << k << " answered " << answered[k] << ":\n" << lines();
    }
    ASSERT_EQ(act("Corvane0/ProfileManagement/SaveProfile"), 0u) << last_status().second;
    TAVO_exit();
    ASSERT_EQ(TAVO_init(), 0u);
    for (size_t k = 0; k < r.editors.size(); ++k)
      EXPECT_EQ(get(c + r.editors[k].function + "/Protocol"), answered[k]) << k;
  }
}

// One process edits Corvane0's lines while another rebuilds Corvane1's
// (reading the file, then writing it whole): no edit and no line is lost.
TEST_F(ProfileTest, TwoWritersLoseNoLine) {
  constexpr int kEdits = 32;
  const std::string id = std::string(kConfigured) + "/ProfileId", done = root_.at("/edits-done");
  // The rebuilds go on until the edits are over, so that the last edit
  // falls between a rebuild's read and its write.
  const std::function<void()> writers[] = {
      [&] {
        for (int i = 1; i <= kEdits; ++i)
          if (set(id, std::to_string(i)) != 0) _exit(1);
        write_file(done, "");
      },
      [&] {
        for (int after = 0; after < 4; after += file_exists(done))
          if (purge_nodes_within(node("Corvane1/ProfileManagement/ConfiguredProfile"), "Port") != 0 ||
              TAVO_get_configured_profiles(node("Corvane1")) != 0)
            _exit(1);
      },
  };
  std::vector<pid_t> children;
  for (const auto& w : writers) {
    const pid_t pid = fork();
    if (pid == 0) {
      w();
      _exit(0);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  const auto sorted = [](const std::string& text) {
    std::vector<std::string> out;
    for (size_t at = 0; at < text.size();) {
      const size_t end = text.find('\n', at);
      out.push_back(text.substr(at, end - at));
      at = end + 1;
    }
    std::sort(out.begin(), out.end());
    return out;
  };
  EXPECT_EQ(sorted(lines()), sorted("MA,0x7,32,None,0x0,NIC,N/A\nMA,0x7,32,None,0x2,iSCSI,N/A\n"
                                    "MA,0x7,32,None,0x1,NIC,N/A\nMA,0x7,32,None,0x1,NIC+RoCE,N/A\n"
                                    "MB,0x9,2,None,0x0,NIC,N/A\n"));
}

}  // namespace
}  // namespace tavo::test
