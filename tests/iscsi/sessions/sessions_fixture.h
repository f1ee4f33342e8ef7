// A client over two iSCSI functions (a CV3's and a Moravel's) and three
// targets on the network: a (no CHAP, alias arrayA), c (one-way CHAP) and m
// (mutual CHAP, header digest required, data digest refused). Targets are
// added and logged in through the tree's actions.
#pragma once

#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

#include "iscsi/sessions/sessions.h"
#include "tests/iscsi/targets/targets_fixture.h"
#include "transport/iscsi_records.h"

namespace tavo::test {

inline constexpr char kSessionsTopology[] =
    "controller 0 generation=cv3 serial=T0 bus=3\n"
    "iscsi controller=0 function=2 port=0 device=0 vmhba=vmhba40 ip=10.0.0.21 initiator-name=iqn.hx\n"
    "controller 1 generation=moravel serial=T1 bus=5\n"
    "iscsi controller=1 function=2 port=0 device=2 vmhba=vmhba42 ip=10.0.1.21\n"
    "target name=iqn.2026-12.com.example:a portal=10.0.0.50/3260/1,10.0.0.51/3261/2 alias=arrayA\n"
    "target name=iqn.2026-12.com.example:c portal=10.0.0.60/3260/3 chap=tgt-c/csecret123456\n"
    "target name=iqn.2026-12.com.example:m portal=10.0.0.70/3260/4 chap=tgt-m/msecret123456 "
    "mutual=ini-m/isecret123456 header-digest=required data-digest=prohibited\n";
inline constexpr char kA[] = "iqn.2026-12.com.example:a";
inline constexpr char kC[] = "iqn.2026-12.com.example:c";
inline constexpr char kM[] = "iqn.2026-12.com.example:m";

class SessionsTest : public NetworkTargetsTest {
 protected:
  explicit SessionsTest(std::string topology = kSessionsTopology) : NetworkTargetsTest(std::move(topology)) {}

  // Target<n> of the CV3's LogicalHBA, and a path below it.
  static std::string at(int target, const std::string& below = "");
  // AddTarget on the CV3's LogicalHBA; the action's result.
  uint32_t add(const std::string& name, const std::string& address, const std::string& port = "3260");
  // Login and Logout of Target<n> with the given parameters (for Login, an
  // empty one is not given).
  uint32_t login(int target, const std::vector<std::string>& params = {});
  uint32_t logout(int target, const std::vector<std::string>& params = {});
  // The target's login options: CHAP (ConfigureCHAP's six values, none:
  // left as they are), then the digest levels (with CRC32C asked when
  // Preferred).
  void options(int target, const std::vector<std::string>& chap, const std::string& header = "Prohibited",
               const std::string& data = "Prohibited");
  // Every login request sent (23/6), and every persistent form (27/6).
  std::vector<IscsiLoginRequest> sent(uint8_t opcode = 23);
  // The next answer to the command claims length bytes.
  void answer_length(uint8_t subsystem, uint8_t opcode, int64_t length);
  // The simulated firmware sessions of the CV3's function (device 0).
  std::vector<sim::SimSession>& firmware() { return sim_->sessions(0)->sessions; }
};

// A code with its text from the sessions table (else the shared texts).
std::pair<uint32_t, std::string> sessions_text(uint32_t code);

}  // namespace tavo::test
