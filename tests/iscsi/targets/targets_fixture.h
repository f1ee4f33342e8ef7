// A client over two controllers with iSCSI functions (two on the first),
// the saved iSCSI files under the root, and targets and send-target portals
// built as the target actions build them.
#pragma once

#include <stdint.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "iscsi/targets/targets.h"
#include "tests/support/client_fixture.h"

namespace tavo::test {

// The firmware of the first function holds the name the saved lines show.
inline constexpr char kTargetsTopology[] =
    "controller 0 generation=cv3 serial=T0 bus=3\n"
    "iscsi controller=0 function=2 port=0 device=0 vmhba=vmhba40 initiator-name=iqn.hx\n"
    "iscsi controller=0 function=3 port=1 device=1 vmhba=vmhba41\n"
    "controller 1 generation=moravel serial=T1 bus=5\n"
    "iscsi controller=1 function=2 port=0 device=2 vmhba=vmhba42\n";
inline constexpr char kLhba[] = "Corvane0/iSCSIPhysicalHBA0/LogicalHBA0";
inline constexpr char kKey[] = "Corvane0,iSCSIPhysicalHBA0,LogicalHBA0";
// The initiator's options as a new LogicalHBA saves them.
inline constexpr char kDefaults[] = "Yes,Yes,None,None,None,,,,,Prohibited,Prohibited,Prohibited";

// The same adapters with iSCSI targets on the network: a (two portals,
// held by the Moravel function's firmware), b (beside a at 10.0.0.50) and c
// (CHAP, alone at 10.0.0.60).
inline constexpr char kTargetA[] = "iqn.2026-12.com.example:a";
inline constexpr char kTargetB[] = "iqn.2026-12.com.example:b";
inline constexpr char kTargetC[] = "iqn.2026-12.com.example:c";
inline constexpr char kNetworkTargets[] =
    "target name=iqn.2026-12.com.example:a portal=10.0.0.50/3260/1,10.0.0.51/3260/2 persistent=2\n"
    "target name=iqn.2026-12.com.example:b portal=10.0.0.50/3260/1\n"
    "target name=iqn.2026-12.com.example:c portal=10.0.0.60/3260/3 chap=tgt-c/csecret123456\n";
inline constexpr char kMoravelLhba[] = "Corvane1/iSCSIPhysicalHBA0/LogicalHBA0";

class TargetsTest : public ClientTest {
 protected:
  explicit TargetsTest(std::string topology = kTargetsTopology) : ClientTest(std::move(topology)) {}

  TavoNode* node(const std::string& path) { return get_node(tag(path)); }
  std::string saved_path(const std::string& name) { return root_.at("/etc/config/QVL/tavo/" + name); }
  std::string saved(const std::string& name) { return read_file(saved_path(name)); }
  // Replaces a saved file as an editor does: a new file renamed in.
  void put_saved(const std::string& name, const std::string& text);
  // A Target of LogicalHBA0 named name, with its line for one portal (through
  // TAVO_add_target_into_file, whose result is in *result when given).
  TavoNode* add_target(const std::string& name, const std::string& address = "10.0.0.9",
                       const std::string& port = "3260", uint32_t* result = nullptr);
  // A SendTargetPortal of LogicalHBA0 with its line of options.
  TavoNode* add_portal(const std::string& address, const std::string& port, const std::string& options = kDefaults);
  // Display names of every child of the node at path, in child order.
  std::vector<std::string> order(const std::string& path);
  // Groups, properties and actions in the subtree at path (the group counted).
  std::vector<size_t> count(const std::string& path);
};

// A code with its text from the branch's table (else the shared texts).
std::pair<uint32_t, std::string> targets_text(uint32_t code);

// TargetsTest over the adapters with targets on the network.
class NetworkTargetsTest : public TargetsTest {
 protected:
  explicit NetworkTargetsTest(std::string topology = std::string(kTargetsTopology) + kNetworkTargets)
      : TargetsTest(std::move(topology)) {}
  // The saved target lines of the LogicalHBA at path (its key leads them).
  std::vector<std::string> target_lines(const std::string& key = kKey);
  // Of those, the targets' own lines (no ISID qualifier) and the lines of
  // persistent sessions.
  std::vector<std::string> portal_lines(const std::string& key = kKey);
  std::vector<std::string> session_lines(const std::string& key = kKey);
  // Display names of the instances of a group type under path.
  std::vector<std::string> instances(const std::string& path, const std::string& type);
  // The persistent groups as TAVO_get_persistent_nodes lists them, by path
  // below ROOT.
  std::vector<std::string> persistent_paths();
  // What a saved-state action may change, as one text: the three saved
  // files, the groups below path with their stored values, and the
  // firmware's sessions and persistent entries.
  std::string everything(const std::string& path = kLhba);
  // The three saved files put back as they are now (a missing one removed).
  std::function<void()> saved_files_restorer();
  // Those and the adapters this process holds put back, after a child
  // whose changes of the adapters stayed.
  std::function<void()> root_restorer();
};

}  // namespace tavo::test
