#include "tests/iscsi/sessions/sessions_fixture.h"

#include <string.h>

#include <algorithm>
#include <tuple>

namespace tavo::test {

std::string SessionsTest::at(int target, const std::string& below) {
  return std::string(kLhba) + "/Target" + std::to_string(target) + (below.empty() ? "" : "/" + below);
}

uint32_t SessionsTest::add(const std::string& name, const std::string& address, const std::string& port) {
  return act(std::string(kLhba) + "/AddTarget", {name, address, port});
}

uint32_t SessionsTest::login(int target, const std::vector<std::string>& params) {
  std::vector<std::string> given = params;
  for (std::string& p : given)
    if (p.empty()) p.assign(1, static_cast<char>(TAVO_NOT_GIVEN));
  return act(at(target, "Login"), given);
}

uint32_t SessionsTest::logout(int target, const std::vector<std::string>& params) {
  return act(at(target, "Logout"), params);
}

void SessionsTest::options(int target, const std::vector<std::string>& chap, const std::string& header,
                           const std::string& data) {
  const std::string group = at(target, "TargetLoginOptions");
  if (!chap.empty()) {
    ASSERT_EQ(act(group + "/Authentication/ConfigureCHAP", chap), 0u) << last_status().second;
  }
  for (const auto& [digest, level, value] :
       {std::tuple{"HeaderDigest", "HeaderParam", header}, std::tuple{"DataDigest", "DataParam", data}}) {
    if (value == "Preferred") {
      ASSERT_EQ(set(group + "/" + digest, "CRC32C"), 0u) << last_status().second;
    }
    ASSERT_EQ(set(group + "/" + level, value), 0u) << last_status().second;
  }
}

std::vector<IscsiLoginRequest> SessionsTest::sent(uint8_t opcode) {
  std::vector<IscsiLoginRequest> all;
  for (const std::vector<uint8_t>& p : payloads(6, opcode)) {
    IscsiLoginRequest r{};
    memcpy(&r, p.data(), std::min(p.size(), sizeof r));
    all.push_back(r);
  }
  return all;
}

void SessionsTest::answer_length(uint8_t subsystem, uint8_t opcode, int64_t length) {
  sim::Fault f;
  f.kind = sim::FaultKind::ResponseLength;
  f.subsystem = subsystem;
  f.opcode = opcode;
  f.length = length;
  sim_->inject(f);
}

std::pair<uint32_t, std::string> sessions_text(uint32_t code) {
  const char* text = base::status_text(code);
  return {code, text != nullptr ? text : "<no text>"};
}

}  // namespace tavo::test
