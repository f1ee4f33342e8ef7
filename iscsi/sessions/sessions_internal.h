// What the session code shares: the back-end record of Session and
// Connection groups, the firmware's session records and the helpers of
// iscsi/common it uses.
#pragma once

#include <stdint.h>
#include <string.h>

#include <bitset>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "iscsi/common/iscsi_common.h"
#include "iscsi/common/record_reads.h"
#include "iscsi/common/session_record.h"
#include "iscsi/sessions/sessions.h"
#include "iscsi/common/saved_records.h"
#include "iscsi/common/saved_view.h"
#include "iscsi/target_data/login_sets.h"
#include "iscsi/target_data/node_index.h"
#include "iscsi/target_data/target_data.h"
#include "base/memory.h"
#include "transport/boot_region_records.h"
#include "transport/session_records.h"

namespace tavo::sessions {

using iscsi::delete_with_records;
using iscsi::full_address;
using iscsi::generation_of;
using iscsi::below_lhba;
using iscsi::is_word;
using iscsi::param;
using iscsi::ParamTexts;
using iscsi::put_portal;
using iscsi::put_text;
using iscsi::read_text;
using iscsi::zeroed_buffer;
using tree::next_instance;

// The back-end record of a Session or Connection, and the firmware's
// session record: iscsi/common/session_record.h.
using iscsi::private_record;
using iscsi::read_boot_flag;
using iscsi::read_record_of;
using iscsi::read_session_record;
using iscsi::SessionPrivateRecord;
using iscsi::SessionRecord;
// A new record hung in the group; false, the group unchanged, without memory.
// A Session's record is filed by its handle (see session_handles).
bool attach_record(TavoNode* group, const SessionPrivateRecord& record);
// The Sessions are filed by the handle their record holds: when the record
// is hung, and again whenever the library writes another handle in it
// (only through attach_record and this).
void note_session_handle(TavoNode* session);
// The Sessions under the Targets of a LogicalHBA by their handle: each
// Session of lhba whose record holds handle is one that
// session_handles().each(GroupKey{lhba, handle}, f) gives f.
bool holds_handle(const iscsi::GroupKey& key, TavoNode* session);
using SessionHandles = iscsi::NodeIndex<holds_handle>;
SessionHandles& session_handles();

// The back-end record of a LUN group: 0, the LUN's bytes 0-3 and 4-7 as
// REPORT LUNS lists them (each read big-endian), and the handle of the
// session whose REPORT LUNS listed it.
struct LunPrivateRecord {
  uint32_t reserved;
  uint32_t lun_high;
  uint32_t lun_low;
  uint32_t session_handle;
};
static_assert(sizeof(LunPrivateRecord) == 16);
// The LUN group's record; null for none (or no group).
LunPrivateRecord* lun_record(TavoNode* lun);
// The record's LUN in SCSI byte order.
void lun_bytes(const LunPrivateRecord& r, uint8_t out[8]);

// A session's configuration (16/6), its length asked first, read once per
// request (see read_session_record); an answer shorter than least is
// refused as a failed query is (query_failed logged, status 31). 0, or the
// failed command's status (86 for the read).
uint32_t read_session_config(uint32_t function_number, uint32_t domain, uint32_t port, uint32_t handle, size_t least,
                             const char* query_failed, SessionConfigRecord* config);

// A closed boot session of p's function loses its boot flag and, on
// Moravel, its record in the boot region; 0, or 1 (307 for the record).
uint32_t unboot_session(const tree::HandlerContext& p, TavoNode* session, bool moravel);

// A boot region (boot_region.cpp), freed with its holder.
using Region = base::Counted<IscsiRegion>;
// Whether size bytes hold a region whose records fill its TLV length
// exactly.
bool region_well_formed(const IscsiRegion* r, size_t size);
// The offset of the first boot-target record (type 3, its fixed part
// whole) with that ISID qualifier, or with that target name (without
// case), address and port; 0 for none.
size_t region_boot_target(const IscsiRegion* r, uint16_t qualifier);
// Whether a boot-target record of the region uses mutual CHAP, whose
// initiator CHAP region 2 holds.
bool region_mutual_boot_target(const IscsiRegion* r);
// Whether the firmware session logs in with mutual CHAP.
bool region_uses_mutual_chap(const FirmwareSessionRecord& s);
size_t region_boot_target_at(const IscsiRegion* r, const char* name, const char* address, const char* port);
// The offset of the session's boot-target record (0: none), by its
// ISIDQualifier, or by target name, address and port while the host's
// software initiator, which keeps no qualifier of its own, owns the
// session; false when the session's values cannot be read.
bool region_record_of(const IscsiRegion* r, TavoNode* session, size_t* at);
// The firmware session's boot-target record written to region 3 with that
// priority and number, in place of its earlier ones (and region 2 with
// its mutual CHAP); 0, or 1 logged for the caller.
uint32_t region_add_boot_target(const char* caller, uint32_t device, uint32_t domain, uint32_t port,
                                const FirmwareSessionRecord& fw, uint32_t priority, uint32_t target_number);
// The offset of the first MPIO record with both its value bytes; 0 for none.
size_t region_mpio(const IscsiRegion* r);

// The connection records a session record holds: its count, bounded by the
// one record its 1164 bytes have room for.
inline uint32_t connection_records(const FirmwareSessionRecord& r) { return r.connection_count > 0 ? 1 : 0; }
// The record's qualifier (ISID bytes 4 and 5, high byte first).
inline uint16_t record_qualifier(const FirmwareSessionRecord& r) {
  return static_cast<uint16_t>(r.isid[4] << 8 | r.isid[5]);
}
// The firmware's active session list (29/6).
struct SessionList {
  iscsi::Buffer bytes;
  uint32_t count = 0;  // bounded by the answer's length
  uint32_t handle(uint32_t i) const {
    uint32_t h = 0;
    memcpy(&h, bytes.get() + sizeof(SessionListHead) + 4 * size_t{i}, sizeof h);
    return h;
  }
};
// Asks the list's length, then reads it. *sized is false when the length
// query failed or answered 0: the query's status is returned with status
// 31. Else 0 with the list, or 1 with status 16 or 84.
uint32_t read_session_list(uint32_t function_number, uint32_t domain, uint32_t port, SessionList* list, bool* sized);
// The function's session handles, the list read once per ReadScope (a
// start-up lists the targets first); none for an empty or unsized list.
// 0, else the failed read's status.
uint32_t session_handles(uint32_t function_number, uint32_t domain, uint32_t port, std::vector<uint32_t>* handles);

// SessionStatus of the firmware's state bits.
const char* session_status_text(uint32_t state);
// A qualifier as a session shows it ("%02x%02x", parsed base 16).
uint16_t parse_qualifier(const char* text);

// The lowest qualifier that no Session, no session whose target waits and
// not also_taken holds; 65535 when none is free.
uint32_t lowest_free_qualifier(const std::bitset<65536>& also_taken);
// No qualifier held any more, and the index's room given back.
void release_qualifiers();
// Whether a Session other than session, or a session whose target waits,
// holds the qualifier (as check_for_isid_existence, which counts every
// Session).
bool qualifier_held_apart_from(uint32_t qualifier, TavoNode* session);
// The qualifier index follows the Session's stored ISIDQualifier: after
// its build, and after every write, which goes through show_qualifier
// ("%04x"; set_prop_val's result).
void note_session(TavoNode* session);
uint32_t show_qualifier(TavoNode* session, uint16_t qualifier);

// A persistent session as its two stores name it (PendingEntry); false
// when a text is missing or the target has no LogicalHBA key.
bool pending_entry(TavoNode* target, const char* name, const char* address, const char* port,
                   uint32_t isid_qualifier, const char* initiator_name, PendingEntry* e);
// Lets the note go once the action's files are written, or put back (at
// once without a batch).
void let_go_after(const PendingEntry& e);
// The request of a persistent entry (27/6) but its options block: the
// names, qualifier, flags (a boot session's when boot), ETO (0: none) and
// portal; false for a portal that names none.
bool entry_request(IscsiLoginRequest* request, const char* target_name, const char* initiator_name, const char* alias,
                   uint32_t isid_qualifier, const char* address, const char* port, bool boot, uint32_t eto);
// What settling a note asks of the firmware and the lines
// (pending_settle.cpp), in the function f the note's key names: its
// session logged out when open, then its entry removed (a removal the
// firmware refuses is the entry gone already); its entry made again as its
// session line holds it, keeping the boot flag and ETO of the one that
// stands (0, or 1); the target's own line of the noted portal removed.
void settle_removal(const tree::HandlerContext& f, const PendingEntry& e);
uint32_t settle_remake(const tree::HandlerContext& f, const PendingEntry& e);
void settle_drop_portal_line(const PendingEntry& e);
// A boot change cut short (NoteChange::Boot): the session's boot flag set
// as the boot region holds it.
void settle_boot(const tree::HandlerContext& f, const PendingEntry& e);
// A function's erase finished (NoteChange::Erase): its open sessions
// logged out, what the firmware keeps erased, the lines of its targets and
// send-target portals removed.
void settle_erase(const tree::HandlerContext& f, const PendingEntry& e);
// A persistent target of the firmware removed (28/6); 0, or the failed
// command's status (127).
uint32_t remove_firmware_entry(uint32_t function_number, uint32_t port, const char* target_name, const char* address,
                               const char* port_text, uint32_t isid_qualifier, const char* initiator_name);

// Each Session a listing makes from the firmware's records waits
// (session_waits.cpp): a waiting Session in target for record r: its group alone with its
// record and its qualifier held, the rest built from r, address and port
// (the Connection's destination) when reached, or at once in an action.
// Null when none can be made.
TavoNode* wait_session(TavoNode* target, const tree::HandlerContext& p, const FirmwareSessionRecord& r,
                       const char* address, const char* port, const char* portal_group_tag);
// What the first Connection of a waiting Session will hold: its handle and
// destination; false when the Session's subtree does not wait.
bool waiting_connection(TavoNode* session, uint32_t* handle, char address[TAVO_VALUE_SIZE],
                        char port[TAVO_VALUE_SIZE]);
// A new Session's subtree from its firmware record, after its group and
// its negotiated options: boot and persistence, login options, its
// Connection and the values shown. 0 or 1.
uint32_t fill_session(TavoNode* session, uint8_t domain, const FirmwareSessionRecord& r, const char* address,
                      const char* port);
// The Session group alone, and its children added later (session_def).
TavoNode* build_session_alone(TavoNode* target);
bool add_session_children(TavoNode* session);
// The qualifier index holds q for a Session that shows none yet.
void note_waiting_session(TavoNode* session, uint16_t q);

// "Closed" and "Login Failed" (without case): a session whose qualifier and
// node a new login to its portal takes over.
bool reusable_status(const char* status);
// The session's first Connection; null for none.
inline TavoNode* first_connection(TavoNode* session) { return get_first_instance(session, "Connection"); }
// DestinationIPAddress and DestinationPortNumber of the session's first
// Connection; false when either cannot be read.
bool session_portal(TavoNode* session, char address[TAVO_VALUE_SIZE], char port[TAVO_VALUE_SIZE]);
// What a login's choices read of a session, as reads of its SessionStatus,
// ISIDQualifier and SessionInitiatorName and of its first Connection's
// DestinationIPAddress and DestinationPortNumber answer: from one read of
// its record (once per request), nothing stored. false when such a read
// fails; has_portal false without a Connection.
struct SessionView {
  char status[TAVO_VALUE_SIZE] = "";
  uint16_t qualifier = 0;
  char initiator[TAVO_VALUE_SIZE] = "";
  char address[TAVO_VALUE_SIZE] = "";
  char port[TAVO_VALUE_SIZE] = "";
  bool has_portal = false;
};
bool session_view(TavoNode* session, SessionView* out);
// Whether the session goes to that address and port (without case).
bool goes_to(const SessionView& view, const char* address, const char* port);

// Whether the host's software initiator serves the function.
bool software_initiator(uint32_t function_number);
// The target's ETO as a read of it answers (handle_Target_ETO): "N/A"
// where it does not apply, else its first session's configuration (once
// per request), stored in the Target; the stored text without a session.
// 0, or the read's failure.
uint32_t read_target_eto(TavoNode* target, char out[TAVO_VALUE_SIZE]);
// The same as a number of seconds (0 when it reads none).
uint32_t target_eto(TavoNode* target);

// The firmware's persistent entry of a session (27/6) without its saved
// line; 0, 1 or the failed command's status (25 and 243 with their texts).
uint32_t persist_entry(TavoNode* target, const char* address, const char* port, uint32_t isid_qualifier,
                       IscsiLoginOptionsBlock* block, const char* boot, const char* initiator_name, uint32_t eto);
// The session's savetgt.txt line with the target's options (set, the ones
// the login used; read now when null), in one write: in place of the line
// of qualifier *instead_of when that is given and there, else appended. 0,
// or 1.
uint32_t save_session_line(TavoNode* target, const char* address, const char* port, uint32_t isid_qualifier,
                           const uint16_t* instead_of, const target_data::LoginOptionSet* set);

// What the tries of a session login leave for its end.
struct LoginOutcome {
  TavoNode* target = nullptr;
  tree::HandlerContext at;
  std::string name, address, port, initiator, boot;
  uint16_t first = 0;      // the qualifier the tries began with
  uint16_t qualifier = 0;  // the qualifier of the last try (the one that logged in)
  bool reused = false;     // the tries began on a reused session's entry
  bool own = false;        // the firmware's entry of qualifier was made by the tries
  target_data::LoginOptionSet options;  // the set the tries read, which the session's line keeps
};
// The engine's tries (mode 1 a session, mode 0 discovery). On success in
// mode 1 the firmware holds the entry of o->qualifier and nothing is saved
// yet; a failure leaves no entry of the tries behind. 0, or the failure.
uint32_t login_tries(TavoNode* action, TavoNode* options, tavo::IscsiLoginRequest* request, char* params,
                     const char* initiator_name, uint32_t reused, uint32_t mode, LoginOutcome* o);
// A session login that stands: a reused session that logged in under
// another qualifier gives up its old entry, and the session's line is
// saved (in place of the old one) in the login's one write of
// savetgt.txt. 0, or 1 (logged).
uint32_t login_commit(const LoginOutcome& o);
// A session login that cannot stand: the session is logged out again
// (opened) and the entry the tries made goes.
void login_undo(const LoginOutcome& o, uint32_t session_handle, bool opened);

// The low 16 bits as "%04x" writes them; out holds 5.
void write_hex4(char* out, uint16_t number);

}  // namespace tavo::sessions
