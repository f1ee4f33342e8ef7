// The controller's profile configuration, each question asked once: once
// a start-up and once a request, asked again only after a command that
// changes it, and answered from what was kept to the byte as the firmware
// answers.
#include <gtest/gtest.h>
#include <string.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "base/read_scope.h"
#include "controller/controller.h"
#include "tests/nic/profile_fixture.h"
#include "transport/command_table.h"
#include "transport/commands.h"
#include "transport/record_changes.h"

namespace tavo::test {
namespace {

using ProfileReadsTest = ProfileTest;
using Profile = base::Counted<ProfileConfigBuffer>;
bool same(const Profile& a, const Profile& b) { return a && b && memcmp(a.get(), b.get(), sizeof *a) == 0; }

// Moravels with four iSCSI functions each, as a host with targets has.
std::string iscsi_moravels(int controllers) {
  std::string t;
  for (int f = 0; f < 4 * controllers; ++f)
    t += (f % 4 ? "" : "controller " + std::to_string(f / 4) + " generation=moravel serial=TM" +
                           std::to_string(f / 4) + " bus=" + std::to_string(2 + f / 2) + "\n") +
         "iscsi controller=" + std::to_string(f / 4) + " function=" + std::to_string(4 + f % 4) +
         " port=" + std::to_string(f % 4) + " device=" + std::to_string(f) + "\n";
  return t;
}

TEST_F(ProfileReadsTest, EachQuestionIsAskedOnceBetweenChanges) {
  // The mailbox log's profile commands in order: Q a question not asked
  // since the last change, R one asked again, a change by its name.
  const auto sent = [&] {
    std::string out;
    std::set<std::string> asked;
    for (const sim::LogEntry& e : sim_->mailbox_log()) {
      const size_t at = e.kind == sim::LogKind::NicIoctl ? sizeof(NicIoctlPrefix) : 0;
      MailboxRequestHeader h;
      if (e.bytes.size() < at + sizeof h + 2) continue;
      memcpy(&h, e.bytes.data() + at, sizeof h);
      const uint8_t* p = e.bytes.data() + at + sizeof h;
      // Device (a NIC function's with its PCI address), port, domain,
      // version, profile id, configuration type with the readback flag.
      const std::string question = e.device + std::string(e.bytes.begin(), e.bytes.begin() + at) +
                                   char(h.port_number) + char(h.domain) + char(h.version) + char(p[0]) + char(p[1]);
      for (const command::CommandRow& r : command::kCommands) {
        if (r.subsystem != h.subsystem || r.opcode != h.opcode || r.version != h.version) continue;
        if (r.subsystem == 1 && r.opcode == 164) {
          out += asked.insert(question).second ? "Q" : "R";
        } else if (r.changes & command::kProfileConfig) {
          out += " " + std::string(r.name) + " ";
          asked.clear();
        }
      }
    }
    return out;
  };
  sim_->flash(0)["/cfg/profile/21"] =
      profile_image({pci_function(0, 1, kProtocolNic, kProtocolNic), protocol(kProfileNic, 0, 0, 1),
                     pci_function(3, 1, kProtocolNic, kProtocolNic), protocol(kProfileNic, 3, 0, 3),
                     port_descriptor(0, 1, 4)});
  TavoNode* corvane0 = node("Corvane0");
  const tree::HandlerContext fn = tree::handler_context(corvane0, tree::Commands::OfController);
  // A question outside a scope, then in one around a command (none: 0),
  // then outside again, where the firmware answers.
  const auto around = [&](std::string c, std::vector<uint8_t> q, std::function<uint32_t()> send = nullptr) {
    return [&, c, q, send] {
      const auto read = [&] { return Profile(TAVO_get_profile(node(c), q[0], q[1], q[2])); };
      Profile plain = read(), before, after;
      uint32_t status = 0;
      {
        base::ReadScope scope;
        before = read(), status = send ? send() : 0, after = read();
      }
      return std::to_string(status) + (same(before, after) && same(plain, before) ? " same" : " changed") +
             (same(after, read()) && before != after ? "" : ", the firmware's otherwise");
    };
  };
  const auto set_active = [&](uint8_t id, uint8_t flags) -> std::function<uint32_t()> {
    return [&, id, flags] {
      ProfileIdRequest r{id, {}, flags};
      return ioctl_set_active_profile(fn.number, &r, fn.domain, fn.port, controller::controller_instance(corvane0));
    };
  };
  const std::vector<uint8_t> configured{kProfileConfigured, 0, 0};
  struct Row {
    std::string name;
    std::function<std::string()> ask;  // answers what it read
    std::string read, sent;
    std::string topology = "";  // started on first
  };
  std::vector<Row> rows;
  for (const char* c : {"Corvane0", "Corvane1", "Corvane2"})
    for (const std::vector<uint8_t>& q : {configured, {kProfileConfigured, 0, 1}, {kProfileActive, 0, 0},
                                          {kProfileActive, 2, 0}, {kProfileGiven, 1, 0}, {kProfileGiven, 2, 0},
                                          {kProfileGiven, 21, 0}, {kProfileGiven, 24, 1}})
      rows.push_back({c + (" type " + std::to_string(q[0])) + " id " + std::to_string(q[1]) + (q[2] ? " read back" : ""),
                      around(c, q), "0 same", "QRR"});
  // An action on the host as started, with config_prof.txt after it.
  const auto action = [&](std::string name, std::vector<std::string> params = {}) {
    return [&, name, params] {
      const std::string status = std::to_string(act("Corvane0/ProfileManagement/" + name, params));
      return status + "\n" + lines();
    };
  };
  const std::string rebuilt =
      "0\nMB,0x9,2,None,0x0,NIC,N/A\nMA,0x7,2,None,0x0,NIC,N/A\nMA,0x7,2,None,0x2,iSCSI,N/A\n"
      "MA,0x7,2,None,0x1,NIC,N/A\nMA,0x7,2,None,0x1,NIC+RoCE,N/A\n";
  const auto init = [] { return std::to_string(TAVO_init()); };
  rows.insert(rows.end(), {
      {"SetProfileId", action("SetProfileId", {"21"}),
       "0\nMB,0x9,2,None,0x0,NIC,N/A\nMA,0x7,21,None,0x0,NIC,N/A\nMA,0x7,21,None,0x3,NIC,N/A\n",
       " ioctl_set_active_profile QQ"},
      {"SetFactoryDefaults", action("SetFactoryDefaults"), rebuilt, " ioctl_set_active_profile QQ"},
      {"SaveProfile", action("SaveProfile"), rebuilt, "QQ ioctl_set_profile_config QQQ"},
      {"a refused question is asked again", [&] {
         base::ReadScope scope;
         fail_mailbox(1, 164, 3);
         const auto read = [&] { return Profile(TAVO_get_profile(corvane0, kProfileConfigured, 0, 0)); };
         const std::string refused = read() ? "answered" : std::to_string(last_status().first);
         return refused + (read() ? ", then answered" : "");
       }, "278, then answered", "QR"},
      {"the configured profile named", around("Corvane0", configured, set_active(21, 0)), "0 changed",
       "QR ioctl_set_active_profile QR"},
      {"the ARI settings read", around("Corvane0", configured, [&] {
         uint32_t ari = 0;
         return ioctl_get_ari_settings(fn.number, &ari, fn.domain, fn.port, controller::controller_transport(corvane0));
       }), "0 same", "QRR"},
      {"back to the factory profile", around("Corvane0", configured, set_active(0, 0x80)), "0 changed",
       "QR ioctl_set_active_profile QR"},
      // Each start-up on a host of its own, so they come last.
      {"two Moravels with iSCSI functions", init, "0", std::string(18, 'Q'), iscsi_moravels(2)},
      {"five Moravels", init, "0", std::string(45, 'Q'), iscsi_moravels(5)},
      {"Moravels with NIC functions beside a CV3", init, "0", std::string(20, 'Q'), kProfileTopology},
  });
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    if (!r.topology.empty()) {
      use(r.topology);
      sim_->set_log_bounds(sim::kLogEntriesKept * 4, sim::kLogBytesKept);
    }
    sim_->clear_log();
    EXPECT_EQ(r.ask(), r.read);
    EXPECT_EQ(sent(), r.sent);
  }
}

}  // namespace
}  // namespace tavo::test
