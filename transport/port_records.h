// Payloads of the port commands: link, PHY and speed, beacon, transceiver,
// TX throttle, flow control, DCBX, LLDP, the loopback and DMA tests and the
// 10GBase-T PHY diagnostics. Little-endian, packed; the simulator's firmware fills
// the same records.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace tavo {

#pragma pack(push, 1)

// Mailbox 5/1. Version 1: link state, physical speed code (0 down, 1 10Mb
// ... 8 100Gb; above 8 down), QoS speed in units of 10 Mb, logical link
// state. Version 0: byte 0 the active physical port (15: none).
inline constexpr uint8_t kMaxSpeedCode = 8;
inline constexpr uint8_t kNoActivePort = 15;
struct LinkStatusRecord {
  uint8_t active_port;
  uint8_t link_state;          // 1
  uint8_t speed_code;          // 2
  uint8_t reserved3[3];
  uint16_t qos_speed;          // 6
  uint8_t logical_state;       // 8
  uint8_t reserved9[3];
};
static_assert(sizeof(LinkStatusRecord) == 12);
static_assert(offsetof(LinkStatusRecord, speed_code) == 2);
static_assert(offsetof(LinkStatusRecord, qos_speed) == 6);
static_assert(offsetof(LinkStatusRecord, logical_state) == 8);

// Mailbox 71/1 (read) and 62/1 (write). Version 0: one u32, 1 enabled.
// Version 1 (Galtor): byte 0 bit 0 enabled, byte 2 bits 0-5 the port.
struct PortStateRecord {
  uint32_t state;
};
static_assert(sizeof(PortStateRecord) == 4);
struct GaltorPortStateRecord {
  uint8_t state;
  uint8_t reserved1;
  uint8_t port;                // 2
  uint8_t reserved3;
};
static_assert(sizeof(GaltorPortStateRecord) == 4);
inline constexpr uint8_t kPortFieldMask = 0x3F;

// Mailbox 102/1: the PHY and the speeds it supports (speed bitmaps valid
// only with the marker). Bitmap bits: 10Mb, 100Mb, 1Gb, 10Gb, 20Gb, 40Gb.
inline constexpr uint16_t kPhySpeedListMarker = 0xFEEC;
struct PhyDetailsRecord {
  uint16_t phy_type;
  uint16_t interface_type;     // 2
  uint8_t reserved4[4];
  uint16_t speed_list_marker;  // 8
  uint8_t reserved10[2];
  uint16_t auto_speeds_supported;   // 12
  uint16_t fixed_speeds_supported;  // 14
  uint8_t reserved16[8];
};
static_assert(sizeof(PhyDetailsRecord) == 24);
static_assert(offsetof(PhyDetailsRecord, interface_type) == 2);
static_assert(offsetof(PhyDetailsRecord, speed_list_marker) == 8);
static_assert(offsetof(PhyDetailsRecord, auto_speeds_supported) == 12);
static_assert(offsetof(PhyDetailsRecord, fixed_speeds_supported) == 14);

// Mailbox 108/1, always on the NIC device: the operational-mode
// descriptors of the port's links. Request byte 0 = 1, byte 4 the port;
// answer u16 count, descriptors from byte 16, each stepping by its length.
inline constexpr size_t kOperationalModeSize = 2080;
inline constexpr size_t kOperationalModeFirst = 16;
struct OperationalModeDescriptor {
  uint8_t type;
  uint8_t reserved1;
  uint16_t length;             // 2: the whole descriptor
  uint8_t link;                // 4: bits 0-5 link number, 6-7 link type
  uint8_t mode;                // 5: bits 0-2
};
static_assert(sizeof(OperationalModeDescriptor) == 6);
static_assert(offsetof(OperationalModeDescriptor, mode) == 5);

// Mailbox 57/1 version 1: set the port's speed (a mac_speed code of the
// mode table) and a DAC cable length in metres.
struct PortSpeedRequest {
  uint8_t phy_port;
  uint8_t virtual_port;        // 1
  uint16_t mac_speed;          // 2
  uint16_t dac_cable_length;   // 4
  uint8_t reserved6[2];
};
static_assert(sizeof(PortSpeedRequest) == 8);
static_assert(offsetof(PortSpeedRequest, mac_speed) == 2);
static_assert(offsetof(PortSpeedRequest, dac_cable_length) == 4);

// Mailbox 134/1: request byte 0 the port; answer the configured code and
// the DAC cable length.
struct LinkSpeedRecord {
  uint16_t speed_code;         // request: byte 0 the port
  uint16_t dac_cable_length;   // 2
};
static_assert(sizeof(LinkSpeedRecord) == 4);

// Mailbox 70/1 (get: byte 0 the port in, the state out, 1 beaconing) and
// 69/1 (set). Durations in seconds.
struct BeaconRecord {
  uint8_t port;                // answer of 70/1: the state
  uint8_t state;               // 1
  uint8_t beacon_duration;     // 2
  uint8_t status_duration;     // 3
};
static_assert(sizeof(BeaconRecord) == 4);

// Mailbox 73/1: one 256-byte page of the port's transceiver at a 2-wire
// address (160 page A0, 162 page A2).
inline constexpr uint32_t kTransceiverA0 = 160;
inline constexpr uint32_t kTransceiverA2 = 162;
inline constexpr size_t kTransceiverPageSize = 256;
struct TransceiverRecord {
  uint32_t wire_address;
  uint8_t port;                // 4: bits 0-5
  uint8_t reserved5[3];
  uint8_t data[kTransceiverPageSize];  // 8
};
static_assert(sizeof(TransceiverRecord) == 264);
static_assert(offsetof(TransceiverRecord, data) == 8);

// Mailbox 133/1 (get) and 132/1 (set): 1 slow, 2 fast reaction to PFC
// pause frames.
struct TxThrottleRecord {
  uint32_t value;
};
static_assert(sizeof(TxThrottleRecord) == 4);

// Mailbox 37/1 (CV3), a Framed16 buffer: the states after 16 bytes of
// header space; 1 enabled.
struct FlowControlBuffer {
  uint8_t header_space[16];
  uint16_t transmit;           // 16
  uint16_t receive;            // 18
};
static_assert(sizeof(FlowControlBuffer) == 20);
static_assert(offsetof(FlowControlBuffer, transmit) == 16);

// Mailbox 205/1 on the NIC device, a Framed16 buffer: byte 0 bits 0-3
// transmit, 4-7 receive; byte 1 bits 0-4 the sub-command; byte 3 bits 0-5
// the port.
inline constexpr uint8_t kFlowControlRead = 0;
inline constexpr uint8_t kFlowControlWrite = 8;
inline constexpr uint8_t kFlowControlWriteNpar = 11;
inline constexpr uint8_t kFlowTransmitBit = 0x01;
inline constexpr uint8_t kFlowReceiveBit = 0x10;
struct MgmtFlowControlBuffer {
  uint8_t header_space[16];
  uint8_t states;              // 16
  uint8_t subcommand;          // 17
  uint8_t reserved18;
  uint8_t port;                // 19
  uint8_t reserved20[4];
};
static_assert(sizeof(MgmtFlowControlBuffer) == 24);
static_assert(offsetof(MgmtFlowControlBuffer, states) == 16);
static_assert(offsetof(MgmtFlowControlBuffer, port) == 19);

// Mailbox 20/11 (read: byte 0 the port in, its loopback mode out; 254:
// the port has no loopback, 255: none set) and 19/11 (write: enter, state
// 1, or leave, state 0 with type 255, a mode).
inline constexpr uint8_t kLoopbackNotSupported = 254;
inline constexpr uint8_t kLoopbackNone = 255;
struct LoopbackModeRequest {
  uint8_t port_or_mode;        // the source port in a write
  uint8_t destination;         // 1
  uint8_t type;                // 2
  uint8_t state;               // 3
};
static_assert(sizeof(LoopbackModeRequest) == 4);
// Loopback types: MAC 0, PHY 1, one port 2, two ports 3.
inline constexpr uint8_t kMacLoopback = 0;
inline constexpr uint8_t kPhyLoopback = 1;
inline constexpr uint8_t kOnePortLoopback = 2;
inline constexpr uint8_t kTwoPortLoopback = 3;

// Mailbox 18/11, answered in place: the request's type, loops, pattern,
// ports and frame size; the answer's test status, loops completed on the
// transmit and receive sides, and milliseconds taken.
struct LoopbackTestRequest {
  uint32_t type_or_status;
  uint32_t loop_count_or_sent;     // 4
  uint32_t pattern_low_or_received;  // 8
  uint32_t pattern_high;           // 12
  uint32_t source_or_elapsed_ms;   // 16
  uint32_t destination;            // 20
  uint32_t byte_count;             // 24
};
static_assert(sizeof(LoopbackTestRequest) == 28);
static_assert(offsetof(LoopbackTestRequest, source_or_elapsed_ms) == 16);

// Mailbox 17/11, answered in place: the pattern's bytes sent to the
// adapter's memory and read back.
inline constexpr size_t kDmaTestMaxBytes = 4096;
struct DmaTestRequest {
  uint32_t pattern_low;
  uint32_t pattern_high;       // 4
  uint32_t byte_count;         // 8: a multiple of 8
  uint32_t send_status;        // 12: answer, non-zero a send error
  uint8_t sent[kDmaTestMaxBytes];      // 16
  uint8_t received[kDmaTestMaxBytes];  // 4112: answer
};
static_assert(sizeof(DmaTestRequest) == 8208);
static_assert(offsetof(DmaTestRequest, sent) == 16);
static_assert(offsetof(DmaTestRequest, received) == 4112);

// Mailbox 8/18: the 10GBase-T PHY statistics, 84 bytes (version 0) or 112
// (version 1); u32 words, the request's first the port, the version-1
// request's second bit 0 "clear the counters".
inline constexpr size_t kBaseTStatsSize = 84;
inline constexpr size_t kBaseTStatsV1Size = 112;
inline constexpr uint32_t kBaseTClearCounters = 1;
inline constexpr size_t kBaseTFrameLowWord = 19;
inline constexpr size_t kBaseTFrameHighWord = 21;
struct BaseTStatsRecord {
  uint32_t words[kBaseTStatsSize / 4];
};
static_assert(sizeof(BaseTStatsRecord) == kBaseTStatsSize);
struct BaseTStatsRecordV1 {
  uint32_t words[kBaseTStatsV1Size / 4];
};
static_assert(sizeof(BaseTStatsRecordV1) == kBaseTStatsV1Size);

// Mailbox 9/18: a PHY self test of one cable pair (a second for the
// cross-talk test); word 0 the port in, the result out.
inline constexpr size_t kSelfTestSize = 555;
struct SelfTestRequest {
  uint32_t port_or_result;
  uint32_t test_type;          // 4: noise 1, non-linear 2, cross talk 5
  uint32_t source_pair;        // 8: pair A 0 .. D 3
  uint32_t target_pair;        // 12
  uint8_t reserved16[kSelfTestSize - 16];
};
static_assert(sizeof(SelfTestRequest) == kSelfTestSize);

// Mailbox 11/18: time-domain reflectometry of the four pairs; word 0 the
// port in, 4-bit results per pair out (A in bits 0-3), then the lengths in
// units of 10 (metres) and the NVP used.
struct TdrRequest {
  uint32_t port_or_results;
  uint32_t lengths[4];         // 4
  uint32_t nvp_used;           // 20
};
static_assert(sizeof(TdrRequest) == 24);

// Mailbox 12/18 (read: the port in, the value out) and 10/18 (write): the
// nominal velocity of propagation in percent.
struct NvpRecord {
  uint32_t port_or_value;
};
static_assert(sizeof(NvpRecord) == 4);
struct NvpWrite {
  uint32_t port;
  uint32_t value;              // 4
};
static_assert(sizeof(NvpWrite) == 8);

// Mailbox 1/16 (read) and 2/16 (write): the DCBX configuration of a port,
// 312 bytes, or 368 in the version-1 form. Byte 0: the view asked for (0
// Administrator, 1 Operational, 2 Peer), answered with the DCBX state (1
// enabled); written as the state to apply.
inline constexpr uint8_t kDcbxAdministrator = 0;
inline constexpr uint8_t kDcbxOperational = 1;
inline constexpr uint8_t kDcbxPeer = 2;
inline constexpr int kDcbxPriorities = 8;
inline constexpr int kDcbxApplicationSlots = 15;
// Feature flag words share one layout.
inline constexpr uint32_t kDcbxFlagEnabled = 1u << 0;
inline constexpr uint32_t kDcbxFlagAdvertise = 1u << 1;
inline constexpr uint32_t kDcbxFlagWilling = 1u << 2;
inline constexpr uint32_t kDcbxFlagSynced = 1u << 3;
inline constexpr uint32_t kDcbxFlagNotApplicable = 1u << 30;
inline constexpr uint32_t kDcbxFlagError = 1u << 31;
inline constexpr uint8_t kDcbxStrictPriorityGroup = 15;
inline constexpr uint8_t kDcbxNoBandwidthLimit = 255;

// One application TLV slot: the ethertype (selector 0) or TCP port
// (selector 1), in use when in_use is 1, and the priorities it uses.
struct DcbxApplicationTlvEntry {
  uint16_t protocol_id;
  uint8_t protocol_selector;   // 2
  uint8_t in_use;              // 3
  uint32_t oui;                // 4
  uint8_t priority_enable[kDcbxPriorities];  // 8: 1 the protocol uses priority p
};
static_assert(sizeof(DcbxApplicationTlvEntry) == 16);
static_assert(offsetof(DcbxApplicationTlvEntry, oui) == 4);
static_assert(offsetof(DcbxApplicationTlvEntry, priority_enable) == 8);

struct DcbxConfigRecord {
  uint8_t state;               // view in, state out
  uint8_t tlv_count_set;       // 1: write request
  uint8_t tlv_count;           // 2: read answer
  uint8_t pg_supported;        // 3: read answer
  uint32_t pg_flags;           // 4
  uint32_t pfc_flags;          // 8
  uint32_t qcn_flags;          // 12
  uint32_t app_flags;          // 16
  uint32_t reserved20;
  uint8_t pg_bandwidth[kDcbxPriorities];        // 24: percent of PG n, 255 no limit
  uint8_t pg_membership[kDcbxPriorities][4];   // 32: byte 0 the PG of priority p (15 strict)
  uint8_t pfc_enable[kDcbxPriorities];          // 64
  DcbxApplicationTlvEntry applications[kDcbxApplicationSlots];  // 72
};
static_assert(sizeof(DcbxConfigRecord) == 312);
static_assert(offsetof(DcbxConfigRecord, pg_flags) == 4);
static_assert(offsetof(DcbxConfigRecord, qcn_flags) == 12);
static_assert(offsetof(DcbxConfigRecord, app_flags) == 16);
static_assert(offsetof(DcbxConfigRecord, pg_bandwidth) == 24);
static_assert(offsetof(DcbxConfigRecord, pg_membership) == 32);
static_assert(offsetof(DcbxConfigRecord, pfc_enable) == 64);
static_assert(offsetof(DcbxConfigRecord, applications) == 72);

// The version-1 form adds the QCN priority bitmaps.
struct DcbxConfigRecordV1 {
  DcbxConfigRecord base;
  uint8_t cnpv_bitmap;         // 312
  uint8_t reserved313[3];
  uint8_t ready_bitmap;        // 316: read only
  uint8_t reserved317[51];
};
static_assert(sizeof(DcbxConfigRecordV1) == 368);
static_assert(offsetof(DcbxConfigRecordV1, cnpv_bitmap) == 312);
static_assert(offsetof(DcbxConfigRecordV1, ready_bitmap) == 316);

// Mailbox 3/16: the DCBX protocol counters, 108 bytes, or 60 on Galtor;
// the request is all zero.
struct DcbxMibRecord {
  uint8_t reserved0[2];
  uint8_t operating_version;   // 2
  uint8_t max_version;         // 3
  uint32_t sequence;           // 4
  uint32_t ack;                // 8
  uint32_t peer_sequence;      // 12
  uint32_t peer_ack;           // 16
  uint8_t reserved20[16];
  uint32_t app_sequence;       // 36
  uint32_t pg_sequence;        // 40
  uint32_t pfc_sequence;       // 44
  uint8_t reserved48[16];
  uint32_t tx_packets;         // 64
  uint32_t rx_packets;         // 68
  uint8_t reserved72[4];
  uint32_t dropped;            // 76
  uint8_t reserved80[28];
};
static_assert(sizeof(DcbxMibRecord) == 108);
static_assert(offsetof(DcbxMibRecord, app_sequence) == 36);
static_assert(offsetof(DcbxMibRecord, tx_packets) == 64);
static_assert(offsetof(DcbxMibRecord, dropped) == 76);
struct GaltorDcbxMibRecord {
  uint8_t reserved0[2];
  uint8_t operating_version;   // 2
  uint8_t max_version;         // 3
  uint32_t sequence;           // 4
  uint32_t ack;                // 8
  uint32_t peer_sequence;      // 12
  uint32_t peer_ack;           // 16
  uint32_t app_sequence;       // 20
  uint32_t pg_sequence;        // 24
  uint32_t pfc_sequence;       // 28
  uint32_t tx_packets;         // 32
  uint32_t rx_packets;         // 36
  uint8_t reserved40[4];
  uint32_t dropped;            // 44
  uint8_t reserved48[12];
};
static_assert(sizeof(GaltorDcbxMibRecord) == 60);
static_assert(offsetof(GaltorDcbxMibRecord, app_sequence) == 20);
static_assert(offsetof(GaltorDcbxMibRecord, dropped) == 44);

// Mailbox 4/16 (read: byte 0 the mode) and 5/16 (write: byte 1 the mode):
// CEE 0, CIN 1, Auto-CEE 2, Auto-IEEE 3.
struct DcbxModeRecord {
  uint8_t mode;                // read answer; 0 in a write
  uint8_t new_mode;            // 1: write
  uint8_t reserved2[2];
};
static_assert(sizeof(DcbxModeRecord) == 4);
inline constexpr uint8_t kDcbxModeCount = 4;

// Mailbox 1/15: what the port's LLDP agent sends (request word 0 = 0) or
// learned from the link partner (1). Texts are NUL-padded fields.
inline constexpr uint32_t kLldpLocal = 0;
inline constexpr uint32_t kLldpPeer = 1;
inline constexpr uint8_t kLldpTransmit = 1u << 0;
inline constexpr uint8_t kLldpReceive = 1u << 1;
inline constexpr size_t kLldpEnableBytes = 5;
struct LldpConfigRecord {
  uint8_t enables[kLldpEnableBytes];  // request: u32 agent; answer: 0 tx/rx bits, 1-4 TLV bit 0
  uint8_t reserved5[3];
  char chassis_id[256];        // 8
  uint32_t chassis_subtype;    // 264
  char port_id[256];           // 268
  uint32_t port_subtype;       // 524
  uint32_t ttl;                // 528
  char system_name[256];       // 532
  char system_description[512];  // 788
  char port_description[256];  // 1300
  uint32_t capabilities;       // 1556
  uint8_t reserved1560[16];
};
static_assert(sizeof(LldpConfigRecord) == 1576);
static_assert(offsetof(LldpConfigRecord, chassis_subtype) == 264);
static_assert(offsetof(LldpConfigRecord, port_subtype) == 524);
static_assert(offsetof(LldpConfigRecord, system_name) == 532);
static_assert(offsetof(LldpConfigRecord, port_description) == 1300);
static_assert(offsetof(LldpConfigRecord, capabilities) == 1556);

// Mailbox 2/15: the local agent's enable bytes as in the record.
struct LldpConfigUpdate {
  uint8_t enables[kLldpEnableBytes];
  uint8_t reserved5[3];
};
static_assert(sizeof(LldpConfigUpdate) == 8);

// Mailbox 3/15: the LLDP counters; the request is all zero.
struct LldpStatsRecord {
  uint32_t tx_frames;
  uint32_t rx_frames;          // 4
  uint32_t reserved8;
  uint32_t dropped;            // 12
  uint32_t unrecognized_tlvs;  // 16
  uint32_t reserved20;
  uint32_t organizational_tlvs;  // 24
  uint32_t reserved28[5];
};
static_assert(sizeof(LldpStatsRecord) == 48);
static_assert(offsetof(LldpStatsRecord, organizational_tlvs) == 24);

// The per-priority bytes (1: set) folded into a bitmap, bit p priority p.
inline uint8_t priority_bitmap(const uint8_t (&flags)[kDcbxPriorities]) {
  uint8_t bits = 0;
  for (int p = 0; p < kDcbxPriorities; ++p)
    if (flags[p] == 1) bits = static_cast<uint8_t>(bits | 1u << p);
  return bits;
}

#pragma pack(pop)

}  // namespace tavo
