// The software-initiator operations. With OPEN_ISCSI_DRIVER_LOADED set the
// host's own initiator owns sessions, targets and LUNs: the library's
// callers take these in place of the firmware, and there is nothing for
// the library to do.
#include "iscsi/common/software_initiator.h"

uint32_t TAVO_add_open_iscsi_target(TavoNode*, char*) { return 0; }
uint32_t TAVO_delete_open_iscsi_target(TavoNode*, const char*) { return 0; }
uint32_t TAVO_convert_mac(const char*, char*) { return 0; }
uint32_t TAVO_get_iscsi_iface(TavoNode*, char*) { return 0; }
uint32_t TAVO_delete_open_iscsi_tpg(TavoNode*, const char*, const char*) { return 0; }
uint32_t TAVO_op_iscsi_login(TavoNode*, TavoNode*, char*) { return 0; }
uint32_t TAVO_discover_op_targets(TavoNode*, TavoNode*, char*) { return 0; }
uint32_t TAVO_list_op_iscsi_targets(TavoNode*) { return 0; }
uint32_t TAVO_list_op_sessions_luns(TavoNode*) { return 0; }
uint32_t TAVO_op_setup_connection(TavoNode*, char*) { return 0; }
uint32_t TAVO_op_setup_session(TavoNode*, char*) { return 0; }
uint32_t TAVO_op_iscsi_logout(TavoNode*) { return 0; }
uint32_t TAVO_op_get_all_luns(TavoNode*, TavoNode*, char*) { return 0; }
uint32_t TAVO_op_configure_chap(TavoNode*) { return 0; }
uint32_t TAVO_op_delete_chap(TavoNode*) { return 0; }
uint32_t TAVO_get_BlockSize(TavoNode*, char*) { return 0; }
uint32_t TAVO_get_LUNSize(TavoNode*, char*) { return 0; }
uint32_t delete_op_iscsi_STP(TavoNode*) { return 0; }
uint32_t TAVO_op_add_sendtaregtportal(TavoNode*, char*) { return 0; }
uint32_t TAVO_op_get_lun_props(TavoNode*, char*) { return 0; }
uint32_t TAVO_discover_isns_targets(TavoNode*) { return 0; }
uint32_t delete_op_iscsi_isns(TavoNode*) { return 0; }
uint32_t TAVO_op_add_isns(const char*, const char*, TavoNode*) { return 0; }
uint32_t TAVO_get_all_op_isns(TavoNode*) { return 0; }
uint32_t TAVO_op_iscsi_check_session(TavoNode*) { return 0; }
uint32_t TAVO_op_get_session_attribs(TavoNode*) { return 0; }
uint32_t TAVO_op_get_session_details(TavoNode*) { return 0; }
uint32_t TAVO_op_set_session_connection_login_options(TavoNode*, char*) { return 0; }
uint32_t TAVO_op_set_intr_name(TavoNode*, const char*) { return 0; }
uint32_t TAVO_op_refresh_session_attribs(TavoNode*) { return 0; }
uint32_t TAVO_op_get_isid(TavoNode*, char*) { return 0; }
