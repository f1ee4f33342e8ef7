// What the firmware and the NIC driver keep for the NIC side of one PCI
// function: its virtual functions (changed by the shell's "ip link set ...
// vf"), boot configuration, OEM exec configuration (volatile MAC and
// management VLAN), vNIC name and status, QoS and firmware configuration.
// Starts from the function's topology keys; tests read and change it with
// Simulator::nic_state.
#pragma once

#include <stdint.h>

#include <array>
#include <string>
#include <vector>

#include "simulator/topology.h"
#include "transport/firmware_records.h"
#include "transport/nic_records.h"

namespace tavo::sim {

struct SimVf {
  std::array<uint8_t, 6> mac{};
  uint16_t vlan_id = 0;
  uint16_t qos = 0;  // units of 10 Mb/s; 0 no limit
  uint8_t link = 1;
};

struct SimNicState {
  std::vector<SimVf> vfs;
  BootConfig boot{};          // as 66/1 answers it
  bool rom_enabled = true;    // the function's bit of the 83/1 bitmap
  OemExecConfig oem{};        // as 4/21 answers it
  std::string vnic_name;      // "": no vNIC (120/1 answers flag 0)
  VnicStats vnic{};
  QosRecord qos{};
  FirmwareConfig config{};    // 58/1

  explicit SimNicState(const SimFunction& fn);
};

// The VF table entries of NIC request 7 into its answer area of size bytes.
void fill_vf_table(const SimNicState& state, uint8_t* answer, size_t size);
// "ip link set <if> vf" followed by words (the VF number, then key and value
// pairs): the VF changed, and ip's exit status (0, or 2 for a refused
// argument, nothing changed).
int apply_ip_vf(SimNicState& state, const std::vector<std::string>& words);

}  // namespace tavo::sim
