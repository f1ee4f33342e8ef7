// The controller's Diagnostics group (its loopback and DMA tests), which
// the Corvane group lists where it stands.
#include "controller/controller.h"
#include "port/port.h"
#include "tree/declare.h"

using namespace tavo::declare;

constexpr int32_t kMaxCount = 2147483647;
// Parameters several actions share.
constexpr char kLoopbackTypes[] = "MacLoopBack,PhyLoopBack,OnePortLoopBack,TwoPortLoopBack";
constexpr TavoActionParam kPattern =
    required("Pattern", TEXT, "", 3, 16, "This parameter specifies the 8-byte pattern in hexadecimal.");
constexpr TavoActionParam kLoopCount =
    required("LoopCount", INT, "", 1, 4096, "This parameter specifies the number of repetitions.");
constexpr TavoActionParam kSourcePort =
    required("SourcePortNumber", INT, "", 0, 3, "This parameter specifies the physical source port.");
constexpr TavoActionParam kDestinationPort = required(
    "DestinationPortNumber", INT, "", 0, 3,
    "This parameter specifies the physical destination port; it equals the source port for MAC and PHY loopback.");
constexpr TavoActionParam kLoopbackType =
    required("LoopbackType", LIST, kLoopbackTypes, 11, 15,
             "This parameter specifies the loopback point: inside the MAC, inside the PHY, through an external cable "
             "on one port, or across two ports.");

TAVO_ACTION(Corvane_Diagnostics, HostToDDRDMATest, do_HostToDDRDMATest,
            "This command runs the host to DDR DMA test on the controller.", kPattern,
            required("ByteCount", INT, "", 64, 4096,
                     "This parameter specifies the bytes moved from host to DDR and back per loop."),
            kLoopCount);
TAVO_ACTION(Corvane_Diagnostics, EnterLoopBackMode, do_EnterLoopBackMode,
            "This command puts the source port into the given loopback mode. Use it first: EnterLoopBackMode, then "
            "NetworkLoopBackTest, then ExitLoopBackMode.",
            kSourcePort, kDestinationPort, kLoopbackType);
TAVO_ACTION(Corvane_Diagnostics, ExitLoopBackMode, do_ExitLoopBackMode,
            "This command takes the ports out of loopback mode. Use it last: EnterLoopBackMode first, then "
            "NetworkLoopBackTest, then ExitLoopBackMode.",
            kSourcePort, kDestinationPort);
TAVO_ACTION(Corvane_Diagnostics, NetworkLoopBackTest, do_NetworkLoopBackTest,
            "This command runs the loopback test between the ports. Use it after EnterLoopBackMode and before "
            "ExitLoopBackMode.",
            kPattern,
            required("ByteCount", INT, "", 1500, 8192,
                     "This parameter specifies the bytes per frame, at most the MTU: 1500 to 4056 for MAC loopback, "
                     "1500 to 8192 for the other types."),
            kLoopCount, kSourcePort, kDestinationPort, kLoopbackType);
const ChildDef diagnostics_children[] = {
    property("TotalTestCycles", RO, INT, "", 0, kMaxCount, "0", stored,
             "This property displays the total time in milliseconds of the requested loops."),
    property("TotalCompleteCycles", RO, INT, "", 0, kMaxCount, "0", stored,
             "This property displays the time of the loops that completed successfully."),
    property("TotalErrorCycles", RO, INT, "", 0, kMaxCount, "0", stored,
             "This property displays the time of the loops that completed with errors."),
    property("SendErrorCount", RO, INT, "", 0, 4096, "0", stored, "This property displays the number of send errors."),
    property("ReceiveErrorCount", RO, INT, "", 0, 4096, "0", stored,
             "This property displays the number of receive errors."),
    property("DataMiscompareCount", RO, INT, "", 0, 4096, "0", stored,
             "This property displays the number of data miscompares."),
    property("TotalCompleteCount", RO, INT, "", 0, kMaxCount, "0", stored,
             "This property displays the number of loops that completed successfully."),
    property("IsLoopbackSupported", RO, LIST, "True,False", 4, 5, "True", stored,
             "This property indicates whether the loopback test is supported."),
    HostToDDRDMATest,
    EnterLoopBackMode,
    ExitLoopBackMode,
    NetworkLoopBackTest,
};
const GroupDef tavo::port::corvane_diagnostics =
    group("Diagnostics", diagnostics_children,
          "This group contains the results of the most recent loopback or DMA test of the Tessmark controller.");
