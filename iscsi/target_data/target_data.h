// The iSCSI data the session and target steps share: the login option sets
// of initiator, send-target portals and targets as their saved lines hold
// them, the login option block of a login request, the saved iSCSI files,
// and the lookups of targets and their portals in the tree.
//
// Calls answer 0 or 1 and leave the reason of a failure that has a message
// in the last status.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include "transport/login_options_block.h"
#include "tree/tree.h"

TAVO_BEGIN_DECLS

// --- login option sets: the saved line is the master copy. ---
// Their Authentication options: reload and answer; the portal's stores a
// written text without touching the file, the others never store.
TAVO_EXPORT uint32_t handle_authentication_initiator_loginoptions(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_authentication_stploginoptions(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_authentication_target_loginopts(TavoNode* property, char* buf, uint32_t op);
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

// --- the login option block of a login request: transport/login_options_block.h ---
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
// the target the login options of its source: its own saved line when it
// has one, else the send-target portal for a discovered target (portal, or
// the first with the target's address), else the initiator. 0, or 1 (a
// failed save leaves its status).
TAVO_EXPORT uint32_t TAVO_add_target_into_file(TavoNode* lhba, TavoNode* target, const char* name,
                                               const char* address, const char* port, TavoNode* portal,
                                               const char* persistence);
// Appends a persistent session's line with the target's options now.
TAVO_EXPORT uint32_t TAVO_update_tgt_entry(TavoNode* lhba, TavoNode* target, const char* address, const char* port,
                                           uint32_t isid_qualifier, const char* persistence);
// 1 when a line of the kind exists for the key of the three groups: kind 1
// address and port in savestp.txt; kind 0 name, address, port and the
// qualifier (any for TAVO_ANY_ISID_QUALIFIER) in savetgt.txt. Fields are
// compared whole: names and addresses without case, ports by number, the
// qualifier exactly. Lines are saved with their ports in decimal.
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

// --- targets and target portals ---
// The first TargetPortal at this address (exactly) and port (by number:
// "0xCBC" is 3260); an empty or NULL text matches any. NULL for none.
TAVO_EXPORT TavoNode* find_target_portal(TavoNode* target, const char* address, const char* port);
// 0 and *instance for the portal at address (exactly) and port (by number,
// or any when empty); 1 for none.
TAVO_EXPORT uint32_t validate_target_portal(TavoNode* target, uint32_t* instance, const char* address,
                                            const char* port);
// TargetType from the target's first line of savetgt.txt (unchanged
// without one); 0, or 1.
TAVO_EXPORT uint32_t get_target_type(TavoNode* target);
// TargetType: a read refreshes it from savetgt.txt.
TAVO_EXPORT uint32_t handle_target_type(TavoNode* property, char* buf, uint32_t op);

TAVO_END_DECLS
