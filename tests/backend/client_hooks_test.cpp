// The hooks of long-lived management clients: the check of the tree
// against the adapter, the quiet state at the end of a period of use, and
// the shell-backed queries.
#include <gtest/gtest.h>
#include <string.h>

#include <memory>
#include <string>

#include "backend/backend.h"
#include "tests/support/client_fixture.h"
#include "transport/glob.h"

namespace tavo::test {
namespace {

class ClientHooksTest : public ClientTest {
 protected:
  int shell_commands() {
    int n = 0;
    for (const auto& e : sim_->log()) n += e.kind == sim::LogKind::Shell;
    return n;
  }
};

TEST_F(ClientHooksTest, ClientIdsAndAnUnchangedAdapter) {
  set_prop_val(get_node(tag("Corvane2/NICPhysicalHBA3")), "IfName", "stale");
  sim_->clear_log();
  EXPECT_EQ(backend_client_init(2), 0u);
  EXPECT_TRUE(sim_->log().empty());  // ids above 1 do nothing
  for (int32_t client : {0, 1}) EXPECT_EQ(backend_client_init(client), 0u);
  EXPECT_EQ(mailbox_count(1, 88), 0);  // no rebuild
  EXPECT_EQ(log_count("--- entering TAVO_refresh_backend_client_iscsi_targets ---"), 2);
  EXPECT_EQ(get("Corvane2/NICPhysicalHBA3/IfName"), "vmnic7");  // every NIC function's name written anew
  EXPECT_EQ(sim_->open_device_count(), 5);  // the iSCSI devices, opened anew
}

TEST_F(ClientHooksTest, NoControllerIsRefused) {
  ASSERT_EQ(restart(""), 0u);
  EXPECT_EQ(backend_client_init(0), 1u);
  EXPECT_EQ(last_status(), (std::pair<uint32_t, std::string>{18, "System has no controller."}));
}

// A replaced adapter (same functions, another serial number) rebuilds the
// tree once; so does one whose second controller alone changed, though the
// first has no function of that kind to compare.
TEST_F(ClientHooksTest, ChangedSerialRebuildsOnce) {
  struct Row {
    const char* topology;  // "" keeps the default
    int controller;
    const char* path;
  } rows[] = {
      {"", 0, "Corvane0/SerialNumber"},
      {"controller 0 serial=I bus=3\ncontroller 1 serial=N bus=5\niscsi controller=0 function=0 device=0\n"
       "nic controller=1 function=0 name=vmnic0\n",
       1, "Corvane1/SerialNumber"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.path);
    if (*r.topology != '\0') {
      ASSERT_EQ(restart(r.topology), 0u);
    }
    const int controllers = static_cast<int>(children("", TAVO_KIND_GROUP).size());
    sim_->topology().controllers[static_cast<size_t>(r.controller)].serial = "NEW";
    sim_->clear_log();
    EXPECT_EQ(backend_client_init(0), 0u);
    EXPECT_EQ(mailbox_count(1, 88), controllers);
    EXPECT_EQ(get(r.path), "NEW");
  }
}

// An adapter that answers another serial number on every read is followed
// three times, then the hook gives up.
TEST_F(ClientHooksTest, EndlessChangeEndsAfterThreeRebuilds) {
  ASSERT_EQ(restart("controller 0 serial=S bus=3\niscsi controller=0 function=0 device=0\n"), 0u);
  auto reads = std::make_shared<int>(0);
  sim_->on(1, 32, [reads](sim::Simulator&, sim::MailboxCall& call) {
    ControllerAttributes a{};
    a.bus = 3;
    snprintf(a.serial_number, sizeof a.serial_number, "S%d", ++*reads);
    memcpy(call.payload.data(), &a, sizeof a);
    return sim::MailboxReply{};
  });
  sim_->clear_log();
  EXPECT_EQ(backend_client_init(0), 1u);
  EXPECT_EQ(mailbox_count(1, 88), 3);
}

TEST_F(ClientHooksTest, ExitQuietsBeaconsAndLoopbackAndClosesDevices) {
  // One beacon of the eight ports is on.
  sim::SimPort* beaconing = sim::find_port(sim_->topology(), 1, 1);
  ASSERT_NE(beaconing, nullptr);
  beaconing->beacon = 1;
  backend_client_exit(1);
  EXPECT_EQ(log_count("--- entering do_"), 0);
  EXPECT_GT(sim_->open_device_count(), 0);
  backend_client_exit(0);
  EXPECT_EQ(log_count("--- entering do_Beacon ---"), 1);
  EXPECT_EQ(beaconing->beacon, 0);
  EXPECT_EQ(log_count("--- entering do_ExitLoopBackMode ---"), 3 * 16);
  EXPECT_EQ(sim_->open_device_count(), 0);
  EXPECT_EQ(TAVO_exit(), 0u);
}

TEST_F(ClientHooksTest, NicBusInfoIsParsed) {
  struct Row {
    const char* bus_info;
    const char* bus;
    const char* function;
    uint32_t domain;
  } rows[] = {
      {"0000:03:00.1", "0x3", "0x1", 0},
      {"000a:1f:00.7", "0x1f", "0x7", 10},
      {"0b:02.5", "0xb", "0x5", 99},  // no domain: left as it was
      {"garbage", "-", "-", 99},
      {"0b:02", "-", "-", 99},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.bus_info);
    sim_->set_shell_answer("ethtool -i vmnic0", 0, std::string("driver: cv2net\nbus-info: ") + r.bus_info + "\n");
    char bus[TAVO_VALUE_SIZE] = "-", function[TAVO_VALUE_SIZE] = "-";
    uint32_t domain = 99;
    EXPECT_EQ(TAVO_backend_client_nic_bdf(1, bus, function, &domain), 0u);
    EXPECT_STREQ(bus, r.bus);
    EXPECT_STREQ(function, r.function);
    EXPECT_EQ(domain, r.domain);
  }
}

// Interface names come from esx.conf: a hostile one runs no command and
// writes nothing.
TEST_F(ClientHooksTest, HostileInterfaceNamesRunNothing) {
  ASSERT_EQ(restart("controller 0 serial=S bus=3\nnic controller=0 function=0 name=$(reboot)\n"
                    "nic controller=0 function=1 name=a;touch\nnic controller=0 function=2 name=a'b\n"),
            0u);
  sim_->clear_log();
  for (uint32_t n = 1; n <= 3; ++n) {
    char bus[TAVO_VALUE_SIZE] = "-", function[TAVO_VALUE_SIZE] = "-";
    EXPECT_EQ(TAVO_backend_client_nic_bdf(n, bus, function, nullptr), 0u);
    EXPECT_STREQ(bus, "-");
  }
  EXPECT_EQ(shell_commands(), 0);
  EXPECT_FALSE(file_exists(root_.at("/touch")));
}

TEST_F(ClientHooksTest, IscsiDevicesAreListedWithinTheTable) {
  EXPECT_EQ(TAVO_get_all_iscsi_devices(), 5u);
  EXPECT_STREQ(tavo_glob.iscsi_pci_ids[0], "0000:03:00.2");
  EXPECT_STREQ(tavo_glob.iscsi_pci_ids[2], "0000:07:00.4");  // the first vendor's IDs come first
  EXPECT_STREQ(tavo_glob.iscsi_pci_ids[4], "0000:05:00.2");
  std::string many = "0000:0001:0002:00.0\n";  // too long for an entry: passed over
  for (int i = 0; i < 200; ++i) many += "0000:" + std::to_string(10 + i % 80) + ":00.0\n";
  sim_->set_shell_answer("lspci -D -d f1a0:0c22", 0, many);
  EXPECT_EQ(TAVO_get_all_iscsi_devices(), 128u);
  EXPECT_STREQ(tavo_glob.iscsi_pci_ids[0], "0000:10:00.0");
}

TEST_F(ClientHooksTest, InboxNicDriverIsFlagged) {
  TAVO_get_nic_driver_type();
  EXPECT_EQ(TAVO_NIC_INBOX_DRIVER_LOADED, 0);  // the simulated driver is external
  sim_->set_shell_answer("modinfo cv2net", 0, "supported:      inbox\n");
  TAVO_get_nic_driver_type();
  EXPECT_EQ(TAVO_NIC_INBOX_DRIVER_LOADED, 1);
}

TEST_F(ClientHooksTest, TargetsAreNotRefreshedUnderAnotherIscsiDriver) {
  OPEN_ISCSI_DRIVER_LOADED = 1;
  EXPECT_EQ(TAVO_refresh_backend_client_iscsi_tgts(), 0u);
  EXPECT_EQ(log_count("--- entering TAVO_refresh_backend_client_iscsi_targets ---"), 0);
  OPEN_ISCSI_DRIVER_LOADED = 0;
  EXPECT_EQ(TAVO_refresh_backend_client_iscsi_tgts(), 0u);
  EXPECT_EQ(log_count("--- entering TAVO_refresh_backend_client_iscsi_targets ---"), 1);
}

}  // namespace
}  // namespace tavo::test
