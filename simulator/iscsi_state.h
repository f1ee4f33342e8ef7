// The iSCSI state the firmware keeps for one iSCSI function: its sessions
// (discovery sessions, logins and the persistent targets, which show as
// closed sessions until logged in) with their configuration and
// statistics, the initiator's statistics, and knobs of faulty firmware.
// Tests read and change it through Simulator::sessions.
#pragma once

#include <stdint.h>

#include <array>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "simulator/topology.h"
#include "transport/iscsi_records.h"
#include "transport/scsi_records.h"
#include "transport/session_records.h"

namespace tavo::sim {

struct SimSession {
  uint32_t handle = 0;
  uint32_t connection_handle = 0;
  bool discovery = false;   // a SendTargets session (portal only, no target)
  bool open = false;
  bool persistent = false;  // a persistent target of the firmware (27/6)
  bool boot = false;
  uint32_t other_flags = 0;  // further flag bits of its record (0x400: boot of the second kind)
  std::array<uint8_t, 8> boot_lun{};  // 54/6, 55/6
  std::string target;       // target name ("" for discovery)
  std::string initiator;
  SimAddress address;       // the portal it goes to
  uint16_t port = 0;
  uint16_t isid = 0;
  uint32_t eto = kNoEto;     // kNoEto: the controller's default
  IscsiLoginOptionsBlock options{};  // as the login or persistent request carried it
  uint16_t tsih = 0;        // given by the target at each login
  // What tests plant in its record (14/6): state bits (0: from open) and a
  // redirection of the connection (redirect_port 0: none).
  uint32_t state_bits = 0;
  SimAddress redirect{};
  uint16_t redirect_port = 0;
  // Statistics (48/6), which tests set.
  uint32_t command_pdus = 0, response_pdus = 0, digest_errors = 0, timeout_errors = 0;
  uint64_t tx_octets = 0, rx_octets = 0;
};

struct SimIscsi {
  std::vector<SimSession> sessions;
  uint32_t next_handle = 0x1000;
  // The firmware's target ids (30/6): one per target name that a
  // persistent session holds, numbered in the order they came.
  std::vector<std::pair<uint32_t, std::string>> target_ids;
  uint32_t next_target_id = 0x40;
  // Faulty or small firmware: SendTargets records per answer (-1: as many
  // as fit); counts reported beyond what an answer holds (-1: the true
  // ones) for SendTargets, the target list, a target's portal groups and
  // the session list.
  int targets_per_answer = -1;
  int64_t reported_sendtargets = -1;
  int64_t reported_target_ids = -1;
  int64_t reported_portal_groups = -1;
  int64_t reported_sessions = -1;
  // The topology targets (indexes) the last SendTargets listed, which its
  // continuation goes on with.
  std::vector<size_t> sendtargets_listed;
  // The initiator's statistics: logins and logouts count into the login
  // statistics (47/6); the instance statistics (46/6) answer as tests set
  // them, with the open sessions counted.
  InitiatorLoginStats login_stats{};
  InitiatorInstanceStats instance_stats{};
  NodeAttributesRecord node_attributes{};  // 30/2, of the function's stack
  uint16_t next_tsih = 1;
  // A session record claiming this many connections (-1: the true one).
  int64_t reported_connections = -1;
  BiosConfig bios{};  // 57/6, 58/6
  // The sessions a command reached to change, made or took away (by find,
  // as a new one, or named by a responder; every one when reached_all):
  // what the root keeps of them is brought up to date after the command.
  std::vector<uint32_t> reached;
  bool reached_all = false;
  std::vector<uint32_t> reached_targets;  // target ids given or taken back
  // What target records (32/6) answer from, so that asking for every
  // target does not walk every session each time: where each target id
  // lies in target_ids, and the persistent sessions of each name (in
  // lower case), one per portal, in session order. Made on the first
  // record asked; dropped by whatever may have changed a session or a
  // target id since (a command that noted one, a test's hold of the state).
  struct TargetRecords {
    std::unordered_map<uint32_t, size_t> id_at;
    std::unordered_map<std::string, std::vector<size_t>> portals;
  };
  std::optional<TargetRecords> target_records;

  // The session of a handle (noted as reached); null for none.
  SimSession* find(uint32_t handle);
  const SimSession* find(uint32_t handle) const;
  // Whether a command or a test noted a change not yet kept.
  bool changes_noted() const { return reached_all || !reached.empty() || !reached_targets.empty(); }
};

}  // namespace tavo::sim
