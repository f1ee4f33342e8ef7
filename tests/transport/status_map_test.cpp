#include "transport/status_map.h"

#include <gtest/gtest.h>

#include <string>

#include "tree/tree.h"

namespace tavo {
namespace {

struct Case {
  uint32_t status, additional;
  uint8_t opcode;
  uint32_t returns;
  uint32_t sets;  // 0: last status untouched
  const char* message;
};

const char kActiveSessions[] =
    "Active session(s) present. Please log out of all sessions before clearing configuration. For systems booting "
    "from an iSCSI target, configuration can only be cleared using the iSCSI Vantrel Utility.";
const char kUnreachable[] =
    "Destination host not reachable. Please check cable and network connections and make sure IP address is valid. "
    "For more information, see Troubleshooting section in Corvane documentation.";
const char kAuthentication[] =
    "Authentication failure. Please make sure your initiator is properly enabled for authentication at the target.";

// Every row of the map, both statuses 1 and 2 for the shared rows.
const Case kCases[] = {
    {0, 0, 1, 0, 0, nullptr},
    {0, 77, 23, 0, 0, nullptr},
    {1, 0, 1, 116, 0, nullptr},
    {2, 0, 1, 116, 0, nullptr},
    {1, 16, 1, 1, 41, kActiveSessions},
    {2, 16, 1, 1, 41, kActiveSessions},
    {1, 17, 23, 1, 27, "Session already opened."},
    {1, 18, 48, 35, 35, "Failed to get session related info, because session is in closed state."},
    {1, 19, 29, 32, 0, nullptr},
    {2, 19, 29, 32, 0, nullptr},
    {1, 19, 23, 32, 32, kUnreachable},
    {1, 21, 23, 1, 23, "TCP Connect Failure. Please make sure that the target is enabled and operational."},
    {1, 22, 11, 245, 0, nullptr},
    {1, 23, 5, 1, 52, "The Link Status is Down. Please check the cable."},
    {1, 24, 17, 0, 33,
     "An error occurred changing the DHCP setting. Please check the configuration on the network and the DHCP "
     "server."},
    {1, 30, 5, 213, 0, nullptr},
    {1, 43, 23, 1, 24,
     "Initiator error. Please make sure your initiator is configured and enabled at the target."},
    {1, 44, 23, 25, 0, nullptr},
    {2, 44, 27, 25, 0, nullptr},
    {2, 44, 24, 1, 25, kAuthentication},
    {1, 45, 23, 1, 26,
     "Authorization failure. Please make sure you are using the correct CHAP username and secret."},
    {1, 46, 23, 144, 144, "The requested target does not exist at this address."},
    {1, 56, 23, 1, 164, "Login Service not available. Please make sure that the target is operational."},
    {1, 58, 23, 1, 38,
     "Initiator CHAP secret is same as target CHAP secret. Please set a different initiator CHAP secret from the "
     "target CHAP secret."},
    {1, 59, 23, 1, 37,
     "Invalid Secret Length. Please make sure that the secret is over 12 characters and less than 16 characters "
     "in length."},
    {1, 75, 57, 229, 0, nullptr},
    {1, 75, 1, 213, 0, nullptr},
    {1, 75, 2, 327, 0, nullptr},
    {1, 77, 7, 1, 136, "Unable to flash the firmware image as there is a CRC mismatch."},
    {1, 79, 82, 151, 0, nullptr},
    {1, 81, 82, 151, 0, nullptr},
    {1, 83, 19, 153, 153, "This LoopBack type is not supported on this Corvane controller."},
    {1, 84, 19, 154, 154,
     "The given port is already in loopback state, only after exiting this loopback mode, a new loopback type can "
     "be applied."},
    {1, 85, 18, 155, 0, nullptr},
    {1, 99, 18, 198, 0, nullptr},
    {1, 100, 23, 243, 0, nullptr},
    {1, 104, 82, 253, 0, nullptr},
    {1, 105, 1, 213, 0, nullptr},
    {1, 105, 2, 5, 0, nullptr},
    {1, 162, 2, 262, 0, nullptr},
    {1, 163, 2, 5, 0, nullptr},
    {2, 0xFFFF, 2, 5, 0, nullptr},
    {1, 1, 2, 5, 0, nullptr},
    {3, 0, 57, 229, 0, nullptr},
    {3, 9, 58, 1, 0, nullptr},
    {4, 0, 29, 31, 0, nullptr},
    {5, 0, 1, 196, 196, "IOCTL is not supported for the VF at all."},
    {5, 96, 1, 195, 195, "IOCTL is not supported with the current privilege level."},
    {5, 97, 1, 5, 0, nullptr},
    {20, 0, 23, 1, 175, "The Target count exceeded the configured maximum limit."},
    {20, 0, 27, 1, 0, nullptr},
    {30, 0, 169, 55, 0, nullptr},
    {30, 0, 168, 5, 0, nullptr},
    {31, 0, 24, 0, 0, nullptr},
    {31, 0, 28, 0, 0, nullptr},
    {31, 0, 29, 28, 0, nullptr},
    {44, 3, 1, 55, 0, nullptr},
    {46, 0, 7, 1, 45,
     "The Corvane iSCSI initiator TCP/IP settings are not configured. Please configure the TCP/IP settings before "
     "issuing this command."},
    {46, 1, 7, 5, 0, nullptr},
    {49, 0, 24, 1, 117,
     "The target logout request did not complete because IOs were pending. Please quiesce IO to the device and "
     "re-attempt the logout."},
    {66, 103, 69, 236, 0, nullptr},
    {66, 0, 69, 149, 0, nullptr},
    {66, 103, 70, 149, 0, nullptr},
    {66, 0, 73, 149, 0, nullptr},
    {66, 0, 12, 149, 0, nullptr},
    {66, 0, 8, 149, 0, nullptr},
    {66, 103, 9, 149, 149, "This Operation is not supported."},
    {6, 0, 1, 1, 0, nullptr},
    {10, 0, 1, 1, 0, nullptr},
    {65, 0, 1, 1, 0, nullptr},
    {67, 0, 1, 1, 0, nullptr},
    {255, 16, 1, 1, 0, nullptr},
    {0x101, 0, 1, 1, 0, nullptr},
};

TEST(StatusMapTest, EveryRowReturnsItsCodeAndSetsItsMessageOrNothing) {
  for (const Case& c : kCases) {
    tavo_set_last_status(999, "untouched");
    const std::string which = "status " + std::to_string(c.status) + " additional " +
                              std::to_string(c.additional) + " opcode " + std::to_string(c.opcode);
    EXPECT_EQ(TavoStatusFromIOCTLResponse(c.status, c.additional, c.opcode), c.returns) << which;
    if (c.sets == 0) {
      EXPECT_EQ(tavo_last_status_code, 999u) << which;
      EXPECT_STREQ(tavo_last_status_string, "untouched") << which;
    } else {
      EXPECT_EQ(tavo_last_status_code, c.sets) << which;
      EXPECT_STREQ(tavo_last_status_string, c.message) << which;
    }
  }
}

}  // namespace
}  // namespace tavo
