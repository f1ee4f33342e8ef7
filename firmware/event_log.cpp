// The firmware event log: read whole (mailbox 63/2) into EventLogEntry
// instances under each controller's EventLog at start-up and on refresh,
// cleared with 62/2. Between loads the entries are stored texts.
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <iterator>

#include "controller/controller.h"
#include "firmware/firmware.h"
#include "firmware/flash_internal.h"
#include "firmware/status_texts.h"
#include "transport/commands.h"
#include "transport/device_ids.h"
#include "transport/glob.h"
#include "transport/log_records.h"
#include "tree/declare.h"

using namespace tavo::declare;
using tavo::firmware::set_status;

const char* const cv_event_desc[] = {
    "Management firmware load successful",
    "Management firmware out of pre allocated resources",
    "Management firmware out of dynamic memory",
    "Invalid IRB:%x",
    "Invalid CIB:%x",
    "Ioctl with page code:%x timed out, IRB:%x",
    "Session with session_id:%x is in recovery",
    "Ioctl failed: page code:%x, subsystem:%x, IRB:%x, status:%x, addnl status:%x",
    "CRC mismatch stored:%x, calc:%x",
    "Configuration area in flash erased",
    "Multiple spare sector",
    "Missing spare sector",
    "Invalid Sector #:%x",
    "Invalid State #:%x",
    "Invalid Entry",
    "Session count mismatch Error stored:%x, calculated:%x",
    "Config Data Initialized",
    "ISNS initialization error",
    "ISNS resume failed",
    "ISNS terminate failed",
    "Server add failed ip address:%x",
    "Initialization Success",
    "Target redirected to new portal ip Address:%x, port:%x",
    "Initiator Error in Login Response Status Class:%x, Status Detail:%x",
    "Target Error in Login Response Status Class:%x, Status Detail:%x",
    "Check Condition received from target for SCSI CMD opcode:%x",
    "CHAP Negotiation Failed for Target Ip Address:%x, port:%x",
    "ISCSI PDU Format Error for session id:%x",
    "Connection closed unexpectedly for session id:%x",
    "iSCSI Protocol Error, Connection Reset",
    "No reference to this command:%x",
    "Invalid URL in SLP request",
    "SLP Registration failed, error code:%x",
    "SLP DeRegistration failed, error code:%x",
    "SLP FindAttr command failed, error code:%x",
    "SLP FindSrvs command failed, error code:%x",
    "Nucleus failed to create Task",
    "Nucleus failed to create Queue",
    "Send message to queue failed",
    "Receive message from queue failed",
    "Ethernet link is down on Port :%d",
    "Ethernet link is up on Port :%d",
    "No more NET Buffer",
    "DHCP Renew request was NAK'd; But, continue to use current IP",
    "DHCP IP Lease expired; But, continue to use current IP",
    "Port failover to %d success",
    "Port failover to %d failed",
    "Port failover info: 0x%x %d %d %d",
    "Vantsec: XML Loaded: %d bytes",
    "Vantsec: Policy rules loaded",
    "Vantsec: Reconfiguration failed",
    "Vantsec: XML: Could not query EK providers",
    "Vantsec: XML: Unknown IKE algorithm",
    "Vantsec: XML: Unsupported transform option",
    "Vantsec: XML: Unknown transform flag",
    "Vantsec: XML: Could not create tunnel object",
    "Vantsec: XML: Could not allocate tunnel object",
    "Vantsec: XML: Unknown algorithm",
    "Vantsec: XML: Could not set algorithm properties",
    "Vantsec: XML: Could not create policy rule",
    "Vantsec: XML: Invalid IKE group specified",
    "Vantsec: Diffie-Hellman group %u (%u bits)",
    "Vantsec: Lifetime: %u seconds",
    "Vantsec: IKE SA Destroyed",
    "Vantsec: IPSec SA destroyed:",
    "Vantsec: AH inbound [%08x] | outbound [%08x]",
    "Vantsec: ESP inbound [%08x] | outbound [%08x]",
    "Vantsec: Rule selection failure, mask[%04x]",
    "Vantsec: SA selection failure, mask[%04x]",
    "Vantsec: CMI selection failure, mask[%04x]",
    "Vantsec: The maximum number of active Phase-1 SAs reached",
    "Vantsec: The maximum number of active Phase-1 negotiations reached",
    "Vantsec: Maximum QMode negotiations reached, rekey not done",
    "Vantsec: Maximum QMode negotiations reached, incoming rejected",
    "Vantsec: IPSec SA negotiations: %u done, %u successful, %u failed",
    "Vantsec: Rule commit fail",
    "Vantsec: Removing unused rules failed",
    "Vantsec: Overlapping policy block",
    "Vantsec: Too large policy block: size=%u, available size=%u",
    "Vantsec: Could not create service object",
    "Vantsec: Could not allocate service object",
    "Vantsec: Unknown CA flag",
    "Vantsec: Could not store certificate name",
    "Vantsec: Get certificate failed",
    "Vantsec: Get certificate o.k.",
    "Vantsec: Error adding certificate",
    "Vantsec: Error adding CRL",
    "Vantsec: Could not set certificate for tunnel",
    "Vantsec: Could not add aggressive mode secret",
    "Vantsec: Too many active aggressive mode negotiations",
    "Vantsec: Could not store certificate request result",
    "Vantsec: No more authentication keys available",
    "Vantsec: Out of memory while allocating local Phase-1 responder ID",
    "Vantsec: Aborting negotiation",
    "Vantsec: Could not start certificate request operation",
};
static_assert(std::size(cv_event_desc) == tavo::kEventDescribedCodes);

const char* const event_severity_to_str[] = {"Informational", "Warning", "Error", "Fatal"};
// The exported table's length: severities 0 to 3.
static_assert(std::size(event_severity_to_str) == 4);

static SlotArea event_entry_slots;
const ChildDef event_entry_children[] = {
    property("SequenceNumber", RO, INT, "", 1, 255, "1", stored,
             "This property displays a Sequence number of the event log entry."),
    property("TimeStamp", RO, INT, "", 1, 255, "1", stored,
             "This property displays the Time stamp in seconds since ARM boot, of the event log entry."),
    property("Severity", RO, LIST, "Fatal,Error,Warning,Informational,Unknown", 1, 255, "Unknown", stored,
             "This property indicates the severity associated with the event log entry. The severity level can be "
             "Fatal, Error, Warning or Informational. Fatal events are most severe in nature and need to be attended "
             "to immediately to restore normal operation. Error events are less severe in nature than Fatal, but they "
             "are serious enough to affect important features. It is important to clear all Fatal and Error events "
             "for a normal operation. Warning events are less critical and suggest a potential problem. Informational "
             "messages are logged upon completion of some important operations."),
    property("Description", RO, TEXT, "", 1, 255, "0", stored,
             "This property gives a text description of the event log entry."),
    property("ErrorCode", RO, INT, "", 1, 255, "1", stored,
             "This property specifies the numeric error code associated with the event log entry."),
};
const GroupDef event_entry =
    instanced("EventLogEntry", 1024, &event_entry_slots, event_entry_children,
              "This group represents an event log entry from the Tessmark firmware. This entry is obtained by TAVO "
              "during initialization and cached in TAVO. OEMHXRefreshEventLog command, available in EventLog group, "
              "has to be run to refresh the entries.");

TAVO_GROUP_BUILDER(EventLogEntry, event_entry, "Corvane/EventLog");

namespace {

// The text of one record's description: its code's format over the five
// argument words, or the record's own text, never read past the record.
void event_description(const tavo::FirmwareEventRecord& r, char* out, size_t size) {
  if (r.code >= tavo::kEventDescribedCodes) {
    snprintf(out, size, "%.*s", static_cast<int>(sizeof r.detail), reinterpret_cast<const char*>(r.detail));
    return;
  }
  uint32_t a[tavo::kEventArguments];
  memcpy(a, r.detail, sizeof a);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  snprintf(out, size, cv_event_desc[r.code], a[0], a[1], a[2], a[3], a[4]);
#pragma GCC diagnostic pop
}

// One entry from a record: false when its instance was not made.
bool event_entry_from(const tavo::FirmwareEventRecord& r, TavoNode* event_log) {
  TavoNode* entry = initialize_EventLogEntry(event_log, nullptr, nullptr, nullptr);
  if (entry == nullptr) return false;
  set_prop_val(entry, "ErrorCode", "%d", static_cast<int>(r.code));
  set_prop_val(entry, "SequenceNumber", "%d", static_cast<int32_t>(r.sequence));
  set_prop_val(entry, "TimeStamp", "%d", static_cast<int32_t>(r.time_stamp));
  if (r.severity >= std::size(event_severity_to_str)) {
    set_prop_val(entry, "Severity", "%s", "INVALID SEVERITY LEVEL!");
    set_prop_val(entry, "Description", "%s", "INVALID Description!!");
    return true;
  }
  set_prop_val(entry, "Severity", "%s", event_severity_to_str[r.severity]);
  char text[TAVO_VALUE_SIZE] = "";
  event_description(r, text, sizeof text);
  set_prop_val(entry, "Description", "%s", text);
  return true;
}

// The controller above an EventLog node, with the generation checks of
// its actions: null (status 259 on Galtor) when they refuse.
TavoNode* event_log_controller(TavoNode* event_log) {
  TavoNode* controller = event_log != nullptr ? event_log->parent : nullptr;
  if (controller == nullptr) return nullptr;
  const uint32_t generation = get_cv_type(controller);
  if (generation == TAVO_GENERATION_UNREADABLE) return nullptr;
  if (generation == tavo::kGenerationGaltor) {
    set_status(tavo::firmware::kNotOnThisController);
    return nullptr;
  }
  return controller;
}

}  // namespace

uint32_t Fill_EventLog_Entries(const void* buffer, TavoNode* event_log) {
  if (buffer == nullptr || event_log == nullptr) return 1;
  const auto* log = static_cast<const tavo::EventLogBuffer*>(buffer);
  const uint32_t count = std::min(log->count, tavo::kEventRecordsMax);
  for (uint32_t i = 0; i < count; ++i)
    if (!event_entry_from(log->records[i], event_log)) return 1;
  return 0;
}

uint32_t get_eventlog_entries(uint32_t function, uint8_t domain, uint8_t port, TavoNode* controller) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  TavoNode* event_log = internal_get_node(controller, "EventLog", TAVO_KIND_GROUP);
  if (event_log == nullptr) return 1;
  const uint32_t purged = purge_nodes_within(event_log, "EventLogEntry");
  if (purged != 0) return purged;
  auto buffer = tavo::base::counted_zeroed<tavo::EventLogBuffer>();
  if (!buffer) {
    set_status(tavo::firmware::kNoMemory);
    return 1;
  }
  // 31: more records than fit; those that fit are there.
  const uint32_t status = ioctl_get_eventlog_entries(function, buffer.get(), sizeof *buffer, domain, port,
                                                     tavo::controller::controller_instance(controller));
  if (status != 0 && status != tavo::firmware::kNoBuffer) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: ioctl_get_eventlog_entries failed with %u\n", __func__,
           static_cast<unsigned>(status));
    set_status(tavo::firmware::kEventLogReadFailed);
    return 1;
  }
  return Fill_EventLog_Entries(buffer.get(), event_log) == 0 ? 0 : 1;
}

uint32_t TAVO_get_all_eventlog(TavoNode* controller) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  if (controller == nullptr) return 1;
  const uint32_t generation = get_cv_type(controller);
  if (generation == TAVO_GENERATION_UNREADABLE) return 1;
  if (generation == tavo::kGenerationGaltor) return 0;
  tavo::firmware::FlashTarget t;
  if (!tavo::firmware::flash_target(controller, nullptr, &t)) return 1;
  // Start-up goes on without the log.
  if (get_eventlog_entries(t.port, 0, 0, controller) != 0) pdebug(TAVO_LOG_BACKEND, 2, "Eventlog failure\n");
  return 0;
}

uint32_t do_RefreshEventLog(TavoNode* event_log, TavoNode* action, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  if (vm_flag) return tavo::controller::refuse_on_vf(nullptr);
  TavoNode* controller = event_log_controller(event_log);
  tavo::firmware::FlashTarget t;
  if (!tavo::firmware::flash_target(controller, action, &t)) return 1;
  return get_eventlog_entries(t.port, t.domain, t.phys_port, controller);
}

// Sent on a virtual function too: the firmware decides.
uint32_t do_ClearEventLog(TavoNode* event_log, TavoNode* action, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  TavoNode* controller = event_log_controller(event_log);
  tavo::firmware::FlashTarget t;
  if (!tavo::firmware::flash_target(controller, action, &t)) return 1;
  const uint32_t status = ioctl_clear_event_log(t.port, t.domain, t.phys_port, t.instance);
  if (status != 0) {
    set_status(tavo::firmware::kEventLogClearFailed);
    return status;
  }
  return get_eventlog_entries(t.port, t.domain, t.phys_port, controller);
}
