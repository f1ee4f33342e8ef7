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
#include "transport/command_send.h"
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

// Inside a scope an answer is kept for one request of one length: asked
// again the same (whether by the shared read or by a wrapper with its
// buffer, the request zero-filled to the length) it is not sent and the
// shared read gets the very bytes kept; asked with another length or
// other bytes it is sent, and answered as it would be alone.
TEST_F(ProfileReadsTest, AKeptAnswerIsSharedForItsOwnRequestOnly) {
  TavoNode* corvane0 = node("Corvane0");
  const tree::HandlerContext fn = tree::handler_context(corvane0, tree::Commands::OfController);
  const uint32_t transport = controller::controller_transport(corvane0);
  // A question: through read_once or the wrapper, its length, and the
  // request's non-zero bytes by offset.
  struct Question {
    bool shared;
    size_t length;
    std::vector<std::pair<size_t, uint8_t>> bytes;
  };
  const auto ask = [&](const Question& q) {
    std::vector<uint8_t> request(q.length, 0);
    for (const auto& [at, value] : q.bytes) request[at] = value;
    uint32_t status = 0;
    if (q.shared)
      return command::read_once(command::CommandId::ioctl_get_profile_config,
                                {fn.number, nullptr, q.length, fn.domain, fn.port, transport, nullptr, 0},
                                request.data(), request.size(), &status);
    status = ioctl_get_profile_config(fn.number, request.data(), static_cast<uint16_t>(q.length), fn.domain, fn.port,
                                      transport);
    auto bytes = std::make_shared_for_overwrite<uint8_t[]>(q.length);
    memcpy(bytes.get(), request.data(), q.length);
    return status == 0 ? command::Answer{std::move(bytes), q.length} : command::Answer{};
  };
  const size_t whole = sizeof(ProfileConfigBuffer);
  const Question active{true, whole, {{1, kProfileActive}}}, by_wrapper{false, whole, {{1, kProfileActive}}};
  const struct {
    std::string name;
    Question first, second;
    int sent;         // commands 1/164 the two asks send in one scope
    bool same_bytes;  // the second ask gets the bytes kept of the first
  } rows[] = {
      {"asked twice, shared", active, active, 1, true},
      {"shared, then through the wrapper zero-filled", active, by_wrapper, 1, false},
      {"through the wrapper, then shared", by_wrapper, active, 1, false},
      {"another profile", {true, whole, {{1, kProfileConfigured}}}, active, 2, false},
      {"a shorter length", active, {true, 4096, {{1, kProfileActive}}}, 2, false},
      {"a shorter length through the wrapper", active, {false, 4096, {{1, kProfileActive}}}, 2, false},
      {"a byte past the first ones", active, {true, whole, {{1, kProfileActive}, {whole - 1, 1}}}, 2, false},
      {"the first byte set", {true, whole, {{0, 2}, {1, kProfileGiven}}}, {true, whole, {{1, kProfileGiven}}}, 2,
       false},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    const command::Answer alone = ask(r.second);
    ASSERT_TRUE(alone);
    sim_->clear_log();
    command::Answer first, second;
    {
      base::ReadScope scope;
      first = ask(r.first);
      second = ask(r.second);
    }
    EXPECT_EQ(mailbox_count(1, 164), r.sent);
    // As the firmware answers it alone.
    ASSERT_TRUE(second);
    EXPECT_EQ(second.length, alone.length);
    EXPECT_EQ(memcmp(second.bytes.get(), alone.bytes.get(), alone.length), 0);
    EXPECT_EQ(first.bytes == second.bytes, r.same_bytes);
  }
}

}  // namespace
}  // namespace tavo::test
