#include "transport/devices.h"

#include <errno.h>
#include <gtest/gtest.h>

#include "tests/transport/transport_fixture.h"
#include "base/last_status.h"

namespace tavo {
namespace {

using test::TransportTest;

const char kTwoChips[] = R"(controller 0 generation=cv3 bus=2 device=0
controller 1 generation=moravel bus=9 device=1
nic controller=0 function=0 name=vmnic0
nic controller=0 function=1 name=vmnic1
nic controller=1 function=3 name=vmnic_long_name
iscsi controller=0 function=2 device=0 vmhba=vmhba40
iscsi controller=1 function=4 device=2 vmhba=vmhba42
)";

class DevicesTest : public TransportTest {};

TEST_F(DevicesTest, IscsiDevicesArePackedInOpenOrder) {
  reopen_with(kTwoChips);
  EXPECT_EQ(tavo_glob.iscsi_valid_hba, 2);
  char name[32];
  ASSERT_EQ(ioctl_get_vmhba_name(2, name), 0u);
  EXPECT_STREQ(name, "vmhba42");  // cv2iscsi_2, the second device that opened
  ASSERT_EQ(ioctl_get_vmhba_name(1, name), 0u);
  EXPECT_STREQ(name, "vmhba40");
  for (int i = 2; i < TAVO_MAX_FUNCTIONS; ++i) ASSERT_EQ(tavo_glob.iscsi_handles[i], -1) << i;
  sim_->clear_log();
  os_put_port_instances(tavo_glob.iscsi_handles, TAVO_MAX_FUNCTIONS);
  EXPECT_EQ(count_log(sim::LogKind::DeviceClose), 2);
  EXPECT_EQ(sim_->open_device_count(), 0);
  EXPECT_EQ(tavo_glob.iscsi_handles[0], -1);
}

TEST_F(DevicesTest, ClosedTablesCloseNothingAndTheVmhbaNameIsChecked) {
  close_devices();
  sim_->clear_log();
  os_put_nic_port_instances(tavo_glob.nic_handles, TAVO_MAX_FUNCTIONS);
  os_put_port_instances(tavo_glob.iscsi_handles, TAVO_MAX_FUNCTIONS);
  EXPECT_EQ(count_log(sim::LogKind::DeviceClose), 0);
  open_devices();
  char name[32] = "unchanged";
  EXPECT_EQ(ioctl_get_vmhba_name(0, name), 1u);
  EXPECT_EQ(ioctl_get_vmhba_name(6, name), 1u);
  sim::Fault f;
  f.kind = sim::FaultKind::IoctlErrno;
  f.request = kIscsiVmhbaNameRequest;
  sim_->inject(f);
  EXPECT_EQ(ioctl_get_vmhba_name(1, name), 1u);
  EXPECT_STREQ(name, "unchanged");
  EXPECT_NE(debug_log().find("ioctl failed with status = -1"), std::string::npos);
  EXPECT_EQ(os_prepare_device_for_removal(), 0u);
}

TEST_F(DevicesTest, NicFunctionsNumberInChipOrderWithTheirNames) {
  reopen_with(kTwoChips);
  ASSERT_EQ(tavo_glob.nic_valid_hba, 3);
  const struct {
    uint8_t bus, device, function;
    const char* name;
  } expected[] = {{2, 0, 0, "vmnic0"}, {2, 0, 1, "vmnic1"}, {9, 1, 3, "vmnic_lon"}};
  for (int i = 0; i < 3; ++i) {
    const NicFunctionRecord rec = tavo_glob.nic_functions[i];
    EXPECT_EQ(rec.bus, expected[i].bus);
    EXPECT_EQ(rec.device, expected[i].device);
    EXPECT_EQ(rec.function, expected[i].function);
    EXPECT_EQ(rec.domain, 0);
    EXPECT_STREQ(tavo_glob.if_names[i], expected[i].name);  // at most 9 characters
  }
  EXPECT_EQ(sim_->open_device_count(), 2);  // the NIC device is closed between requests
}

TEST_F(DevicesTest, EsxConfFirstMatchingLineNamesTheFunction) {
  reopen_with(std::string(kTwoChips) +
              "file /etc/vmware/esx.conf /net/x = \"1\"\\n/device/002:00.1/vmkname = \"vmnic5\"\\n"
              "/device/002:00.1/vmkname = \"vmnic9\"\\n/device/002:00.0/vmkname = novalue\\n");
  ASSERT_EQ(tavo_glob.nic_valid_hba, 3);
  EXPECT_STREQ(tavo_glob.if_names[0], "");
  EXPECT_STREQ(tavo_glob.if_names[1], "vmnic5");
  EXPECT_STREQ(tavo_glob.if_names[2], "");
}

TEST_F(DevicesTest, EsxConfLastLineWithoutLineBreakKeepsItsName) {
  reopen_with(kTwoChips);
  test::write_file(root_.at("/etc/vmware/esx.conf"), "/device/002:00.0/vmkname = \"vmnic0\"");
  close_devices();
  open_devices();
  ASSERT_EQ(tavo_glob.nic_valid_hba, 3);
  EXPECT_STREQ(tavo_glob.if_names[0], "vmnic0");
}

TEST_F(DevicesTest, MissingEsxConfMeansNoNicFunctions) {
  ASSERT_EQ(unlink(root_.at("/etc/vmware/esx.conf").c_str()), 0);
  close_devices();
  open_devices();
  EXPECT_EQ(tavo_glob.nic_valid_hba, 0);
  EXPECT_EQ(tavo_glob.nic_handles[0], -1);
  EXPECT_EQ(sim_->open_device_count(), tavo_glob.iscsi_valid_hba);
  EXPECT_NE(debug_log().find("Failed to open /etc/vmware/esx.conf"), std::string::npos);
}

TEST_F(DevicesTest, DriverCountsAreClampedToTheTables) {
  sim::Fault f;
  f.kind = sim::FaultKind::CountOverflow;
  f.times = -1;
  sim_->inject(f);
  EXPECT_EQ(os_get_nic_port_instances(tavo_glob.nic_handles, TAVO_MAX_FUNCTIONS), 64);  // 8 chips of 8
  EXPECT_EQ(enumerate_cv_nics(100), 128);  // never past the table
  os_put_nic_port_instances(tavo_glob.nic_handles, TAVO_MAX_FUNCTIONS);
  tavo_glob.nic_valid_hba = 64;  // as the tree was built for this driver
  uint8_t answer[976];
  uint32_t vfs = 0;
  ASSERT_EQ(ioctl_get_virt_f_info(3, answer, &vfs), 0u);
  EXPECT_EQ(vfs, 60u);
  char text[600];
  if (sizeof(void*) > sizeof(uint32_t)) return;  // no PCI data in a 64-bit process
  ASSERT_EQ(TAVO_get_galtor_pci_data(3, 0, 256, text), 0u);
  EXPECT_EQ(strlen(text), 599u);
}

TEST_F(DevicesTest, VfTableAndMtuComeFromTheNicDevice) {
  uint8_t answer[976];
  uint32_t vfs = 99;
  ASSERT_EQ(ioctl_get_virt_f_info(3, answer, &vfs), 0u);  // vmnic2 has two VFs
  EXPECT_EQ(vfs, 2u);
  EXPECT_EQ(answer[12], 2);
  EXPECT_EQ(answer[16 + 16 + 5], 0x02);  // second VF's MAC ends in pf + 2
  EXPECT_EQ(answer[16 + 16 + 10], 1);    // link up
  ASSERT_EQ(ioctl_get_mtu(7, answer), 0u);  // vmnic6
  EXPECT_EQ(answer[8] | answer[9] << 8, 9000);
  auto log = sim_->log();
  int nic_requests = 0;
  for (const auto& e : log) {
    if (e.kind != sim::LogKind::NicIoctl) continue;
    if (e.request == kNicVfTableRequest || e.request == kNicMtuRequest) ++nic_requests;
  }
  EXPECT_EQ(nic_requests, 2);
  EXPECT_EQ(sim_->open_device_count(), tavo_glob.iscsi_valid_hba);
  EXPECT_EQ(ioctl_get_mtu(0, answer), 1u);
  EXPECT_EQ(ioctl_get_mtu(9, answer), 1u);
}

TEST_F(DevicesTest, NicRequestsFailCleanly) {
  uint8_t answer[976];
  uint32_t vfs = 0;
  sim::Fault refuse;
  refuse.kind = sim::FaultKind::VfRefusal;
  sim_->inject(refuse);
  EXPECT_EQ(ioctl_get_virt_f_info(3, answer, &vfs), 1u);
  EXPECT_NE(debug_log().find("status = -1 Unable to process command"), std::string::npos);
  sim::Fault eio;
  eio.kind = sim::FaultKind::IoctlErrno;
  eio.request = kNicMtuRequest;
  sim_->inject(eio);
  EXPECT_EQ(ioctl_get_mtu(1, answer), 1u);
  eio.request = kNicPciConfigRequest;
  sim_->inject(eio);
  uint32_t word = 0;
  EXPECT_EQ(ioctl_galtor_read_pci_conf(1, 0, 0, &word), 1u);
  EXPECT_EQ(sim_->open_device_count(), tavo_glob.iscsi_valid_hba);
  // A changed NIC function count: nothing is sent.
  sim::Fault change;
  change.kind = sim::FaultKind::NicCountChange;
  change.nic_count = 2;
  sim_->inject(change);
  sim_->clear_log();
  EXPECT_EQ(ioctl_get_mtu(1, answer), 1u);
  EXPECT_EQ(ioctl_get_virt_f_info(1, answer, &vfs), 1u);
  EXPECT_EQ(ioctl_galtor_read_pci_conf(1, 0, 0, &word), 1u);
  char text[600];
  EXPECT_EQ(TAVO_get_galtor_pci_data(1, 0, 4, text), 1u);
  for (const auto& e : sim_->log()) {
    if (e.kind == sim::LogKind::NicIoctl) {
      EXPECT_EQ(e.request, kNicChipInfoRequest);
    }
  }
  EXPECT_EQ(sim_->open_device_count(), tavo_glob.iscsi_valid_hba);
}

TEST_F(DevicesTest, PciDataIsHexTextSixteenBytesALine) {
  char text[600];
  uint32_t word = 1;
  if (sizeof(void*) > sizeof(uint32_t)) {
    // The driver's 32-bit address field cannot name a 64-bit process's
    // buffer: the requests are refused unsent, with a status.
    EXPECT_EQ(TAVO_get_galtor_pci_data(3, 0, 20, text), 1u);
    EXPECT_EQ(ioctl_galtor_read_pci_conf(1, 0, 0, &word), 1u);
    EXPECT_EQ(tavo_last_status_code, 1u);
    EXPECT_STREQ(tavo_last_status_string,
                 "Cannot read the PCI configuration space: the buffer address does not fit the driver's 32-bit field.");
    for (const auto& e : sim_->log()) EXPECT_NE(e.request, kNicPciConfigRequest);
    return;
  }
  ASSERT_EQ(TAVO_get_galtor_pci_data(3, 0, 20, text), 0u);  // vmnic2: second vendor, Galtor NIC
  EXPECT_STREQ(text, "a1 f1 40 0c 06 04 10 00 01 00 00 02 00 00 00 00 \n00 00 00 00 ");
  ASSERT_EQ(TAVO_get_galtor_pci_data(1, 0x2C, 4, text), 0u);
  EXPECT_STREQ(text, "a0 f1 30 0c ");
  // The request asks for no more than 256 bytes, whatever the caller says.
  sim_->clear_log();
  ASSERT_EQ(TAVO_get_galtor_pci_data(1, 0, 5000, text), 0u);
  PciConfigRequest req{};
  for (const auto& e : sim_->log())
    if (e.kind == sim::LogKind::NicIoctl && e.request == kNicPciConfigRequest) memcpy(&req, e.bytes.data(), sizeof req);
  const uint32_t asked = req.data_length, offset = req.offset;
  EXPECT_EQ(asked, 256u);
  EXPECT_EQ(offset, 0u);
  EXPECT_EQ(strlen(text), 599u);
  sim_->clear_log();
  ASSERT_EQ(ioctl_galtor_read_pci_conf(1, 7, 7, &word), 0u);
  EXPECT_EQ(word, 0u);
  for (const auto& e : sim_->log())
    if (e.kind == sim::LogKind::NicIoctl && e.request == kNicPciConfigRequest) memcpy(&req, e.bytes.data(), sizeof req);
  const uint32_t galtor_offset = req.offset, galtor_length = req.data_length;
  EXPECT_EQ(galtor_offset, 0xA4u);
  EXPECT_EQ(galtor_length, 4u);
}

}  // namespace
}  // namespace tavo
