#include "tests/iscsi/network/network_fixture.h"

#include <string.h>

#include "base/validate.h"
#include "iscsi/network/network_internal.h"
#include "iscsi/sessions/sessions_internal.h"
#include "iscsi/targets/targets.h"
#include "transport/device_layout.h"
#include "tree/declare.h"
#include "tree/group_builder.h"

namespace tavo::test {
namespace {

tree::SlotArea session_slots;
const tree::ChildDef session_children[] = {
    declare::property("iSCSIBoot", TAVO_ACCESS_READ_ONLY, TAVO_TYPE_TEXT, "", 0, 5, "False", handle_internal_property,
                      "Boot session."),
};
const tree::GroupDef session_def = {"Session", "A session.", 4, 0, nullptr, session_children, &session_slots};

}  // namespace

uint32_t word(const std::vector<uint8_t>& p, size_t at) {
  uint32_t v = 0;
  if (p.size() >= at + 4) memcpy(&v, p.data() + at, 4);
  return v;
}

std::string message_of(uint32_t code) {
  if (code == 0) return "";
  const char* text = base::status_text(code);
  return text == nullptr ? "<no message for " + std::to_string(code) + ">" : text;
}

void NetworkTest::expect_status(uint32_t code) {
  const auto [got, text] = last_status();
  if (code != TAVO_FAILED) {
    EXPECT_EQ(std::make_pair(got, text), std::make_pair(code, message_of(code)));
    return;
  }
  const std::string hint = " failed. Please check tavo2d.log file for more information.";
  EXPECT_EQ(got, code);
  EXPECT_TRUE(text.size() > hint.size() && text.compare(text.size() - hint.size(), hint.size(), hint) == 0) << text;
}

std::string dotted(const uint8_t* b) {
  return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." + std::to_string(b[3]);
}

uint32_t NetworkTest::act(const std::string& group, const std::string& action,
                          const std::vector<std::optional<std::string>>& params) {
  std::vector<char> block(TAVO_MAX_PARAMS * TAVO_VALUE_SIZE, '\0');
  for (size_t i = 0; i < TAVO_MAX_PARAMS; ++i) {
    char* p = block.data() + i * TAVO_VALUE_SIZE;
    if (i < params.size() && params[i])
      snprintf(p, TAVO_VALUE_SIZE, "%s", params[i]->c_str());
    else
      p[0] = static_cast<char>(TAVO_NOT_GIVEN);
  }
  return TAVO_do_action(tag(group), tag(group + "/" + action), block.data(), nullptr);
}

std::string NetworkTest::changes() {
  std::string out;
  for (const sim::LogEntry& e : sim_->mailbox_log()) {
    if (e.bytes.size() < kMailboxHeaderSize) continue;
    const uint8_t opcode = e.bytes[0], subsystem = e.bytes[1];
    if (subsystem != 2 || (opcode != 21 && opcode != 23 && opcode != 17 && opcode != 18 && opcode != 14)) continue;
    std::vector<uint8_t> payload(e.bytes.begin() + kMailboxHeaderSize, e.bytes.end());
    const uint32_t action = word(payload, opcode == 21 ? 4 : 0);
    out += (out.empty() ? "" : " ") + std::to_string(opcode);
    if (opcode == 21 || opcode == 23) out += action == 1 ? "add" : "del";
  }
  return out;
}

std::vector<uint8_t> NetworkTest::last_payload(uint8_t subsystem, uint8_t opcode) {
  const auto log = sim_->mailbox_log();
  for (auto e = log.rbegin(); e != log.rend(); ++e)
    if (e->bytes.size() >= kMailboxHeaderSize && e->bytes[0] == opcode && e->bytes[1] == subsystem)
      return std::vector<uint8_t>(e->bytes.begin() + kMailboxHeaderSize, e->bytes.end());
  return {};
}

sim::Fault refusal(uint8_t subsystem, uint8_t opcode, int skip) {
  sim::Fault f;
  f.subsystem = subsystem;
  f.opcode = opcode;
  f.status = 3;
  f.skip = skip;
  return f;
}

void NetworkTest::add_session(bool boot, const char* shown) {
  TavoNode* lhba = get_node(tag("Corvane0/iSCSIPhysicalHBA0/LogicalHBA0"));
  TavoNode* session = tree::build_group(session_def, initialize_Target(lhba, nullptr, nullptr, nullptr));
  ASSERT_NE(session, nullptr);
  sim::SimIscsi* firmware = sim_->sessions(0);
  sim::SimSession s;
  s.handle = firmware->next_handle++;
  s.open = true;
  s.boot = boot;
  s.target = "iqn.2026-12.com.example:boot";
  firmware->sessions.push_back(s);
  ASSERT_TRUE(sessions::attach_record(session, {0, s.handle, 0, 1}));
  set_prop_val(session, "iSCSIBoot", "%s", shown);
}

}  // namespace tavo::test
