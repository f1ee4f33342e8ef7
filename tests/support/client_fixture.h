// A management client over a simulated adapter: the library is started
// with TAVO_init on a topology (the built-in "default" or topology text),
// nodes are named by path ("Corvane0/PCI/BusNumber", ROOT implied), and
// every client leaves at the end with no device left open.
#pragma once

#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/support/sim_fixture.h"

namespace tavo::test {

inline constexpr uint32_t kNoTag = 0xFFFFFFFF;

class ClientTest : public SimTest {
 protected:
  explicit ClientTest(std::string topology = "default") : SimTest(std::move(topology)) {}
  void SetUp() override;
  void TearDown() override;

  // Every client leaves and the host is replaced by one over the topology
  // text; restart then starts a client again and answers TAVO_init's result.
  void use(const std::string& topology_text);
  uint32_t restart(const std::string& topology_text);
  // Tag of the node at path ("" is ROOT), or kNoTag.
  uint32_t tag(const std::string& path);
  // A property's value through TAVO_get_property_val ("<unreadable>" on
  // failure), and a write through TAVO_set_property_val.
  std::string get(const std::string& path);
  uint32_t set(const std::string& path, const std::string& value);
  // Runs the action at path (its group is the path's parent) with the
  // given parameter texts; the rest count as not given.
  // With new_tags, the tags of the groups the action created.
  uint32_t act(const std::string& path, const std::vector<std::string>& values = {},
               std::vector<uint32_t>* new_tags = nullptr);
  // Display names of a group's children of one kind (TAVO_KIND_*).
  std::vector<std::string> children(const std::string& path, uint32_t kind);
  // Display names of every child of a group in child order, whatever its kind.
  std::vector<std::string> ordered_children(const std::string& path);
  // Lists every group's child groups from ROOT down, as a client walking
  // the whole tree does: what waits to be built is built.
  void walk_whole_tree();
  std::pair<uint32_t, std::string> last_status();
  // The library's debug log (written at level 6 in these tests).
  std::string debug_log();
  // How many lines of the debug log hold text.
  int log_count(const std::string& text);
  // Mailbox requests sent with this subsystem and opcode.
  int mailbox_count(uint8_t subsystem, uint8_t opcode);
  // Injects one firmware answer of status to the next such request. The
  // fault may be narrowed (version, skip, times) at once, before any other
  // fault is injected.
  sim::Fault& fail_mailbox(uint8_t subsystem, uint8_t opcode, uint8_t status);
  // The payload of the last such request (empty when none was sent), and
  // its header when asked.
  std::vector<uint8_t> last_payload(uint8_t subsystem, uint8_t opcode, MailboxRequestHeader* header = nullptr);
  // The payloads of every such request, in order.
  std::vector<std::vector<uint8_t>> payloads(uint8_t subsystem, uint8_t opcode);
  // The subsystem and opcode of each logged mailbox request, in order,
  // that is not a plain read by the command table (a command none of whose
  // rows reads only, or one it does not know).
  std::vector<std::pair<int, int>> mailbox_writes();

  uint32_t baseline_allocations_ = 0;
};

// The reason the tree leaves when an action, a property read or write, or a
// refresh fails without one of its own.
inline std::pair<uint32_t, std::string> action_failed(const std::string& action) {
  return {1, action + " failed. Please check tavo2d.log file for more information."};
}
inline std::pair<uint32_t, std::string> get_failed(const std::string& property) {
  return {1, "Failed to get " + property + ". Please check tavo2d.log file for more information."};
}
inline std::pair<uint32_t, std::string> set_failed(const std::string& property) {
  return {1, "Failed to set " + property + ". Please check tavo2d.log file for more information."};
}

}  // namespace tavo::test
