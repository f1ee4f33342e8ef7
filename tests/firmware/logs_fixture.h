// What the log and dump tests share: a controller started over state
// planted in its firmware first, records as the firmware keeps them, and
// the output files.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "firmware/status_texts.h"
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
inline const std::string kInsideVf =
    "controller 0 generation=moravel serial=M bus=3\nnic controller=0 function=0 name=vmnic0\n"
    "vf controller=0 function=1 parent=0 name=vmnic1\n";
inline const Status kBadFile{257, "Invalid file name or path name given. Please provide valid file name or path name."};

// A status of the firmware branch with its text.
inline Status firmware_status(uint32_t code) {
  return {code, base::status_text(code)};
}

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
  // A host path's content under the root, "-" when there is no file.
  std::string file(const std::string& path) { return file_exists(root_.at(path)) ? read_file(root_.at(path)) : "-"; }
  // The next write of a file named like name fails with ENOSPC (FileErrno),
  // or stores half (ShortWrite), after skip such writes.
  void fail_write(sim::FaultKind kind, const std::string& name, int skip = 0) {
    sim::Fault f;
    f.kind = kind;
    f.file_call = "write";
    f.path_contains = name;
    f.err = 28;
    f.skip = skip;
    sim_->inject(f);
  }
};

}  // namespace tavo::test
