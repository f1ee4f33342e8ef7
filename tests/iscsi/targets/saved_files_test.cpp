// The saved iSCSI files: line formats field by field, duplicates and
// removal by whole fields, values that would break a line, the start-up
// check, the move from older locations, and failed saves.
#include <gtest/gtest.h>
#include <errno.h>
#include <stdio.h>
#include <strings.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/file_utils.h"
#include "tests/iscsi/targets/targets_fixture.h"
#include "tests/tree/file_mode.h"

namespace tavo::test {
namespace {

// A savetgt.txt line of the LogicalHBA key with the default options.
std::string tgt(const std::string& key, const std::string& name, const std::string& address, const std::string& port,
                const std::string& qualifier = "", const std::string& type = "Static") {
  return key + "," + name + "," + address + "," + port + "," + qualifier + ",iqn.hx,Yes,Yes,None,None,None,,,,," +
         type + ",Prohibited,Prohibited,Prohibited,True\n";
}

TEST_F(TargetsTest, TargetAndSessionLinesCarryEveryField) {
  TavoNode* lhba = node(kLhba);
  uint32_t added = 1;
  TavoNode* target = add_target("iqn.t", "10.0.0.9", "3260", &added);
  ASSERT_EQ(added, 0u);
  const std::string line = tgt(kKey, "iqn.t", "10.0.0.9", "3260");
  EXPECT_EQ(saved("savetgt.txt"), line);
  // A line that is there already is not written again.
  EXPECT_EQ(TAVO_add_target_into_file(lhba, target, "IQN.T", "10.0.0.9", "3260", nullptr, "True"), 0u);
  for (int i = 0; i < 2; ++i) EXPECT_EQ(TAVO_update_tgt_entry(lhba, target, "10.0.0.9", "3260", 7, "True"), 0u);
  EXPECT_EQ(saved("savetgt.txt"), line + tgt(kKey, "iqn.t", "10.0.0.9", "3260", "7"));
  // A discovered target takes the options of its portal, else the initiator's.
  ASSERT_NE(add_portal("10.0.0.20", "3260", "No,No,CRC32C,CRC32C,One-Way CHAP,,,tn,tsecret123456,Required,,"), nullptr);
  const std::string found_line = std::string(kKey) +
                                 ",iqn.d,10.0.0.20,3260,,iqn.hx,No,No,CRC32C,CRC32C,One-Way CHAP,,,tn,tsecret123456,"
                                 "Discovered,Required,Prohibited,Prohibited,True\n";
  for (const char* address : {"10.0.0.20", "10.0.0.21"}) {
    TavoNode* d = initialize_Target(lhba, nullptr, nullptr, nullptr);
    set_prop_val(d, "TargetType", "Discovered");
    const std::string before = saved("savetgt.txt");
    const bool from_portal = std::string(address) == "10.0.0.20";
    const char* name = from_portal ? "iqn.d" : "iqn.e";
    EXPECT_EQ(TAVO_add_target_into_file(lhba, d, name, address, "3260", nullptr, "True"), 0u);
    EXPECT_EQ(saved("savetgt.txt"),
              before + (from_portal ? found_line : tgt(kKey, name, address, "3260", "", "Discovered")));
    TavoNode* options = internal_get_node(d, "TargetLoginOptions", TAVO_KIND_GROUP);
    EXPECT_EQ(tree::property_record(internal_get_node(options, "HeaderDigest", TAVO_KIND_PROPERTY))->value,
              std::string(from_portal ? "CRC32C" : "None"));
  }
  // The readers for clients.
  FILE* f = TAVO_file_open("/etc/config/QVL/tavo/savetgt.txt", "r");
  uint32_t size = 0, lines = 0;
  char* text = TAVO_get_file_data(f, &size, &lines);
  TAVO_file_close(f);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::make_tuple(std::string(text), size, lines),
            std::make_tuple(saved("savetgt.txt"), static_cast<uint32_t>(saved("savetgt.txt").size()), 4u));
  tavo_dfree(text);
  char keys[3][TAVO_VALUE_SIZE] = {"corvane0", "iSCSIPhysicalHBA0", "LOGICALHBA0"};
  char fields[22][TAVO_VALUE_SIZE] = {};
  EXPECT_EQ(TAVO_get_iscsi_data_from_file(line.c_str(), keys, fields, 22, 3), 0u);
  EXPECT_EQ(std::make_tuple(std::string(fields[3]), std::string(fields[5]), std::string(fields[21])),
            std::make_tuple(std::string("iqn.t"), std::string("3260"), std::string("True")));
  snprintf(keys[1], sizeof keys[1], "iSCSIPhysicalHBA1");
  EXPECT_EQ(TAVO_get_iscsi_data_from_file(line.c_str(), keys, fields, 22, 3), 1u);
  // Every saved file and its lock holds CHAP secrets: the owner's alone.
  for (const char* name : {"savetgt.txt", "intr_logopts.txt", "savetgt.txt.lock"})
    EXPECT_EQ(file_mode(saved_path(name)), 0600u) << name;
}

TEST_F(TargetsTest, DuplicatesAndRemovalCompareWholeFields) {
  const std::string other = "Corvane0,iSCSIPhysicalHBA1,LogicalHBA0";
  const std::string longer = tgt(kKey, "iqn.t", "10.0.0.9", "32600"), target = tgt(kKey, "iqn.t", "10.0.0.9", "3260"),
                    s1 = tgt(kKey, "iqn.t", "10.0.0.9", "3260", "1"), s10 = tgt(kKey, "iqn.t", "10.0.0.9", "3260", "10"),
                    elsewhere = tgt(other, "iqn.t", "10.0.0.9", "3260");
  put_saved("savetgt.txt", longer + target + s1 + s10 + elsewhere);
  ASSERT_NE(add_portal("10.0.0.9", "32600"), nullptr);
  TavoNode *cv = node("Corvane0"), *fn = node("Corvane0/iSCSIPhysicalHBA0"), *lhba = node(kLhba);
  const struct {
    const char* name;
    const char* address;
    const char* port;
    uint32_t kind, qualifier, found;
  } checks[] = {
      {"IQN.T", "10.0.0.9", "3260", 0, TAVO_ANY_ISID_QUALIFIER, 1}, {"iqn.t", "10.0.0.9", "326", 0, TAVO_ANY_ISID_QUALIFIER, 0},
      {"iqn.t", "10.0.0.9", "3260", 0, 1, 1},   {"iqn.t", "10.0.0.9", "3260", 0, 10, 1},
      {"iqn.t", "10.0.0.9", "3260", 0, 100, 0}, {"iqn.t", "10.0.0.99", "3260", 0, TAVO_ANY_ISID_QUALIFIER, 0},
      {nullptr, "10.0.0.9", "32600", 1, 0, 1},  {nullptr, "10.0.0.9", "3260", 1, 0, 0},
      {"iqn.t", "10.0.0.9", "3260", 5, 0, 0},
  };
  for (const auto& c : checks)
    EXPECT_EQ(TAVO_check_for_duplicate_tgt(cv, fn, lhba, c.name, c.address, c.port, c.kind, c.qualifier), c.found)
        << c.address << ":" << c.port << " kind " << c.kind << " qualifier " << c.qualifier;
  const struct {
    uint32_t kind, qualifier;
    std::string left;
  } removals[] = {
      {0, 1, longer + target + s10 + elsewhere},  // qualifier 1 is not 10
      {0, TAVO_ANY_ISID_QUALIFIER, longer + elsewhere},  // the portal's line with its sessions, not port 32600
      {2, 0, elsewhere},
  };
  for (const auto& r : removals) {
    EXPECT_EQ(TAVO_remove_entry_from_file(lhba, "iqn.T", "10.0.0.9", "3260", r.qualifier, r.kind), 0u);
    EXPECT_EQ(saved("savetgt.txt"), r.left) << r.kind;
  }
  EXPECT_EQ(TAVO_remove_entry_from_file(lhba, nullptr, "10.0.0.9", "32600", 0, 1), 0u);
  EXPECT_EQ(saved("savestp.txt"), "");
}

// Removals one after another among many lines of a few names (in either
// case), each with its sessions: every removal takes exactly its lines,
// the others stay in order, and the lookups that follow see the file as
// it is (a name whose lines went is no duplicate any more).
TEST_F(TargetsTest, RemovalsAmongManyLinesTakeOnlyTheirs) {
  const std::string other = "Corvane0,iSCSIPhysicalHBA1,LogicalHBA0";
  struct Line {
    std::string text, name, port, qualifier;
  };
  std::vector<Line> lines;
  for (int i = 0; i < 12; ++i) {
    const std::string name = (i % 2 == 0 ? "iqn.t" : "IQN.T") + std::to_string(i % 3);
    const std::string port = std::to_string(3260 + i % 4);
    lines.push_back({tgt(kKey, name, "10.0.0.9", port), name, port, ""});
    lines.push_back({tgt(kKey, name, "10.0.0.9", port, std::to_string(i)), name, port, std::to_string(i)});
    lines.push_back({tgt(other, name, "10.0.0.9", port), "", "", ""});  // another LogicalHBA's: never taken
  }
  const auto text = [&] {
    std::string t;
    for (const Line& l : lines) t += l.text;
    return t;
  };
  put_saved("savetgt.txt", text());
  TavoNode *cv = node("Corvane0"), *fn = node("Corvane0/iSCSIPhysicalHBA0"), *lhba = node(kLhba);
  const struct {
    const char* name;
    const char* port;
    uint32_t qualifier;  // TAVO_ANY_ISID_QUALIFIER: the portal's line with its sessions
  } removals[] = {
      {"iqn.t0", "3260", 0},                         // one session line
      {"IQN.T1", "3261", TAVO_ANY_ISID_QUALIFIER},  // a portal with its sessions, named in either case
      {"iqn.t0", "3260", TAVO_ANY_ISID_QUALIFIER},  // the rest of that portal
      {"iqn.t2", "3263", 11},                        // the last line of its name
      {"iqn.t9", "3260", TAVO_ANY_ISID_QUALIFIER},  // nothing of that name
      {"iqn.t1", "3262", 10},
  };
  for (const auto& r : removals) {
    SCOPED_TRACE(std::string(r.name) + ":" + r.port);
    const bool any = r.qualifier == TAVO_ANY_ISID_QUALIFIER;
    const std::string q = any ? "" : std::to_string(r.qualifier);
    std::erase_if(lines, [&](const Line& l) {
      return !l.name.empty() && strcasecmp(l.name.c_str(), r.name) == 0 && l.port == r.port &&
             (any || l.qualifier == q);
    });
    EXPECT_EQ(TAVO_remove_entry_from_file(lhba, r.name, "10.0.0.9", r.port, r.qualifier, 0), 0u);
    EXPECT_EQ(saved("savetgt.txt"), text());
    for (int n = 0; n < 3; ++n)
      for (int port = 3260; port < 3264; ++port) {
        const std::string name = "iqn.t" + std::to_string(n), port_text = std::to_string(port);
        const bool held = std::any_of(lines.begin(), lines.end(), [&](const Line& l) {
          return !l.name.empty() && strcasecmp(l.name.c_str(), name.c_str()) == 0 && l.port == port_text;
        });
        EXPECT_EQ(TAVO_check_for_duplicate_tgt(cv, fn, lhba, name.c_str(), "10.0.0.9", port_text.c_str(), 0,
                                               TAVO_ANY_ISID_QUALIFIER),
                  held ? 1u : 0u)
            << name << ":" << port;
      }
  }
}

// Removals, changes and additions one after another at the start, the
// middle and the end of a file holding lines of every kind (another
// LogicalHBA's, a malformed one, one ending in a carriage return, empty
// ones, a last one without its line feed): after each the file holds
// exactly the lines left, in order, each with its line feed. Among them a
// save that fails partway, removals enough to scatter the lines kept, and
// changes of lines next to each other and next to removed ones.
TEST_F(TargetsTest, RewritesLeaveEveryOtherLineAsItWas) {
  constexpr int kTargets = 96;
  const std::string other = "Corvane0,iSCSIPhysicalHBA1,LogicalHBA0";
  const auto name = [](int i) { return "iqn.n" + std::to_string(i); };
  const auto line = [&](const std::string& key, int i) {
    const std::string l = tgt(key, name(i), "10.0.0.9", "3260");
    return l.substr(0, l.size() - 1);
  };
  for (int i = 0; i < kTargets; ++i) ASSERT_NE(add_target(name(i)), nullptr);
  std::vector<std::string> lines;  // the file's lines as they must be
  for (int i = 0; i < kTargets; ++i) {
    lines.push_back(line(kKey, i));
    if (i % 8 == 3) lines.push_back(line(other, i));
    if (i == 20) lines.push_back("broken");
    if (i == 30) lines.push_back(line(other, i) + "\r");
  }
  lines.push_back(line(other, kTargets));
  std::string planted;
  for (size_t i = 0; i < lines.size(); ++i) planted += lines[i] + (i % 10 == 5 ? "\n\n" : "\n");
  planted.pop_back();
  put_saved("savetgt.txt", planted);

  TavoNode* lhba = node(kLhba);
  const auto at = [&](int i) {
    const std::string lead = std::string(kKey) + "," + name(i) + ",";
    return std::find_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(lead, 0) == 0; });
  };
  const auto drop = [&](int i) {
    lines.erase(at(i));
    return TAVO_remove_entry_from_file(lhba, name(i).c_str(), "10.0.0.9", "3260", TAVO_ANY_ISID_QUALIFIER, 0);
  };
  const auto change = [&](int i) {
    at(i)->replace(at(i)->find(",Yes,Yes,None,"), 14, ",Yes,Yes,CRC32C,");
    return set(std::string(kLhba) + "/Target" + std::to_string(i) + "/TargetLoginOptions/HeaderDigest", "CRC32C");
  };
  const auto add = [&](int i) {
    lines.push_back(line(kKey, i));
    return add_target(name(i)) != nullptr ? 0u : 1u;
  };
  const auto text = [&] {
    std::string t;
    for (const std::string& l : lines) t += l + "\n";
    return t;
  };
  // The second write of the new file fails: the removal is not made.
  {
    sim::Fault second_write;
    second_write.kind = sim::FaultKind::FileErrno;
    second_write.file_call = "write";
    second_write.path_contains = "savetgt.txt";
    second_write.err = EIO;
    second_write.skip = 1;
    second_write.times = -1;
    sim_->inject(second_write);
    const std::vector<std::string> before = lines;
    EXPECT_NE(drop(22), 0u);
    sim_->clear_faults();
    lines = before;
    EXPECT_EQ(saved("savetgt.txt"), planted);
  }
  const struct {
    const char* what;
    std::function<uint32_t()> step;
  } steps[] = {
      {"the first line", [&] { return drop(0); }},
      {"a line in the middle", [&] { return drop(22); }},
      {"the last of the LogicalHBA", [&] { return drop(kTargets - 1); }},
      {"a line changed", [&] { return change(10); }},
      {"the lines beside it", [&] { return drop(9) | drop(11); }},
      {"two lines one after the other changed", [&] { return change(12) | change(13); }},
      {"the first of them", [&] { return drop(12); }},
      {"a line added", [&] { return add(kTargets); }},
      {"a line before it changed", [&] { return change(kTargets - 2); }},
      {"every other line",
       [&] {
         uint32_t failed = 0;
         for (int i = 15; i < kTargets; i += 2) {
           if (at(i) != lines.end()) failed |= drop(i);
           EXPECT_EQ(saved("savetgt.txt"), text()) << i;
         }
         return failed;
       }},
      {"lines changed among them", [&] { return change(16) | change(kTargets - 4); }},
      {"removals all over",
       [&] {
         uint32_t failed = 0;
         for (int k = 1; k < kTargets; ++k) {
           const int i = k * 7 % kTargets;
           if (i % 5 != 0 && at(i) != lines.end()) failed |= drop(i);
           EXPECT_EQ(saved("savetgt.txt"), text()) << i;
         }
         return failed;
       }},
      {"a line left changed", [&] { return change(20); }},
      {"another added", [&] { return add(kTargets + 1); }},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.what);
    EXPECT_EQ(s.step(), 0u);
    EXPECT_EQ(saved("savetgt.txt"), text());
  }
}

TEST_F(TargetsTest, ValuesThatWouldBreakALineAreRefused) {
  const std::string before = saved("intr_logopts.txt");
  for (const char* name : {"iqn.a,b", "iqn.a\nb"}) {
    uint32_t added = 0;
    ASSERT_NE(add_target(name, "10.0.0.9", "3260", &added), nullptr);
    EXPECT_EQ(added, 1u);
    EXPECT_EQ(last_status(), std::make_pair(6u, std::string("TargetISCSIName: Invalid value.")));
    EXPECT_FALSE(file_exists(saved_path("savetgt.txt")));
  }
  TavoNode* lhba = node(kLhba);
  EXPECT_EQ(TAVO_set_initiator_loginoptions(lhba, nullptr, nullptr, "InitiatorCHAPName", "a\rb"), 1u);
  EXPECT_EQ(last_status(), std::make_pair(6u, std::string("InitiatorCHAPName: Invalid value.")));
  EXPECT_EQ(saved("intr_logopts.txt"), before);
  // A last line without its line feed keeps its last character, and the
  // next line starts a line of its own.
  const std::string last = std::string(kKey) + ",Yes,No,None,None,None,,,,,Required,Prohibited,Preferred";
  put_saved("intr_logopts.txt", last);
  EXPECT_EQ(get(std::string(kLhba) + "/InitiatorLoginOptions/DataParam"), "Preferred");
  char keys[3][TAVO_VALUE_SIZE] = {"Corvane5", "iSCSIPhysicalHBA0", "LogicalHBA0"};
  EXPECT_EQ(TAVO_set_ini_loginopts_prop(lhba, keys), 0u);
  EXPECT_EQ(saved("intr_logopts.txt"), last + "\nCorvane5,iSCSIPhysicalHBA0,LogicalHBA0," + kDefaults + "\n");
}

TEST_F(TargetsTest, StartUpCheckDropsOnlyMalformedLines) {
  const std::string portal = std::string(kKey) + ",10.0.0.9,3260,00:0e:1e:30:00:02," + kDefaults + "\n";
  const std::string stp = portal + "Corvane0,iSCSIPhysicalHBA0,LogicalHBA0,10.0.0.9,3260," + kDefaults + "\n" +
                          "corvane0" + portal.substr(8);
  // Lines the library writes can be long (CHAP names of 256 characters),
  // but never beyond 1022 characters.
  const std::string long_line = tgt(kKey, "iqn." + std::string(850, 'n'), "10.0.0.9", "3260");
  const std::string too_long = tgt(kKey, "iqn." + std::string(1500, 'n'), "10.0.0.9", "3260");
  const std::string tgt_text = long_line + too_long + tgt(kKey, "iqn.t", "10.0.0.9", "3260");
  put_saved("savestp.txt", stp);
  put_saved("savetgt.txt", tgt_text);
  ASSERT_EQ(TAVO_exit(), 0u);
  ASSERT_EQ(TAVO_init(), 0u);
  EXPECT_EQ(saved("savestp.txt"), portal);
  EXPECT_EQ(saved("savestp.txt.corrupt"), stp);
  EXPECT_EQ(file_mode(saved_path("savestp.txt.corrupt")), 0600u);
  EXPECT_EQ(saved("savetgt.txt"), long_line + tgt(kKey, "iqn.t", "10.0.0.9", "3260"));
  EXPECT_EQ(saved("savetgt.txt.corrupt"), tgt_text);
  EXPECT_EQ(log_count("CRITICAL:TAVO_check_for_corrupted_database:tokens = 16, line 2 of"), 1);
  EXPECT_EQ(log_count("CRITICAL:TAVO_check_for_corrupted_database:tokens = 17, line 3 of"), 1);
}

// A last line without its line feed that a write of the library cut short
// may have left (fewer fields, a NUL, a last field that only begins a value
// the library writes there) is no line: start-up drops it, the file as it
// was kept beside it. One whole but for its line feed, as an administrator
// may leave it, reads and stays; so does a cut one that has its line feed.
TEST_F(TargetsTest, StartUpDropsALastLineCutShortAndReadsAWholeOne) {
  const std::string whole = tgt(kKey, "iqn.cut", "10.0.0.9", "3260");
  const std::string body = whole.substr(0, whole.size() - 1);  // its line feed off
  const std::string lead = body.substr(0, body.rfind(',') + 1);
  const std::string portal = std::string(kKey) + ",10.0.0.9,3260,00:0e:1e:30:00:02," + kDefaults;
  const std::string portal_lead = portal.substr(0, portal.rfind(',') + 1);
  const struct {
    const char* file;
    std::string last;
    bool reads;
  } rows[] = {
      {"savetgt.txt", body, true},
      {"savetgt.txt", lead + "False", true},
      {"savetgt.txt", lead + "true", true},
      {"savetgt.txt", lead + "Tru", false},
      {"savetgt.txt", lead + "T", false},
      {"savetgt.txt", lead, false},
      {"savetgt.txt", lead + "Fals", false},
      {"savetgt.txt", body.substr(0, body.find(",Static,")), false},
      {"savetgt.txt", lead.substr(0, 60) + std::string(lead.size() - 60, '\0') + "True", false},
      {"savetgt.txt", lead + "Tru\n", true},
      {"savestp.txt", portal, true},
      {"savestp.txt", portal_lead + "Preferred", true},
      {"savestp.txt", portal_lead + "Prohib", false},
      {"savestp.txt", portal_lead + "Preferre", false},
      {"savestp.txt", portal_lead, false},
  };
  const std::string first = tgt(kKey, "iqn.first", "10.0.0.9", "3260");
  const std::string first_portal = std::string(kKey) + ",10.0.0.8,3260,00:0e:1e:30:00:02," + kDefaults + "\n";
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.file) + ": " + row.last);
    const bool targets = std::string(row.file) == "savetgt.txt";
    const std::string kept = targets ? first : first_portal;
    put_saved(row.file, kept + row.last);
    ::unlink(saved_path(std::string(row.file) + ".corrupt").c_str());
    ASSERT_EQ(TAVO_exit(), 0u);
    ASSERT_EQ(TAVO_init(), 0u);
    EXPECT_EQ(saved(row.file), row.reads ? kept + row.last : kept);
    EXPECT_EQ(file_exists(saved_path(std::string(row.file) + ".corrupt")), !row.reads);
    if (!row.reads) {
      EXPECT_EQ(saved(std::string(row.file) + ".corrupt"), kept + row.last + "\n");
    }
    const std::string listed = targets ? get(std::string(kLhba) + "/Target1/TargetISCSIName")
                                       : get(std::string(kLhba) + "/Discovery/SendTargetPortal1/IPAddress");
    EXPECT_EQ(listed, row.reads ? (targets ? "iqn.cut" : "10.0.0.9") : "<unreadable>");
    ::unlink(saved_path(row.file).c_str());
  }
}

TEST_F(TargetsTest, OlderLocationsAreMovedIn) {
  const std::string x = tgt(kKey, "iqn.x", "10.0.0.9", "3260"), y = tgt(kKey, "iqn.y", "10.0.0.9", "3260");
  put_saved("savetgt.txt", y);
  write_file(root_.at("/scratch/config/QVL/tavo/savetgt.txt"), y + x);
  write_file(root_.at("/scratch/Quorvel/savestp.txt"), "moved\n");
  write_file(root_.at("/scratch/ostrand/tavo/intr_logopts.txt"), "moved too\n");
  for (int run = 0; run < 2; ++run) {
    TAVO_save_file_configuration();
    EXPECT_EQ(saved("savetgt.txt"), y + x);  // added once, after what was there
    EXPECT_EQ(saved("savestp.txt"), "moved\n");
    EXPECT_EQ(saved("intr_logopts.txt"), "moved too\n");
    for (const char* old : {"/scratch/config/QVL/tavo/savetgt.txt", "/scratch/Quorvel/savestp.txt",
                            "/scratch/ostrand/tavo/intr_logopts.txt"})
      EXPECT_FALSE(file_exists(root_.at(old))) << old;
    EXPECT_EQ(file_mode(saved_path("savestp.txt")), 0600u);
  }
  // The current file cannot take the lines: the old file stays.
  write_file(root_.at("/scratch/ostrand/tavo/savestp.txt"), "kept\n");
  sim_->inject(file_errno("open", "/etc/config/QVL/tavo/savestp.txt"));
  EXPECT_EQ(TAVO_backup_old_configuration("/scratch/ostrand/tavo/savestp.txt", "/etc/config/QVL/tavo/savestp.txt"), 1u);
  sim_->clear_faults();
  EXPECT_TRUE(file_exists(root_.at("/scratch/ostrand/tavo/savestp.txt")));
  EXPECT_EQ(TAVO_backup_old_configuration("/scratch/none.txt", "/etc/config/QVL/tavo/savestp.txt"), 0u);
}

// A controller whose configuration was reset loses its saved initiator
// options; the other controllers keep theirs.
TEST_F(TargetsTest, ResetSignatureDropsThatControllersInitiatorOptions) {
  const std::string kept = std::string(kKey) + ",Yes,No,None,None,None,,,,,Prohibited,Prohibited,Prohibited\n";
  put_saved("intr_logopts.txt", kept + "Corvane1,iSCSIPhysicalHBA0,LogicalHBA0,Yes,No,None,None,None,,,,,,,\n");
  sim_->flash(1).erase("/cfg/signature");
  ASSERT_EQ(TAVO_exit(), 0u);
  ASSERT_EQ(TAVO_init(), 0u);
  EXPECT_EQ(saved("intr_logopts.txt"), kept + "Corvane0,iSCSIPhysicalHBA1,LogicalHBA0," + kDefaults + "\n" +
                                          "Corvane1,iSCSIPhysicalHBA0,LogicalHBA0," + kDefaults + "\n");
  EXPECT_EQ(get(std::string(kLhba) + "/InitiatorLoginOptions/ImmediateData"), "No");
  EXPECT_EQ(get("Corvane1/iSCSIPhysicalHBA0/LogicalHBA0/InitiatorLoginOptions/ImmediateData"), "Yes");
}

// A failed file call fails the save with a status and leaves the file.
TEST_F(TargetsTest, FailedSavesLeaveAStatusAndTheFile) {
  TavoNode* lhba = node(kLhba);
  TavoNode* target = add_target("iqn.t");
  ASSERT_NE(target, nullptr);
  int n = 0;
  const struct {
    const char* file;
    std::vector<const char*> calls;
    std::function<uint32_t()> save;
  } saves[] = {
      {"savetgt.txt", {"open", "lock", "write", "fsync"},
       [&] {
         const std::string name = "iqn.n" + std::to_string(n++);
         return TAVO_add_target_into_file(lhba, target, name.c_str(), "10.0.0.9", "3260", nullptr, "True");
       }},
      {"intr_logopts.txt", {"open", "lock", "write", "fsync", "rename"},
       [&] { return set(std::string(kLhba) + "/InitiatorLoginOptions/ImmediateData", "No"); }},
  };
  for (const auto& s : saves) {
    for (const char* call : s.calls) {
      for (int err : {EIO, ENOSPC}) {
        const std::string before = saved(s.file);
        sim::Fault fault;
        fault.kind = sim::FaultKind::FileErrno;
        fault.file_call = call;
        fault.path_contains = s.file;
        fault.err = err;
        fault.times = -1;
        sim_->inject(fault);
        EXPECT_NE(s.save(), 0u) << s.file << " " << call;
        sim_->clear_faults();
        EXPECT_EQ(last_status().second.rfind("Failed to save /etc/config/QVL/tavo/" + std::string(s.file), 0), 0u)
            << s.file << " " << call << ": " << last_status().second;
        EXPECT_EQ(saved(s.file), before) << s.file << " " << call;
      }
    }
    // A short write goes on with the rest.
    sim::Fault fault;
    fault.kind = sim::FaultKind::ShortWrite;
    sim_->inject(fault);
    EXPECT_EQ(s.save(), 0u) << s.file;
    sim_->clear_faults();
  }
  EXPECT_EQ(saved("savetgt.txt"), tgt(kKey, "iqn.t", "10.0.0.9", "3260") + tgt(kKey, "iqn.n8", "10.0.0.9", "3260"));
  EXPECT_EQ(get(std::string(kLhba) + "/InitiatorLoginOptions/ImmediateData"), "No");
}

}  // namespace
}  // namespace tavo::test
