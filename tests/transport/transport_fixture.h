// Tests of the transport: a simulated host whose devices are opened the way
// the back end's start opens them, with the debug log captured.
#pragma once

#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/support/sim_fixture.h"
#include "transport/device_layout.h"
#include "transport/devices.h"
#include "transport/glob.h"
#include "transport/glob_access.h"
#include "base/debug_log.h"

namespace tavo::test {

class TransportTest : public SimTest {
 protected:
  explicit TransportTest(std::string topology = "default") : SimTest(std::move(topology)) {}

  void SetUp() override {
    SimTest::SetUp();
    open_devices();
    log_path_ = root_.at("/transport-test.log");
    tavo_log_fp = fopen(log_path_.c_str(), "w+");
    tavo_debug_level = 6;
  }
  void TearDown() override {
    close_devices();
    if (tavo_log_fp != nullptr) fclose(tavo_log_fp);
    tavo_log_fp = nullptr;
    tavo_debug_level = 0;
    SimTest::TearDown();
  }
  // The back end's start: iSCSI devices stay open, the NIC device is
  // counted and closed again.
  void open_devices() {
    transport::reset_glob();
    tavo_glob.iscsi_valid_hba = os_get_port_instances(tavo_glob.iscsi_handles, TAVO_MAX_FUNCTIONS);
    tavo_glob.nic_valid_hba = os_get_nic_port_instances(tavo_glob.nic_handles, TAVO_MAX_FUNCTIONS);
    os_put_nic_port_instances(tavo_glob.nic_handles, TAVO_MAX_FUNCTIONS);
    sim_->clear_log();
  }
  void close_devices() {
    os_put_port_instances(tavo_glob.iscsi_handles, TAVO_MAX_FUNCTIONS);
    os_put_nic_port_instances(tavo_glob.nic_handles, TAVO_MAX_FUNCTIONS);
    transport::reset_glob();
  }
  // A new topology; host files derived from the old one are dropped.
  void reopen_with(const std::string& topology_text) {
    close_devices();
    ::unlink(root_.at("/etc/vmware/esx.conf").c_str());
    reinstall_with(topology_text);
    open_devices();
  }
  std::string debug_log() const {
    fflush(tavo_log_fp);
    return read_file(log_path_);
  }
  void clear_debug_log() {
    fflush(tavo_log_fp);
    if (freopen(log_path_.c_str(), "w+", tavo_log_fp) == nullptr) tavo_log_fp = nullptr;
  }
  // The mailbox header of a logged request (iSCSI: the bytes; NIC: behind
  // the 21-byte wrapper prefix).
  static MailboxRequestHeader header_of(const sim::LogEntry& e) {
    MailboxRequestHeader h;
    const size_t at = e.kind == sim::LogKind::NicIoctl ? sizeof(NicIoctlPrefix) : 0;
    memcpy(&h, e.bytes.data() + at, sizeof h);
    return h;
  }
  static std::vector<uint8_t> payload_of(const sim::LogEntry& e) {
    const size_t at = (e.kind == sim::LogKind::NicIoctl ? sizeof(NicIoctlPrefix) : 0) + kMailboxHeaderSize;
    return std::vector<uint8_t>(e.bytes.begin() + static_cast<long>(at), e.bytes.end());
  }
  int count_log(sim::LogKind kind) const { return static_cast<int>(sim_->request_count(kind)); }

  std::string log_path_;
};

}  // namespace tavo::test
