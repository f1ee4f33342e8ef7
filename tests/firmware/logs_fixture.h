// What the log and dump tests share: a controller started over state
// planted in its firmware first, and records as the firmware keeps them.
#pragma once

#include <string>

#include "tavo/tavo.h"
#include "tests/firmware/firmware_fixture.h"
#include "transport/log_records.h"

namespace tavo::test {

// A CV3 with an iSCSI and a NIC function, and a Galtor with the same.
inline const std::string kCv3 =
    "controller 0 generation=cv3 serial=S bus=3\niscsi controller=0 function=2 port=0 device=0\n"
    "nic controller=0 function=0 port=0 name=vmnic0\n";
inline const std::string kGaltor =
    "controller 0 generation=galtor serial=G bus=5\nnic controller=0 function=0 port=0 name=vmnic0\n"
    "iscsi controller=0 function=2 port=0 device=0\n";

template <typename T>
std::string bytes_of(const T& record) {
  return std::string(reinterpret_cast<const char*>(&record), sizeof record);
}

class LogsTest : public FirmwareTest {
 protected:
  // A client over the topology once the objects are in controller 0's flash.
  void start_with(const std::string& topology, const std::vector<std::pair<std::string, std::string>>& objects) {
    use(topology);
    for (const auto& [name, content] : objects) plant(0, name, content);
    ASSERT_EQ(TAVO_init(), 0u);
  }
  void plant(int controller, const std::string& name, const std::string& content) {
    sim_->flash(controller)[name].assign(content.begin(), content.end());
  }
};

}  // namespace tavo::test
