// iSCSI sessions, LUNs and boot: the Session, Connection and LUN branches,
// login and logout, ISID qualifiers, sessions read back from the firmware,
// their persistence, properties and statistics, and the ETO of a target.
#pragma once

#include <stdint.h>

#include <vector>

#include "iscsi/common/software_initiator.h"
#include "transport/boot_region_records.h"
#include "transport/iscsi_records.h"
#include "tree/handler_context.h"
#include "tree/status_texts.h"
#include "tree/tree.h"
#include "tree/waiting.h"

TAVO_BEGIN_DECLS

// iSCSIBIOSEnable (the boot configuration's byte 0, 66/1 and 67/1) and
// MPIOEnabled (region 2's MPIO record) of an iSCSIPhysicalHBA.
TAVO_EXPORT uint32_t handle_iSCSIBIOSEnable(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_MPIOEnabled(TavoNode* property, char* buf, uint32_t op);

// --- the Session, Connection and LUN branches. Builders as every
// initialize_<Group>: parent, creating node and action (NULL in a rebuild),
// params (six 256-byte texts or NULL); the new instance or NULL. The
// caller hangs the back-end record in the new group's nhandle. ---
// A Session under a Target (64), 42 nodes; refreshed by group_Session.
TAVO_EXPORT TavoNode* initialize_Session(TavoNode* target, TavoNode* creating_node, TavoNode* creating_action,
                                         char* params);
// The Connection of a Session (one), 15 nodes.
TAVO_EXPORT TavoNode* initialize_Connection(TavoNode* session, TavoNode* creating_node, TavoNode* creating_action,
                                            char* params);
// A LUN under a Target (256), 12 nodes; refreshed by group_LUN.
TAVO_EXPORT TavoNode* initialize_LUN(TavoNode* target, TavoNode* creating_node, TavoNode* creating_action,
                                     char* params);

// --- login ---
// Login, Logout and ReScanLUNS of a Target; group_Target refreshes it from
// the firmware. Login and Logout answer 0 or 1 (Logout: the status of its
// last refused try), the reason in the last status.
TAVO_EXPORT uint32_t do_Login(TavoNode* target, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_Logout(TavoNode* target, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_ReScanLUNS(TavoNode* target, TavoNode* action, char* params);
TAVO_EXPORT uint32_t group_Target(TavoNode* target);
// The login engine. options: the login-options group whose HeaderParam,
// DataParam and Authentication CHAPParam pick the tries (a Target's
// TargetLoginOptions, a SendTargetPortal's options in discovery); request:
// filled by the caller, its option block rebuilt here for each try; params:
// the action's six texts (address, port; the boot text fifth); reused: 1
// when the login reopens a session whose persistent entry exists; mode 0
// a discovery login (nothing persisted), mode 1 a session login, each try
// of which is persistent in the firmware, the entry of a failed try taken
// back; the session's savetgt.txt line is written once, when a try logged
// in. 0 once a try logged in (the firmware's answer over the request's
// head), else its status (25 and 243 with their messages) or 1.
TAVO_EXPORT uint32_t TAVO_esx_login(TavoNode* action, TavoNode* options, tavo::IscsiLoginRequest* request,
                                    char* params, const char* initiator_name, uint32_t reused, uint32_t mode);
// A new Session under target with its SessionPrivateRecord (function
// number, session handle, portal group tag) and, when given, its
// negotiated options; NULL when it cannot be built. boot is unused.
TAVO_EXPORT TavoNode* setup_session(TavoNode* target, uint32_t function_number, uint32_t session_handle,
                                    const char* boot, const tavo::NegotiatedSessionOptions* options,
                                    TavoNode* creating_node, TavoNode* creating_action, char* params,
                                    const char* portal_group_tag);
// The Connection of session with its record (the connection handle) and
// its negotiated options; NULL when it cannot be built.
TAVO_EXPORT TavoNode* setup_connection(TavoNode* session, uint32_t connection_handle,
                                       const tavo::NegotiatedConnectionOptions* options, TavoNode* creating_node,
                                       TavoNode* creating_action, char* params);
// The negotiated values as texts of SessionNegotiatedLoginOptions and
// ConnectionNegotiatedLoginOptions; 0, or 1 when a property is missing.
TAVO_EXPORT uint32_t set_session_login_options(TavoNode* group, const tavo::NegotiatedSessionOptions* options);
TAVO_EXPORT uint32_t set_connection_login_options(TavoNode* group,
                                                  const tavo::NegotiatedConnectionOptions* options);

// --- ISID qualifiers: unique across every Session of the tree ---
// 1 when some Session holds the qualifier's low 16 bits (or a Session
// shows none), else 0.
TAVO_EXPORT uint32_t check_for_isid_existence(uint32_t qualifier);
// The lowest ISID qualifier no Session holds; 65535 when all are held.
TAVO_EXPORT uint32_t generate_isid_qualifier(void);
// The qualifier of a login to the target's portal (address, port): the
// given text (any base), else that of a closed or failed session to the
// portal, which is then reused (*reused 1, *reused_session), else a new
// one. The caller zeroes the outputs. 0, or 1 (status 8 for a bad text,
// 71 for one that an active session holds).
TAVO_EXPORT uint32_t TAVO_get_isid(TavoNode* target, const char* qualifier_text, const char* target_name,
                                   const char* initiator_name, const char* address, const char* port,
                                   uint32_t* reused, uint32_t* qualifier, TavoNode** reused_session);

// --- sessions from the firmware ---
// The firmware's record of one session (14/6), allocated with tavo_dmalloc
// (the caller frees it); NULL, with status 85, when it cannot be read.
TAVO_EXPORT tavo::FirmwareSessionRecord* TAVO_get_session_params(uint32_t session_handle, uint32_t function_number,
                                                                 uint32_t domain, uint32_t port);
// Whether the target shows the session whose destination address, port,
// initiator name and qualifier are params' first four texts: 0 with
// *duplicate 1 and its Session and Connection; 0 untouched when not; 1
// when a session cannot be read; 335 for a Session without its record.
TAVO_EXPORT uint32_t TAVO_check_for_duplicate_session(TavoNode* target, uint32_t function_number, uint32_t domain,
                                                      uint32_t port, char* params, uint32_t* duplicate,
                                                      TavoNode** session, TavoNode** connection);
// The session's and its connection's values from the firmware; 0 or 1.
TAVO_EXPORT uint32_t get_session_attribs(uint32_t function_number, uint32_t domain, uint32_t port,
                                         TavoNode* session);
// The connection values of a firmware record into the session's
// Connection; 0, or 1 when it has none of that handle.
TAVO_EXPORT uint32_t TAVO_update_connection_props(const tavo::FirmwareSessionRecord* record, TavoNode* session);
TAVO_EXPORT uint32_t group_Session(TavoNode* session);
// The Session of target whose first Connection goes to address and port
// (without case), or NULL.
TAVO_EXPORT TavoNode* find_session(TavoNode* target, const char* address, const char* port);
// The digests, authentication method and CHAP values of a connection into
// a Session's SessionLoginOptions (a Target's TargetLoginOptions when node
// is a Target); 0, or 1 without an Authentication group.
TAVO_EXPORT uint32_t setup_initiator_target_loginopts(TavoNode* node, const tavo::ConnectionLoginOptions* options);

// --- logout and clean-up ---
// *logged_in becomes 1 when a session of the target (mode 1: to portal)
// is neither closed nor failed; the persistence of the closed ones goes.
// anchor gives the domain and port. 0, or 1.
TAVO_EXPORT uint32_t TAVO_check_session_status(TavoNode* target, const char* target_name, uint32_t function_number,
                                               uint32_t* logged_in, TavoNode* anchor, TavoNode* portal,
                                               uint32_t mode);
// Deletes the session (its Connection first), freeing their records, and
// rescans the target's LUNs; the last deletion's result, or 1.
TAVO_EXPORT uint32_t TAVO_cleanup_sessions(TavoNode* target, TavoNode* session, uint32_t domain, uint32_t port);

// --- persistence ---
// Makes a login persistent in the firmware (27/6) and in savetgt.txt.
// block: the options to send, or NULL for the target's; boot: "True" or
// "False"; eto 0 for none. 0, 1 or the failed command's status.
TAVO_EXPORT uint32_t make_session_persistent(TavoNode* target, const char* address, const char* port,
                                             uint32_t isid_qualifier, IscsiLoginOptionsBlock* block,
                                             const char* boot, const char* initiator_name, uint32_t eto);
// Fills the persistent form of a login request (all but its option
// block); 0, or 1 (status 71 when a Session holds the qualifier).
TAVO_EXPORT uint32_t TAVO_update_target_params(tavo::IscsiLoginRequest* request, TavoNode* lhba, TavoNode* target,
                                               uint32_t isid_qualifier, const char* address, const char* port,
                                               const char* boot, const char* initiator_name, uint32_t eto);
// Removes a persistent session from the firmware (28/6, domain 0 only)
// and, unless keep_file is 1, its savetgt.txt lines; 0 or the failed
// command's status (127).
TAVO_EXPORT uint32_t delete_persistent(uint32_t function_number, uint32_t domain, uint32_t port, TavoNode* target,
                                       const char* target_name, const char* address, const char* port_text,
                                       uint32_t isid_qualifier, const char* initiator_name, uint32_t keep_file);
// Makes the target's closed and failed sessions persistent again with its
// current login options (after a change of them); 0 when each is, or 1
// (also for a target without sessions). Each session's saved line follows
// its firmware entry.
TAVO_EXPORT uint32_t TAVO_update_session_authentication(TavoNode* target);

// --- session, connection and statistics properties: fetched when read ---
TAVO_EXPORT uint32_t handle_session_properties(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_connection_properties(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_SsnAttr_properties(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_TargetAlias(TavoNode* property, char* buf, uint32_t op);
// The iSCSIStatistics of a LogicalHBA.
TAVO_EXPORT uint32_t handle_NodeAttr_properties(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_intrInstStat_properties(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_intrLoginStat_properties(TavoNode* property, char* buf, uint32_t op);
// The fetchers: every property of the family at once. group: the Session
// (get_ssnAttr_Params) or the LogicalHBA. 0, else 1 or the failed
// command's status.
TAVO_EXPORT uint32_t get_ssnAttr_Params(uint32_t function_number, uint32_t domain, uint32_t port, TavoNode* session);
TAVO_EXPORT uint32_t get_NodeAttr_Params(uint32_t function_number, uint32_t domain, uint32_t port, TavoNode* lhba);
TAVO_EXPORT uint32_t get_intr_stats_Params(uint32_t function_number, uint32_t domain, uint32_t port, TavoNode* lhba);
TAVO_EXPORT uint32_t get_login_stats_Params(uint32_t function_number, uint32_t domain, uint32_t port, TavoNode* lhba);

// --- the error-recovery timeout (ETO) of a target, kept per session ---
// The target's ETO from its first session's configuration; 0, 1 or the
// failed command's status.
TAVO_EXPORT uint32_t get_eto_prop(uint32_t function_number, uint32_t domain, uint32_t port, TavoNode* target);
// Writes eto (any base) into one session's configuration, then re-reads
// the target's; 0 or the failed command's status.
TAVO_EXPORT uint32_t set_eto_prop(uint32_t function_number, uint32_t domain, uint32_t port, TavoNode* target,
                                  const char* eto, uint32_t session_handle);
TAVO_EXPORT uint32_t handle_Target_ETO(TavoNode* property, char* buf, uint32_t op);
// Gives every Target without sessions under the LogicalHBA the
// controller's default ETO; 0 or 1.
TAVO_EXPORT uint32_t refresh_eto(TavoNode* lhba, uint32_t domain, uint32_t port);

// --- SCSI pass-through: one SCSI command to a LUN behind a session
// (59/6). device: the function's number; lun: the LUN's 8 bytes in SCSI
// order (its first four address it; NULL for none); direction 1 read, 2
// write. Each answers 0, 90 when the command did not reach the LUN, 1 for
// CHECK CONDITION (no data handed back). ---
// With data given, *data becomes the answer (data_length bytes, allocated
// with tavo_dmalloc; the caller frees it); cdb: 16 bytes or NULL.
TAVO_EXPORT uint32_t ConstructSCSIParams(uint32_t device, uint32_t domain, uint32_t port, uint32_t session_handle,
                                         const uint8_t* lun, uint32_t direction, const uint8_t* cdb,
                                         uint16_t data_length, uint8_t** data);
// REPORT LUNS: *data the answer (the caller frees it), its list never
// claiming more than the 255 entries asked at most; 5 without data.
TAVO_EXPORT uint32_t FetchReportLUNData(uint32_t device, uint32_t domain, uint32_t port, uint32_t session_handle,
                                        uint8_t** data);
// READ CAPACITY(16) for mode 1, else (10); *data the answer. 90 leaves its
// status, as the inquiries and transfers below do.
TAVO_EXPORT uint32_t FetchReadCapacityData(uint32_t device, uint32_t domain, uint32_t port, uint32_t session_handle,
                                           const uint8_t* lun, uint8_t** data, uint32_t mode);
// Standard INQUIRY into out[36]; the unit serial number page's first 255
// bytes into out[255].
TAVO_EXPORT uint32_t FetchScsiInquiryData(uint32_t device, uint32_t domain, uint32_t port, uint32_t session_handle,
                                          const uint8_t* lun, uint8_t* out);
TAVO_EXPORT uint32_t FetchLSNInquiryData(uint32_t device, uint32_t domain, uint32_t port, uint32_t session_handle,
                                         const uint8_t* lun, uint8_t* out);
// READ(10) (direction 1) or WRITE(10) of zero-filled 512-byte blocks from
// start; more than 127 blocks go in several commands.
TAVO_EXPORT uint32_t IssueSCSIReadWrite(uint32_t device, uint32_t domain, uint32_t port, uint32_t session_handle,
                                        const uint8_t* lun, uint32_t direction, int32_t start, uint16_t count);

// --- LUNs ---
// Rebuilds the target's LUN groups from the REPORT LUNS of its open
// sessions (at most 255 of one answer); the first LUN of each session
// records the creating node, action and params. answer (256 bytes, may be
// NULL): "0" when the LUNs are the ones shown before, else "1". 0, 42 (no
// session), 90 (a session failed to answer; the others scanned) or 1.
TAVO_EXPORT uint32_t get_all_luns(TavoNode* target, uint32_t domain, uint32_t port_number, TavoNode* creating_node,
                                  TavoNode* creating_action, char* params, char* answer);
// The host's own rescan before a LUN scan; 0.
TAVO_EXPORT uint32_t scan_from_os(void);
// Fill a LUN's BlockSize and LUNSize, its inquiry values, its LUNName;
// 0, else the failed command's status or 1. function_number is unused.
TAVO_EXPORT uint32_t get_read_capacity(uint32_t domain, uint32_t port, TavoNode* lun);
TAVO_EXPORT uint32_t get_std_inquiry_props(uint32_t function_number, uint32_t domain, uint32_t port, TavoNode* lun);
TAVO_EXPORT uint32_t get_lunname_prop(uint32_t domain, uint32_t port, TavoNode* lun);
TAVO_EXPORT uint32_t group_LUN(TavoNode* lun);
TAVO_EXPORT uint32_t handle_LUNNumber(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_lun_block_size(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_StdInquiry_properties(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_LUNName(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t do_StdInquiry(TavoNode* lun, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_SCSIWrite(TavoNode* lun, TavoNode* action, char* params);

// --- boot region: "/iscsidata/Port<port>/Instance0/Region<n>" of the
// function. Regions handed back are new copies (tavo_dmalloc; the caller
// frees them), NULL on failure; the input is never changed. A region whose
// records do not fill its TLV length exactly is refused. ---
TAVO_EXPORT tavo::IscsiRegion* TAVO_read_iscsi_region(uint32_t device, uint32_t domain, uint32_t port,
                                                      uint32_t region);
TAVO_EXPORT tavo::IscsiRegion* TAVO_read_iscsi_boot_region(uint32_t device, uint32_t domain, uint32_t port,
                                                           uint32_t region);
// 0 written; the command's status; 1 for no region or one beyond 32 KiB.
TAVO_EXPORT uint32_t TAVO_write_iscsi_region(uint32_t device, uint32_t domain, uint32_t port, uint32_t region,
                                             const tavo::IscsiRegion* data);
TAVO_EXPORT uint32_t TAVO_write_iscsi_boot_region(uint32_t device, uint32_t domain, uint32_t port, uint32_t region,
                                                  const tavo::IscsiRegion* data);
// Without its pad records; padded to a multiple of 4.
TAVO_EXPORT tavo::IscsiRegion* TAVO_remove_pad_tlv(const tavo::IscsiRegion* region);
TAVO_EXPORT tavo::IscsiRegion* TAVO_add_pad_tlv(const tavo::IscsiRegion* region);
// Without boot-target records: mode 1 all of them, mode 2 the session's
// (type 3 when its flags hold 0x100, type 4 when 0x400); any other mode a
// plain copy.
TAVO_EXPORT tavo::IscsiRegion* TAVO_remove_boot_tlv(const tavo::IscsiRegion* region,
                                                    const tavo::FirmwareSessionRecord* session, uint32_t mode);
// A session's boot-target record (tavo_dmalloc; the caller frees it);
// NULL when a length does not fit its field. session_node is unused.
TAVO_EXPORT tavo::BootTargetTlv* TAVO_create_TLV(const tavo::FirmwareSessionRecord* session, TavoNode* session_node,
                                                 uint32_t priority, uint32_t target_number);
// With the session's mutual CHAP name and secret records appended; without
// any initiator CHAP record.
TAVO_EXPORT tavo::IscsiRegion* TAVO_add_initiator_chap_tlv(const tavo::IscsiRegion* region,
                                                           const tavo::FirmwareSessionRecord* session);
TAVO_EXPORT tavo::IscsiRegion* TAVO_delete_initiator_chap_tlv(const tavo::IscsiRegion* region);
// Region 2 without its CHAP records, or with the session's; 0 or 1
// (nothing written).
TAVO_EXPORT uint32_t TAVO_delete_initiator_chap_region(uint32_t device, uint32_t domain, uint32_t port);
TAVO_EXPORT uint32_t TAVO_update_initiator_chap_region(uint32_t device, uint32_t domain, uint32_t port,
                                                       const tavo::FirmwareSessionRecord* session);
// Region 3 without the session's boot-target record (region 2 without the
// CHAP records when it used mutual CHAP); 0 or 1.
TAVO_EXPORT uint32_t TAVO_delete_boottarget_tlv(uint32_t function_number, uint32_t domain, uint32_t port,
                                                const tavo::FirmwareSessionRecord* record);
// The session's boot-target record written to region 3 in place of its
// earlier ones (region 2 gets its mutual CHAP credentials); 0 or 1.
TAVO_EXPORT uint32_t TAVO_add_boottarget_tlv(uint32_t function_number, uint32_t domain, uint32_t port,
                                             TavoNode* session, uint32_t priority, uint32_t target_number);

// --- boot sessions ---
// iSCSIBoot and BootTargetPriority of a Session, and its ConfigureBootTarget.
TAVO_EXPORT uint32_t handle_boot_session(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_BootTargetPriority(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t do_ConfigureBootTarget(TavoNode* session, TavoNode* action, char* params);
// Sets the session's boot flag ("True" or "False") from its current flags
// word (53/6); 0 also when it holds the value, else 1.
TAVO_EXPORT uint32_t TAVO_configure_boot_target(TavoNode* session, uint32_t flags, const char* value,
                                                uint32_t function_number, uint32_t domain, uint32_t port);
// 0 when no boot target of the LogicalHBA has that priority ("Primary",
// "Secondary"; any other text is free), 341 when one has, 1 on failure.
TAVO_EXPORT uint32_t TAVO_check_boot_target_priority(TavoNode* lhba, const char* priority);
// The number of the LogicalHBA's targets whose first session is a boot
// session; 0, or 1.
TAVO_EXPORT uint32_t TAVO_check_boot_target_num(TavoNode* lhba, uint8_t* count);
// The boot value and priority of a session: the flag, and on Moravel its
// boot-target record. 0, 1 (258, 306, 307) or 341 (nothing changed).
TAVO_EXPORT uint32_t TAVO_configure_boot_params(TavoNode* session, const char* boot, const char* priority);
// A changed boot setting applied by logging the session out (boot "False":
// removing it) and in again; 0 or the failure's status. The Session is
// gone when it returns.
TAVO_EXPORT uint32_t TAVO_refresh_boot_session(uint32_t function_number, uint32_t domain, uint32_t port,
                                               TavoNode* target, TavoNode* session,
                                               const tavo::FirmwareSessionRecord* record, const char* boot,
                                               const char* priority);
// Logs a boot session out (three tries), removes its nodes and
// persistence and rescans the target's LUNs; 0, or 1.
TAVO_EXPORT uint32_t TAVO_remove_boot_session(uint32_t function_number, uint32_t domain, uint32_t port,
                                              TavoNode* target, TavoNode* session,
                                              const tavo::FirmwareSessionRecord* record);

// --- boot LUN, BIOS, MPIO and DHCP boot discovery ---
TAVO_EXPORT uint32_t handle_BootLUN(TavoNode* property, char* buf, uint32_t op);
// (DiscoverBootTargetThruDHCP, whose change deletes targets: iscsi/targets/targets.h.)

TAVO_END_DECLS

#ifdef __cplusplus
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "iscsi/common/packed_records.h"
#include "iscsi/common/saved_records.h"

namespace tavo::iscsi {
class SavedBatch;
}

namespace tavo::sessions {

// Leaves code with its registered text (base/status_registry.h) in the last
// status.
void sessions_status(uint32_t code);
// The branch's wordings of 90 beside its text for a login: a logout's and a
// rescan's LUNs not all read, and a SCSI command that did not reach the
// LUN.
extern const base::StatusWording kLogoutLunsMissing;
extern const base::StatusWording kRescanLunsMissing;
extern const base::StatusWording kLunInfoFailed;

// The library stops: the branch's indexes of Sessions go, with their room.
void release_session_stores();

// The function's sessions while a LogicalHBA's targets wait, part of what
// they wait with (iscsi/targets/lhba_startup.cpp): the list and each
// record start-up read, and of each session the build would show (one
// with a connection record) its handle, a hash of its target's name
// without case and its qualifier. Those qualifiers count as in use while
// held, so that a new session elsewhere takes none of them; a listing of
// one Target leaves the records of other targets' sessions unread (a name
// that only shares another's hash costs a read). The LogicalHBA's wait
// holds it: the data of a wait of instances (tree::first_instances_wait)
// is one, by which the branch reaches it. Records may hold CHAP secrets:
// none stays behind in freed memory.
class WaitingSessions {
 public:
  WaitingSessions() = default;
  ~WaitingSessions() { let_go(); }
  WaitingSessions(const WaitingSessions&) = delete;
  WaitingSessions& operator=(const WaitingSessions&) = delete;
  // Reads the function's list and each record. 0, else the failed read's
  // status, nothing held.
  uint32_t hold(TavoNode* lhba);
  // This process has added a session to the function while its targets
  // wait (an add beside them), inside the ReadScope that read its list and
  // the new records again: only the new records are read; when a read
  // fails, the build reads them all anew. p: the LogicalHBA's context.
  void renew(const tree::HandlerContext& p);
  // The Sessions are about to be built, inside a ReadScope: what was read
  // answers the build's reads unless a command has changed the sessions
  // since. Nothing is held after.
  void release(TavoNode* lhba);
  // Nothing is held after, and nothing answers a build.
  void let_go();
  // Whether another process changed the root since the hold: the sessions
  // held may have ended and others begun, and what start-up read answers
  // no build (the qualifiers held follow the firmware's list before the
  // next question of one: follow_waiting_sessions).
  bool outdated() const;
  // The qualifiers held, after another process's change, are those of the
  // sessions listed now that no built Session shows: those held before
  // kept, a new one's record read. Until its reads go through, it holds
  // what it held.
  void follow(TavoNode* lhba);
  // The held session of handle goes to a target named otherwise than the
  // name hashed (target_name_hash).
  bool named_otherwise(uint32_t handle, uint64_t name) const;

 private:
  struct Shown {
    uint32_t handle;
    uint16_t qualifier;
    uint64_t target;
  };
  bool listed_ = false;  // the list was read (it may be empty)
  std::vector<uint32_t> handles_;
  std::vector<uint32_t> record_at_;  // per handle, its record's place among records_, then added_
  // Packed: they wait long, one per target.
  iscsi::PackedRecords<FirmwareSessionRecord> records_;
  // Those read after start-up: apart, so that start-up's, packed to their
  // size, are never copied again.
  iscsi::PackedRecords<FirmwareSessionRecord> added_;
  uint64_t changes_ = 0;     // noted by the last read
  std::vector<Shown> shown_;  // by handle; each qualifier counted as in use
  std::vector<uint64_t> held_;  // shown_'s qualifiers as bits, 64 a word
  friend const std::vector<uint64_t>& waiting_qualifiers();
  bool holding_ = false;  // from a hold until let go
  uint64_t followed_ = 0;  // the count of other processes' changes followed
  // shown_ becomes shown.
  void show(std::vector<Shown> shown);
};
// Another process changed the root (a keeper of the gate's,
// backend/hooks.cpp): every WaitingSessions held is outdated, and targets
// still waiting are built from the files and the adapter as they are when
// reached, not from what start-up read. The count of such changes, which
// what waits compares with the count it was read at.
void outdate_waiting_sessions();
uint64_t outside_root_changes();
// The qualifiers every LogicalHBA's waiting sessions hold, as the firmware
// lists them after another process's change; every question of a
// qualifier in use asks it first.
void follow_waiting_sessions();
// The qualifiers every LogicalHBA's waiting sessions hold, as bits (64 a
// word, up to the highest held): made from the waits again only when some
// WaitingSessions' qualifiers changed.
const std::vector<uint64_t>& waiting_qualifiers();
// The waiting sessions of a LogicalHBA whose targets wait; null when they
// do not.
inline WaitingSessions* waiting_sessions_of(const TavoNode* lhba) {
  return static_cast<WaitingSessions*>(tree::waiting_data(lhba));
}

// The firmware's active sessions listed into the Session and Connection
// groups of the LogicalHBA's targets (only target's, whose sessions go
// first, when given); sessions the tree shows already stay. A session
// whose target the tree lacks stops the listing, so that the step above
// that makes targets can give it one. One that cannot be placed (its
// record unreadable, its target without its portal) is told in the log
// with the reason and passed over: it never ends the listing.
class SessionListing {
 public:
  static constexpr uint32_t kTargetMissing = 0xFFFFFFFFu;
  SessionListing();
  ~SessionListing();
  SessionListing(const SessionListing&) = delete;
  SessionListing& operator=(const SessionListing&) = delete;
  // Reads the firmware's list (params: six 256-byte texts of work space, or
  // null). 0, else the failure's status; an empty list lists nothing.
  uint32_t start(TavoNode* lhba, uint32_t function_number, uint32_t domain, uint32_t port_number, TavoNode* target,
                 char* params);
  // Lists on from where it stopped: 0 at the end, kTargetMissing at a
  // session whose target the tree lacks (missing()).
  uint32_t run();
  // The record of the session run() stopped at.
  const FirmwareSessionRecord* missing() const;
  // Lists that session into owner, or (none) passes it over, told in the
  // log. 0; 1 when run() stopped at none.
  uint32_t own(TavoNode* owner);

 private:
  struct State;
  std::unique_ptr<State> state_;
};
// A change of a target's login options, write (its lines, in batch, the
// action's batch), with the target's closed and failed sessions persisted
// again with them: refused whole, nothing changed, when a session's
// qualifier is held elsewhere (71); else batch written, then each session's
// firmware entry made again. 0 when every session is persistent again;
// else 1 with the reason, each session's line then as its entry stands
// (the new options, its lines from before, or none once the entry is gone).
uint32_t change_target_options(iscsi::SavedBatch& batch, TavoNode* target, const std::function<uint32_t()>& write);

// DiscoverBootTargetThruDHCP of a LogicalHBA as a read of it answers:
// "N/A" on CV2, else "Enabled" or "Disabled" from the firmware's BIOS
// configuration (status 343 when it cannot be read), stored in its group.
// 0 or 1.
uint32_t dhcp_boot_discovery(TavoNode* lhba, char out[256]);

// The Sessions of the LogicalHBA's Targets whose handle the firmware no
// longer lists go: another process ended them. 0, else the failed list
// read's status, nothing deleted.
uint32_t drop_ended_sessions(TavoNode* lhba);

// A whole listing; a session whose target is missing is passed over.
uint32_t list_target_sessions(TavoNode* lhba, uint32_t function_number, uint32_t domain, uint32_t port_number,
                              TavoNode* target, char* params);

// A persistent session's two stores, the firmware's persistent target and
// the session's line of savetgt.txt (pending_entries.cpp): a change of
// both notes its sessions first (note_pending, one durable write for all;
// 0, or 1 when they could not be noted: the change goes on, unguarded
// against a cut, and the failure is logged) and lets each go once both
// stores are done, or once the change is taken back whole. settle_pending
// makes the firmware agree with the lines for every note a change cut
// short left, or another process left, as its change says (NoteChange): a
// session whose entry goes is logged out first. Start-up settles
// (at_start: every note, and the file is left empty but for notes it
// cannot settle yet), as does a call that finds another process changed
// the root. drop_finished_notes, at the last exit, empties the file when
// it holds only notes of this process's changes that were done, so that a
// start has nothing to settle.
//
// What a change does, and so what settles its note:
//  Session: a session made persistent, or one ended: its session line
//   tells; without it the entry goes.
//  AddedPortal: the same, the target's line of the portal added in the
//   same write as the session's: a write cut short that kept the one
//   without the other loses that line too (at a start; a live process
//   leaves the note to it).
//  Deletion: the session's target (or portal) deleted: the portal's own
//   line tells; gone, the entry goes (a session only the firmware held has
//   no line of its own).
//  Options: the entry made again with the target's new options, which its
//   session line holds first: with the line the entry is made again as the
//   line holds it; without, it goes.
//  Erase: a function's configuration erased (its key alone), which neither
//   store can take back: the next start finishes it, every session of the
//   function logged out, what the firmware keeps erased, every saved line
//   of its targets and send-target portals removed and its initiator's
//   options back to the defaults. Once done, a note Erased follows it,
//   which settles nothing.
//  Boot: on Moravel, the session's boot flag changed, then its record in
//   the boot region, which both ways is written last and so tells: the
//   next start sets the flag as the region holds the session (a session
//   that went settles nothing).
//  BootOptions: Options of a boot session, whose flag and, on Moravel,
//   boot record the change takes away before the entry is made again:
//   the entry is made again a boot session's, with its record as a
//   finished change writes it.
enum class NoteChange : uint8_t { Session, AddedPortal, Deletion, Options, Erase, Erased, Boot, BootOptions };
struct PendingEntry {
  iscsi::LhbaKey key;
  std::string name, address, port, initiator;
  uint32_t qualifier = 0;
  NoteChange change = NoteChange::Session;
};
uint32_t note_pending(std::span<const PendingEntry> entries);
// The erase of the LogicalHBA's function noted in *e (false when it could
// not be), for the action to let go once it answered: only a cut leaves it.
bool note_erase(TavoNode* lhba, PendingEntry* e);
void let_go_pending(const PendingEntry& e);
void settle_pending(bool at_start = false);
void drop_finished_notes();
// Another process changed the root (a keeper of the gate's,
// backend/hooks.cpp): what this process knows of the notes' file goes,
// read again before its next note.
void forget_known_notes();

}  // namespace tavo::sessions
#endif
