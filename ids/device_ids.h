// Identities of the Tessmark adapter family: the one place for its PCI
// vendor and device IDs and its model numbers, shared by the library, its
// IMA plug-in and the simulator. Data only: constexpr tables, no code.
#pragma once

#include <stdint.h>

namespace tavo {

inline constexpr uint32_t kGenerationCV2 = 2;
inline constexpr uint32_t kGenerationCV3 = 3;
inline constexpr uint32_t kGenerationGaltor = 4;
inline constexpr uint32_t kGenerationMoravel = 5;
inline constexpr uint32_t kGenerationUnknown = 0xFFFF;

// The family's two PCI vendor IDs, and the one device ID of the second
// vendor that is not a physical function the library manages.
inline constexpr uint16_t kVendorIds[2] = {0xF1A0, 0xF1A1};
inline constexpr uint16_t kRejectedDeviceId = 0x0CEE;

struct GenerationRow {
  uint16_t device_id;
  uint32_t generation;
};

// Device ID -> controller generation.
inline constexpr GenerationRow kControllerGenerationTable[29] = {
    {0x0C20, 2}, {0x0C21, 2}, {0x0C22, 2}, {0x0C23, 2}, {0x0C24, 2}, {0x0C25, 2},
    {0x0C26, 2}, {0x0C27, 2}, {0x0C28, 2}, {0x0C29, 2}, {0x0C2A, 2}, {0x0C2B, 2},
    {0x0C30, 3}, {0x0C31, 3}, {0x0C32, 3}, {0x0C33, 3}, {0x0C34, 3}, {0x0C35, 3},
    {0x0C36, 3}, {0x0C37, 3}, {0x0C38, 3}, {0x0C39, 3}, {0x0C3A, 3},
    {0x0C40, 4}, {0x0C41, 4},
    {0x0C50, 5}, {0x0C51, 5}, {0x0C52, 5}, {0x0C53, 5},
};

// Device IDs of the family's iSCSI functions, in the order they are listed.
inline constexpr uint16_t kIscsiDeviceIds[6] = {0x0C22, 0x0C23, 0x0C32, 0x0C33, 0x0C41, 0x0C52};

// The device IDs a controller of each generation shows for its NIC and its
// iSCSI functions (used to build simulated adapters).
struct GenerationDeviceIds {
  uint32_t generation;
  const char* name;
  uint16_t nic_device_id;
  uint16_t iscsi_device_id;
};
inline constexpr GenerationDeviceIds kGenerationDeviceIds[4] = {
    {2, "cv2", 0x0C20, 0x0C22},
    {3, "cv3", 0x0C30, 0x0C32},
    {4, "galtor", 0x0C40, 0x0C41},
    {5, "moravel", 0x0C50, 0x0C52},
};

// The model each generation reports (ModelNumber, and inside its
// Description), the hardware version the IMA host is shown for it (none:
// "N/A"), and the shorter family text the host's extended PHBA call matches
// instead of the whole model (none: the model).
struct AdapterModel {
  uint32_t generation;
  const char* model;
  const char* hardware_version;
  const char* family;
};
inline constexpr AdapterModel kAdapterModels[4] = {
    {3, "TK20204", "Corvanes 3", nullptr},
    {2, "TK10202", "Corvanes 2", nullptr},
    {5, "TK30204", "Moravel", "TK30"},
    {4, "TK21204", nullptr, nullptr},
};
// The model of a generation the table does not know.
inline constexpr char kUnknownModel[] = "TK00000";

}  // namespace tavo
