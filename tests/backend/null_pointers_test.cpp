// The exported helpers given a NULL pointer where they need one: none
// crashes, each answers a failure, and a mailbox command without its record
// is not sent.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>

#include "backend/backend.h"
#include "base/sysinfo.h"
#include "base/validate.h"
#include "controller/controller.h"
#include "firmware/core_dump.h"
#include "iscsi/network/iscsi_network.h"
#include "iscsi/sessions/sessions.h"
#include "nic/channels.h"
#include "nic/nic.h"
#include "port/port.h"
#include "tests/support/client_fixture.h"
#include "transport/commands.h"
#include "transport/mailbox.h"
#include "tree/persist.h"

namespace tavo::test {
namespace {

class NullPointersTest : public ClientTest {
 protected:
  TavoNode* node(const std::string& path) { return get_node(tag(path)); }
};

TEST_F(NullPointersTest, NeededPointersMissingAnswerAFailure) {
  TavoNode* controller = node("Corvane0");
  TavoNode* port = node("Corvane0/PortDiscoveryAndConfiguration0");
  TavoNode* stored = node("Corvane0/PortDiscoveryAndConfiguration0/PortName");
  const uint32_t nic = static_cast<uint32_t>(get_port_number(node("Corvane0/NICPhysicalHBA0")));
  char text[TAVO_VALUE_SIZE] = "x";
  uint8_t bytes[16] = {1};
  uint32_t words[16] = {};
  TavoNode* mtu = node("Corvane0/NICPhysicalHBA0/MTUSize");
  TavoNode* address = node("Corvane0/iSCSIPhysicalHBA0/Network/TCPIPConfiguration/InitiatorIPAddress");
  const uint32_t kBad = TAVO_INVALID_VALUE;
  // Void calls answer 0: they only must not crash.
  const std::pair<std::function<uint32_t()>, uint32_t> rows[] = {
      {[&] { return StrToU8IPv6("::1", nullptr), U8IPv6ToStr(nullptr, nullptr), U8IPv6ToStr(nullptr, text), 0u; }, 0},
      {[&] { return ipaddr_to_string(nullptr, text, 4), ipaddr_to_string(bytes, nullptr, 4), 0u; }, 0},
      {[&] { return copy_U8IP(nullptr, bytes), copy_U8IP(bytes, nullptr), copy_U32IP(words, nullptr), 0u; }, 0},
      {[&] { return dump_node(port, nullptr, 3), dump_static_groups(port, nullptr, 3), 0u; }, 0},
      {[&] { return tavo_bin(1, 2, 3, 4, nullptr) & tavo_getip(text, nullptr) & tavo_getip(nullptr, words); }, 1},
      {[&] { return tavo_validate_ip(nullptr) & tavo_validate_subnetmask(nullptr) & tavo_validate_list(nullptr, "a"); },
       kBad},
      {[&] { return tavo_validate_list("", nullptr) & tavo_validate_val_string(nullptr, 0, 9); }, kBad},
      {[&] { return TAVO_get_system_name(nullptr) & reinit_hm(nullptr) & restore_hm(nullptr); }, 1},
      {[&] { return handle_internal_property(stored, nullptr, TAVO_PROPERTY_GET); }, 1},
      {[&] { return purge_nodes_within(nullptr, "Port") & purge_nodes_within(port, nullptr); }, 1},
      {[&] { return TAVO_get_secure_jumper_state(0, nullptr) & do_EraseAllConfiguration(nullptr, nullptr, nullptr); },
       1},
      {[&] { return TAVO_get_legacy_adapter_current_personality(nic, 0, 0, controller, nullptr); }, 1},
      {[&] { return TAVO_get_asic_type(0xC0010140, nullptr, 0) & tavo_get_hpi_intf(nullptr, words, nullptr); }, 1},
      {[&] { return TAVO_get_operating_value(nic, 0, 0, port, nullptr) & TAVO_get_port_discovery_config(nullptr); }, 1},
      {[&] { return get_logical_link_status(nic, 0, 0, nullptr, 2) & TAVO_backend_client_nic_bdf(1, 0, text, 0); }, 1},
      {[&] { return handle_nic_MTUSize(mtu, nullptr, 0) & handle_tcpip_properties(address, nullptr, 0); }, 1},
      {[&] { return group_NICPhysicalHBA(nullptr) & group_Session(nullptr); }, 1},
      {[&] { return TAVO_set_SRIOVState(3, nullptr, nic, 0, 0, "on", controller); }, 1},
      {[&] { return TAVO_update_switch_type(nullptr, nic, 0, 0); }, 1},
  };
  for (size_t i = 0; i < std::size(rows); ++i) EXPECT_EQ(rows[i].first(), rows[i].second) << "row " << i;
  EXPECT_STREQ(text, "") << "no address reads as none";

  // A command without its record is refused unsent: a set never writes
  // zeros in its place, a get has nowhere to answer.
  sim_->clear_log();
  EXPECT_EQ(ioctl_get_port_state(nic, nullptr, 0, 0, TAVO_VIA_NIC), 1u);
  EXPECT_EQ(ioctl_set_dcbx_cfg_params(nic, nullptr, 0, 0, TAVO_VIA_NIC), 1u);
  EXPECT_EQ(ioctl_get_eventlogbuffersize(nic, text, nullptr, 0, 0, 0), 1u);
  EXPECT_TRUE(sim_->mailbox_log().empty());
}

}  // namespace
}  // namespace tavo::test
