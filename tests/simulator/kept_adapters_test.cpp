// The simulated adapters outlive the processes that manage them, as real
// ones do; below them, the file that keeps them under the root.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "base/debug_log.h"
#include "platform/host.h"
#include "tavo/tavo.h"
#include "tests/iscsi/targets/targets_fixture.h"
#include "transport/device_layout.h"

namespace tavo::test {
namespace {

const std::string kAuth = std::string(kLhba) + "/InitiatorLoginOptions/Authentication";
constexpr char kStateFile[] = "/.tavo-sim/adapters";

off_t size_of(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

class KeptAdaptersTest : public NetworkTargetsTest {
 protected:
  void SetUp() override {
    NetworkTargetsTest::SetUp();
    // Each process below starts the library itself, as a new one would.
    while (TAVO_exit() == 0 && get_node(0) != nullptr) {
    }
    write_file(root_.at("/etc/config/QVL/tavo/libtavo.conf"), "#\n#\nTAVOLogLevel 0");
    base::set_log_level(0);
  }
  // In a process of its own: the library started, run, left. What run
  // answered, then "|" and the file calls that change files, with their
  // counts.
  std::string process(const std::function<std::string()>& run) {
    return in_process([&] {
      sim_->clear_log();
      std::string out = TAVO_init() == 0 ? run() : "no start";
      if (TAVO_exit() != 0) out += " no exit";
      out += " |";
      for (const char* call : {"write", "truncate", "fsync", "fsync_dir", "rename", "unlink", "mkdir", "chmod"})
        if (const uint64_t n = sim_->file_calls(call)) out += std::string(" ") + call + "=" + std::to_string(n);
      return out;
    });
  }
  // What run answered, without the file calls.
  static std::string answer(const std::string& out) { return out.substr(0, out.find(" |")); }
};

TEST_F(KeptAdaptersTest, WhatOneProcessSetsTheNextFindsAReaderWritesNothingAPowerCycleClears) {
  const auto set = [&] {
    return std::to_string(act(kAuth + "/ConfigureCHAP", {"One-Way CHAP", "", "", "t", "tsecret12345"})) + " " +
           std::to_string(act(std::string(kLhba) + "/AddTarget", {kTargetB, "10.0.0.50"}));
  };
  const auto forget = [&] { return std::to_string(act(std::string(kLhba) + "/DeleteTarget", {"0"})); };
  // The firmware holds the target's persistent session already: nobody
  // adds it again.
  const auto read = [&] {
    return get(kAuth + "/AuthenticationMethod") + ", " + get(kAuth + "/TargetCHAPName") + ", " +
           get(std::string(kLhba) + "/Target0/TargetISCSIName") + ", sessions " +
           std::to_string(sim_->sessions(0)->sessions.size()) + ", added " + std::to_string(mailbox_count(6, 27));
  };
  const std::string kept = std::string("One-Way CHAP, t, ") + kTargetB + ", sessions 1, added 0 |";
  struct Row {
    const char* what;
    std::function<std::string()> run;
    std::string answer;
    bool reads_only;
  } rows[] = {
      {"sets the initiator's CHAP and adds a target", set, "0 0", false},
      {"reads them", read, kept, true},
      {"reads them again", read, kept, true},
      {"deletes the target", forget, "0", false},
      {"finds it gone from the firmware too", read, "One-Way CHAP, t, <unreadable>, sessions 0, added 0 |", true},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    const off_t before = size_of(root_.at(kStateFile));
    const std::string out = process(r.run);
    // A reader's answer ends in a bare "|": it made no file call that changes files.
    EXPECT_EQ(r.reads_only ? out : answer(out), r.answer);
    if (r.reads_only) {
      EXPECT_EQ(size_of(root_.at(kStateFile)), before) << "the adapters' file was written";
    }
  }
  // A power cycle resets their configuration: the saved initiator options go with it.
  sim_->power_cycle();
  EXPECT_EQ(answer(process([&] { return get(kAuth + "/AuthenticationMethod"); })), "None");
}

// A change the adapters cannot keep (a folder stands where their file
// goes) fails in the driver, and the library answers so: neither the
// process that asked for it nor the next one finds its session.
TEST_F(KeptAdaptersTest, AChangeTheAdaptersCannotKeepFailsAndNoProcessHoldsIt) {
  const std::string file = root_.at(kStateFile);
  ::unlink(file.c_str());
  ASSERT_EQ(mkdir(file.c_str(), 0755), 0);
  const auto sessions = [&] { return "sessions " + std::to_string(sim_->sessions(0)->sessions.size()); };
  EXPECT_EQ(answer(process([&] {
              const uint32_t added = act(std::string(kLhba) + "/AddTarget", {kTargetB, "10.0.0.50"});
              uint32_t code = 0;
              char text[TAVO_STATUS_TEXT_SIZE] = "";
              TAVO_get_last_status(&code, text);
              return std::to_string(added) + " (" + text + "), " + sessions();
            })),
            "1 (AddTarget failed. Please check tavo2d.log file for more information.), sessions 0");
  EXPECT_EQ(answer(process(sessions)), "sessions 0");
}

// A root made read-only once a process set it up: a new process, its
// simulator started there as TAVO_SIMULATOR starts it, starts and reads
// what the writable root showed; a change of the adapters fails in the
// driver, as any change the root cannot keep, and leaves them as they
// were. The same change on the writable root is kept.
TEST_F(KeptAdaptersTest, AReadOnlyRootStartsAndReads) {
  const std::string lhba = kLhba, arp = "Corvane0/iSCSIPhysicalHBA0/Network/TCPIPConfiguration/ARPTable";
  ASSERT_EQ(answer(process([&] {
              return std::to_string(act(kAuth + "/ConfigureCHAP", {"One-Way CHAP", "", "", "t", "tsecret12345"})) +
                     " " + std::to_string(act(lhba + "/AddTarget", {kTargetB, "10.0.0.50"})) + " " +
                     std::to_string(act(lhba + "/AddTarget", {kTargetC, "10.0.0.60"}));
            })),
            "0 0 0");
  // What a process reads: the initiator's CHAP and ARP table from the
  // adapter, the targets and their portals.
  const auto read = [&] {
    std::string out = get(kAuth + "/AuthenticationMethod") + " " + get(kAuth + "/TargetCHAPName");
    for (const std::string& e : instances(arp, "ARPTableEntry"))
      out += ", " + e + " " + get(arp + "/" + e + "/IPAddress");
    for (const std::string& t : instances(lhba, "Target")) {
      out += ", " + t + " " + get(lhba + "/" + t + "/TargetISCSIName");
      for (const std::string& p : instances(lhba + "/" + t, "TargetPortal"))
        out += " " + get(lhba + "/" + t + "/" + p + "/TargetIPAddress");
    }
    return out;
  };
  const auto change = [&] {
    const uint32_t answered = act(arp + "/AddARPTableEntry", {"10.0.0.2", "00:11:22:33:44:55"});
    uint32_t code = 0;
    char text[TAVO_STATUS_TEXT_SIZE] = "";
    TAVO_get_last_status(&code, text);
    return std::to_string(answered) + " (" + std::to_string(code) + " " + text + ")";
  };
  const std::string shown = answer(process(read));
  ASSERT_EQ(shown, std::string("One-Way CHAP t, Target0 ") + kTargetC + " 10.0.0.60, Target1 " + kTargetB +
                       " 10.0.0.50");
  const struct {
    const char* way;
    bool bind_mount;
  } ways[] = {{"a read-only bind mount", true}, {"no write permission", false}};
  for (const auto& w : ways) {
    SCOPED_TRACE(w.way);
    const std::function<void()> writable = w.bind_mount ? [] {} : read_only_files(root_.path());
    const std::string found = in_process([&] {
      if (!root_read_only(root_.path(), w.bind_mount)) return std::string("cannot");
      setenv("TAVO_SIMULATOR", root_.at("/topology.txt").c_str(), 1);
      platform::install_host(nullptr);
      const uint32_t started = TAVO_init();
      const std::string before = read(), changed = change();
      return std::to_string(started) + " | " + before + " | " + changed + " | " + read();
    });
    writable();
    if (found == "cannot") {
      std::cout << "[ SKIPPED ] " << w.way << " cannot be had here\n";
      continue;
    }
    EXPECT_EQ(found, "0 | " + shown + " | 1 (130 Cannot add/delete ARP table entry.) | " + shown);
    EXPECT_EQ(answer(process(read)), shown);
  }
  EXPECT_EQ(answer(process(change)), "0 (0 )");
  EXPECT_EQ(answer(process(read)), "One-Way CHAP t, ARPTableEntry0 10.0.0.2, Target0 " + std::string(kTargetC) +
                                       " 10.0.0.60, Target1 " + kTargetB + " 10.0.0.50");
}

// Benchmarks keep the adapters in their one process: what a command
// changes stays there, nothing is written under the root, and what the
// commands reached does not pile up between them.
TEST_F(KeptAdaptersTest, AdaptersKeptInOneProcessWriteNothingUnderTheRoot) {
  sim_->keep_adapters_in_process();
  const off_t before = size_of(root_.at(kStateFile));
  ASSERT_EQ(TAVO_init(), 0);
  for (const char* name : {kTargetB, "iqn.2026-12.com.example:c"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(act(std::string(kLhba) + "/AddTarget", {name, "10.0.0.50"}), 0u);
    const sim::SimIscsi& st = *sim_->sessions(0);
    EXPECT_TRUE(st.reached.empty() && st.reached_targets.empty()) << "what the commands reached piles up";
  }
  EXPECT_EQ(get(std::string(kLhba) + "/Target1/TargetISCSIName"), "iqn.2026-12.com.example:c");
  EXPECT_EQ(sim_->sessions(0)->sessions.size(), 2u);
  EXPECT_EQ(TAVO_exit(), 0u);
  EXPECT_EQ(size_of(root_.at(kStateFile)), before) << "the adapters' file was written";
}

// The file itself, through the simulator's own calls: a command on the
// first iSCSI device, and a flash object a test plants.
class AdapterFileTest : public SimTest {
 protected:
  // The driver's answer: 0, or -1 (errno EIO: a change the adapters could
  // not keep).
  int command(uint8_t opcode) {
    std::vector<uint8_t> buf(kMailboxHeaderSize + sizeof(ConfigSignature), 0);
    auto* h = reinterpret_cast<MailboxRequestHeader*>(buf.data());
    h->subsystem = 1;
    h->opcode = opcode;
    h->request_length = sizeof(ConfigSignature);
    const int fd = platform::host().device_open(platform::fixed_path(std::string(kIscsiDevicePrefix) + "0"), 0);
    EXPECT_GE(fd, 0);
    const int answer = platform::host().device_ioctl(fd, kIscsiMailboxRequest, buf.data());
    EXPECT_TRUE(answer == 0 || errno == EIO) << strerror(errno);
    platform::host().device_close(fd);
    return answer;
  }
  // Planted, then kept by the next command that may change the adapters;
  // that command's answer.
  int plant(const std::string& content) {
    sim_->flash(0)["/planted"].assign(content.begin(), content.end());
    return command(kSetSignature);
  }
  // The planted object as a process that reads the adapters now finds it.
  std::string planted() {
    command(kGetSignature);
    const auto& objects = sim_->flash(0);
    const auto it = objects.find("/planted");
    return it == objects.end() ? "<none>" : std::string(it->second.begin(), it->second.end());
  }
  static constexpr uint8_t kGetSignature = 78, kSetSignature = 79;
};

TEST_F(AdapterFileTest, ABatchCutShortIsNeitherReadNorKept) {
  plant("one");
  const std::string file = root_.at(kStateFile);
  const off_t whole = size_of(file);
  // A crash cut the next batch short: its head, part of its bytes.
  const std::string torn = std::string("TSB1\x00\x10\x00\x00", 8) + std::string(2000, 'x');
  write_file(file, read_file(file) + torn);
  EXPECT_EQ(in_process([&] { return planted(); }), "one");
  EXPECT_EQ(in_process([&] {
              plant("two");
              return planted();
            }),
            "two");
  // The torn bytes made way for the next batch, which the others read.
  EXPECT_LT(size_of(file), whole + static_cast<off_t>(torn.size()));
  EXPECT_EQ(in_process([&] { return planted(); }), "two");
}

TEST_F(AdapterFileTest, AProcessFollowsAnothersNewFileAndPowerCycle) {
  plant(std::string(100000, '0'));
  const off_t first = size_of(root_.at(kStateFile));
  // Enough changes that the file is written anew, smaller than the batches.
  in_process([&] {
    for (char c = '1'; c <= '9'; ++c) plant(std::string(100000, c));
    return "";
  });
  EXPECT_LT(size_of(root_.at(kStateFile)), first + 8 * 100000);
  EXPECT_EQ(planted(), std::string(100000, '9'));
  in_process([&] {
    sim_->power_cycle();
    return "";
  });
  EXPECT_EQ(planted(), "<none>");
}

// A process follows what another did to the adapters whatever became of
// the count of changes beside their file: mapped by every process, left
// odd by a writer killed before it was done (while the reader looked, and
// after its change), or not to be mapped at all.
TEST_F(AdapterFileTest, AProcessFollowsAnothersChangesWhateverTheirCount) {
  const std::string count = root_.at(kStateFile) + ".count";
  const auto move_count = [&](int64_t by) {
    const int fd = ::open(count.c_str(), O_RDWR);
    uint64_t word = 0;
    ASSERT_EQ(::pread(fd, &word, sizeof word, 0), 8);
    word += static_cast<uint64_t>(by);
    ASSERT_EQ(::pwrite(fd, &word, sizeof word, 0), 8);
    ::close(fd);
  };
  const auto none = [] {};
  const struct {
    const char* what;
    std::function<void()> before, mid_change, after_change;
  } rows[] = {
      {"mapped", none, none, none},
      {"a writer killed half way", none, [&] { move_count(1); }, [&] { move_count(-1); }},
      {"a directory in its place", [&] { ::unlink(count.c_str()), ::mkdir(count.c_str(), 0755); }, none, none},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    const std::string name = r.what;
    EXPECT_EQ(in_process([&] {
                r.before();
                plant(name + " 1");
                r.mid_change();
                std::string seen = planted();
                in_process([&] { return plant(name + " 2"), ""; });
                r.after_change();
                seen += ", " + planted();
                in_process([&] { return sim_->power_cycle(), ""; });
                r.after_change();
                return seen + ", " + planted();
              }),
              name + " 1, " + name + " 2, <none>");
  }
  ::rmdir(count.c_str());
}

// What another process did in many commands, read in one look: each
// object as the last of its changes left it, whether the reader has read
// the file before (the first row is its first look) or not.
TEST_F(AdapterFileTest, AnotherProcessFindsEachObjectAsItsLastChangeLeftIt) {
  constexpr char kGone[] = "<gone>";
  const std::string big(150000, 'b');
  const struct {
    const char* what;
    std::vector<std::vector<std::pair<std::string, std::string>>> commands;  // objects set, or gone
    std::string found;  // the row's objects, as the reader finds them
  } rows[] = {
      {"changed again and again", {{{"/_a", "1"}}, {{"/_a", "2"}, {"/_a2", "x"}}, {{"/_a", "3"}}}, "/_a=3 /_a2=x"},
      {"gone, then back", {{{"/_b", "1"}}, {{"/_b", kGone}}, {{"/_b", "back"}}}, "/_b=back"},
      {"set, then gone", {{{"/_c", "1"}, {"/_c1", "1"}}, {{"/_c", kGone}}}, "/_c1=1"},
      {"names alike past their first bytes",
       {{{"/_d-same-first-bytes-2", "2"}, {"/_d-same-first-bytes-1", "1"}}, {{"/_d-same-first-bytes-2", "two"}}},
       "/_d-same-first-bytes-1=1 /_d-same-first-bytes-2=two"},
      {"pages dropped as it shrank", {{{"/_e", big}}, {{"/_e", "small"}}}, "/_e=small"},
      {"pages kept as it grew", {{{"/_f", "small"}}, {{"/_f", big}}}, "/_f=" + std::to_string(big.size()) + " bytes"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    const std::string tag = r.commands.front().front().first.substr(0, 3);
    in_process([&] {
      for (const auto& objects : r.commands) {
        auto& flash = sim_->flash(0);
        for (const auto& [name, content] : objects)
          if (content == kGone)
            flash.erase(name);
          else
            flash[name].assign(content.begin(), content.end());
        command(kSetSignature);
      }
      return "";
    });
    command(kGetSignature);
    std::string found;
    for (const auto& [name, bytes] : sim_->flash(0)) {
      if (!name.starts_with(tag)) continue;
      const std::string content(bytes.begin(), bytes.end());
      found += (found.empty() ? "" : " ") + name + "=" +
               (content.size() > 100 ? std::to_string(content.size()) + " bytes" : content);
    }
    EXPECT_EQ(found, r.found);
  }
}

// Each process changes its own object again and again, all at once: the
// file's lock orders them, and no change is lost.
TEST_F(AdapterFileTest, ProcessesChangingTheAdaptersAtOnceLoseNothing) {
  constexpr int kProcesses = 6, kChanges = 300;
  std::vector<pid_t> children;
  for (int i = 0; i < kProcesses; ++i) {
    const pid_t pid = fork();
    if (pid == 0) {
      for (int n = 0; n < kChanges; ++n) {
        sim_->flash(0)["/p" + std::to_string(i)] = {static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)};
        command(kSetSignature);
      }
      _exit(0);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) waitpid(pid, nullptr, 0);
  command(kGetSignature);
  for (int i = 0; i < kProcesses; ++i)
    EXPECT_EQ(sim_->flash(0)["/p" + std::to_string(i)], (std::vector<uint8_t>{(kChanges - 1) >> 8, (kChanges - 1) & 0xFF}))
        << "process " << i;
}

// What a folder holds: each name, with a short file's content.
std::string held(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* d = opendir(folder.c_str())) {
    while (const dirent* e = readdir(d))
      if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  std::string out;
  for (const std::string& name : names) {
    const std::string content = read_file(folder + "/" + name);
    out += name + "=" + (content.size() > 64 ? std::to_string(content.size()) + " bytes" : content) + " ";
  }
  return out;
}

// What stands in a fresh root's state folder that the simulator did not put
// there, before a start or before a process's first change: nothing
// outside the root changes, a start refuses what is not the simulator's
// with the reason, and a change that cannot be kept fails in the driver,
// so that neither its process nor the next holds it.
TEST_F(AdapterFileTest, WhatIsNotTheSimulatorsInItsFolderIsLeftAloneAndAChangeNotKeptFails) {
  using Plant = std::function<void(const std::string& folder, const std::string& outside)>;
  const Plant none = [](const std::string&, const std::string&) {};
  // A name in the folder; "<pid>" is the planting process's id.
  const auto at = [](const std::string& folder, std::string name) {
    if (const size_t pid = name.find("<pid>"); pid != std::string::npos) name.replace(pid, 5, std::to_string(getpid()));
    return folder + "/" + name;
  };
  const auto link_at = [&](std::string name) -> Plant {
    return [=](const std::string& folder, const std::string& outside) {
      ASSERT_EQ(symlink((outside + "/file").c_str(), at(folder, name).c_str()), 0);
    };
  };
  const auto second_name_at = [&](std::string name) -> Plant {
    return [=](const std::string& folder, const std::string& outside) {
      ASSERT_EQ(link((outside + "/file").c_str(), at(folder, name).c_str()), 0);
    };
  };
  const auto folder_at = [&](std::string name) -> Plant {
    return [=](const std::string& folder, const std::string&) { ASSERT_EQ(mkdir(at(folder, name).c_str(), 0755), 0); };
  };
  const struct {
    const char* what;
    Plant before_start;
    const char* refusal;  // of the start: the name and why; null: it starts
    Plant before_change;  // by the process that changes the adapters
    const char* found;    // what it and the next process find after the change, if it started
  } rows[] = {
      {"the folder a link to one outside",
       [](const std::string& folder, const std::string& outside) {
         ASSERT_EQ(rmdir(folder.c_str()), 0);
         ASSERT_EQ(symlink(outside.c_str(), folder.c_str()), 0);
       },
       ".tavo-sim: a link, not the simulator's", none, "<none>"},
      {"the folder a regular file",
       [](const std::string& folder, const std::string&) {
         ASSERT_EQ(rmdir(folder.c_str()), 0);
         write_file(folder, "x");
       },
       ".tavo-sim: no folder, not the simulator's", none, "<none>"},
      {"the file a folder", folder_at("adapters"), ".tavo-sim/adapters: a folder, not the simulator's", none, "<none>"},
      {"the file sparse, of 64 GiB",
       [](const std::string& folder, const std::string&) {
         write_file(folder + "/adapters", "TAVOSIM1");
         ASSERT_EQ(truncate((folder + "/adapters").c_str(), off_t{64} << 30), 0);
       },
       ".tavo-sim/adapters: larger than 256 MiB, not the simulator's", none, "<none>"},
      {"the file a link to one outside", link_at("adapters"), ".tavo-sim/adapters: a link, not the simulator's", none,
       "<none>"},
      {"the file a second name of one outside", second_name_at("adapters"),
       ".tavo-sim/adapters: a file with other names, not the simulator's", none, "<none>"},
      {"the lock a link to a file outside", link_at("adapters.lock"),
       ".tavo-sim/adapters.lock: a link, not the simulator's", none, "<none>"},
      {"the count a second name of a file outside", second_name_at("adapters.count"), nullptr, none, "change"},
      {"the count a link to a file outside", link_at("adapters.count"), nullptr, none, "change"},
      {"the temporary a second name of a file outside", none, nullptr, second_name_at("adapters.new.<pid>"), "<none>"},
      {"the temporary a link to a file outside", none, nullptr, link_at("adapters.new.<pid>"), "<none>"},
      {"the temporary a leftover of a killed process", none, nullptr,
       [&](const std::string& folder, const std::string&) { write_file(at(folder, "adapters.new.<pid>"), "torn"); },
       "change"},
      {"the file a folder made once the process started", none, nullptr, folder_at("adapters"), "<none>"},
      {"the file read, then another put in its place by hand", none, nullptr,
       [&](const std::string& folder, const std::string&) {
         ASSERT_EQ(plant("first"), 0);
         write_file(folder + "/copy", read_file(folder + "/adapters"));
         ASSERT_EQ(rename((folder + "/copy").c_str(), (folder + "/adapters").c_str()), 0);
       },
       "first"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    TempRoot root, outside;
    write_file(outside.at("/file"), "outside");
    const std::string folder = root.at("/.tavo-sim");
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    r.before_start(folder, outside.path());
    std::string error;
    sim::Simulator* started = sim::install("default", root.path(), &error);
    EXPECT_EQ(error, r.refusal ? "the simulated adapters cannot be kept in " + root.path() + "/" + r.refusal : "");
    if (started != nullptr) {
      sim_ = started;
      const std::string found = r.found;
      const bool kept = found == "change";
      EXPECT_EQ(in_process([&] {
                  r.before_change(folder, outside.path());
                  const int answer = plant("change");
                  return std::string(answer == 0 ? "kept" : "failed") + ", " + planted();
                }),
                std::string(kept ? "kept" : "failed") + ", " + found);
      EXPECT_EQ(in_process([&] { return planted(); }), found);
    }
    EXPECT_EQ(held(outside.path()), "file=outside ");
  }
}

// The library's start on such a root fails at once with the reason, rather
// than reading the file.
TEST_F(AdapterFileTest, ALibraryStartOnARootTheAdaptersCannotBeKeptInFailsWithTheReason) {
  const std::string file = root_.at(kStateFile);
  write_file(file, "");
  ASSERT_EQ(truncate(file.c_str(), off_t{64} << 30), 0);
  platform::install_host(nullptr);
  setenv("TAVO_SIMULATOR", "default", 1);
  EXPECT_EQ(TAVO_init(), 1u);
  uint32_t code = 0;
  char text[TAVO_STATUS_TEXT_SIZE] = "";
  TAVO_get_last_status(&code, text);
  EXPECT_EQ(std::string(text), "libtavo: TAVO_SIMULATOR=default: the simulated adapters cannot be kept in " + file +
                                   ": larger than 256 MiB, not the simulator's");
  setenv("TAVO_SIMULATOR", "", 1);
  platform::install_host(nullptr);
}

}  // namespace
}  // namespace tavo::test
