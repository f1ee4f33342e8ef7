// Payloads of the session configuration and statistics commands: a
// session's configuration (16/6, read after a size query) and its update
// (17/6), the node attributes (30/2), the initiator's instance and login
// statistics (46/6, 47/6) and the per-session attributes (48/6).
// Little-endian, packed; the simulator's firmware fills the same records.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace tavo {

#pragma pack(push, 1)

// Mailbox 16/6: request and answer carry the session handle first.
inline constexpr size_t kSessionConfigSize = 276;
struct SessionConfigRecord {
  uint32_t session_handle;
  uint32_t eto;               // 4: seconds
  uint8_t kept8;              // 8: carried into an update
  uint8_t reserved9[3];
  uint32_t kept12;            // 12: carried into an update
  uint8_t reserved16[224];
  uint8_t kept240[36];        // 240..275: carried into an update
};
static_assert(sizeof(SessionConfigRecord) == kSessionConfigSize);
static_assert(offsetof(SessionConfigRecord, kept240) == 240);
// Within those kept bytes: the two numbers the host names the session's
// devices by (u16 each).
inline constexpr size_t kSessionConfigHostTarget = 256;
inline constexpr size_t kSessionConfigHostLun = 268;

// Mailbox 17/6: 280 bytes, zero but for these fields.
inline constexpr uint32_t kSessionConfigUpdateWord = 1;
struct SessionConfigUpdate {
  uint32_t session_handle;
  uint32_t word4;             // 1
  uint32_t eto;               // 8
  uint8_t kept8;              // 12
  uint8_t reserved13[3];
  uint32_t kept12;            // 16
  uint8_t reserved20[224];
  uint8_t kept240[36];        // 244
};
static_assert(sizeof(SessionConfigUpdate) == 280);
static_assert(offsetof(SessionConfigUpdate, kept240) == 244);

// Mailbox 30/2: 760 bytes.
struct NodeAttributesRecord {
  uint32_t node_count;
  uint8_t reserved4[8];
  int16_t node_roles;         // 12
  int16_t portal_count;       // 14
  uint8_t reserved16[708];
  uint32_t port_row_status;   // 724
  uint8_t portal_role;        // 728
  uint8_t portal_protocol;    // 729
  uint8_t reserved730[2];
  uint16_t portal_tag;        // 732
  uint8_t reserved734[26];
};
static_assert(sizeof(NodeAttributesRecord) == 760);
static_assert(offsetof(NodeAttributesRecord, port_row_status) == 724);
static_assert(offsetof(NodeAttributesRecord, portal_tag) == 732);

// Mailbox 46/6: 264 bytes.
struct InitiatorInstanceStats {
  uint8_t reserved0[8];
  uint32_t sessions;          // 8
  uint32_t session_failures;  // 12
  uint32_t last_failure_type; // 16: 0 other, 1 digest, 2 connection timeout, 3 format
  char last_remote_node[224]; // 20
  uint32_t digest_errors;     // 244
  uint32_t connection_timeouts;  // 248
  uint32_t format_errors;     // 252
  uint8_t reserved256[8];
};
static_assert(sizeof(InitiatorInstanceStats) == 264);
static_assert(offsetof(InitiatorInstanceStats, digest_errors) == 244);

// Mailbox 47/6: 520 bytes.
struct InitiatorLoginStats {
  uint8_t reserved0[224];
  uint32_t login_failures;    // 224
  uint32_t last_failure_time; // 228
  uint32_t last_failure_type; // 232: 0 .. 6
  char last_target_name[231]; // 236
  uint8_t last_target_type;   // 467: bits 0-2 IPv4, 4-7 IPv6
  uint8_t last_target_address[16];  // 468
  uint8_t reserved484[4];
  uint32_t accept_responses;  // 488
  uint32_t other_failure_responses;
  uint32_t redirect_responses;
  uint32_t authorization_failure_responses;
  uint32_t authentication_failures;  // 504
  uint32_t negotiation_failures;
  uint32_t normal_logouts;
  uint32_t other_logouts;     // 516
};
static_assert(sizeof(InitiatorLoginStats) == 520);
static_assert(offsetof(InitiatorLoginStats, last_target_type) == 467);
static_assert(offsetof(InitiatorLoginStats, accept_responses) == 488);

// Mailbox 48/6: one 64000-byte buffer. The request carries the marker,
// a count and that many session handles; the answer a record count at 4
// and the records from 8. A batch is sent once its handles times
// kSessionAttributesCost exceed the buffer, so it holds at most 50.
inline constexpr uint32_t kSessionAttributesMarker = 0xA1B2C3D4u;
inline constexpr size_t kSessionAttributesBufferSize = 64000;
inline constexpr size_t kSessionAttributesCost = 1284;
struct SessionAttributesHead {
  uint32_t marker;
  uint32_t count;
};
static_assert(sizeof(SessionAttributesHead) == 8);
struct SessionAttributesRecord {
  uint32_t session_handle;
  uint32_t direction;         // 4: 1 inbound, 2 outbound
  uint8_t reserved8[32];
  char target_alias[32];      // 40
  uint32_t command_pdus;      // 72
  uint32_t response_pdus;     // 76
  uint64_t tx_data_octets;    // 80
  uint64_t rx_data_octets;    // 88
  uint32_t digest_errors;     // 96
  uint32_t timeout_errors;    // 100
  uint8_t reserved104[1172];
};
static_assert(sizeof(SessionAttributesRecord) == 1276);
static_assert(offsetof(SessionAttributesRecord, tx_data_octets) == 80);
static_assert(offsetof(SessionAttributesRecord, timeout_errors) == 100);

#pragma pack(pop)

}  // namespace tavo
