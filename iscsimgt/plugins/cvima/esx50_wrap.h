/* The IMA plug-in's exported entry points and the frame they stand on.
 *
 * Every entry point answers an IMA status. Object ids carry the tag of the
 * tree node that stands for the object (valid until the tree is rebuilt)
 * and the owner id given to IMA_VMW_PluginInit. Lists and records the
 * plug-in hands out are malloc blocks the host frees with IMA_FreeMemory.
 * Every call is safe from any thread, and every call that takes a pointer
 * answers a failure for a null one it needs (0xC0000000, or the failure
 * value the call already has) instead of stopping. */
#ifndef CVIMA_ESX50_WRAP_H
#define CVIMA_ESX50_WRAP_H

#include <stdint.h>

#include "iscsimgt/plugins/cvima/esx50_codeset.h"
#include "iscsimgt/plugins/cvima/ima.h"

TAVO_BEGIN_DECLS

/* Plug-in state: the owner id of every object id, the opens not yet
 * closed, whether the plug-in holds the tree, and 2 once a rediscovery step
 * failed. Written under the plug-in's lock; read them through the calls. */
TAVO_EXPORT extern uint32_t MyOwnerId;
TAVO_EXPORT extern int32_t open_count;
TAVO_EXPORT extern uint32_t tree_opened;
TAVO_EXPORT extern uint32_t discover_status;

/* --- Lifecycle, memory and log --- */
TAVO_EXPORT IMA_STATUS IMA_VMW_PluginInit(IMA_UINT32 owner_id);
TAVO_EXPORT void IMA_VMW_PluginCleanup(void);
TAVO_EXPORT IMA_STATUS IMA_FreeMemory(void* memory);
TAVO_EXPORT void driver_open(void);
TAVO_EXPORT void driver_close(void);
/* Appends the formatted text to the plug-in log, as it is. */
TAVO_EXPORT void ppdebug(const char* format, ...) __attribute__((format(printf, 1, 2)));

/* --- Object ids and statuses --- */
/* 0 when the id suits an entry point accepting the types whose bits are set. */
TAVO_EXPORT IMA_STATUS CheckParameters(IMA_UINT32 object_type, IMA_UINT32 owner_id, IMA_UINT32 sequence_low,
                                       IMA_UINT32 sequence_high, IMA_UINT32 accepted_types);
TAVO_EXPORT IMA_STATUS ValidateOidTag(IMA_UINT32 object_type, IMA_UINT32 owner_id, IMA_UINT32 sequence_low,
                                      IMA_UINT32 sequence_high);
/* A tree status as an IMA status: 0 stays, -1 is not found, every other
 * tree failure is an invalid parameter, IMA statuses pass. */
TAVO_EXPORT IMA_STATUS ErrorCheck(IMA_UINT32 status);
TAVO_EXPORT IMA_STATUS IMA_GetSharedNodeOid(IMA_OID* node_oid);

/* --- The tree, by names (values are 256-byte texts; tag arrays hold
 *     TAVO_MAX_INSTANCES entries) --- */
TAVO_EXPORT uint32_t GetTavoPropertyVal(uint32_t tag, const char* property, char* value);
TAVO_EXPORT uint32_t GetTavoVal(uint32_t tag, const char* group, const char* property, char* value);
TAVO_EXPORT uint32_t SetTavoPropertyVal(uint32_t tag, const char* group, const char* property, const char* value);
TAVO_EXPORT uint32_t Tavo_Get_Child_Tags(uint32_t tag, const char* group, uint32_t* tags, uint32_t* count);
TAVO_EXPORT uint32_t Tavo_Get_TargetPortal_Tags(const uint32_t* target_tags, uint32_t* portal_tags,
                                                uint32_t target_count, uint32_t* portal_count);
TAVO_EXPORT uint32_t Get_Target_tag(uint32_t tag, uint32_t* parent_tag);
TAVO_EXPORT IMA_STATUS Covert_Hex_To_Bin(IMA_BYTE* bytes, const char* text, int32_t length, int32_t max_bytes);
/* The 16 bytes as eight groups of four lower-case digits, into 256 bytes;
 * 0. */
TAVO_EXPORT uint32_t IMA_copy_ipv6_addr(char* text, const IMA_IP_ADDRESS* address);
TAVO_EXPORT IMA_STATUS GetInitiatorDefaultLoginParameters(IMA_UINT32 object_type, IMA_UINT32 owner_id,
                                                          IMA_UINT32 sequence_low, IMA_UINT32 sequence_high,
                                                          IMA_MIN_MAX_VALUE* value, const char* name);
TAVO_EXPORT IMA_STATUS GetInitiatorParameters(IMA_UINT32 object_type, IMA_UINT32 owner_id, IMA_UINT32 sequence_low,
                                              IMA_UINT32 sequence_high, IMA_BOOL_VALUE* value, const char* name);
/* Selector 4: flags[i] = 1 when session i of the target is a boot session. */
TAVO_EXPORT IMA_STATUS IMA_VMW_GetInternalConfigData(IMA_OID oid, IMA_UINT32 selector, IMA_UINT32* flags,
                                                     IMA_UINT32 count);

/* --- Wide fields (entries: the field's length in characters) --- */
TAVO_EXPORT IMA_STATUS Sample_Iscsi_ToWide(IMA_WCHAR* dest, const char* src, IMA_UINT32 entries);
/* Fails, leaving dest as it was, when the text and its NUL do not fit. */
TAVO_EXPORT IMA_STATUS Sample_Iscsi_ToUtf8(char* dest, const IMA_WCHAR* src, IMA_UINT32 size);
TAVO_EXPORT int32_t Sample_Iscsi_WideLength(const IMA_WCHAR* src);
TAVO_EXPORT IMA_STATUS Sample_Iscsi_WideAndUtf8Cmp(const IMA_WCHAR* wstr, const char* cstr, IMA_UINT32 len);
TAVO_EXPORT int Sample_Iscsi_WideCmp(const IMA_WCHAR* a, const IMA_WCHAR* b, IMA_UINT32 len);
TAVO_EXPORT IMA_STATUS Iscsi_Mbsnrtowcs(IMA_WCHAR* dest, const char* src, IMA_UINT32 source_bytes,
                                        IMA_UINT32 entries);
TAVO_EXPORT IMA_STATUS Iscsi_Wcsnrtombs(char* dest, const IMA_WCHAR* src, IMA_UINT32 source_characters,
                                        IMA_UINT32 size);

/* --- Discovery --- */
TAVO_EXPORT IMA_STATUS IMA_GetDiscoveryProperties(IMA_OID oid, IMA_DISCOVERY_PROPERTIES* props);
TAVO_EXPORT IMA_STATUS IMA_VMW_GetDiscoveryStatus(IMA_OID oid, IMA_UINT32* status);
TAVO_EXPORT IMA_STATUS IMA_SetIsnsDiscovery(IMA_OID oid, IMA_BOOL enable, IMA_ISNS_DISCOVERY_METHOD method,
                                            const IMA_HOST_ID* isns_host);
TAVO_EXPORT IMA_STATUS IMA_SetSlpDiscovery(IMA_OID oid, IMA_BOOL enable);
TAVO_EXPORT IMA_STATUS IMA_SetStaticDiscovery(IMA_OID oid, IMA_BOOL enable);
TAVO_EXPORT IMA_STATUS IMA_VMW_CheckSupportedParameterLevel(IMA_OID oid);
TAVO_EXPORT IMA_STATUS IMA_GetDiscoveryAddressOidList(IMA_OID oid, IMA_OID_LIST** list);
TAVO_EXPORT IMA_STATUS IMA_GetDiscoveryAddressProperties(IMA_OID oid, IMA_DISCOVERY_ADDRESS_PROPERTIES* props);
TAVO_EXPORT IMA_STATUS IMA_AddDiscoveryAddress(IMA_OID oid, IMA_TARGET_ADDRESS address, IMA_OID* new_oid);
TAVO_EXPORT IMA_STATUS IMA_RemoveDiscoveryAddress(IMA_OID oid);
TAVO_EXPORT IMA_STATUS IMA_GetStaticDiscoveryTargetOidList(IMA_OID oid, IMA_OID_LIST** list);
TAVO_EXPORT IMA_STATUS IMA_VMW_GetStaticDiscoveryTargetOidList(IMA_OID oid, IMA_OID_LIST** list);
TAVO_EXPORT IMA_STATUS IMA_GetStaticDiscoveryTargetProperties(IMA_OID oid,
                                                              IMA_STATIC_DISCOVERY_TARGET_PROPERTIES* props);
TAVO_EXPORT IMA_STATUS IMA_VMW_GetStaticDiscoveryTargetProperties(IMA_OID oid,
                                                                  IMA_STATIC_DISCOVERY_TARGET_PROPERTIES* props);
TAVO_EXPORT IMA_STATUS IMA_AddStaticDiscoveryTarget(IMA_OID oid, IMA_STATIC_DISCOVERY_TARGET target, IMA_OID* new_oid);
TAVO_EXPORT IMA_STATUS IMA_RemoveStaticDiscoveryTarget(IMA_OID oid);
TAVO_EXPORT IMA_STATUS IMA_VMW_Rediscover(IMA_OID oid);

/* --- Targets, LUs, sessions and connections --- */
TAVO_EXPORT IMA_STATUS IMA_GetTargetOidList(IMA_OID oid, IMA_OID_LIST** list);
TAVO_EXPORT IMA_STATUS IMA_VMW_GetTargetOidList(IMA_OID oid, IMA_OID_LIST** list);
TAVO_EXPORT IMA_STATUS IMA_GetLuOidList(IMA_OID oid, IMA_OID_LIST** list);
TAVO_EXPORT IMA_STATUS IMA_GetSessionOidList(IMA_OID oid, IMA_OID_LIST** list);
TAVO_EXPORT IMA_STATUS IMA_GetConnectionOidList(IMA_OID oid, IMA_OID_LIST** list);
TAVO_EXPORT IMA_STATUS IMA_GetTargetProperties(IMA_OID oid, IMA_TARGET_PROPERTIES* props);
TAVO_EXPORT IMA_STATUS IMA_GetLuProperties(IMA_OID oid, IMA_LU_PROPERTIES* props);
TAVO_EXPORT IMA_STATUS IMA_GetSessionProperties(IMA_OID oid, IMA_SESSION_PROPERTIES* props);
TAVO_EXPORT IMA_STATUS IMA_GetConnectionProperties(IMA_OID oid, IMA_CONNECTION_PROPERTIES* props);
TAVO_EXPORT IMA_STATUS IMA_VMW_GetConnectionStatus(IMA_OID oid, IMA_CONNECTION_STATUS* status);
TAVO_EXPORT IMA_STATUS IMA_LuReportLuns(IMA_OID oid, IMA_BOOL send_to_well_known_lun, IMA_BYTE select_report,
                                        IMA_BYTE* output, IMA_UINT* output_length, IMA_BYTE* sense,
                                        IMA_UINT* sense_length);
TAVO_EXPORT IMA_STATUS IMA_VMW_AddSession(IMA_OID oid);
TAVO_EXPORT IMA_STATUS IMA_VMW_RemoveSession(IMA_OID oid);
/* Logs in to each portal of the target that has no live session. */
TAVO_EXPORT IMA_STATUS IMA_check_session_status(uint32_t target_tag);
/* 1 when one of the sessions is live on that address and port, else 0. */
TAVO_EXPORT uint32_t check_session(const uint32_t* session_tags, uint32_t count, const char* address,
                                   const char* port);

/* --- Node, HBAs and the plug-in --- */
TAVO_EXPORT IMA_STATUS IMA_GetPhbaOidList(IMA_OID_LIST** list);
TAVO_EXPORT IMA_STATUS IMA_GetLnpOidList(IMA_OID_LIST** list);
TAVO_EXPORT IMA_STATUS IMA_GetLhbaOidList(IMA_OID_LIST** list);
TAVO_EXPORT IMA_STATUS IMA_VMW_GetLhbaOidList(IMA_OID oid, IMA_OID_LIST** list);
TAVO_EXPORT IMA_STATUS IMA_VMW_GetLnpOidList(IMA_OID oid, IMA_OID_LIST** list);
TAVO_EXPORT IMA_STATUS IMA_GetPhbaProperties(IMA_OID oid, IMA_PHBA_PROPERTIES* props);
/* The host's extended form: the same record with ten more words. */
TAVO_EXPORT IMA_STATUS IMA_VMW_GetPhbaProperties(IMA_OID oid, IMA_PHBA_PROPERTIES* props);
TAVO_EXPORT IMA_STATUS IMA_GetPhbaStatus(IMA_OID oid, IMA_PHBA_STATUS* status);
TAVO_EXPORT IMA_STATUS IMA_GetLhbaProperties(IMA_OID oid, IMA_LHBA_PROPERTIES* props);
/* Fills the same bytes without clearing the record first. */
TAVO_EXPORT IMA_STATUS IMA_VMW_GetLhbaProperties(IMA_OID oid, IMA_LHBA_PROPERTIES* props);
TAVO_EXPORT IMA_STATUS IMA_VMW_GetNodeProperties(IMA_OID oid, IMA_NODE_PROPERTIES* props);
TAVO_EXPORT IMA_STATUS IMA_VMW_SetNodeName(IMA_OID oid, const IMA_WCHAR* name);
TAVO_EXPORT IMA_STATUS IMA_VMW_SetNodeAlias(IMA_OID oid, const IMA_WCHAR* alias);
TAVO_EXPORT IMA_STATUS IMA_GetPluginProperties(IMA_OID oid, IMA_PLUGIN_PROPERTIES* props);
TAVO_EXPORT IMA_STATUS IMA_PhbaDownload(IMA_OID oid, IMA_PHBA_DOWNLOAD_IMAGE_TYPE image_type,
                                        const IMA_WCHAR* file_name);
/* Not supported: 0x80000001, nothing examined. */
TAVO_EXPORT IMA_STATUS IMA_GetLnpProperties(IMA_OID oid, IMA_LNP_PROPERTIES* props);
TAVO_EXPORT IMA_STATUS IMA_VMW_GetLnpProperties(IMA_OID oid, IMA_LNP_PROPERTIES* props);
TAVO_EXPORT IMA_STATUS IMA_PersistHbaParameters(IMA_OID oid);
TAVO_EXPORT IMA_STATUS IMA_VMW_SetDebugLevel(IMA_UINT32 level);

/* --- Network portals, ports and IP settings --- */
TAVO_EXPORT IMA_STATUS IMA_GetNetworkPortalOidList(IMA_OID oid, IMA_OID_LIST** list);
TAVO_EXPORT IMA_STATUS IMA_VMW_GetNetworkPortalOidList(IMA_OID oid, IMA_OID_LIST** list);
TAVO_EXPORT IMA_STATUS IMA_GetPnpOidList(IMA_OID oid, IMA_OID_LIST** list);
TAVO_EXPORT IMA_STATUS IMA_GetNetworkPortalProperties(IMA_OID oid, IMA_NETWORK_PORTAL_PROPERTIES* props);
/* *record: a new record the host frees with IMA_FreeMemory; none is handed
 * out on a failure (0x80000001 where the function has no IPv6). */
TAVO_EXPORT IMA_STATUS IMA_VMW_GetNetworkPortalProperties(IMA_OID oid, IMA_PORTAL_ADDRESSES** record);
TAVO_EXPORT IMA_STATUS IMA_GetPnpProperties(IMA_OID oid, IMA_PNP_PROPERTIES* props);
TAVO_EXPORT IMA_STATUS IMA_VMW_GetPnpProperties(IMA_OID oid, IMA_PNP_PROPERTIES* props);
TAVO_EXPORT IMA_STATUS IMA_GetNetworkPortStatus(IMA_OID oid, IMA_NETWORK_PORT_STATUS* status);
TAVO_EXPORT IMA_STATUS IMA_GetIpProperties(IMA_OID oid, IMA_IP_PROPERTIES* props);
TAVO_EXPORT IMA_STATUS IMA_VMW_GetIpProperties(IMA_OID oid, IMA_IP_PROPERTIES* props);
TAVO_EXPORT IMA_STATUS IMA_VMW_GetExtendedIpProperties(IMA_OID oid, IMA_EXTENDED_IP_PROPERTIES* props);
TAVO_EXPORT IMA_STATUS IMA_SetNetworkPortalIpAddress(IMA_OID oid, const IMA_IP_ADDRESS* address);
/* ipv6: configure an IPv6 address (given 0: the zero address) rather than IPv4. */
TAVO_EXPORT IMA_STATUS IMA_VMW_SetNetworkPortalIpAddress(IMA_OID oid, const IMA_IP_ADDRESS* address, IMA_BOOL ipv6,
                                                         IMA_BOOL given);
TAVO_EXPORT IMA_STATUS IMA_SetSubnetMask(IMA_OID oid, IMA_IP_ADDRESS mask);
TAVO_EXPORT IMA_STATUS IMA_VMW_SetSubnetMask(IMA_OID oid, IMA_IP_ADDRESS mask);
/* A failed write puts the previous gateway back and reports the failure. */
TAVO_EXPORT IMA_STATUS IMA_SetDefaultGateway(IMA_OID oid, IMA_IP_ADDRESS gateway);
TAVO_EXPORT IMA_STATUS IMA_VMW_SetDefaultGateway(IMA_OID oid, IMA_IP_ADDRESS gateway);
TAVO_EXPORT IMA_STATUS IMA_SetIpConfigMethod(IMA_OID oid, IMA_BOOL enable_dhcp);
TAVO_EXPORT IMA_STATUS IMA_VMW_SetIpv6ConfigMethod(IMA_OID oid, IMA_UINT32 method, IMA_BOOL enable);
/* *keys: a new list the host frees with IMA_FreeMemory. */
TAVO_EXPORT IMA_STATUS IMA_GetAddressKeys(IMA_OID oid, IMA_ADDRESS_KEYS** keys);
TAVO_EXPORT IMA_STATUS IMA_VMW_GetArpRedirectProperties(IMA_OID oid, IMA_ARP_REDIRECT_PROPERTIES* props);
TAVO_EXPORT IMA_STATUS IMA_VMW_SetArpRedirect(IMA_OID oid, IMA_BOOL enable);
TAVO_EXPORT IMA_STATUS IMA_VMW_GetMtuProperties(IMA_OID oid, IMA_MIN_MAX_VALUE* mtu);
TAVO_EXPORT IMA_STATUS IMA_VMW_SetMtu(IMA_OID oid, IMA_UINT32 mtu);
TAVO_EXPORT IMA_STATUS IMA_VMW_EnableIP(IMA_OID oid, IMA_BOOL enable);

/* --- Authentication (the CHAP settings of an initiator, discovery address
 *     or target; method lists hold NONE and CHAP only) --- */
TAVO_EXPORT IMA_STATUS IMA_GetSupportedAuthMethods(IMA_OID oid, IMA_BOOL settable, IMA_UINT* count,
                                                   IMA_AUTHMETHOD* methods);
TAVO_EXPORT IMA_STATUS IMA_VMW_GetSupportedAuthMethods(IMA_OID oid, IMA_BOOL settable, IMA_UINT* count,
                                                       IMA_AUTHMETHOD* methods);
TAVO_EXPORT IMA_STATUS IMA_VMW_GetSupportedMutualAuthMethods(IMA_OID oid, IMA_BOOL settable, IMA_UINT* count,
                                                             IMA_AUTHMETHOD* methods);
TAVO_EXPORT IMA_STATUS IMA_SetInitiatorAuthMethods(IMA_OID oid, IMA_UINT count, const IMA_AUTHMETHOD* methods);
TAVO_EXPORT IMA_STATUS IMA_VMW_SetInitiatorAuthMethods(IMA_OID oid, IMA_UINT count, const IMA_AUTHMETHOD* methods);
TAVO_EXPORT IMA_STATUS IMA_VMW_SetMutualAuthMethods(IMA_OID oid, IMA_UINT count, const IMA_AUTHMETHOD* methods);
/* The list needs room for two methods. */
TAVO_EXPORT IMA_STATUS IMA_GetInUseInitiatorAuthMethods(IMA_OID oid, IMA_UINT* count, IMA_AUTHMETHOD* methods);
TAVO_EXPORT IMA_STATUS IMA_VMW_GetInUseInitiatorLocalAuthMethods(IMA_OID oid, IMA_UINT* count,
                                                                 IMA_AUTHMETHOD* methods);
TAVO_EXPORT IMA_STATUS IMA_GetInitiatorAuthParms(IMA_OID oid, IMA_AUTHMETHOD method, IMA_INITIATOR_AUTHPARMS* parms);
TAVO_EXPORT IMA_STATUS IMA_SetInitiatorAuthParms(IMA_OID oid, IMA_AUTHMETHOD method,
                                                 const IMA_INITIATOR_AUTHPARMS* parms);
TAVO_EXPORT IMA_STATUS IMA_VMW_SetInitiatorAuthParms(IMA_OID oid, IMA_AUTHMETHOD method,
                                                     const IMA_INITIATOR_AUTHPARMS* parms);
TAVO_EXPORT IMA_STATUS IMA_GetInitiatorLocalAuthParms(IMA_OID oid, IMA_AUTHMETHOD method,
                                                      IMA_INITIATOR_AUTHPARMS* parms, IMA_BOOL* enabled);
TAVO_EXPORT IMA_STATUS IMA_SetInitiatorLocalAuthParms(IMA_OID oid, IMA_AUTHMETHOD method,
                                                      const IMA_INITIATOR_AUTHPARMS* parms, IMA_BOOL enable);
TAVO_EXPORT IMA_STATUS IMA_AddLhbaMutualAuthParms(IMA_OID oid, IMA_AUTHMETHOD method,
                                                  const IMA_INITIATOR_AUTHPARMS* parms);
/* The list is handed out only once filled. */
TAVO_EXPORT IMA_STATUS IMA_GetLhbaMutualAuthParmsList(IMA_OID oid, IMA_AUTHMETHOD method,
                                                      IMA_INITIATOR_AUTHPARMS_LIST** list);
TAVO_EXPORT IMA_STATUS IMA_RemoveLhbaMutualAuthParms(IMA_OID oid, IMA_AUTHMETHOD method,
                                                     const IMA_INITIATOR_AUTHPARMS* parms);
TAVO_EXPORT IMA_STATUS IMA_GetMutualLocalAuthParms(IMA_OID oid, IMA_AUTHMETHOD method, IMA_INITIATOR_AUTHPARMS* parms);
TAVO_EXPORT IMA_STATUS IMA_VMW_GetMutualAuthParms(IMA_OID oid, IMA_AUTHMETHOD method, IMA_INITIATOR_AUTHPARMS* parms);
TAVO_EXPORT IMA_STATUS IMA_VMW_SetMutualAuthParms(IMA_OID oid, IMA_AUTHMETHOD method,
                                                  const IMA_INITIATOR_AUTHPARMS* parms);
TAVO_EXPORT IMA_STATUS IMA_SetMutualLocalAuthParms(IMA_OID oid, IMA_AUTHMETHOD method,
                                                   const IMA_INITIATOR_AUTHPARMS* parms, IMA_BOOL enable);
TAVO_EXPORT IMA_STATUS IMA_SetMutualLocalAuth(IMA_OID oid, IMA_AUTHMETHOD method, IMA_BOOL enable);

/* --- Login parameters: the numeric ones and the ordering flags are the
 *     initiator's defaults; digests and ImmediateData can be set --- */
TAVO_EXPORT IMA_STATUS IMA_GetDefaultTime2RetainProperties(IMA_OID oid, IMA_MIN_MAX_VALUE* props);
TAVO_EXPORT IMA_STATUS IMA_GetDefaultTime2WaitProperties(IMA_OID oid, IMA_MIN_MAX_VALUE* props);
TAVO_EXPORT IMA_STATUS IMA_GetErrorRecoveryLevelProperties(IMA_OID oid, IMA_MIN_MAX_VALUE* props);
TAVO_EXPORT IMA_STATUS IMA_GetFirstBurstLengthProperties(IMA_OID oid, IMA_MIN_MAX_VALUE* props);
TAVO_EXPORT IMA_STATUS IMA_GetMaxBurstLengthProperties(IMA_OID oid, IMA_MIN_MAX_VALUE* props);
TAVO_EXPORT IMA_STATUS IMA_GetMaxOutstandingR2TProperties(IMA_OID oid, IMA_MIN_MAX_VALUE* props);
TAVO_EXPORT IMA_STATUS IMA_GetMaxRecvDataSegmentLengthProperties(IMA_OID oid, IMA_MIN_MAX_VALUE* props);
TAVO_EXPORT IMA_STATUS IMA_GetMaxConnectionsProperties(IMA_OID oid, IMA_MIN_MAX_VALUE* props);
TAVO_EXPORT IMA_STATUS IMA_GetDataPduInOrderProperties(IMA_OID oid, IMA_BOOL_VALUE* props);
TAVO_EXPORT IMA_STATUS IMA_GetDataSequenceInOrderProperties(IMA_OID oid, IMA_BOOL_VALUE* props);
TAVO_EXPORT IMA_STATUS IMA_GetImmediateDataProperties(IMA_OID oid, IMA_BOOL_VALUE* props);
TAVO_EXPORT IMA_STATUS IMA_GetInitialR2TProperties(IMA_OID oid, IMA_BOOL_VALUE* props);
/* The digest lists need room for two entries. */
TAVO_EXPORT IMA_STATUS IMA_VMW_GetHeaderDigest(IMA_OID oid, IMA_UINT* count, IMA_DIGEST_TYPE* digests);
TAVO_EXPORT IMA_STATUS IMA_VMW_GetDataDigest(IMA_OID oid, IMA_UINT* count, IMA_DIGEST_TYPE* digests);
TAVO_EXPORT IMA_STATUS IMA_GetDigestProperties(IMA_OID oid, IMA_DIGEST_PROPERTIES* props);
TAVO_EXPORT IMA_STATUS IMA_GetIFMarkerProperties(IMA_OID oid, IMA_MARKER_VALUE* props);
TAVO_EXPORT IMA_STATUS IMA_GetIFMarkIntProperties(IMA_OID oid, IMA_MARKER_VALUE* props);
TAVO_EXPORT IMA_STATUS IMA_GetOFMarkerProperties(IMA_OID oid, IMA_MARKER_VALUE* props);
TAVO_EXPORT IMA_STATUS IMA_GetOFMarkIntProperties(IMA_OID oid, IMA_MARKER_VALUE* props);
/* Only the first entry of a digest list counts. */
TAVO_EXPORT IMA_STATUS IMA_VMW_SetHeaderDigest(IMA_OID oid, IMA_UINT count, const IMA_DIGEST_TYPE* digests);
TAVO_EXPORT IMA_STATUS IMA_VMW_SetDataDigest(IMA_OID oid, IMA_UINT count, const IMA_DIGEST_TYPE* digests);
TAVO_EXPORT IMA_STATUS IMA_SetHeaderDigestValues(IMA_OID oid, IMA_UINT count, const IMA_DIGEST_TYPE* digests);
TAVO_EXPORT IMA_STATUS IMA_SetDataDigestValues(IMA_OID oid, IMA_UINT count, const IMA_DIGEST_TYPE* digests);
TAVO_EXPORT IMA_STATUS IMA_SetImmediateData(IMA_OID oid, IMA_BOOL value);
/* Not supported: each tests its id (and a Boolean its value) first. */
TAVO_EXPORT IMA_STATUS IMA_SetDataPduInOrder(IMA_OID oid, IMA_BOOL value);
TAVO_EXPORT IMA_STATUS IMA_SetDataSequenceInOrder(IMA_OID oid, IMA_BOOL value);
TAVO_EXPORT IMA_STATUS IMA_SetInitialR2T(IMA_OID oid, IMA_BOOL value);
TAVO_EXPORT IMA_STATUS IMA_SetIFMarkerProperties(IMA_OID oid, IMA_BOOL value);
TAVO_EXPORT IMA_STATUS IMA_SetOFMarkerProperties(IMA_OID oid, IMA_BOOL value);
TAVO_EXPORT IMA_STATUS IMA_SetDefaultTime2Retain(IMA_OID oid, IMA_UINT value);
TAVO_EXPORT IMA_STATUS IMA_SetDefaultTime2Wait(IMA_OID oid, IMA_UINT value);
TAVO_EXPORT IMA_STATUS IMA_SetErrorRecoveryLevel(IMA_OID oid, IMA_UINT value);
TAVO_EXPORT IMA_STATUS IMA_SetFirstBurstLength(IMA_OID oid, IMA_UINT value);
TAVO_EXPORT IMA_STATUS IMA_SetMaxBurstLength(IMA_OID oid, IMA_UINT value);
TAVO_EXPORT IMA_STATUS IMA_SetMaxRecvDataSegmentLength(IMA_OID oid, IMA_UINT value);
TAVO_EXPORT IMA_STATUS IMA_SetMaxOutstandingR2T(IMA_OID oid, IMA_UINT value);
TAVO_EXPORT IMA_STATUS IMA_SetMaxConnections(IMA_OID oid, IMA_UINT value);
TAVO_EXPORT IMA_STATUS IMA_SetIFMarkIntProperties(IMA_OID oid, IMA_UINT value);
TAVO_EXPORT IMA_STATUS IMA_SetOFMarkIntProperties(IMA_OID oid, IMA_UINT value);

TAVO_END_DECLS

#endif
