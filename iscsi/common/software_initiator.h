// The software-initiator operations, shared by every iSCSI branch.
#pragma once

#include <stdint.h>

#include "tree/tree.h"

TAVO_BEGIN_DECLS

// --- software-initiator operations: taken in place of the firmware while
// OPEN_ISCSI_DRIVER_LOADED is set. The host's software initiator does the
// work; each operation changes nothing and answers 0. ---
TAVO_EXPORT uint32_t TAVO_add_open_iscsi_target(TavoNode* target, char* params);
TAVO_EXPORT uint32_t TAVO_delete_open_iscsi_target(TavoNode* target, const char* address);
TAVO_EXPORT uint32_t TAVO_convert_mac(const char* mac, char* converted);
TAVO_EXPORT uint32_t TAVO_get_iscsi_iface(TavoNode* node, char* iface);
TAVO_EXPORT uint32_t TAVO_delete_open_iscsi_tpg(TavoNode* portal, const char* address, const char* port);
TAVO_EXPORT uint32_t TAVO_op_iscsi_login(TavoNode* target, TavoNode* portal, char* params);
TAVO_EXPORT uint32_t TAVO_discover_op_targets(TavoNode* portal, TavoNode* action, char* params);
TAVO_EXPORT uint32_t TAVO_list_op_iscsi_targets(TavoNode* lhba);
TAVO_EXPORT uint32_t TAVO_list_op_sessions_luns(TavoNode* lhba);
TAVO_EXPORT uint32_t TAVO_op_setup_connection(TavoNode* session, char* params);
TAVO_EXPORT uint32_t TAVO_op_setup_session(TavoNode* target, char* params);
TAVO_EXPORT uint32_t TAVO_op_iscsi_logout(TavoNode* session);
TAVO_EXPORT uint32_t TAVO_op_get_all_luns(TavoNode* target, TavoNode* action, char* params);
TAVO_EXPORT uint32_t TAVO_op_configure_chap(TavoNode* owner);
TAVO_EXPORT uint32_t TAVO_op_delete_chap(TavoNode* owner);
TAVO_EXPORT uint32_t TAVO_get_BlockSize(TavoNode* lun, char* text);
TAVO_EXPORT uint32_t TAVO_get_LUNSize(TavoNode* lun, char* text);
TAVO_EXPORT uint32_t delete_op_iscsi_STP(TavoNode* portal);
TAVO_EXPORT uint32_t TAVO_op_add_sendtaregtportal(TavoNode* discovery, char* params);
TAVO_EXPORT uint32_t TAVO_op_get_lun_props(TavoNode* lun, char* text);
TAVO_EXPORT uint32_t TAVO_discover_isns_targets(TavoNode* isns_server);
TAVO_EXPORT uint32_t delete_op_iscsi_isns(TavoNode* isns_server);
TAVO_EXPORT uint32_t TAVO_op_add_isns(const char* address, const char* port, TavoNode* lhba);
// Besides 0, a caller also takes 0xFFFF: no iSNS server is configured.
TAVO_EXPORT uint32_t TAVO_get_all_op_isns(TavoNode* isns);
TAVO_EXPORT uint32_t TAVO_op_iscsi_check_session(TavoNode* session);
TAVO_EXPORT uint32_t TAVO_op_get_session_attribs(TavoNode* session);
TAVO_EXPORT uint32_t TAVO_op_get_session_details(TavoNode* session);
TAVO_EXPORT uint32_t TAVO_op_set_session_connection_login_options(TavoNode* session, char* params);
TAVO_EXPORT uint32_t TAVO_op_set_intr_name(TavoNode* property, const char* name);
TAVO_EXPORT uint32_t TAVO_op_refresh_session_attribs(TavoNode* session);
TAVO_EXPORT uint32_t TAVO_op_get_isid(TavoNode* target, char* isid);

TAVO_END_DECLS
