// The controller's profile configuration, each question asked once: once
// a start-up and once a request, asked again only after a command that
// changes it, and answered from what was kept to the byte as the firmware
// answers.
#include <gtest/gtest.h>
#include <string.h>

#include <functional>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "controller/controller.h"
#include "tests/nic/profile_fixture.h"
#include "transport/command_table.h"
#include "transport/commands.h"
#include "base/read_scope.h"

namespace tavo::test {
namespace {

// Where a profile question is asked and what it asks: device (a NIC
// function's with its PCI address), port, domain, profile id,
// configuration type with the readback flag.
using Question = std::tuple<std::string, int, int, int, int>;

// Two Moravels with four iSCSI functions each, as a host with targets has.
std::string iscsi_moravels(int controllers) {
  std::string t;
  for (int c = 0; c < controllers; ++c) {
    const std::string id = std::to_string(c);
    t += "controller " + id + " generation=moravel serial=TM" + id + " bus=" + std::to_string(2 + 2 * c) + "\n";
    for (int f = 0; f < 4; ++f)
      t += "iscsi controller=" + id + " function=" + std::to_string(4 + f) + " port=" + std::to_string(f) +
           " device=" + std::to_string(4 * c + f) + "\n";
  }
  return t;
}

class ProfileReadsTest : public ProfileTest {
 protected:
  // The mailbox requests of the log in order: the profile questions as
  // themselves, every other command as its name with "" for the rest.
  std::vector<std::pair<std::string, Question>> sent() {
    std::vector<std::pair<std::string, Question>> out;
    for (const sim::LogEntry& e : sim_->mailbox_log()) {
      const size_t at = e.kind == sim::LogKind::NicIoctl ? sizeof(NicIoctlPrefix) : 0;
      MailboxRequestHeader h;
      if (e.bytes.size() < at + sizeof h + 2) continue;
      memcpy(&h, e.bytes.data() + at, sizeof h);
      const uint8_t* p = e.bytes.data() + at + sizeof h;
      std::string name = "?";
      for (const command::CommandRow& r : command::kCommands)
        if (r.subsystem == h.subsystem && r.opcode == h.opcode && r.version == h.version) name = r.name;
      const bool question = h.subsystem == 1 && h.opcode == 164 && h.version == 1;
      std::string device = e.device;
      if (at != 0) {
        NicIoctlPrefix nic;
        memcpy(&nic, e.bytes.data(), sizeof nic);
        device += " " + std::to_string(nic.bus) + ":" + std::to_string(nic.device) + "." + std::to_string(nic.function);
      }
      out.emplace_back(name, question ? Question{device, h.port_number, h.domain, p[0], p[1]} : Question{});
    }
    return out;
  }
  // How many times each profile question was asked.
  std::map<Question, int> questions() {
    std::map<Question, int> asked;
    for (const auto& [name, q] : sent())
      if (name == "ioctl_get_profile_config") ++asked[q];
    return asked;
  }
  uint32_t start(const std::string& topology) {
    use(topology);
    sim_->set_log_bounds(sim::kLogEntriesKept * 4, sim::kLogBytesKept);
    sim_->clear_log();
    return TAVO_init();
  }
};

TEST_F(ProfileReadsTest, StartUpAsksEachQuestionOnce) {
  const struct {
    const char* name;
    std::string topology;
    size_t questions;  // distinct, over every controller
  } rows[] = {
      {"two Moravels with iSCSI functions", iscsi_moravels(2), 18},
      {"five Moravels", iscsi_moravels(5), 45},
      {"Moravels with NIC functions beside a CV3", kProfileTopology, 20},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    TAVO_exit();
    ASSERT_EQ(start(r.topology), 0u);
    const std::map<Question, int> asked = questions();
    EXPECT_EQ(asked.size(), r.questions);
    for (const auto& [q, times] : asked)
      EXPECT_EQ(times, 1) << std::get<0>(q) << " id " << std::get<3>(q) << " config " << std::get<4>(q);
  }
}

// Each kept answer is what the firmware answers to the byte, for every
// question the library asks, on every controller; outside a scope every
// call asks again.
TEST_F(ProfileReadsTest, KeptAnswersAreTheFirmwaresOwn) {
  const struct {
    uint8_t type, id, readback;
  } questions_asked[] = {
      {kProfileConfigured, 0, 0}, {kProfileConfigured, 0, 1}, {kProfileActive, 0, 0}, {kProfileActive, 2, 0},
      {kProfileGiven, 1, 0},      {kProfileGiven, 2, 0},      {kProfileGiven, 21, 0},  {kProfileGiven, 24, 1},
  };
  for (const std::string c : {"Corvane0", "Corvane1", "Corvane2"}) {
    TavoNode* controller = node(c);
    ASSERT_NE(controller, nullptr);
    for (const auto& q : questions_asked) {
      SCOPED_TRACE(c + " type " + std::to_string(q.type) + " id " + std::to_string(q.id));
      sim_->clear_log();
      base::Counted<ProfileConfigBuffer> plain(TAVO_get_profile(controller, q.type, q.id, q.readback));
      base::Counted<ProfileConfigBuffer> again(TAVO_get_profile(controller, q.type, q.id, q.readback));
      EXPECT_EQ(mailbox_count(1, 164), 2);
      base::ReadScope scope;
      base::Counted<ProfileConfigBuffer> first(TAVO_get_profile(controller, q.type, q.id, q.readback));
      base::Counted<ProfileConfigBuffer> kept(TAVO_get_profile(controller, q.type, q.id, q.readback));
      EXPECT_EQ(mailbox_count(1, 164), 3);
      ASSERT_TRUE(plain && first && kept);
      EXPECT_EQ(memcmp(plain.get(), kept.get(), sizeof(ProfileConfigBuffer)), 0);
      EXPECT_EQ(memcmp(first.get(), kept.get(), sizeof(ProfileConfigBuffer)), 0);
      EXPECT_NE(first.get(), kept.get());  // the caller's own copy
    }
  }
  // A refused question is asked again, and answers as before.
  base::ReadScope scope;
  fail_mailbox(1, 164, 3);
  EXPECT_EQ(TAVO_get_profile(node("Corvane0"), kProfileConfigured, 0, 0), nullptr);
  EXPECT_EQ(last_status().first, 278u);
  base::Counted<ProfileConfigBuffer> after(TAVO_get_profile(node("Corvane0"), kProfileConfigured, 0, 0));
  EXPECT_TRUE(after);
}

// Inside one scope a command that changes the configuration makes the next
// read ask again and see the change; a command that does not, does not.
TEST_F(ProfileReadsTest, AChangeInsideAScopeIsReadAgain) {
  sim_->flash(0)["/cfg/profile/21"] =
      profile_image({pci_function(0, 1, kProtocolNic, kProtocolNic), protocol(kProfileNic, 0, 0, 1),
                     port_descriptor(0, 1, 4)});
  TavoNode* controller = node("Corvane0");
  const tree::HandlerContext fn = tree::handler_context(controller, tree::Commands::OfController);
  const uint32_t transport = controller::controller_transport(controller);
  const uint32_t instance = controller::controller_instance(controller);
  const struct {
    const char* name;
    std::function<uint32_t()> send;
    bool asks_again;
  } rows[] = {
      {"the configured profile named", [&] {
         ProfileIdRequest r{21, {}, 0};
         return ioctl_set_active_profile(fn.number, &r, fn.domain, fn.port, instance);
       }, true},
      {"the ARI settings read", [&] {
         uint32_t ari = 0;
         return ioctl_get_ari_settings(fn.number, &ari, fn.domain, fn.port, transport);
       }, false},
      {"back to the factory profile", [&] {
         ProfileIdRequest r{0, {}, 0x80};
         return ioctl_set_active_profile(fn.number, &r, fn.domain, fn.port, instance);
       }, true},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    base::Counted<ProfileConfigBuffer> before, after;
    {
      base::ReadScope scope;
      before.reset(TAVO_get_profile(controller, kProfileConfigured, 0, 0));
      sim_->clear_log();
      EXPECT_EQ(r.send(), 0u);
      after.reset(TAVO_get_profile(controller, kProfileConfigured, 0, 0));
      EXPECT_EQ(mailbox_count(1, 164), r.asks_again ? 1 : 0);
    }
    ASSERT_TRUE(before && after);
    EXPECT_EQ(memcmp(before.get(), after.get(), sizeof(ProfileConfigBuffer)) != 0, r.asks_again);
    // Outside a scope the firmware is asked: it answers what was read.
    base::Counted<ProfileConfigBuffer> firmware(TAVO_get_profile(controller, kProfileConfigured, 0, 0));
    ASSERT_TRUE(firmware);
    EXPECT_EQ(memcmp(after.get(), firmware.get(), sizeof(ProfileConfigBuffer)), 0);
  }
}

// An action asks each question once; after it changes the configuration
// what it reads is asked again, and its views show the change.
TEST_F(ProfileReadsTest, ActionsAskAgainOnlyAfterTheirChange) {
  // Corvane0's lines written again after Corvane1's, as the factory
  // profile has them.
  static constexpr char kRebuilt[] =
      "MB,0x9,2,None,0x0,NIC,N/A\nMA,0x7,2,None,0x0,NIC,N/A\nMA,0x7,2,None,0x2,iSCSI,N/A\n"
      "MA,0x7,2,None,0x1,NIC,N/A\nMA,0x7,2,None,0x1,NIC+RoCE,N/A\n";
  sim_->flash(0)["/cfg/profile/21"] =
      profile_image({pci_function(0, 1, kProtocolNic, kProtocolNic), protocol(kProfileNic, 0, 0, 1),
                     pci_function(3, 1, kProtocolNic, kProtocolNic), protocol(kProfileNic, 3, 0, 3),
                     port_descriptor(0, 1, 4)});
  const struct {
    const char* action;
    std::vector<std::string> params;
    const char* change;  // the command the action changes the configuration with
    const char* lines;   // config_prof.txt after it
  } rows[] = {
      {"SetProfileId", {"21"}, "ioctl_set_active_profile",
       "MB,0x9,2,None,0x0,NIC,N/A\nMA,0x7,21,None,0x0,NIC,N/A\nMA,0x7,21,None,0x3,NIC,N/A\n"},
      {"SetFactoryDefaults", {}, "ioctl_set_active_profile", kRebuilt},
      {"SaveProfile", {}, "ioctl_set_profile_config", kRebuilt},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.action);
    sim_->clear_log();
    EXPECT_EQ(act(std::string("Corvane0/ProfileManagement/") + r.action, r.params), 0u);
    // Between one change and the next each question is asked once.
    std::map<Question, int> asked;
    int changes = 0, asked_after_change = 0;
    for (const auto& [name, q] : sent()) {
      if (name == r.change) {
        ++changes;
        asked.clear();
      } else if (name == "ioctl_get_profile_config") {
        EXPECT_EQ(++asked[q], 1) << std::get<0>(q) << " id " << std::get<3>(q) << " config " << std::get<4>(q);
        asked_after_change += changes > 0;
      }
    }
    EXPECT_EQ(changes, 1);
    EXPECT_GT(asked_after_change, 0);
    EXPECT_EQ(lines(), r.lines);
  }
}

}  // namespace
}  // namespace tavo::test
