// Every catalogue wrapper against the simulator: what reaches the driver must
// be what its row of the command table says.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "tests/transport/command_catalogue_support.h"

namespace tavo {
namespace {

using command::CommandId;
using command::CommandRow;
using command::Device;
using command::Form;
using test::CatalogueCall;
using test::CommandCatalogueTest;
using test::SentCommand;

// One way of reaching a row's device: the transport it must end on, the
// function number and the wrapper's trailing argument.
struct Route {
  uint32_t transport;
  uint32_t function_number;
  uint32_t route;
};

std::vector<Route> routes_of(const CommandRow& row) {
  using T = CommandCatalogueTest;
  const Route iscsi{TAVO_VIA_ISCSI, T::kIscsiFunction, 0};
  const Route nic{TAVO_VIA_NIC, T::kNicFunction, 0};
  switch (row.device) {
    case Device::Iscsi:
      return {iscsi};
    case Device::Nic:
      return {nic};
    case Device::Caller:
      return {{TAVO_VIA_ISCSI, T::kIscsiFunction, TAVO_VIA_ISCSI}, {TAVO_VIA_NIC, T::kNicFunction, TAVO_VIA_NIC}};
    case Device::Protocol:
      return {{TAVO_VIA_ISCSI, T::kIscsiFunction, T::kIscsiController},
              {TAVO_VIA_NIC, T::kNicFunction, T::kNicOnlyController}};
    case Device::IscsiUnlessNicOnly:
    case Device::IscsiWhenIscsi:
      return {{TAVO_VIA_ISCSI, T::kIscsiFunction, T::kIscsiController}};
  }
  return {};
}

uint8_t pattern_byte(size_t row, size_t i) { return static_cast<uint8_t>(i * 31 + row * 7 + 1); }

TEST_F(CommandCatalogueTest, EveryWrapperSendsWhatItsRowSays) {
  for (size_t index = 0; index < command::kCommandCount; ++index) {
    const CommandRow& row = command::kCommands[index];
    const auto id = static_cast<CommandId>(index);
    for (const Route& route : routes_of(row)) {
      SCOPED_TRACE(std::string(row.name) + " via transport " + std::to_string(route.transport));
      // The caller's bytes: cleared header space first for Framed16 and the
      // personality queries, a 20 + n record for Record20, the caller's own
      // length for CallerLength.
      uint32_t request_length = row.form == Form::CallerLength ? kCallerLength
                                : row.form == Form::Record20   ? 20 + kRecordData
                                                               : row.length;
      if (row.form == Form::Own) request_length = own_request_length(id);
      const size_t skip = row.form == Form::Framed16 || row.form == Form::Own ? kMailboxHeaderSize : 0;
      std::vector<uint8_t> buffer(skip + request_length);
      for (size_t i = skip; i < buffer.size(); ++i) buffer[i] = pattern_byte(index, i);
      if (row.form == Form::Record20) {
        const uint32_t n = kRecordData;
        memcpy(buffer.data() + 8, &n, sizeof n);
      }
      const std::vector<uint8_t> before = buffer;
      uint16_t actual = 0;
      sim_->clear_log();

      CatalogueCall call{route.function_number, buffer.data(), static_cast<uint16_t>(request_length),
                         kDomain, kPort, route.route, &actual, kPciFunction};
      const uint32_t status = invoke(id, call);

      const std::vector<SentCommand> sent = sent_commands();
      ASSERT_FALSE(sent.empty());
      const SentCommand& first = sent.front();
      EXPECT_EQ(first.transport, route.transport);
      expect_device(first, route.transport);
      EXPECT_EQ(first.opcode, row.opcode);
      EXPECT_EQ(first.subsystem, row.subsystem);
      EXPECT_EQ(first.port_number, kPort);
      EXPECT_EQ(first.domain, kDomain);
      EXPECT_EQ(first.timeout, expected_timeout(row, route.transport));
      EXPECT_EQ(first.request_length, request_length);
      EXPECT_EQ(first.version, row.version);
      EXPECT_EQ(first.vf_number, 0);
      EXPECT_EQ(first.pf_vh, row.form == Form::PfList ? kPciFunction + 1 : 0);
      EXPECT_EQ(tavo_glob.version_flag, 0);
      EXPECT_EQ(tavo_glob.pf_number, 0);
      if (row.form == Form::Own) continue;  // payloads of their own layout

      ASSERT_EQ(status, 0u);
      ASSERT_EQ(sent.size(), 1u);
      std::vector<uint8_t> expected(before.begin() + static_cast<long>(skip), before.end());
      if (row.form == Form::Zeros16) expected.assign(16, 0);
      EXPECT_EQ(first.payload, expected);
      if (row.form == Form::Zeros16) continue;
      // The response area comes back over the caller's bytes; header space
      // in front of it stays as it was.
      for (size_t i = 0; i < buffer.size(); ++i) {
        const uint8_t want = i < skip ? before[i] : static_cast<uint8_t>(~before[i]);
        ASSERT_EQ(buffer[i], want) << "byte " << i;
      }
      if (row.form == Form::SizeQuery) {
        EXPECT_EQ(actual, request_length);
      }
    }
  }
}

}  // namespace
}  // namespace tavo
