// What the firmware tests share: files placed under the root, the flash
// writes the simulated firmware received, and the branch's status texts.
#pragma once

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/firmware/image_builder.h"
#include "tests/support/client_fixture.h"
#include "transport/device_layout.h"

namespace tavo::test {

using Status = std::pair<uint32_t, std::string>;

inline const Status kUpdated{55, "Corvane firmware has been updated. Please reboot your system for the changes to take "
                                 "effect."};
inline const Status kUpgradeFailed{166, "Failed to upgrade the firmware."};
inline const Status kIncompatible{162, "The TKI file given is not compatible with this controller."};
inline const Status kTwice{318, "This special firmware release requires the download be performed twice. You must "
                                "reboot the system and download the same firmware file again to complete the "
                                "download process."};
inline const Status kBadSignature{336, "Failed to flash firmware image because of invalid digital signature."};
inline const Status kNoSignature{337,
                                 "Failed to flash firmware image because of digital signature missed in the given TKI."};
inline const Status kNone{0, ""};

// One component as the firmware received it: its optype and the chunks'
// (operation, length, offset).
struct Written {
  uint32_t optype = 0;
  std::vector<std::vector<uint32_t>> chunks;
  bool operator==(const Written&) const = default;
};

class FirmwareTest : public ClientTest {
 protected:
  // A client over the topology text.
  void start(const std::string& topology) { EXPECT_EQ(restart(topology), 0u); }
  // Writes bytes to a fixed host path under the root; answers the path.
  std::string place(const std::string& path, const std::string& bytes) {
    write_file(root_.at(path), bytes);
    return path;
  }
  std::string object(int controller, const std::string& name) {
    const auto& bytes = sim_->flash(controller)[name];
    return std::string(bytes.begin(), bytes.end());
  }
  std::string component(int controller, uint32_t optype) {
    return object(controller, "/optype/" + std::to_string(optype));
  }
  // The flash writes (7/1), one entry per component.
  std::vector<Written> writes() {
    std::vector<Written> out;
    bool open = false;
    for (const auto& p : payloads(1, 7)) {
      FlashChunkHead h;
      memcpy(&h, p.data(), sizeof h);
      if (!open) out.push_back(Written{h.optype, {}});
      out.back().chunks.push_back({h.operation, h.length, h.offset});
      open = h.operation != kFlashOperationLast;
    }
    return out;
  }
  std::vector<uint32_t> optypes() {
    std::vector<uint32_t> out;
    for (const Written& w : writes()) out.push_back(w.optype);
    return out;
  }
};

}  // namespace tavo::test
