// Payloads of the iSCSI session and target commands (mailbox subsystem 6):
// logins and persistent targets (23/6, 27/6, 28/6), logouts (24/6), active
// sessions and session records (29/6, 14/6), the targets the firmware holds
// (30/6, 32/6) and SendTargets (33/6, 34/6). Little-endian, packed; the
// simulator's firmware reads and fills the same records. Counts in answers
// are the firmware's: readers bound them by the buffer they came in.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "transport/login_options_block.h"

namespace tavo {

#pragma pack(push, 1)

inline constexpr uint8_t kLoginAddressIPv4 = 1;
inline constexpr uint8_t kLoginAddressIPv6 = 16;
inline constexpr uint16_t kLoginWord224 = 24;
inline constexpr uint32_t kLoginFlags = 0x41;
inline constexpr uint32_t kPersistentFlags = 0x40;
inline constexpr uint32_t kPersistentBootFlags = 0x140;
inline constexpr uint32_t kDiscoveryFlags = 0x11;
inline constexpr uint32_t kNoEto = 0xFFFFFFFFu;

// Mailbox 23/6 (login) and 27/6 (persistent target): 1420 bytes.
struct IscsiLoginRequest {
  char target_name[224];
  uint16_t word224;           // 224: 24
  uint8_t reserved226;
  uint8_t address_type;       // 227: 1 IPv4, 16 IPv6
  uint8_t address[16];        // 228: IPv4 in the first 4 bytes
  uint8_t reserved244[4];
  uint16_t port;              // 248
  uint8_t reserved250[258];
  uint32_t flags;             // 508
  uint8_t reserved512[8];
  uint32_t eto;               // 520
  uint16_t isid_qualifier;    // 524
  uint8_t reserved526[2];
  IscsiLoginOptionsBlock options;  // 528
  char initiator_name[224];   // 1128
  char initiator_alias[32];   // 1352
  uint8_t reserved1384[14];
  uint16_t word1398;          // 0xFFFF
  uint16_t word1400;          // 0xFFFF
  uint8_t reserved1402[18];
};
static_assert(sizeof(IscsiLoginRequest) == 1420);
static_assert(offsetof(IscsiLoginRequest, address_type) == 227);
static_assert(offsetof(IscsiLoginRequest, port) == 248);
static_assert(offsetof(IscsiLoginRequest, flags) == 508);
static_assert(offsetof(IscsiLoginRequest, eto) == 520);
static_assert(offsetof(IscsiLoginRequest, isid_qualifier) == 524);
static_assert(offsetof(IscsiLoginRequest, options) == 528);
static_assert(offsetof(IscsiLoginRequest, initiator_name) == 1128);
static_assert(offsetof(IscsiLoginRequest, initiator_alias) == 1352);
static_assert(offsetof(IscsiLoginRequest, word1398) == 1398);

// The negotiated options of a session and of its connection.
struct NegotiatedSessionOptions {
  uint8_t flags;  // bit 0 InitialR2T, 1 ImmediateData, 2 DataPDUInOrder, 3 DataSequenceInOrder
  uint8_t error_recovery_level;
  uint8_t reserved2[2];
  uint32_t first_burst_length;
  uint32_t max_burst_length;
  uint16_t max_connections;
  uint16_t max_outstanding_r2t;
  uint16_t default_time2wait;
  uint16_t default_time2retain;
};
static_assert(sizeof(NegotiatedSessionOptions) == 20);
struct NegotiatedConnectionOptions {
  uint8_t reserved0;
  uint8_t header_digest;      // 1: CRC32C
  uint8_t data_digest;
  uint8_t reserved3;
  uint32_t max_recv_data_segment_length;
  uint8_t reserved8[4];
  uint32_t tcp_mss;           // 12
  uint32_t tcp_window_size;   // 16
  uint8_t authentication;     // 20: 1 CHAP
  uint8_t reserved21[3];
  uint32_t chap_direction;    // 24: 1 mutual
};
static_assert(sizeof(NegotiatedConnectionOptions) == 28);

// The firmware's answer over the head of a login request.
inline constexpr uint8_t kDiscoverySessionOpen = 1;  // discovery_state bit 0
inline constexpr uint8_t kSessionNotOpened = 1;      // session_state bit 0
struct IscsiLoginReply {
  uint32_t session_handle;
  uint8_t discovery_state;    // 4
  uint8_t session_state;      // 5
  uint8_t reserved6[2];
  uint32_t connection_handle; // 8
  uint8_t reserved12[4];
  NegotiatedSessionOptions session;        // 16
  NegotiatedConnectionOptions connection;  // 36
};
static_assert(sizeof(IscsiLoginReply) == 64);
static_assert(offsetof(IscsiLoginReply, connection) == 36);

// Mailbox 28/6: a persistent target to delete, 480 bytes.
inline constexpr uint32_t kDeleteQualifierFlag = 0x80000000u;
struct PersistentTargetDeletion {
  char target_name[224];
  uint16_t word224;           // 24
  uint8_t reserved226;
  uint8_t address_type;       // 227
  uint8_t address[16];        // 228
  uint8_t reserved244[4];
  uint16_t port;              // 248
  uint8_t reserved250[2];
  uint32_t isid_qualifier;    // 252: OR kDeleteQualifierFlag
  char initiator_name[224];   // 256
};
static_assert(sizeof(PersistentTargetDeletion) == 480);
static_assert(offsetof(PersistentTargetDeletion, isid_qualifier) == 252);

// Mailbox 29/6: the active session list. Requests carry kSessionListKind
// in their first word; the answer holds the count at 0, handles from 8.
inline constexpr uint32_t kSessionListKind = 0xC0;
inline constexpr size_t kSessionListSizeQuery = 12;
struct SessionListHead {
  uint32_t count;
  uint8_t reserved4[4];
};
static_assert(sizeof(SessionListHead) == 8);

// A connection's login options as the firmware keeps them: the negotiated
// options (the first 28 bytes, NegotiatedConnectionOptions' layout), then
// the CHAP names and secrets with their lengths.
struct ConnectionLoginOptions {
  uint8_t reserved0;
  uint8_t header_digest;
  uint8_t data_digest;
  uint8_t reserved3;
  uint32_t max_recv_data_segment_length;
  uint8_t reserved8[4];
  uint32_t tcp_mss;
  uint32_t tcp_window_size;
  uint8_t authentication;
  uint8_t reserved21[3];
  uint32_t chap_direction;
  char initiator_chap_name[256];   // 28
  uint8_t initiator_secret[16];    // 284
  char target_chap_name[256];      // 300
  uint8_t target_secret[16];       // 556
  uint16_t initiator_chap_name_length;  // 572
  uint16_t initiator_secret_length;
  uint16_t target_chap_name_length;
  uint16_t target_secret_length;
};
static_assert(sizeof(ConnectionLoginOptions) == 580);
static_assert(offsetof(ConnectionLoginOptions, chap_direction) == offsetof(NegotiatedConnectionOptions, chap_direction));
static_assert(offsetof(ConnectionLoginOptions, tcp_window_size) == offsetof(NegotiatedConnectionOptions, tcp_window_size));
static_assert(offsetof(ConnectionLoginOptions, target_secret) == 556);
static_assert(offsetof(ConnectionLoginOptions, initiator_chap_name_length) == 572);

// Mailbox 14/6: one session, 1164 bytes, with its connection.
inline constexpr uint32_t kSessionNotPersistent = 1;    // flags bit 0
inline constexpr uint32_t kSessionBoot = 0x100;         // flags bit 8
inline constexpr uint32_t kSessionBootOther = 0x400;    // flags bit 10: boot of a second kind
inline constexpr uint32_t kSessionStateOpen = 0x1;      // state bits
inline constexpr uint32_t kSessionStateClosed = 0x20;
inline constexpr uint32_t kConnectionLoggedIn = 1;    // connection flags bit 0
inline constexpr uint32_t kConnectionRedirected = 4;  // connection flags bit 2
struct FirmwareConnectionRecord {
  uint32_t handle;
  uint32_t flags;             // bit 0 logged in, bit 2 redirected
  uint16_t source_port;
  uint16_t destination_port;  // 10
  uint16_t redirected_port;
  uint16_t connection_id;
  uint8_t reserved16[7];
  uint8_t source_type;        // 23
  uint8_t source_address[16];
  uint8_t reserved40[7];
  uint8_t destination_type;   // 47
  uint8_t destination_address[16];
  uint8_t reserved64[7];
  uint8_t redirected_type;    // 71
  uint8_t redirected_address[16];
  uint8_t reserved88[4];
  ConnectionLoginOptions options;  // 92
};
static_assert(sizeof(FirmwareConnectionRecord) == 672);
static_assert(offsetof(FirmwareConnectionRecord, destination_type) == 47);
static_assert(offsetof(FirmwareConnectionRecord, options) == 92);
struct FirmwareSessionRecord {
  uint32_t handle;
  uint32_t state;             // 4
  uint8_t isid[6];            // 8: bytes 4 and 5 the qualifier, high byte first
  uint16_t tsih;              // 14
  uint32_t flags;             // 16
  uint16_t connection_count;  // 20
  uint8_t reserved22[2];
  char target_name[224];      // 24
  char initiator_name[224];   // 248
  NegotiatedSessionOptions options;     // 472
  FirmwareConnectionRecord connection;  // 492
};
static_assert(sizeof(FirmwareSessionRecord) == 1164);
static_assert(offsetof(FirmwareSessionRecord, flags) == 16);
static_assert(offsetof(FirmwareSessionRecord, target_name) == 24);
static_assert(offsetof(FirmwareSessionRecord, options) == 472);
static_assert(offsetof(FirmwareSessionRecord, connection) == 492);

// The buffer of the target list and of SendTargets, request and answer.
inline constexpr size_t kTargetBufferSize = 64000;

// Mailbox 30/6: request listing flag at 0 and kTargetListWord at 4; the
// answer holds the count at 0 and 8-byte entries from 4.
inline constexpr uint32_t kTargetListWord = 14;
struct TargetListRequest {
  uint32_t listing;
  uint32_t word4;
};
struct TargetIdEntry {
  uint32_t id;
  uint8_t reserved4[4];
};
static_assert(sizeof(TargetIdEntry) == 8);

// Mailbox 32/6: a target the firmware holds, its size asked first with an
// 816-byte request. Portal group k starts at 264 + 552k; its portal j at
// 268 + 552k + 548j, laid out as the head of a SendTargets address entry.
inline constexpr size_t kTargetSizeQuery = 816;
inline constexpr size_t kPortalGroupStride = 552;
inline constexpr size_t kPortalStride = 548;
struct FirmwareTargetHead {
  uint32_t id;
  char name[224];             // 4
  char alias[32];             // 228
  uint32_t group_count;       // 260
};
static_assert(sizeof(FirmwareTargetHead) == 264);
struct FirmwarePortalGroupHead {
  uint16_t tag;
  uint16_t portal_count;
};
inline constexpr size_t kFirmwarePortalType = 3;
inline constexpr size_t kFirmwarePortalAddress = 4;
inline constexpr size_t kFirmwarePortalPort = 24;

// Mailbox 33/6 and 34/6.
inline constexpr uint32_t kSendTargetsWord = 1;
inline constexpr uint32_t kContinuationWord = 2;
struct SendTargetsRequestHead {
  uint32_t session_handle;
  uint32_t word4;             // 1
  char text[256];             // 8: "SendTargets=All" or "SendTargets=<name>"
};
struct SendTargetsContinuation {
  uint16_t received;          // targets in the first answer
  uint16_t remaining;         // the firmware's maximum minus received
  uint32_t word4;             // 2
};
static_assert(sizeof(SendTargetsContinuation) == 8);
// An answer: the count at 0, records from 4. A record: its address count,
// the name, then max(count, 1) address entries.
struct SendTargetsRecordHead {
  uint32_t address_count;
  char name[224];
};
static_assert(sizeof(SendTargetsRecordHead) == 228);
struct SendTargetsAddress {
  uint8_t reserved0[3];
  uint8_t type;               // bits 0-2: IPv4, bits 4-7: IPv6, else none
  uint8_t address[16];
  uint8_t reserved20[4];
  uint16_t port;              // 24
  uint8_t reserved26[2];
  uint32_t tag;               // 28
};
static_assert(sizeof(SendTargetsAddress) == 32);
static_assert(offsetof(SendTargetsAddress, port) == 24);

// Mailbox 7/1: the erase request of the iSCSI configuration.
inline constexpr uint32_t kEraseIscsiType = 3;
inline constexpr uint32_t kEraseIscsiConfig = 6;

#pragma pack(pop)

}  // namespace tavo
