#include "tests/iscsi/network/network_fixture.h"

#include <string.h>

#include <map>

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
  static const std::map<uint32_t, std::string> texts = {
      {0, ""},
      {6, "Invalid Value."},
      {17, "Invalid value. Please use valid value."},
      {20, "Invalid instance number. Please use valid instance number."},
      {30, "Invalid iSCSI name. Please use valid iSCSI name as per RFC 3722."},
      {32, "Destination host not reachable. Please check cable and network connections and make sure IP address is "
           "valid. For more information, see Troubleshooting section in Corvane documentation."},
      {43, "Failed to change IP address/Gateway settings as DHCP is Enabled. Please disable DHCP to make any changes "
           "to IP address/Gateway settings."},
      {44, "The IP address settings for the Corvane iSCSI initiator cannot be modified when there is an active iSCSI "
           "boot session. Please use the iSCSIVantrel configuration utility to modify the IP address settings. No "
           "configuration changes were made to the Corvane iSCSI initiator."},
      {49, "Cannot set the default gateway as DHCP is enabled. Please disable DHCP before setting the default "
           "gateway."},
      {53, "Ping failed. Please check cable and network connections and make sure that the IP address is valid. For "
           "more information, see the Troubleshooting section in Corvane documentation."},
      {56, "The IP address settings match the existing configuration. No changes have been made to the "
           "configuration."},
      {57, "The DHCP settings are already configured. No changes have been made to the existing configuration."},
      {69, "Duplicate IP address detected. Please check that the IP address given is not conflicting with an "
           "existing IP address in the subnet. Choose a unique IP address."},
      {80, "Failed to get discovery params. Application internal error occurred. Please check tavo2d.log file for "
           "more information."},
      {81, "Failed to set discovery params. Application internal error occurred. Please check tavo2d.log file for "
           "more information."},
      {93, "Failed to obtain NIC configuration params. Application internal error occurred. Please check tavo2d.log "
           "file for more information."},
      {97, "Cannot retrieve ARP table entries. Application internal error occurred. Please check tavo2d.log file "
           "for more information."},
      {98, "Failed to retrieve interface ids. Application internal error occurred. Please check tavo2d.log file for "
           "more information."},
      {99, "Cannot obtain interface info. Application internal error occurred. Please check tavo2d.log file for "
           "more information."},
      {100, "Cannot retrieve route table entries. Application internal error occurred. Please check tavo2d.log "
            "file for more information."},
      {110, "Failed to obtain initiator name and initiator alias. Application internal error occurred. Please "
            "check tavo2d.log file for more information."},
      {111, "Failed to set initiator name and initiator alias. Application internal error occurred. Please check "
            "tavo2d.log file for more information."},
      {122, "Cannot modify the ipaddress record."},
      {123, "Unable to disable DHCP."},
      {124, "Cannot set VLAN priority."},
      {129, "Cannot add/delete route table entry."},
      {130, "Cannot add/delete ARP table entry."},
      {132, "Cannot set the Default Gateway. Application internal error occurred. Please check tavo2d.log file for "
            "more information."},
      {133, "Cannot get the Default Gateway. Application internal error occurred. Please check tavo2d.log file for "
            "more information."},
      {135, "Firmware failed to enable DHCP."},
      {159, "Failed to retrieve the factory default MAC address for the given function. Application internal error "
            "occurred. Please check tavo2d.log file for more information."},
      {245, "Failed to add route entries. Exceed maximum manual route entries."},
      {291, "Failed to execute the command. Because operation is not supported on this adapter."},
      {304, "User requested configuration changed successfully. Please reboot your system for the changes to take "
            "effect."},
      {310, "Discovering iSNSServers through DHCP is not supported in Open-iSCSI driver."},
  };
  auto it = texts.find(code);
  return it == texts.end() ? "<no message for " + std::to_string(code) + ">" : it->second;
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

void NetworkTest::add_session(const char* boot) {
  TavoNode* lhba = get_node(tag("Corvane0/iSCSIPhysicalHBA0/LogicalHBA0"));
  TavoNode* session = tree::build_group(session_def, initialize_Target(lhba, nullptr, nullptr, nullptr));
  ASSERT_NE(session, nullptr);
  set_prop_val(session, "iSCSIBoot", "%s", boot);
}

}  // namespace tavo::test
