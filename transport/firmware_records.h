// Payloads of the mailbox commands that start-up and the controller branch
// exchange. Little-endian, packed; the simulator's firmware fills the same
// records. Texts are NUL-terminated within their field (or fill it).
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace tavo {

#pragma pack(push, 1)

// Mailbox 32/1: what the firmware tells of the controller behind a function.
struct ControllerAttributes {
  uint8_t reserved0[32];
  char manufacturer[32];            // 32
  uint32_t capabilities;            // 64: bits 0-9 named, bit 15 invalid
  uint8_t reserved68[12];
  uint8_t ncsi_version[12];         // 80
  uint32_t default_eto;             // 92
  char model_number[32];            // 96
  char description[64];             // 128
  char serial_number[32];           // 192
  uint8_t reserved224[32];
  char active_firmware_version[32]; // 256
  char bios_version[32];            // 288
  char boot_code_version[32];       // 320
  char driver_version[32];          // 352
  char flash_firmware_version[32];  // 384
  uint8_t reserved416;
  uint8_t phy_loopback;             // 417: bit 0
  uint8_t reserved418[2];
  uint16_t max_cdb_length;          // 420
  uint8_t reserved422[18];
  uint16_t ldto;                    // 440
  uint8_t iscsi_versions;           // 442: low nibble minimum, high nibble maximum
  uint8_t reserved443[2];
  uint8_t firmware_status;          // 445
  uint8_t logical_hba_count;        // 446
  uint8_t port_number;              // 447
  uint8_t reserved448[52];
  uint16_t vendor_id;               // 500
  uint16_t device_id;               // 502
  uint16_t subsys_vendor_id;        // 504
  uint16_t subsys_device_id;        // 506
  uint8_t bus;                      // 508
  uint8_t device;                   // 509
  uint8_t function;                 // 510
  uint8_t reserved511[29];
};
static_assert(sizeof(ControllerAttributes) == 540);
static_assert(offsetof(ControllerAttributes, manufacturer) == 32);
static_assert(offsetof(ControllerAttributes, capabilities) == 64);
static_assert(offsetof(ControllerAttributes, ncsi_version) == 80);
static_assert(offsetof(ControllerAttributes, default_eto) == 92);
static_assert(offsetof(ControllerAttributes, model_number) == 96);
static_assert(offsetof(ControllerAttributes, description) == 128);
static_assert(offsetof(ControllerAttributes, serial_number) == 192);
static_assert(offsetof(ControllerAttributes, active_firmware_version) == 256);
static_assert(offsetof(ControllerAttributes, bios_version) == 288);
static_assert(offsetof(ControllerAttributes, boot_code_version) == 320);
static_assert(offsetof(ControllerAttributes, driver_version) == 352);
static_assert(offsetof(ControllerAttributes, flash_firmware_version) == 384);
static_assert(offsetof(ControllerAttributes, phy_loopback) == 417);
static_assert(offsetof(ControllerAttributes, max_cdb_length) == 420);
static_assert(offsetof(ControllerAttributes, ldto) == 440);
static_assert(offsetof(ControllerAttributes, iscsi_versions) == 442);
static_assert(offsetof(ControllerAttributes, firmware_status) == 445);
static_assert(offsetof(ControllerAttributes, logical_hba_count) == 446);
static_assert(offsetof(ControllerAttributes, port_number) == 447);
static_assert(offsetof(ControllerAttributes, vendor_id) == 500);
static_assert(offsetof(ControllerAttributes, device_id) == 502);
static_assert(offsetof(ControllerAttributes, subsys_vendor_id) == 504);
static_assert(offsetof(ControllerAttributes, subsys_device_id) == 506);
static_assert(offsetof(ControllerAttributes, bus) == 508);
static_assert(offsetof(ControllerAttributes, function) == 510);

// Mailbox 76/1: maker's serial (two characters, ten raw bytes)|OEM serial
// (ended by 0 or 255)|personality management word|unused.
struct OemParams {
  uint8_t maker_serial[12];
  uint8_t oem_serial[24];
  uint32_t personality_word;
  uint8_t reserved40[4];
};
static_assert(sizeof(OemParams) == 44);
static_assert(offsetof(OemParams, oem_serial) == 12);
static_assert(offsetof(OemParams, personality_word) == 36);

// Mailbox 21/11: the core-dump properties. Dump format version (low,
// high)|chip state (non-zero: dead)|host-interface register|ASIC id|
// unused|number of components.
inline constexpr uint8_t kChipAlive = 0;
inline constexpr uint8_t kChipDead = 1;
struct CoreDumpProperties {
  uint8_t low_version;
  uint8_t high_version;         // 1
  uint8_t chip_state;           // 2
  uint8_t reserved3;
  uint32_t hpi_intf;            // 4
  uint32_t asic_id;             // 8
  uint32_t reserved12;
  uint32_t components;          // 16
};
static_assert(sizeof(CoreDumpProperties) == 20);
static_assert(offsetof(CoreDumpProperties, chip_state) == 2);
static_assert(offsetof(CoreDumpProperties, hpi_intf) == 4);
static_assert(offsetof(CoreDumpProperties, asic_id) == 8);
static_assert(offsetof(CoreDumpProperties, components) == 16);

// Mailbox 22/11: request component id|0; answer number of segments|
// component status (0 usable).
struct CoreDumpComponentProps {
  uint32_t component;           // answer: segments
  uint32_t status;              // 4
};
static_assert(sizeof(CoreDumpComponentProps) == 8);

// Mailbox 23/11: request component id|segment id|0|0; answer low and high
// version|status (0 usable)|highest instance (signed; negative: none)|
// segment length.
struct CoreDumpSegmentProps {
  uint8_t low_version;
  uint8_t high_version;         // 1
  uint8_t reserved2[2];
  uint32_t status;              // 4
  int32_t highest_instance;     // 8
  uint32_t length;              // 12
};
static_assert(sizeof(CoreDumpSegmentProps) == 16);
static_assert(offsetof(CoreDumpSegmentProps, status) == 4);
static_assert(offsetof(CoreDumpSegmentProps, highest_instance) == 8);
static_assert(offsetof(CoreDumpSegmentProps, length) == 12);

// Mailbox 24/11, one piece of a segment instance. Request: component|
// segment|instance|offset in the segment|piece length|byte-code length in
// words|byte code (component 1). Answer: segment status|length returned|
// data.
inline constexpr uint32_t kCoreDumpPieceMax = 64000;
struct CoreDumpSegmentRequest {
  uint32_t component;
  uint32_t segment;             // 4
  uint32_t instance;            // 8
  uint32_t offset;              // 12
  uint32_t length;              // 16
  uint32_t code_words;          // 20
  uint8_t code[kCoreDumpPieceMax - 16];  // 24
};
static_assert(sizeof(CoreDumpSegmentRequest) == 64008);
static_assert(offsetof(CoreDumpSegmentRequest, code) == 24);
inline constexpr size_t kCoreDumpAnswerData = 8;
inline constexpr uint32_t kCoreDumpCodeWordsMax = sizeof(CoreDumpSegmentRequest::code) / 4;

// Mailbox 72/1: offset|length|data. The data area holds configuration
// space at its own offsets: the word at offset k is at data[k].
struct PciConfigRead {
  uint32_t offset;
  uint32_t length;
  uint8_t data[256];
};
static_assert(sizeof(PciConfigRead) == 264);
static_assert(offsetof(PciConfigRead, data) == 8);

// Mailbox 78/1 and 79/1: the configuration signature the adapter keeps.
inline constexpr uint32_t kConfigSignature = 3;
struct ConfigSignature {
  uint32_t signature;
  uint8_t reserved4[128];
};
static_assert(sizeof(ConfigSignature) == 132);

// The PCI Express link control/status word: at 0xD0 through mailbox 72/1,
// at 0xA4 on Galtor through the NIC device. Bits 16-18 the link speed code,
// 20-25 the negotiated width.
inline constexpr uint32_t kPcieLinkWordOffset = 0xD0;
inline constexpr uint32_t kGaltorPcieLinkWordOffset = 0xA4;

// Mailbox 121/1: additional controller attributes. IPL number|revision|
// on-die temperature (0: no reading)|eight option-ROM versions|PXE BIOS|
// the port's FCoE world-wide port name|PHY firmware (empty: none)|PHY
// configuration id|IPL file name.
struct AdditionalControllerAttributes {
  uint16_t ipl_number;
  uint8_t ipl_revision;            // 2
  uint8_t reserved3;
  int32_t temperature;             // 4
  uint8_t reserved8[20];
  char option_rom_versions[8][32]; // 28: FCoE universal, x86 BIOS, EFI, FCODE; UEFI BIOS, NIC, FCODE, SCSI
  uint8_t reserved284[32];
  char pxe_bios_version[32];       // 316
  uint8_t fcoe_wwpn[8];            // 348
  char phy_firmware_version[160];  // 356
  char phy_configuration_id[8];    // 516
  char ipl_name[88];               // 524
};
static_assert(sizeof(AdditionalControllerAttributes) == 612);
static_assert(offsetof(AdditionalControllerAttributes, ipl_revision) == 2);
static_assert(offsetof(AdditionalControllerAttributes, temperature) == 4);
static_assert(offsetof(AdditionalControllerAttributes, option_rom_versions) == 28);
static_assert(offsetof(AdditionalControllerAttributes, pxe_bios_version) == 316);
static_assert(offsetof(AdditionalControllerAttributes, fcoe_wwpn) == 348);
static_assert(offsetof(AdditionalControllerAttributes, phy_firmware_version) == 356);
static_assert(offsetof(AdditionalControllerAttributes, phy_configuration_id) == 516);
static_assert(offsetof(AdditionalControllerAttributes, ipl_name) == 524);

// Mailbox 66/1 and 67/1: a function's boot configuration: network boot
// state (1 enabled), the native (advanced) boot mode (non-zero enabled) and
// the network boot method (nic_records.h).
struct BootConfig {
  uint8_t network_boot;  // 0
  uint8_t reserved1;
  uint8_t native_mode;   // 2
  uint8_t boot_method;   // 3
  uint8_t reserved4[4];
};
static_assert(sizeof(BootConfig) == 8);
static_assert(offsetof(BootConfig, native_mode) == 2);
static_assert(offsetof(BootConfig, boot_method) == 3);

// Mailbox 2/19: operation (0 read, 1 write)|name length|0|name, not
// necessarily NUL-terminated.
inline constexpr uint8_t kFfvWrite = 1;
struct FfvParams {
  uint8_t operation;
  uint8_t length;       // 1
  uint8_t reserved2[2];
  char name[32];        // 4
};
static_assert(sizeof(FfvParams) == 36);
static_assert(offsetof(FfvParams, name) == 4);

// Mailbox 191/1: feature code|0; the answer's byte 8 bit 0 tells a
// OneView-managed adapter (feature 20).
inline constexpr uint32_t kFeatureOneView = 20;
struct FeatureRecord {
  uint32_t code;
  uint8_t reserved4[4];
  uint8_t flags;        // 8
  uint8_t reserved9[7];
};
static_assert(sizeof(FeatureRecord) == 16);
static_assert(offsetof(FeatureRecord, flags) == 8);

// Mailbox 3/19: a 1,024-byte payload opening with the length and offset of
// the FRU VPD block to read; the answer's data starts at byte 0.
inline constexpr uint32_t kFruVpdPayload = 1024;
struct FruVpdRequest {
  uint32_t length;
  uint32_t offset;      // 4
};
static_assert(sizeof(FruVpdRequest) == 8);

// Mailbox 91/1 (version 0, and version 1 on Galtor): PF number|1 when sent
// to an iSCSI device; the answer's 1,024 data bytes start at byte 0.
inline constexpr uint32_t kVpdPayload = 1032;
inline constexpr uint32_t kVpdData = 1024;
struct VpdRequest {
  uint16_t pf_number;
  uint8_t via_iscsi;    // 2
};
static_assert(sizeof(VpdRequest) == 3);

// Mailbox 86/1: NC-SI state (1 supported)|handshake (0 success, 1 error)|
// the static (manufacturing) block|the dynamic (user) block. Mailbox 87/1
// sends one block: the dynamic block as read, one field changed.
struct NcsiConfigBlock {
  uint8_t reserved0[4];
  uint8_t port_swap;          // 4
  uint8_t port0_mac[6];       // 5
  uint8_t port0_wol;          // 11: bit 0 enabled
  uint8_t port1_mac[6];       // 12
  uint8_t port1_wol;          // 18
  uint8_t reserved19;
  uint16_t mgmt_vlan;         // 20
  uint8_t reserved22[10];
};
static_assert(sizeof(NcsiConfigBlock) == 32);
static_assert(offsetof(NcsiConfigBlock, port0_mac) == 5);
static_assert(offsetof(NcsiConfigBlock, port0_wol) == 11);
static_assert(offsetof(NcsiConfigBlock, port1_mac) == 12);
static_assert(offsetof(NcsiConfigBlock, port1_wol) == 18);
static_assert(offsetof(NcsiConfigBlock, mgmt_vlan) == 20);

inline constexpr uint8_t kNcsiSupported = 1;
struct NcsiAttributes {
  uint8_t state;
  uint8_t handshake;          // 1
  uint8_t reserved2[6];
  NcsiConfigBlock static_block;   // 8
  NcsiConfigBlock dynamic_block;  // 40
};
static_assert(sizeof(NcsiAttributes) == 72);
static_assert(offsetof(NcsiAttributes, static_block) == 8);
static_assert(offsetof(NcsiAttributes, dynamic_block) == 40);

// Mailbox 84/1: non-zero when a configuration change needs a reboot.
struct ResetNeeded {
  uint8_t change;
  uint8_t reserved1[3];
};
static_assert(sizeof(ResetNeeded) == 4);

// Mailbox 7/1 as an erase: type 3 and the region (14 NIC settings, 15 port
// and discovery configuration, 27 virtual MAC addresses).
inline constexpr uint32_t kEraseType = 3;
inline constexpr uint32_t kEraseNicSettings = 14;
inline constexpr uint32_t kErasePortConfig = 15;
inline constexpr uint32_t kEraseVirtualMacs = 27;
struct EraseRequest {
  uint32_t type;
  uint32_t region;            // 4
  uint8_t reserved8[12];
};
static_assert(sizeof(EraseRequest) == 20);

// Mailbox 169/1: back to the factory profile configuration. The profile
// (0 the active one) and 1 when no profile was named.
struct FactoryProfileRequest {
  uint8_t profile_id;
  uint8_t unnamed;            // 1
  uint8_t reserved2[2];
};
static_assert(sizeof(FactoryProfileRequest) == 4);

// The NIC region object of a port's partition: unused|length of the
// records that follow the header|unused, then type-length-value records.
// A record: type|u16 value length (unaligned)|value. MAC records (types
// 32-34) hold a replaced flag and the address.
struct NicRegionHeader {
  uint8_t reserved0[4];
  uint32_t length;            // 4
  uint8_t reserved8[8];
};
static_assert(sizeof(NicRegionHeader) == 16);
static_assert(offsetof(NicRegionHeader, length) == 4);

inline constexpr uint8_t kRegionNicMac = 32;
inline constexpr uint8_t kRegionIscsiMac = 33;
inline constexpr uint8_t kRegionFcoeMac = 34;
struct NicRegionRecord {
  uint8_t type;
  uint16_t length;            // 1: value bytes after this head
};
static_assert(sizeof(NicRegionRecord) == 3);
struct NicRegionMac {
  uint8_t replaced;           // set to 1 when the library puts the address back
  uint8_t mac[6];
};
static_assert(sizeof(NicRegionMac) == 7);
inline constexpr char kNicRegionName[] = "/nicdata/Port%d/Partition%d/Region1";

#pragma pack(pop)

}  // namespace tavo
