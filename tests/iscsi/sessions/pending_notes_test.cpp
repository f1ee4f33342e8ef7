// The notes of persistent sessions (iscsi_pending.txt) across actions,
// processes, kills and power cuts: each change appends its note and
// nothing else, a note torn by a power cut names no session, and what a
// killed process left is settled by whoever comes next.
#include <gtest/gtest.h>
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "tests/iscsi/targets/targets_fixture.h"

namespace tavo::test {
namespace {

// A note the start cannot settle: no such function in the tree (as an
// older file writes a note, without its change).
constexpr char kStaying[] = "Corvane7,iSCSIPhysicalHBA0,LogicalHBA0,iqn.gone,10.0.0.9,3260,1,iqn.hx\n";
// A note's fields (a session line's first eight and its change), and what
// ends a torn line.
constexpr size_t kNoteFields = 9;
constexpr char kCutLineEnd[] = ",,,,,,,,,\n";

class PendingNotesTest : public NetworkTargetsTest {
 protected:
  std::string notes() { return file_exists(saved_path("iscsi_pending.txt")) ? saved("iscsi_pending.txt") : ""; }
  void put_notes(const std::string& text) { write_file(saved_path("iscsi_pending.txt"), text); }
  uint32_t start_again() {
    TAVO_exit();
    return TAVO_init();
  }
  // The saved lines of LogicalHBA0 and the firmware's persistent entries
  // of its function, sorted.
  std::string stores() {
    std::vector<std::string> lines = target_lines();
    for (const sim::SimSession& s : sim_->sessions(0)->sessions)
      if (s.persistent) lines.push_back("entry " + s.target + " " + std::to_string(s.isid));
    std::sort(lines.begin(), lines.end());
    std::string out;
    for (const std::string& l : lines) out += l + "\n";
    return out;
  }
  // What a start finds: the stores, the removals of persistent entries it
  // asked for, and the notes it left; next_start, in a new process.
  std::string found_by_a_start() {
    sim_->clear_log();
    start_again();
    return stores() + "removals " + std::to_string(mailbox_count(6, 28)) + "\nnotes\n" + notes();
  }
  std::string next_start() { return in_process([&] { return found_by_a_start(); }); }
  // A process killed at the first file call of kind under path, running op.
  int killed_at(const std::string& call, const std::string& path, const std::function<void()>& op) {
    sim::Fault f;
    f.kind = sim::FaultKind::Crash;
    f.file_call = call;
    f.path_contains = path;
    return in_child(f, op, true);
  }
  // A process whose power fails at the flush of its AddTarget's note (of
  // iqn.t4), the first kept bytes of the note on the disk (-1: all).
  int cut_at_the_note(int64_t kept) {
    sim::Fault f;
    f.kind = sim::FaultKind::PowerCut;
    f.file_call = "fsync";
    f.path_contains = "iscsi_pending";
    f.kept = kept;
    return in_child(f, [&] { add("iqn.t4"); }, true);
  }
  uint32_t add(const std::string& name, const std::string& address = "10.0.0.9") {
    return act(std::string(kLhba) + "/AddTarget", {name, address});
  }
  // The n of the LogicalHBA's Target<n> named name ("" for none).
  std::string instance_of(const std::string& name) {
    for (const std::string& t : instances(kLhba, "Target"))
      if (get(std::string(kLhba) + "/" + t + "/TargetISCSIName") == name) return t.substr(6);
    return "";
  }
};

// The lines of text, each with its line feed but a cut last one.
std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  for (size_t at = 0; at < text.size();) {
    const size_t end = std::min(text.find('\n', at), text.size() - 1) + 1;
    out.push_back(text.substr(at, end - at));
    at = end;
  }
  return out;
}

// Each change of a persistent session appends its note, one line of the
// session line's first eight fields and what the change does (the add of
// a target's portal with its session, a session ended, a deletion), to
// what the file held, and flushes it once: nothing of it is cut or written over, no file is renamed in
// for it, letting the note go writes nothing. An add flushes that and its
// line (and the folder of the notes' file it made); a logout or a
// deletion, whose line goes by a new file, flushes that file and its
// folder besides. Another process's note follows this one's, and this
// one's next note follows the other's. The last exit empties the file
// where it is, and a start then asks the firmware for nothing.
TEST_F(PendingNotesTest, EachChangeAppendsItsNoteAndLettingItGoWritesNothing) {
  const std::string lhba = kLhba, path = saved_path("iscsi_pending.txt");
  const auto inode = [&] {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
  };
  const struct {
    const char* what;
    std::function<uint32_t()> change;
    const char* noted;  // the target the note names; null: no note
    const char* noted_change;  // the note's last field
    uint64_t flushes, folder_flushes, renames;
  } changes[] = {
      {"AddTarget", [&] { return add(kTargetA, "10.0.0.50"); }, kTargetA, "AddedPortal", 2, 1, 0},
      {"AddTarget", [&] { return add("iqn.t4"); }, "iqn.t4", "AddedPortal", 2, 0, 0},
      {"Login of a persistent session", [&] { return act(lhba + "/Target" + instance_of(kTargetA) + "/Login",
                                                         {"10.0.0.50", "3260"}); }, nullptr, "", 0, 0, 0},
      {"Logout", [&] { return act(lhba + "/Target" + instance_of(kTargetA) + "/Logout"); }, kTargetA, "", 2, 1, 1},
      {"DeleteTarget", [&] { return act(lhba + "/DeleteTarget", {instance_of("iqn.t4")}); }, "iqn.t4", "Deletion",
       2, 1, 1},
  };
  ino_t made = 0;
  for (const auto& c : changes) {
    SCOPED_TRACE(c.what);
    const std::string before = notes();
    sim_->clear_log();
    ASSERT_EQ(c.change(), 0u) << last_status().second;
    EXPECT_EQ(sim_->file_calls("truncate"), 0u);
    EXPECT_EQ(sim_->file_calls("fsync"), c.flushes);
    EXPECT_EQ(sim_->file_calls("fsync_dir"), c.folder_flushes);
    EXPECT_EQ(sim_->file_calls("rename"), c.renames);
    const std::string after = notes();
    ASSERT_EQ(after.substr(0, before.size()), before);
    const std::vector<std::string> added = lines_of(after.substr(before.size()));
    if (c.noted == nullptr) {
      EXPECT_TRUE(added.empty());
      continue;
    }
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(std::count(added[0].begin(), added[0].end(), ','), kNoteFields - 1);
    EXPECT_TRUE(added[0].ends_with("," + std::string(c.noted_change) + "\n")) << added[0];
    EXPECT_EQ(added[0].substr(0, std::string(kKey).size() + std::string(c.noted).size() + 2),
              std::string(kKey) + "," + c.noted + ",");
    if (made == 0) made = inode();
    EXPECT_EQ(inode(), made);
  }
  // Another process's note follows this one's (all let go: the last exit
  // emptied the file); this one's next follows it.
  ASSERT_EQ(start_again(), 0u);
  EXPECT_EQ(notes(), "");
  EXPECT_EQ(in_process([&] { return std::to_string(add("iqn.t5")); }), "0");
  const std::string theirs = notes();
  EXPECT_EQ(lines_of(theirs).size(), 1u);
  ASSERT_EQ(add("iqn.t6"), 0u);
  ASSERT_EQ(notes().substr(0, theirs.size()), theirs);
  EXPECT_EQ(lines_of(notes()).size(), 2u);
  EXPECT_EQ(inode(), made);
  ASSERT_EQ(TAVO_exit(), 0u);
  EXPECT_EQ(notes(), "");
  EXPECT_EQ(inode(), made);
  sim_->clear_log();
  ASSERT_EQ(TAVO_init(), 0u);
  EXPECT_EQ(mailbox_count(6, 28), 0);
}

// A power cut while a note is written keeps any prefix of its bytes (the
// rest, where the size reached the disk first, NULs): whatever it kept,
// the next start reads no note from a part of a line, asks the firmware
// for nothing but the whole note's removal, finds the target as it was,
// keeps the note it cannot settle that came before, and drops the rest.
TEST_F(PendingNotesTest, APowerCutKeepingAnyPrefixOfANoteLeavesTheNotesBefore) {
  put_notes(kStaying);
  ASSERT_EQ(start_again(), 0u);
  ASSERT_EQ(notes(), kStaying);
  const std::string before = stores();
  ASSERT_EQ(cut_at_the_note(-1), sim::kCrashExitCode);
  const std::string note = notes().substr(std::string(kStaying).size());
  ASSERT_EQ(lines_of(note).size(), 1u);
  const auto after_start = [&](bool whole) {
    return before + "removals " + (whole ? "1" : "0") + "\nnotes\n" + kStaying;
  };
  for (size_t kept = 0; kept <= note.size(); ++kept) {
    SCOPED_TRACE(kept);
    put_notes(kStaying);
    ASSERT_EQ(cut_at_the_note(static_cast<int64_t>(kept)), sim::kCrashExitCode);
    ASSERT_EQ(notes(), kStaying + note.substr(0, kept));
    EXPECT_EQ(next_start(), after_start(kept == note.size()));
    sim_->rewind_adapters();
  }
  // Its bytes past the cut read as NULs, where the size went first: a
  // process's starts in turn.
  EXPECT_EQ(in_process([&] {
              std::string wrong;
              for (size_t kept = 0; kept < note.size(); ++kept) {
                put_notes(kStaying + note.substr(0, kept) + std::string(note.size() - kept, '\0'));
                const std::string found = found_by_a_start();
                if (found != after_start(false)) wrong += std::to_string(kept) + ":\n" + found;
              }
              return wrong;
            }),
            "");
}

// A line a torn write left is ended before the next note, by a process
// that read it without a start (it followed the root another changed);
// the note a kill cut after its firmware entry is settled by whoever comes
// next, whatever part of the torn note was kept: the next start, or the
// next change of a process that follows the root.
TEST_F(PendingNotesTest, TheNoteAfterATornLineIsALineOfItsOwnSettledByWhoeverComesNext) {
  const std::string before = stores();
  put_notes("");  // a file made and cut before its folder's flush is gone
  ASSERT_EQ(cut_at_the_note(-1), sim::kCrashExitCode);
  const std::string torn = notes();
  // Cut inside the first field, at each field's end, and before the feed.
  std::vector<size_t> cuts = {1, torn.size() - 1};
  for (size_t at = torn.find(','); at != std::string::npos; at = torn.find(',', at + 1)) cuts.push_back(at);
  for (const size_t kept : cuts) {
    SCOPED_TRACE(kept);
    const std::string part = torn.substr(0, kept);
    put_notes("");
    sim_->rewind_adapters();
    ASSERT_EQ(cut_at_the_note(static_cast<int64_t>(kept)), sim::kCrashExitCode);
    ASSERT_EQ(notes(), part);
    // Killed at its line's write, the firmware's entry made.
    ASSERT_EQ(killed_at("write", "savetgt", [&] { add("iqn.t5"); }), sim::kCrashExitCode);
    const std::string left = notes();
    const bool last = kept == cuts.back();
    if (!last) {
      EXPECT_EQ(next_start(), before + "removals 1\nnotes\n");
    } else {
      sim_->clear_log();
      ASSERT_EQ(add("iqn.t6"), 0u);
      EXPECT_EQ(mailbox_count(6, 28), 1);
      EXPECT_EQ(stores().find("entry iqn.t5"), std::string::npos);
      EXPECT_EQ(lines_of(notes()).size(), 1u);
    }
    sim_->rewind_adapters();
    const size_t ended = part.size() + std::string(kCutLineEnd).size();
    EXPECT_EQ(left.substr(0, ended), part + kCutLineEnd);
    const std::vector<std::string> after = lines_of(left.substr(std::min(left.size(), ended)));
    EXPECT_TRUE(after.size() == 1 && after[0].starts_with(std::string(kKey) + ",iqn.t5,")) << left;
  }
}

// A process that lives on keeps the file small: past 16 KiB of notes that
// went, the change that lets one go cuts the file; a note it cannot
// settle stays through every cut.
TEST_F(PendingNotesTest, AProcessThatLivesOnKeepsTheFileSmall) {
  put_notes(kStaying);
  ASSERT_EQ(start_again(), 0u);
  size_t longest = 0, cuts = 0, last = notes().size();
  for (int i = 0; i < 130; ++i) {
    ASSERT_EQ(add("iqn.cycle"), 0u);
    ASSERT_EQ(act(std::string(kLhba) + "/DeleteTarget", {instance_of("iqn.cycle")}), 0u);
    const std::string now = notes();
    ASSERT_EQ(now.substr(0, std::string(kStaying).size()), kStaying);
    longest = std::max(longest, now.size());
    cuts += now.size() < last;
    last = now.size();
  }
  EXPECT_GE(cuts, 1u);
  EXPECT_LE(longest, 16384u + 1024u);
}

// The files under the root, by path: size, modification and change times.
std::map<std::string, std::string> files_below(const std::string& dir, const std::string& skip) {
  std::map<std::string, std::string> out;
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) return out;
  for (dirent* e; (e = ::readdir(d)) != nullptr;) {
    const std::string name = e->d_name, path = dir + "/" + name;
    struct stat st{};
    if (name == "." || name == ".." || path == skip || ::lstat(path.c_str(), &st) != 0) continue;
    out[path] = std::to_string(st.st_size) + " " + std::to_string(st.st_mtim.tv_sec) + "." +
                std::to_string(st.st_mtim.tv_nsec) + " " + std::to_string(st.st_ctim.tv_sec) + "." +
                std::to_string(st.st_ctim.tv_nsec);
    if (S_ISDIR(st.st_mode)) out.merge(files_below(path, skip));
  }
  ::closedir(d);
  return out;
}

// A start that only reads, and its reads and exit, change nothing under
// the root (the debug log aside, which these tests write): on a root
// whose notes were all let go, and on one where no note ever was.
TEST_F(PendingNotesTest, AStartThatOnlyReadsChangesNothingUnderTheRoot) {
  const std::string log = root_.path() + "/var/log/QVL/tavo/tavo2d.log";
  for (const bool noted : {false, true}) {
    SCOPED_TRACE(noted ? "notes let go" : "no note ever");
    if (noted) {
      ASSERT_EQ(add(kTargetA, "10.0.0.50"), 0u);
    }
    ASSERT_EQ(start_again(), 0u);
    ASSERT_EQ(file_exists(saved_path("iscsi_pending.txt")), noted);
    const auto before = files_below(root_.path(), log);
    EXPECT_EQ(in_process([&] {
                start_again();
                walk_whole_tree();
                return std::to_string(TAVO_exit());
              }),
              "0");
    EXPECT_EQ(files_below(root_.path(), log), before);
  }
}

}  // namespace
}  // namespace tavo::test
