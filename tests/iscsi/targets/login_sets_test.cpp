// The three copies of the login options (initiator, send-target portal,
// target): the saved line is the master copy; the digest rules; the login
// option block filled from a set; a target's sessions persisted again
// with a change of its options.
#include <gtest/gtest.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <sstream>

#include "tests/iscsi/targets/targets_fixture.h"

namespace tavo::test {
namespace {

const std::string kOptions = std::string(kLhba) + "/InitiatorLoginOptions";
const std::string kPortalOptions = std::string(kLhba) + "/Discovery/SendTargetPortal0/SendTargetPortalLoginOptions";
const std::string kTargetOptions = std::string(kLhba) + "/Target0/TargetLoginOptions";

// A line of savetgt.txt for target iqn.t with the initiator's options of
// the test below.
std::string target_line(const std::string& address, const std::string& qualifier, const std::string& digest) {
  return std::string(kKey) + ",iqn.t," + address + ",3260," + qualifier + ",iqn.hx,Yes,No,CRC32C," + digest +
         ",One-Way CHAP,,,tname,tsecret123456,Static,Required,Preferred,Prohibited,True\n";
}

TEST_F(TargetsTest, EachCopyReadsAndWritesItsLineByteExact) {
  const std::string other = std::string("Corvane0,iSCSIPhysicalHBA1,LogicalHBA0,") + kDefaults + "\n";
  const std::string initiator = std::string(kKey) + ",Yes,No,CRC32C,None,One-Way CHAP,,,tname,tsecret123456,Required,";
  put_saved("intr_logopts.txt", initiator + "Preferred,\n" + other);
  ASSERT_NE(add_portal("10.1.1.1", "3260"), nullptr);
  ASSERT_NE(add_portal("10.1.1.1", "32600"), nullptr);
  TavoNode* target = add_target("iqn.t", "10.0.0.9");
  ASSERT_NE(target, nullptr);
  TavoNode* lhba = node(kLhba);
  ASSERT_EQ(TAVO_add_target_into_file(lhba, target, "iqn.t", "10.0.0.10", "3260", nullptr, "False"), 0u);
  ASSERT_EQ(TAVO_update_tgt_entry(lhba, target, "10.0.0.9", "3260", 1, "True"), 0u);
  const std::string portal = std::string(kKey) + ",10.1.1.1,";
  const struct {
    std::string group, file, property, value, after;
    std::vector<std::pair<std::string, std::string>> reads;  // before the write
  } rows[] = {
      {kOptions, "intr_logopts.txt", "ImmediateData", "Yes",
       std::string(kKey) + ",Yes,Yes,CRC32C,None,One-Way CHAP,,,tname,tsecret123456,Required,Preferred,\n" + other,
       {{"ImmediateData", "No"}, {"DataParam", "Prohibited"}, {"Authentication/TargetCHAPName", "tname"},
        {"Authentication/InitiatorCHAPName", ""}}},
      {kPortalOptions, "savestp.txt", "HeaderDigest", "CRC32C",
       portal + "3260,00:0e:1e:30:00:02,Yes,Yes,CRC32C,None,None,,,,,Prohibited,Prohibited,Prohibited\n" + portal +
           "32600,00:0e:1e:30:00:02," + kDefaults + "\n",
       {{"HeaderDigest", "None"}, {"Authentication/CHAPParam", "Prohibited"}}},
      // Both portals' lines of the target, marked persistent; its session's
      // line keeps the options it was made with.
      {kTargetOptions, "savetgt.txt", "DataDigest", "CRC32C",
       target_line("10.0.0.9", "", "CRC32C") + target_line("10.0.0.10", "", "CRC32C") +
           target_line("10.0.0.9", "1", "None"),
       {{"DataDigest", "None"}, {"Authentication/AuthenticationMethod", "One-Way CHAP"}}},
  };
  for (const auto& r : rows) {
    for (const auto& [property, value] : r.reads) EXPECT_EQ(get(r.group + "/" + property), value) << r.group;
    EXPECT_EQ(set(r.group + "/" + r.property, r.value), 0u) << r.group;
    EXPECT_EQ(saved(r.file), r.after) << r.group;
    EXPECT_EQ(get(r.group + "/" + r.property), r.value) << r.group;
  }
}

TEST_F(TargetsTest, DigestLevelsAndDigestsAreTied) {
  ASSERT_NE(add_portal("10.1.1.1", "3260"), nullptr);
  ASSERT_NE(add_target("iqn.t"), nullptr);
  const char* level = "Cannot set the digest level to Preferred when the digest is default value.";
  const char* digest = "Cannot set the digest to default when level is set to Preferred.";
  const struct {
    const char* property;
    const char* value;
    uint32_t code;
    const char* message;
  } steps[] = {
      {"HeaderParam", "preferred", 193, level}, {"HeaderDigest", "CRC32C", 0, ""},
      {"HeaderParam", "Preferred", 0, ""},      {"HeaderDigest", "none", 194, digest},
      {"DataParam", "Preferred", 193, level},   {"DataDigest", "None", 0, ""},
  };
  const std::pair<std::string, std::string> copies[] = {
      {kOptions, "intr_logopts.txt"}, {kPortalOptions, "savestp.txt"}, {kTargetOptions, "savetgt.txt"}};
  for (const auto& [group, file] : copies) {
    for (const auto& s : steps) {
      const std::string before = saved(file);
      EXPECT_EQ(set(group + "/" + s.property, s.value), s.code == 0 ? 0u : 1u) << group << " " << s.property;
      EXPECT_EQ(last_status(), std::make_pair(s.code, std::string(s.message))) << group << " " << s.property;
      if (s.code != 0) {
        EXPECT_EQ(saved(file), before);
      }
    }
  }
}

TEST_F(TargetsTest, ReloadsFollowTheirFiles) {
  ASSERT_NE(add_target("iqn.t"), nullptr);
  ASSERT_NE(add_portal("10.1.1.1", "3260"), nullptr);
  // InitiatorSecret and TargetCHAPName of a target answer what is stored;
  // its other CHAP values reload all six.
  put_saved("savetgt.txt", std::string(kKey) +
                               ",iqn.t,10.0.0.9,3260,,iqn.hx,Yes,Yes,None,None,Mutual CHAP,in,isecret,tn,ts,Static,,,,"
                               "True\n");
  const std::string auth = kTargetOptions + "/Authentication/";
  EXPECT_EQ(get(auth + "InitiatorSecret"), "");
  EXPECT_EQ(get(auth + "AuthenticationMethod"), "Mutual CHAP");
  EXPECT_EQ(get(auth + "InitiatorSecret"), "isecret");
  EXPECT_EQ(get(auth + "CHAPParam"), "Prohibited");
  // Without its file a target answers what is stored, the others fail.
  ASSERT_EQ(unlink(saved_path("savetgt.txt").c_str()), 0);
  ASSERT_EQ(unlink(saved_path("intr_logopts.txt").c_str()), 0);
  EXPECT_EQ(get(kTargetOptions + "/ImmediateData"), "Yes");
  EXPECT_EQ(get(kOptions + "/ImmediateData"), "<unreadable>");
  EXPECT_EQ(get(kOptions + "/Authentication/TargetSecret"), "<unreadable>");
  EXPECT_EQ(last_status(), get_failed("TargetSecret"));
  EXPECT_EQ(set(kOptions + "/ImmediateData", "No"), 1u);
  EXPECT_EQ(last_status(), set_failed("ImmediateData"));
  // The portal's Authentication values take a write in the tree only; the
  // initiator's never.
  char buf[TAVO_VALUE_SIZE] = "written";
  EXPECT_EQ(handle_authentication_stploginoptions(node(kPortalOptions + "/Authentication/TargetCHAPName"), buf, 1), 0u);
  EXPECT_EQ(tree::property_record(node(kPortalOptions + "/Authentication/TargetCHAPName"))->value, std::string("written"));
  EXPECT_EQ(saved("savestp.txt").find("written"), std::string::npos);
  put_saved("intr_logopts.txt", std::string(kKey) + "," + kDefaults + "\n");
  EXPECT_EQ(handle_authentication_initiator_loginoptions(node(kOptions + "/Authentication/TargetSecret"), buf, 1), 0u);
  EXPECT_STREQ(buf, "");
}

TEST_F(TargetsTest, LoginBlockComesFromTheSet) {
  IscsiLoginOptionsBlock defaults = *get_default_login_options();
  const auto* raw = reinterpret_cast<const uint8_t*>(&defaults);
  EXPECT_EQ(raw[0], 0x0F);
  EXPECT_EQ(std::make_tuple(raw[304], raw[305], raw[576], defaults.initiator_secret_length, defaults.tcp_window_size,
                            defaults.second_data_segment_length),
            std::make_tuple(uint8_t{' '}, uint8_t{0}, uint8_t{' '}, uint16_t{0}, 16000u, 65536u));
  TavoNode* options = node(kOptions);
  const struct {
    std::string secret;
    std::string bytes;
    uint16_t length;
  } secrets[] = {
      {"0x0102030405060708090a0b0c", "\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c", 12},
      {"0X0102030405060708090a0b0cd", "\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c", 12},
      {"abcdefghijkl", "abcdefghijkl", 12},
      // Longer than the field: cut in bytes and in length.
      {"0x" + std::string(40, '7'), std::string(16, '\x77'), 16},
      {"abcdefghijklmnopqrst", "abcdefghijklmnop", 16},
  };
  for (const auto& s : secrets) {
    put_saved("intr_logopts.txt", std::string(kKey) + ",Yes,No,CRC32C,None,Mutual CHAP,iname," + s.secret + ",tname," +
                                      s.secret + ",Required,,\n");
    IscsiLoginOptionsBlock b = defaults;
    ASSERT_EQ(get_login_options(options, &b, 0), 0u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b.initiator_secret), s.length), s.bytes) << s.secret;
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b.target_secret), 16), s.bytes + std::string(16 - s.length, '\0'));
    EXPECT_EQ(std::make_tuple(b.initiator_secret_length, b.target_secret_length), std::make_tuple(s.length, s.length));
    EXPECT_EQ(std::make_tuple(b.chap, b.mutual_chap, b.header_digest, b.flags), std::make_tuple(1, 1u, 1, 0x0D));
    EXPECT_EQ(std::make_tuple(std::string(b.target_chap_name), b.target_chap_name_length, b.initiator_chap_name_length),
              std::make_tuple(std::string("tname"), uint16_t{5}, uint16_t{5}));
  }
  // Modes: 1 fills nothing, 3 the CHAP part only; flags of 0 leave digests 0.
  IscsiLoginOptionsBlock b = defaults;
  EXPECT_EQ(get_login_options(options, &b, 1), 0u);
  EXPECT_EQ(memcmp(&b, &defaults, sizeof b), 0);
  EXPECT_EQ(get_login_options(options, &b, 3), 0u);
  EXPECT_EQ(std::make_tuple(b.chap, b.header_digest, b.flags), std::make_tuple(1, 0, 0x0F));
  EXPECT_EQ(get_login_options(options, &b, 4), 1u);
  b = defaults;
  EXPECT_EQ(conditional_get_login_options(options, &b, 0, 0, 1, 0), 0u);
  EXPECT_EQ(std::make_tuple(b.chap, b.header_digest, b.data_digest, b.flags), std::make_tuple(0, 0, 0, 0x0D));
  EXPECT_EQ(update_header_digest_details(options, &b, 1), 0u);
  EXPECT_EQ(update_chap_details(options, &b, 0), 0u);
  EXPECT_EQ(std::make_tuple(b.header_digest, b.chap), std::make_tuple(1, 0));
  EXPECT_EQ(update_chap_details(node(std::string(kLhba) + "/iSCSIQoS"), &b, 1), 1u);
  // The CHAP values copy alone in mode 3.
  ASSERT_NE(add_target("iqn.t"), nullptr);
  put_saved("intr_logopts.txt", std::string(kKey) + ",Yes,Yes,None,None,One-Way CHAP,,,copied,secret123456,,,\n");
  EXPECT_EQ(copy_login_options(node(kTargetOptions), options, 3), 0u);
  EXPECT_EQ(tree::property_record(node(kTargetOptions + "/Authentication/TargetCHAPName"))->value, std::string("copied"));
  EXPECT_EQ(tree::property_record(node(kTargetOptions + "/HeaderDigest"))->value, std::string("CRC32C"));
}

// A set that cannot be read (the initiator's file gone) fails each step
// that reads it, the flags as they were; a step that reads nothing answers 0.
TEST_F(TargetsTest, AnUnreadableSetFailsTheStepsThatReadIt) {
  TavoNode* options = node(kOptions);
  ASSERT_EQ(unlink(saved_path("intr_logopts.txt").c_str()), 0);
  using Step = std::function<uint32_t(IscsiLoginOptionsBlock*)>;
  const struct {
    const char* step;
    Step run;
    uint32_t result;
  } steps[] = {
      {"CHAP", [&](IscsiLoginOptionsBlock* b) { return update_chap_details(options, b, 1); }, 1},
      {"header digest", [&](IscsiLoginOptionsBlock* b) { return update_header_digest_details(options, b, 1); }, 1},
      {"no data digest", [&](IscsiLoginOptionsBlock* b) { return update_data_digest_details(options, b, 0); }, 0},
      {"whole block", [&](IscsiLoginOptionsBlock* b) { return get_login_options(options, b, 0); }, 1},
      {"CHAP part", [&](IscsiLoginOptionsBlock* b) { return get_login_options(options, b, 3); }, 0},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.step);
    IscsiLoginOptionsBlock b = *get_default_login_options();
    b.header_digest = 1;
    EXPECT_EQ(s.run(&b), s.result);
    EXPECT_EQ(std::make_tuple(b.flags, b.chap, b.header_digest, b.data_digest), std::make_tuple(0x0F, 0, 1, 0));
  }
}

// Target a persistent in the firmware of Corvane0's first function: two
// closed sessions of qualifiers 0 and 1, one per portal.
const std::string kPersistentA =
    std::string(kTargetsTopology) +
    "target name=iqn.2026-12.com.example:a portal=10.0.0.50/3260/1,10.0.0.51/3260/2 persistent=0\n";

class RepersistTest : public NetworkTargetsTest {
 protected:
  RepersistTest() : NetworkTargetsTest(kPersistentA) {}
  // Target a's sessions as "<qualifier> <ImmediateData> <HeaderDigest>
  // <DataDigest> <TargetCHAPName>": the firmware's entries, or the lines.
  std::vector<std::string> sessions(bool firmware) {
    std::vector<std::string> out;
    const auto word = [](bool on, const char* yes, const char* no) { return std::string(on ? yes : no) + " "; };
    for (const sim::SimSession& s : sim_->sessions(0)->sessions)
      if (firmware && s.persistent && s.target == kTargetA)
        out.push_back(std::to_string(s.isid) + " " + word(s.options.flags & 2, "Yes", "No") +
                      word(s.options.header_digest, "CRC32C", "None") +
                      word(s.options.data_digest, "CRC32C", "None") + s.options.target_chap_name);
    for (const std::string& line : firmware ? std::vector<std::string>{} : session_lines()) {
      std::vector<std::string> f;
      std::istringstream in(line);
      for (std::string field; std::getline(in, field, ',');) f.push_back(field);
      out.push_back(f[6] + " " + f[9] + " " + f[10] + " " + f[11] + " " + f[15]);
    }
    std::sort(out.begin(), out.end());
    return out;
  }
};

// Whatever step fails, each saved session line goes with its firmware
// entry (N: the change's options, O: those from before, -: none), and 0
// answers only when every session is persistent again. A qualifier held
// on another function refuses the change before anything changes.
TEST_F(RepersistTest, SessionLinesFollowTheirEntriesWhateverFails) {
  const std::string target = std::string(kLhba) + "/Target0/TargetLoginOptions";
  const struct {
    std::function<uint32_t()> change;
    std::string options;  // as the entries then show them
  } changes[] = {
      {[&] { return set(target + "/DataDigest", "CRC32C"); }, " No None CRC32C "},
      {[&] { return set(target + "/HeaderDigest", "CRC32C"); }, " No CRC32C None "},
      {[&] { return set(target + "/ImmediateData", "Yes"); }, " Yes None None "},
      {[&] { return act(target + "/Authentication/ConfigureCHAP", {"One-Way CHAP", "", "", "t", "tsecret12345"}); },
       " No None None t"},
  };
  // 28/6 refused with 3, 27/6 with 1/100 (a digest mismatch); skip: the
  // sessions that go through first.
  const struct {
    uint8_t opcode;
    int skip;
    uint32_t status;
    const char* kept;
  } faults[] = {{0, 0, 0, "NN"},  {28, 0, 127, "OO"}, {27, 0, 243, "-O"},
                {28, 1, 127, "NO"}, {27, 1, 243, "N-"}, {0, 0, 71, "OO"}};
  for (const auto& c : changes) {
    for (const auto& f : faults) {
      SCOPED_TRACE(c.options + " " + f.kept + " " + std::to_string(f.status));
      for (const char* name : {"savetgt.txt", "savestp.txt", "intr_logopts.txt"}) ::unlink(saved_path(name).c_str());
      std::string topology = kPersistentA;
      if (f.status == 71) topology.replace(topology.rfind("persistent=0"), 12, "persistent=0,2");
      ASSERT_EQ(restart(topology), 0u);
      // The sessions take their lines with ImmediateData No.
      ASSERT_EQ(set(target + "/ImmediateData", "No"), f.status == 71 ? 1u : 0u);
      if (f.opcode != 0) {
        sim::Fault& fault = fail_mailbox(6, f.opcode, f.opcode == 27 ? 1 : 3);
        fault.additional_status = f.opcode == 27 ? 100 : 0;
        fault.function = 0;
        fault.skip = f.skip;
      }
      const std::string before = everything();
      EXPECT_EQ(c.change(), f.status == 0 ? 0u : 1u);
      EXPECT_EQ(last_status().first, f.status);
      sim_->clear_faults();
      if (f.status == 71) {
        EXPECT_EQ(everything(), before);
        continue;
      }
      std::vector<std::string> expected;
      for (int q = 0; q < 2; ++q)
        if (f.kept[q] != '-') expected.push_back(std::to_string(q) + (f.kept[q] == 'N' ? c.options : " No None None "));
      EXPECT_EQ(sessions(true), expected);
      EXPECT_EQ(sessions(false), expected);
    }
  }
}

}  // namespace
}  // namespace tavo::test
