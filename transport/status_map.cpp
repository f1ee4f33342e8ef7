// The firmware status map: one table, searched in order; the first row whose
// status, additional status and opcode match decides. Statuses 1 and 2 share
// their rows. A row's code leaves the text registered for it; the texts of
// the codes the map sets are here.
#include "transport/status_map.h"

#include "base/memory.h"
#include "base/status_registry.h"

namespace {

constexpr int kAny = -1;

struct StatusRow {
  int status;
  int additional;      // kAny: any
  uint8_t opcodes[5];  // all zero: any opcode
  uint32_t returns;
  uint32_t sets;       // 0: the last status is left alone
};

constexpr tavo::base::StatusText kTransportStatusTexts[] = {
    {23, "TCP Connect Failure. Please make sure that the target is enabled and operational."},
    {24, "Initiator error. Please make sure your initiator is configured and enabled at the target."},
    {25,
     "Authentication failure. Please make sure your initiator is properly enabled for authentication at the "
     "target."},
    {26, "Authorization failure. Please make sure you are using the correct CHAP username and secret."},
    {27, "Session already opened."},
    {32,
     "Destination host not reachable. Please check cable and network connections and make sure IP address is "
     "valid. For more information, see Troubleshooting section in Corvane documentation."},
    {33,
     "An error occurred changing the DHCP setting. Please check the configuration on the network and the "
     "DHCP server."},
    {35, "Failed to get session related info, because session is in closed state."},
    {37,
     "Invalid Secret Length. Please make sure that the secret is over 12 characters and less than 16 "
     "characters in length."},
    {38,
     "Initiator CHAP secret is same as target CHAP secret. Please set a different initiator CHAP secret from "
     "the target CHAP secret."},
    {41,
     "Active session(s) present. Please log out of all sessions before clearing configuration. For systems "
     "booting from an iSCSI target, configuration can only be cleared using the iSCSI Vantrel Utility."},
    {45,
     "The Corvane iSCSI initiator TCP/IP settings are not configured. Please configure the TCP/IP settings "
     "before issuing this command."},
    {52, "The Link Status is Down. Please check the cable."},
    {117,
     "The target logout request did not complete because IOs were pending. Please quiesce IO to the device "
     "and re-attempt the logout."},
    {136, "Unable to flash the firmware image as there is a CRC mismatch."},
    {144, "The requested target does not exist at this address."},
    {149, "This Operation is not supported."},
    {153, "This LoopBack type is not supported on this Corvane controller."},
    {154,
     "The given port is already in loopback state, only after exiting this loopback mode, a new loopback "
     "type can be applied."},
    {164, "Login Service not available. Please make sure that the target is operational."},
    {175, "The Target count exceeded the configured maximum limit."},
    {195, "IOCTL is not supported with the current privilege level."},
    {196, "IOCTL is not supported for the VF at all."},
};
const tavo::base::StatusTable kTransportTable{"transport", kTransportStatusTexts};

constexpr StatusRow kStatusRows[] = {
    {1, 0, {}, 116, 0},
    {1, 16, {}, 1, 41},
    {1, 17, {}, 1, 27},
    {1, 18, {}, 35, 35},
    {1, 19, {29}, 32, 0},
    {1, 19, {}, 32, 32},
    {1, 21, {}, 1, 23},
    {1, 22, {}, 245, 0},
    {1, 23, {}, 1, 52},
    {1, 24, {}, 0, 33},
    {1, 30, {}, 213, 0},
    {1, 43, {}, 1, 24},
    {1, 44, {23, 27}, 25, 0},
    {1, 44, {}, 1, 25},
    {1, 45, {}, 1, 26},
    {1, 46, {}, 144, 144},
    {1, 56, {}, 1, 164},
    {1, 58, {}, 1, 38},
    {1, 59, {}, 1, 37},
    {1, 75, {57}, 229, 0},
    {1, 75, {1}, 213, 0},
    {1, 75, {}, 327, 0},
    {1, 77, {}, 1, 136},
    {1, 79, {}, 151, 0},
    {1, 81, {}, 151, 0},
    {1, 83, {}, 153, 153},
    {1, 84, {}, 154, 154},
    {1, 85, {}, 155, 0},
    {1, 99, {}, 198, 0},
    {1, 100, {}, 243, 0},
    {1, 104, {}, 253, 0},
    {1, 105, {1}, 213, 0},
    {1, 105, {}, 5, 0},
    {1, 162, {}, 262, 0},
    {1, kAny, {}, 5, 0},

    {3, kAny, {57}, 229, 0},
    {3, kAny, {}, 1, 0},
    {4, kAny, {}, 31, 0},
    {5, 0, {}, 196, 196},
    {5, 96, {}, 195, 195},
    {5, kAny, {}, 5, 0},
    {20, kAny, {23}, 1, 175},
    {30, kAny, {169}, 55, 0},
    {30, kAny, {}, 5, 0},
    {31, kAny, {24, 28}, 0, 0},
    {31, kAny, {}, 28, 0},
    {44, kAny, {}, 55, 0},
    {46, 0, {}, 1, 45},
    {46, kAny, {}, 5, 0},
    {49, kAny, {}, 1, 117},
    {66, 103, {69}, 236, 0},
    {66, kAny, {73, 70, 12, 8, 69}, 149, 0},
    {66, kAny, {}, 149, 149},
};

bool status_row_matches(const StatusRow& row, uint32_t status, uint32_t additional, uint8_t opcode) {
  if (static_cast<uint32_t>(row.status) != status) return false;
  if (row.additional != kAny && static_cast<uint32_t>(row.additional) != additional) return false;
  if (row.opcodes[0] == 0) return true;
  for (uint8_t op : row.opcodes)
    if (op != 0 && op == opcode) return true;
  return false;
}

}  // namespace

namespace tavo::transport {

const base::StatusWording kPciAddressRefused{
    TAVO_FAILED, "Cannot read the PCI configuration space: the buffer address does not fit the driver's 32-bit field."};

}  // namespace tavo::transport

uint32_t TavoStatusFromIOCTLResponse(uint32_t status, uint32_t additional_status, uint8_t opcode) {
  if (status == 0) return 0;
  if (status > 66) return 1;
  if (status == 2) status = 1;
  for (const StatusRow& row : kStatusRows) {
    if (!status_row_matches(row, status, additional_status, opcode)) continue;
    if (row.sets != 0) tavo::base::set_status(row.sets);
    return row.returns;
  }
  return 1;
}
