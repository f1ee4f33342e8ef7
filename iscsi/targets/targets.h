// iSCSI discovery and targets: the LogicalHBA, SendTargetPortal, Target and
// TargetPortal branches, the login option sets of initiator, send-target
// portals and targets, the login option block of a login request, the
// saved iSCSI files, and the start-up steps the back end runs.
//
// Handlers and operations answer 0 or 1 and leave the reason of a failure
// that has a message in the last status.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include "tree/tree.h"

TAVO_BEGIN_DECLS

// --- builders: parent, creating node and action (NULL at start-up and in
// refreshes), params (six 256-byte texts or NULL). The new instance, or
// NULL when nothing was built (no free slot); no last status is set. ---
// LogicalHBA0 of an iSCSIPhysicalHBA (one per function), 77 nodes.
TAVO_EXPORT TavoNode* initialize_LogicalHBA(TavoNode* function_group, TavoNode* creating_node,
                                            TavoNode* creating_action, char* params);
// A SendTargetPortal under a Discovery group (128), 21 nodes.
TAVO_EXPORT TavoNode* initialize_SendTargetPortal(TavoNode* discovery, TavoNode* creating_node,
                                                  TavoNode* creating_action, char* params);
// A Target under a LogicalHBA (256), 26 nodes; refreshed by group_Target.
TAVO_EXPORT TavoNode* initialize_Target(TavoNode* lhba, TavoNode* creating_node, TavoNode* creating_action,
                                        char* params);
// A TargetPortal under a Target (64), 4 nodes.
TAVO_EXPORT TavoNode* initialize_TargetPortal(TavoNode* target, TavoNode* creating_node, TavoNode* creating_action,
                                              char* params);

// --- login option sets: the saved line is the master copy. Each read
// through a handler reloads the whole set from its file; each write
// rewrites the line before the tree takes the text. ---
// The six options of InitiatorLoginOptions, SendTargetPortalLoginOptions
// and TargetLoginOptions; a write obeys the digest rules (status 193, 194).
TAVO_EXPORT uint32_t handle_initiator_loginoptions(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_stploginoptions(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_target_loginoptions(TavoNode* property, char* buf, uint32_t op);
// Their Authentication options: reload and answer; the portal's stores a
// written text without touching the file, the others never store.
TAVO_EXPORT uint32_t handle_authentication_initiator_loginoptions(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_authentication_stploginoptions(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_authentication_target_loginopts(TavoNode* property, char* buf, uint32_t op);
// A target option handler for clients: as handle_target_loginoptions
// without the digest rules.
TAVO_EXPORT uint32_t handle_target_loginopts(TavoNode* property, char* buf, uint32_t op);
// Reload the set of the owner (LogicalHBA, SendTargetPortal or Target)
// into its login-options group and that group's Authentication group. A
// missing file answers 1, for a target 0 with nothing changed.
TAVO_EXPORT uint32_t TAVO_get_initiator_loginoptions(TavoNode* lhba, TavoNode* options, TavoNode* authentication);
TAVO_EXPORT uint32_t TAVO_get_stploginoptions(TavoNode* portal, TavoNode* options, TavoNode* authentication);
TAVO_EXPORT uint32_t TAVO_get_target_loginoptions(TavoNode* target, TavoNode* options, TavoNode* authentication);
// Write one option (named without regard to case) of the owner's set into
// its saved lines; a target's lines also get "True" as their persistence.
// A value holding a comma or a line break is refused with status 6.
TAVO_EXPORT uint32_t TAVO_set_initiator_loginoptions(TavoNode* lhba, TavoNode* options, TavoNode* authentication,
                                                     const char* option, const char* value);
TAVO_EXPORT uint32_t TAVO_set_stploginoptions(TavoNode* portal, TavoNode* options, TavoNode* authentication,
                                              const char* option, const char* value);
TAVO_EXPORT uint32_t TAVO_set_target_loginoptions(TavoNode* target, TavoNode* options, TavoNode* authentication,
                                                  const char* option, const char* value);

// --- the login option block of a login request (little-endian) ---
typedef struct IscsiLoginOptionsBlock {
  uint8_t flags;  // bit 0 InitialR2T, 1 ImmediateData, 2 DataPDUInOrder, 3 DataSequenceInOrder
  uint8_t error_recovery_level;
  uint8_t reserved2[2];
  uint32_t first_burst_length;
  uint32_t max_burst_length;
  uint16_t max_connections;
  uint16_t max_outstanding_r2t;
  uint16_t default_time2wait;
  uint16_t default_time2retain;
  uint8_t reserved20;
  uint8_t header_digest;  // 1 CRC32C
  uint8_t data_digest;    // 1 CRC32C
  uint8_t reserved23;
  uint32_t max_recv_data_segment_length;
  uint32_t second_data_segment_length;
  uint32_t tcp_max_segment_size;
  uint32_t tcp_window_size;
  uint8_t chap;  // 1 for One-Way or Mutual CHAP
  uint8_t reserved41[3];
  uint32_t mutual_chap;
  char initiator_chap_name[256];
  uint8_t initiator_secret[16];
  char target_chap_name[256];
  uint8_t target_secret[16];
  uint16_t initiator_chap_name_length;
  uint16_t initiator_secret_length;
  uint16_t target_chap_name_length;
  uint16_t target_secret_length;
} IscsiLoginOptionsBlock;
TAVO_STATIC_ASSERT(sizeof(IscsiLoginOptionsBlock) == 600, "IscsiLoginOptionsBlock layout");
TAVO_STATIC_ASSERT(offsetof(IscsiLoginOptionsBlock, max_connections) == 12, "IscsiLoginOptionsBlock layout");
TAVO_STATIC_ASSERT(offsetof(IscsiLoginOptionsBlock, header_digest) == 21, "IscsiLoginOptionsBlock layout");
TAVO_STATIC_ASSERT(offsetof(IscsiLoginOptionsBlock, max_recv_data_segment_length) == 24,
                   "IscsiLoginOptionsBlock layout");
TAVO_STATIC_ASSERT(offsetof(IscsiLoginOptionsBlock, chap) == 40, "IscsiLoginOptionsBlock layout");
TAVO_STATIC_ASSERT(offsetof(IscsiLoginOptionsBlock, mutual_chap) == 44, "IscsiLoginOptionsBlock layout");
TAVO_STATIC_ASSERT(offsetof(IscsiLoginOptionsBlock, initiator_chap_name) == 48, "IscsiLoginOptionsBlock layout");
TAVO_STATIC_ASSERT(offsetof(IscsiLoginOptionsBlock, initiator_secret) == 304, "IscsiLoginOptionsBlock layout");
TAVO_STATIC_ASSERT(offsetof(IscsiLoginOptionsBlock, target_chap_name) == 320, "IscsiLoginOptionsBlock layout");
TAVO_STATIC_ASSERT(offsetof(IscsiLoginOptionsBlock, target_secret) == 576, "IscsiLoginOptionsBlock layout");
TAVO_STATIC_ASSERT(offsetof(IscsiLoginOptionsBlock, initiator_chap_name_length) == 592,
                   "IscsiLoginOptionsBlock layout");

// The calling thread's default block, reset to the defaults; copy it into
// the request before filling anything in.
TAVO_EXPORT IscsiLoginOptionsBlock* get_default_login_options(void);
// Steps of the login tries, from a login-options group (1 when it has no
// Authentication group): the CHAP part when use_chap is 1, then the
// InitialR2T and ImmediateData flags; a digest byte from its option when
// use_digest is 1, else 0. A failed read answers its status.
TAVO_EXPORT uint32_t update_chap_details(TavoNode* options, IscsiLoginOptionsBlock* block, uint32_t use_chap);
TAVO_EXPORT uint32_t update_header_digest_details(TavoNode* options, IscsiLoginOptionsBlock* block,
                                                  uint32_t use_digest);
TAVO_EXPORT uint32_t update_data_digest_details(TavoNode* options, IscsiLoginOptionsBlock* block, uint32_t use_digest);
// The block from a set: mode 1 fills nothing, 3 the CHAP part only, 0 and 2
// everything; 1 for a mode above 3. The conditional form fills the CHAP
// part, header and data digests only for their flags of 1.
TAVO_EXPORT uint32_t get_login_options(TavoNode* options, IscsiLoginOptionsBlock* block, uint32_t mode);
TAVO_EXPORT uint32_t conditional_get_login_options(TavoNode* options, IscsiLoginOptionsBlock* block, uint32_t mode,
                                                   uint32_t header_flag, uint32_t data_flag, uint32_t chap_flag);
// Copies the CHAP values (mode 3) and, for the other modes up to 3, the
// flag and digest options from one login-options group to another; 0.
TAVO_EXPORT uint32_t copy_login_options(TavoNode* destination, TavoNode* source, uint32_t mode);

// --- saved iSCSI files (/etc/config/QVL/tavo/savetgt.txt, savestp.txt,
// intr_logopts.txt): lines of comma-separated fields that begin with the
// LogicalHBA key "Corvane<c>,iSCSIPhysicalHBA<p>,LogicalHBA<l>". ---
enum {
  TAVO_ENTRY_TARGET = 0,         // savetgt.txt: a target's portal and its sessions
  TAVO_ENTRY_SEND_TARGET = 1,    // savestp.txt: a send-target portal
  TAVO_ENTRY_LOGICAL_HBA = 2     // savetgt.txt: every line of a LogicalHBA
};
#define TAVO_ANY_ISID_QUALIFIER 0xFFFFFu

// The whole stream from its start as a new NUL-terminated text (free it
// with tavo_dfree), with its size and line count; NULL for no stream, an
// empty file or no memory (the outputs are then untouched).
TAVO_EXPORT char* TAVO_get_file_data(FILE* stream, uint32_t* size, uint32_t* line_count);
// Fields 1..key_count of line into fields[] (256 bytes each, cut to 255
// characters), each compared without case with keys[] (1 at the first
// difference), then fields up to field_count; 0. A field the line lacks
// leaves its text as it was.
TAVO_EXPORT uint32_t TAVO_get_iscsi_data_from_file(const char* line, char (*keys)[TAVO_VALUE_SIZE],
                                                   char (*fields)[TAVO_VALUE_SIZE], uint32_t field_count,
                                                   uint32_t key_count);
// Appends the target's line for one portal (unless it is there) and gives
// the target the login options of its source: the send-target portal for a
// discovered target (portal, or the first with the target's address), else
// the initiator. 0, or 1 (a failed save leaves its status).
TAVO_EXPORT uint32_t TAVO_add_target_into_file(TavoNode* lhba, TavoNode* target, const char* name,
                                               const char* address, const char* port, TavoNode* portal,
                                               const char* persistence);
// Appends a persistent session's line with the target's options now.
TAVO_EXPORT uint32_t TAVO_update_tgt_entry(TavoNode* lhba, TavoNode* target, const char* address, const char* port,
                                           uint32_t isid_qualifier, const char* persistence);
// 1 when a line of the kind exists for the key of the three groups: kind 1
// address and port in savestp.txt; kind 0 name, address, port and the
// qualifier (any for TAVO_ANY_ISID_QUALIFIER) in savetgt.txt. Fields are
// compared whole: names and addresses without case, numbers exactly.
TAVO_EXPORT uint32_t TAVO_check_for_duplicate_tgt(TavoNode* controller, TavoNode* function, TavoNode* lhba,
                                                  const char* name, const char* address, const char* port,
                                                  uint32_t kind, uint32_t isid_qualifier);
// Rewrites the file without the entry's lines (kinds as above; kind 2
// every savetgt.txt line of the LogicalHBA); 0 or 1.
TAVO_EXPORT uint32_t TAVO_remove_entry_from_file(TavoNode* lhba, const char* name, const char* address,
                                                 const char* port, uint32_t isid_qualifier, uint32_t kind);
// Start-up: loads the initiator's options from its line of
// intr_logopts.txt, or appends the default line and sets the defaults.
TAVO_EXPORT uint32_t TAVO_set_ini_loginopts_prop(TavoNode* lhba, char (*keys)[TAVO_VALUE_SIZE]);
// Start-up check of the three files: empty lines go; a malformed line goes
// alone, after the file as it was is kept beside it as "<name>.corrupt".
// Always 0.
TAVO_EXPORT uint32_t TAVO_check_for_corrupted_database(void);
// Moves the saved files in from their older locations under /scratch.
TAVO_EXPORT void TAVO_save_file_configuration(void);
// Appends the old file's lines that the current file lacks, then removes
// the old file; 0 (also without an old file), else 1.
TAVO_EXPORT uint32_t TAVO_backup_old_configuration(const char* old_path, const char* current_path);

// --- start-up ---
// Builds the LogicalHBA of every iSCSI function and restores the saved
// configuration; 0, or 1 when the walk ended early.
TAVO_EXPORT uint32_t TAVO_set_lhba_prop(void);
// Refreshes the DefaultETO of every target; 0.
TAVO_EXPORT uint32_t TAVO_refresh_backend_client_iscsi_targets(void);
// Lists the targets the firmware holds into Target and TargetPortal groups
// (discovered 1: as discovered, 0: as static); discovery, action and params
// are those of a refresh, NULL at start-up. Not built yet: answers 0.
TAVO_EXPORT uint32_t get_all_targets(TavoNode* lhba, uint32_t function_number, uint32_t domain, uint32_t port_number,
                                     uint32_t discovered, TavoNode* discovery, TavoNode* action, char* params);

// --- handlers and actions of the branches not built yet: stored texts,
// success ---
TAVO_EXPORT uint32_t handle_iSCSIPhysicalHBA_LogicalHBA_Enabled(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_target_type(TavoNode* property, char* buf, uint32_t op);
// iSNSEnabled of an iSCSIPhysicalHBA's iSNS group.
TAVO_EXPORT uint32_t handle_discoveryparams(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t group_Discovery(TavoNode* discovery);
TAVO_EXPORT uint32_t do_AddTarget(TavoNode* group, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_DeleteTarget(TavoNode* group, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_AddSendTargetPortal(TavoNode* group, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_DeleteSendTargetPortal(TavoNode* group, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_RefreshAvailableTargets(TavoNode* group, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_DiscoverTargets(TavoNode* group, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_ConfigureCHAP(TavoNode* group, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_DeleteCHAP(TavoNode* group, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_AddTargetPortal(TavoNode* group, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_DeleteTargetPortal(TavoNode* group, TavoNode* action, char* params);
// EraseConfiguration of an iSCSIPhysicalHBA (LogicalHBAInstanceNumber).
TAVO_EXPORT uint32_t do_EraseConfiguration(TavoNode* function_group, TavoNode* action, char* params);

TAVO_END_DECLS
