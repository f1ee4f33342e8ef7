// The Corvane branch: one instance per controller, directly under ROOT.
#include "controller/controller.h"
#include "port/port.h"
#include "tree/group_builder.h"

namespace {

using tavo::tree::action;
using tavo::tree::ChildDef;
using tavo::tree::GroupDef;
using tavo::tree::property;
using tavo::tree::subgroup;

constexpr uint32_t RO = TAVO_ACCESS_READ_ONLY;
constexpr int32_t kMaxCount = 2147483647;

tavo::tree::SlotArea corvane_slots;

const ChildDef diagnostics_children[] = {
    property("TotalTestCycles", "This property displays the total time in milliseconds of the requested loops.", RO,
             TAVO_TYPE_INTEGER, "", 0, kMaxCount, "0", handle_internal_property),
    property("TotalCompleteCycles", "This property displays the time of the loops that completed successfully.", RO,
             TAVO_TYPE_INTEGER, "", 0, kMaxCount, "0", handle_internal_property),
    property("TotalErrorCycles", "This property displays the time of the loops that completed with errors.", RO,
             TAVO_TYPE_INTEGER, "", 0, kMaxCount, "0", handle_internal_property),
    property("SendErrorCount", "This property displays the number of send errors.", RO, TAVO_TYPE_INTEGER, "", 0,
             4096, "0", handle_internal_property),
    property("ReceiveErrorCount", "This property displays the number of receive errors.", RO, TAVO_TYPE_INTEGER, "",
             0, 4096, "0", handle_internal_property),
    property("DataMiscompareCount", "This property displays the number of data miscompares.", RO, TAVO_TYPE_INTEGER,
             "", 0, 4096, "0", handle_internal_property),
    property("TotalCompleteCount", "This property displays the number of loops that completed successfully.", RO,
             TAVO_TYPE_INTEGER, "", 0, kMaxCount, "0", handle_internal_property),
    property("IsLoopbackSupported", "This property indicates whether the loopback test is supported.", RO,
             TAVO_TYPE_LIST, "True,False", 4, 5, "True", handle_internal_property),
    action("ExitLoopBackMode",
           "This command takes the ports out of loopback mode. Use it last: EnterLoopBackMode first, then "
           "NetworkLoopBackTest, then ExitLoopBackMode.",
           &ROOT_Corvane_Diagnostics_ExitLoopBackMode_action),
};
const GroupDef diagnostics = {"Diagnostics",
                              "This group contains the results of the most recent loopback or DMA test of the "
                              "Tessmark controller.",
                              0, 0, nullptr, diagnostics_children};

const ChildDef corvane_children[] = {
    property("ControllerStatus", "This property indicates whether the controller's firmware is alive.", RO,
             TAVO_TYPE_LIST, "Alive,Dead", 4, 5, "Alive", handle_ControllerStatus),
    property("Manufacturer", "This property displays the manufacturer of the Tessmark controller.", RO,
             TAVO_TYPE_TEXT, "", 1, 32, "0", handle_internal_property),
    property("ModelNumber", "This property displays the model number of the Tessmark controller.", RO,
             TAVO_TYPE_TEXT, "", 1, 32, "1", handle_internal_property),
    property("Description", "This property displays the description of the Tessmark controller.", RO,
             TAVO_TYPE_TEXT, "", 1, 64, "0", handle_internal_property),
    property("SerialNumber",
             "This property displays the serial number of the Tessmark controller, typically one of its MAC "
             "addresses.",
             RO, TAVO_TYPE_TEXT, "", 1, 32, "1", handle_internal_property),
    property("Capabilities",
             "This property displays which of NIC, TOE, iSCSI initiator and target, FCoE initiator and target are "
             "enabled on the Tessmark controller.",
             RO, TAVO_TYPE_TEXT, "", 1, 128, "Unknown", handle_internal_property),
    property("ActiveFirmwareVersion", "This property displays the running firmware version.", RO, TAVO_TYPE_TEXT,
             "", 5, 32, "5", handle_cv_controller_properties),
    property("FirmwareVersionOnFlash",
             "This property displays the firmware version in flash, which becomes active after the next restart.",
             RO, TAVO_TYPE_TEXT, "", 5, 32, "5", handle_cv_controller_properties),
    property("BIOSVersion", "This property displays the running BIOS version.", RO, TAVO_TYPE_TEXT, "", 5, 32, "5",
             handle_cv_controller_properties),
    property("BootCodeVersion", "This property displays the running boot code version.", RO, TAVO_TYPE_TEXT, "", 5,
             32, "5", handle_cv_controller_properties),
    property("FirmwareStatus",
             "This property displays the state of the firmware. Working means that it operates properly.", RO,
             TAVO_TYPE_LIST, "Working,Degraded,Critical,Failed,Unknown", 6, 8, "Unknown",
             handle_cv_controller_properties),
    subgroup(&diagnostics),
};

const GroupDef corvane = {"Corvane", "This group instance corresponds to a single Tessmark controller in this host.",
                          16, 0, nullptr, corvane_children, &corvane_slots};

}  // namespace

const TavoActionDescriptor ROOT_Corvane_Diagnostics_ExitLoopBackMode_action = {
    do_ExitLoopBackMode, 0, 2,
    {{1, "SourcePortNumber", "This parameter specifies the physical source port.", TAVO_TYPE_INTEGER, "", 0, 3},
     {1, "DestinationPortNumber",
      "This parameter specifies the physical destination port; it equals the source port for MAC and PHY "
      "loopback.",
      TAVO_TYPE_INTEGER, "", 0, 3}}};

TavoNode* initialize_Corvane(TavoNode* parent, TavoNode* creating_node, TavoNode* creating_action, char* params) {
  return tavo::tree::build_group(corvane, parent, creating_node, creating_action, params);
}
