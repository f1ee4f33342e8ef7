// The catalogue's special rules: configuration-signature gating, pf_number,
// 20 + n records, v1/v0 pairs, header flags that last one call, and what a
// few wrappers answer for a firmware status.
#include <errno.h>
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "tests/transport/command_catalogue_support.h"
#include "tree/tree.h"

namespace tavo {
namespace {

using command::CommandId;
using command::CommandRow;
using test::CommandCatalogueTest;
using T = CommandCatalogueTest;

class CommandRulesTest : public CommandCatalogueTest {
 protected:
  sim::Fault& fail_with(const CommandRow& row, uint8_t status, uint16_t additional = 0) {
    sim::Fault f;
    f.subsystem = row.subsystem;
    f.opcode = row.opcode;
    f.status = status;
    f.additional_status = additional;
    return sim_->inject(f);
  }
  sim::Fault& fail_with(CommandId id, uint8_t status, uint16_t additional = 0) {
    return fail_with(command::command_row(id), status, additional);
  }
  static uint32_t last_status_code() {
    uint32_t code = 0;
    char text[TAVO_STATUS_TEXT_SIZE];
    tavo_get_last_status(&code, text);
    return code;
  }
};

TEST_F(CommandRulesTest, ConfigurationSignatureIsGatedByTheControllersProtocol) {
  struct Case {
    bool set;
    uint32_t controller;
    uint32_t status;
    bool sent;
  };
  const Case cases[] = {
      {false, T::kIscsiController, 0, true},  {false, T::kNicOnlyController, 0, false},
      {false, T::kOtherController, 0, true},  {false, T::kBareController, 0, true},
      {true, T::kIscsiController, 0, true},   {true, T::kNicOnlyController, 0, false},
      {true, T::kOtherController, 1, false},  {true, T::kBareController, 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.set ? "set" : "get") + " on controller " + std::to_string(c.controller));
    sim_->clear_log();
    std::vector<uint8_t> payload(132, 0x5A);
    const uint32_t status = c.set ? ioctl_set_config_sign(kIscsiFunction, payload.data(), 0, 0, c.controller)
                                  : ioctl_get_config_sign(kIscsiFunction, payload.data(), 0, 0, c.controller);
    EXPECT_EQ(status, c.status);
    const auto sent = sent_commands();
    ASSERT_EQ(sent.size(), c.sent ? 1u : 0u);
    if (c.sent) {
      expect_device(sent[0], TAVO_VIA_ISCSI);
    } else {
      EXPECT_EQ(payload, std::vector<uint8_t>(132, 0x5A));  // left as the caller had it
    }
  }
}

TEST_F(CommandRulesTest, MacAddressListNamesItsPciFunctionForItsCallOnly) {
  struct Case {
    int32_t pci_function;
    uint32_t status;
    int pf_bits;  // -1: nothing sent
  };
  // 10 bits name functions 0 to 1022; anything else would address another one.
  const Case cases[] = {{2, 0, 3}, {0, 0, 1}, {200, 0, 201}, {1022, 0, 1023}, {1023, 1, -1}, {-1, 1, -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE("PCI function " + std::to_string(c.pci_function));
    sim_->clear_log();
    std::vector<uint8_t> list(532);
    EXPECT_EQ(ioctl_get_macaddress_list(kIscsiFunction, list.data(), 0, 0, TAVO_VIA_ISCSI, c.pci_function), c.status);
    EXPECT_EQ(ioctl_get_mac_list(kIscsiFunction, list.data(), 0, 0, TAVO_VIA_ISCSI), 0u);
    const auto sent = sent_commands();
    ASSERT_EQ(sent.size(), c.pf_bits < 0 ? 1u : 2u);
    if (c.pf_bits >= 0) {
      EXPECT_EQ(sent[0].pf_vh, c.pf_bits);
    }
    EXPECT_EQ(sent.back().pf_vh, 0);
    EXPECT_EQ(tavo_glob.pf_number, 0);
  }
}

TEST_F(CommandRulesTest, HeaderFlagsLastOneCallWhateverItsResult) {
  const std::pair<const char*, sim::FaultKind> failures[] = {
      {"firmware status", sim::FaultKind::FirmwareStatus},
      {"driver I/O error", sim::FaultKind::IoctlErrno},
  };
  for (const auto& [what, kind] : failures) {
    SCOPED_TRACE(what);
    sim_->clear_faults();
    sim::Fault f;  // every command, EIO or status 1 / 30
    f.kind = kind;
    f.err = EIO;
    f.status = 1;
    f.additional_status = 30;
    f.times = -1;
    sim_->inject(f);
    std::vector<uint8_t> stats(532);
    EXPECT_NE(ioctl_get_baseT_stats_v1(kIscsiFunction, stats.data(), 0, 0, TAVO_VIA_ISCSI), 0u);
    EXPECT_NE(ioctl_get_macaddress_list(kIscsiFunction, stats.data(), 0, 0, TAVO_VIA_ISCSI, 7), 0u);
    EXPECT_EQ(tavo_glob.version_flag, 0);
    EXPECT_EQ(tavo_glob.pf_number, 0);
  }
  // Refused unsent by the mailbox layer (no such function) also resets them.
  std::vector<uint8_t> name(4);
  EXPECT_EQ(ioctl_get_port_name_v1(99, name.data(), 0, 0, TAVO_VIA_ISCSI), 1u);
  EXPECT_EQ(tavo_glob.version_flag, 0);
}

// Every v1 form retried as its v0 form after "version not supported".
TEST_F(CommandRulesTest, VersionZeroFormFollowsAFailedVersionOneForm) {
  int pairs = 0;
  for (size_t i = 0; i < command::kCommandCount; ++i) {
    const CommandRow& v1 = command::kCommands[i];
    if (v1.version != 1) continue;
    for (size_t j = 0; j < command::kCommandCount; ++j) {
      const CommandRow& v0 = command::kCommands[j];
      if (v0.version != 0 || v0.subsystem != v1.subsystem || v0.opcode != v1.opcode) continue;
      SCOPED_TRACE(std::string(v1.name) + " then " + std::string(v0.name));
      ++pairs;
      sim_->clear_log();
      sim_->clear_faults();
      fail_with(v1, 1, 30);
      std::vector<uint8_t> payload(1024);
      uint16_t actual = 0;
      test::CatalogueCall call{kIscsiFunction, payload.data(), 64, 0, 0, iscsi_route(v1), &actual, 0};
      EXPECT_EQ(invoke(static_cast<CommandId>(i), call), 213u);
      call.route = iscsi_route(v0);
      EXPECT_EQ(invoke(static_cast<CommandId>(j), call), 0u);
      const auto sent = sent_commands();
      ASSERT_EQ(sent.size(), 2u);
      EXPECT_EQ(sent[0].version, 1);
      EXPECT_EQ(sent[1].version, 0);
      for (const auto& one : sent) expect_device(one, TAVO_VIA_ISCSI);
    }
  }
  EXPECT_EQ(pairs, 16);
}

TEST_F(CommandRulesTest, RecordLengthsAreTwentyPlusTheRecordsDataLength) {
  struct Case {
    uint32_t n;
    uint32_t status;
    bool sent;
  };
  // 65519 bytes is the most a command carries; a huge n must not wrap around.
  const Case cases[] = {{4096, 0, true}, {0, 0, true}, {65499, 0, true}, {65500, 1, false}, {0xFFFFFFF0u, 1, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE("n = " + std::to_string(c.n));
    sim_->clear_log();
    std::vector<uint8_t> record(20 + 65499);
    auto fresh = [&] {  // a read answers over the record, its length too
      memcpy(record.data() + 8, &c.n, sizeof c.n);
      return record.data();
    };
    EXPECT_EQ(ioctl_retrieve_fat(kIscsiFunction, fresh(), 0, 0, kIscsiController), c.status);
    EXPECT_EQ(ioctl_get_flash_dump(kNicFunction, fresh(), 0, 0), c.status);
    const auto sent = sent_commands();
    ASSERT_EQ(sent.size(), c.sent ? 2u : 0u);
    for (const auto& s : sent) EXPECT_EQ(s.request_length, 20 + c.n);
  }
  EXPECT_EQ(ioctl_retrieve_fat(kIscsiFunction, nullptr, 0, 0, kIscsiController), 1u);
  EXPECT_EQ(sent_commands().size(), 0u);
}

TEST_F(CommandRulesTest, CallerLengthBeyondTheMailboxLimitIsRefusedUnsent) {
  std::vector<uint8_t> payload(65520);
  EXPECT_EQ(ioctl_scsi_passthru(kIscsiFunction, payload.data(), 65520, 0, 0), 1u);
  EXPECT_EQ(sent_commands().size(), 0u);
  EXPECT_EQ(ioctl_scsi_passthru(kIscsiFunction, payload.data(), 65519, 0, 0), 0u);
  const auto sent = sent_commands();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].request_length, 65519u);
}

// The status map's answer reaches the wrapper's caller; opcode conditions
// hold whatever the mailbox subsystem.
TEST_F(CommandRulesTest, FirmwareStatusesComeBackThroughTheWrappers) {
  constexpr uint32_t kUntouched = 9999;
  struct Case {
    CommandId id;
    uint8_t status;
    uint16_t additional;
    uint32_t result;
    uint32_t last_status;
  };
  const Case cases[] = {
      {CommandId::ioctl_login_target, 2, 44, 25, kUntouched},
      {CommandId::ioctl_set_default_gateway, 2, 44, 25, kUntouched},  // opcode 23 in subsystem 2
      {CommandId::ioctl_qos_get, 1, 44, 25, kUntouched},              // opcode 27 in subsystem 1
      {CommandId::ioctl_get_mac_query, 1, 44, 1, 25},
      {CommandId::ioctl_config_dhcp, 1, 24, 0, 33},
      {CommandId::ioctl_logout_target, 31, 0, 0, kUntouched},
      {CommandId::ioctl_get_discoveryparams, 31, 0, 0, kUntouched},
      {CommandId::ioctl_fetch_controller_attribs, 31, 0, 28, kUntouched},
      {CommandId::ioctl_set_port_speed, 3, 0, 229, kUntouched},
      {CommandId::ioctl_set_beacon_state, 66, 103, 236, kUntouched},
      {CommandId::ioctl_get_beacon_state, 66, 0, 149, kUntouched},
      {CommandId::ioctl_get_fw_config, 66, 0, 149, 149},
      {CommandId::ioctl_set_factory_profile_config_v1, 30, 0, 55, kUntouched},
      {CommandId::ioctl_get_activesessionid, 4, 0, 31, kUntouched},
      {CommandId::ioctl_get_node_params, 10, 0, 1, kUntouched},
  };
  for (const Case& c : cases) {
    const CommandRow& row = command::command_row(c.id);
    SCOPED_TRACE(std::string(row.name));
    sim_->clear_faults();
    fail_with(c.id, c.status, c.additional);
    tavo_set_last_status(kUntouched, "before");
    std::vector<uint8_t> payload(2048);
    uint16_t actual = 0;
    test::CatalogueCall call{kIscsiFunction, payload.data(), 64, 0, 0, iscsi_route(row), &actual, 0};
    EXPECT_EQ(invoke(c.id, call), c.result);
    EXPECT_EQ(last_status_code(), c.last_status);
  }
}

TEST_F(CommandRulesTest, SizeQueryTakesStatusFourAsTheFirmwaresAnswer) {
  const CommandRow& row = command::command_row(CommandId::ioctl_get_activesessionidbuffersize);
  fail_with(row, 4).times = -1;
  sim::Fault length;
  length.kind = sim::FaultKind::ResponseLength;
  length.length = 4000;
  length.times = -1;
  sim_->inject(length);
  std::vector<uint8_t> payload(72);
  uint16_t actual = 0;
  EXPECT_EQ(ioctl_get_activesessionidbuffersize(kIscsiFunction, payload.data(), &actual, 0, 0), 0u);
  EXPECT_EQ(actual, 4000);
  // Without a length to answer into the query is not sent.
  EXPECT_EQ(ioctl_get_eventlogbuffersize(kIscsiFunction, payload.data(), nullptr, 0, 0, kIscsiController), 1u);
}

}  // namespace
}  // namespace tavo
