// A target record answers from the sessions as they are now, whoever
// changed them since the last one: a command, a test, another process.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/host.h"
#include "tests/support/sim_fixture.h"
#include "transport/device_layout.h"
#include "transport/iscsi_records.h"

namespace tavo {
namespace {

using platform::fixed_path;
using platform::host;

constexpr char kTopology[] =
    "controller 0 generation=moravel\n"
    "iscsi controller=0 function=2 device=3 ip=10.1.0.21\n"
    "target name=iqn.x:a portal=10.0.0.1/3260,10.0.0.2/3260 persistent=3\n"
    "target name=iqn.x:b portal=10.0.0.3/3260 persistent=3\n";

class TargetRecordsTest : public test::SimTest {
 protected:
  TargetRecordsTest() : SimTest(kTopology) {}

  // The answer to one command on cv2iscsi_3: its status and payload.
  std::vector<uint8_t> ask(uint8_t subsystem, uint8_t opcode, const std::vector<uint8_t>& request, size_t length,
                           uint8_t* status) {
    std::vector<uint8_t> buf(kMailboxHeaderSize + length, 0);
    auto* h = reinterpret_cast<MailboxRequestHeader*>(buf.data());
    h->opcode = opcode;
    h->subsystem = subsystem;
    h->timeout = 120;
    h->request_length = static_cast<uint32_t>(length);
    if (!request.empty()) memcpy(buf.data() + kMailboxHeaderSize, request.data(), request.size());
    const int fd = host().device_open(fixed_path(std::string(kIscsiDevicePrefix) + "3"), O_RDWR);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(host().device_ioctl(fd, kIscsiMailboxRequest, buf.data()), 0);
    host().device_close(fd);
    *status = reinterpret_cast<const MailboxResponseHeader*>(buf.data())->status;
    return {buf.begin() + kMailboxHeaderSize, buf.end()};
  }

  // Each target id the firmware lists, with the portals of its record.
  std::string records() {
    uint8_t status = 0;
    const std::vector<uint8_t> list = ask(6, 30, {}, 4 + 8 * 16, &status);
    uint32_t count = 0;
    memcpy(&count, list.data(), sizeof count);
    std::string out;
    for (uint32_t i = 0; i < count && i < 16; ++i) {
      uint32_t id = 0;
      memcpy(&id, list.data() + 4 + 8 * i, sizeof id);
      std::vector<uint8_t> request(sizeof id);
      memcpy(request.data(), &id, sizeof id);
      const std::vector<uint8_t> r = ask(6, 32, request, kTargetSizeQuery + kPortalGroupStride * 4, &status);
      FirmwareTargetHead head{};
      memcpy(&head, r.data(), sizeof head);
      out += std::string(out.empty() ? "" : " ") + head.name + ":";
      for (uint32_t k = 0; k < head.group_count && status == 0; ++k) {
        const uint8_t* portal = r.data() + sizeof head + kPortalGroupStride * k + sizeof(FirmwarePortalGroupHead);
        out += (k == 0 ? "" : ",") + std::to_string(portal[kFirmwarePortalAddress + 3]);
      }
    }
    return out;
  }

  sim::SimIscsi& sessions() { return *sim_->sessions(3); }
};

TEST_F(TargetRecordsTest, EachRecordSeesTheSessionsAsTheyAreNow) {
  const struct {
    const char* change;
    std::function<void()> make;
    const char* records;
  } steps[] = {
      {"none", [] {}, "iqn.x:a:1,2 iqn.x:b:3"},
      {"a test drops a portal's persistence", [&] { sessions().sessions[0].persistent = false; },
       "iqn.x:a:2 iqn.x:b:3"},
      {"a test names a session's target in capitals",
       [&] {
         sessions().sessions[0].persistent = true;
         sessions().sessions[0].target = "IQN.X:A";
       },
       "iqn.x:a:1,2 iqn.x:b:3"},
      {"another process drops b's persistence",
       [&] {
         EXPECT_EQ(in_process([&] {
                     sessions().sessions[2].persistent = false;
                     // Kept by the next command that may change the adapters.
                     sim_->on(99, 99, [](sim::Simulator&, sim::MailboxCall&) { return sim::MailboxReply{}; });
                     uint8_t status = 0;
                     ask(99, 99, {}, 4, &status);
                     return std::string("done");
                   }),
                   "done");
       },
       "iqn.x:a:1,2 iqn.x:b:"},
  };
  for (const auto& step : steps) {
    step.make();
    EXPECT_EQ(records(), step.records) << step.change;
    EXPECT_EQ(records(), step.records) << step.change << ", asked again";
  }
}

}  // namespace
}  // namespace tavo
