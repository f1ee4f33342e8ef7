// The IMA plug-in as the host's framework loads it: libtavo.so opens with
// dlopen, every plug-in name resolves as a C name, and the IMA names it
// exports are exactly the plug-in's.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdio.h>

#include <set>
#include <string>

namespace {

const std::set<std::string> kImaNames = {
    "IMA_AddDiscoveryAddress", "IMA_AddStaticDiscoveryTarget", "IMA_FreeMemory", "IMA_GetConnectionOidList",
    "IMA_GetConnectionProperties", "IMA_GetDiscoveryAddressOidList", "IMA_GetDiscoveryAddressProperties",
    "IMA_GetDiscoveryProperties", "IMA_GetLuOidList", "IMA_GetLuProperties", "IMA_GetSessionOidList",
    "IMA_GetSessionProperties", "IMA_GetSharedNodeOid", "IMA_GetStaticDiscoveryTargetOidList",
    "IMA_GetStaticDiscoveryTargetProperties", "IMA_GetTargetOidList", "IMA_GetTargetProperties",
    "IMA_LuReportLuns", "IMA_RemoveDiscoveryAddress", "IMA_RemoveStaticDiscoveryTarget", "IMA_SetIsnsDiscovery",
    "IMA_SetSlpDiscovery", "IMA_SetStaticDiscovery", "IMA_VMW_AddSession", "IMA_VMW_CheckSupportedParameterLevel",
    "IMA_VMW_GetConnectionStatus", "IMA_VMW_GetDiscoveryStatus", "IMA_VMW_GetInternalConfigData",
    "IMA_VMW_GetStaticDiscoveryTargetOidList", "IMA_VMW_GetStaticDiscoveryTargetProperties",
    "IMA_VMW_GetTargetOidList", "IMA_VMW_PluginCleanup", "IMA_VMW_PluginInit", "IMA_VMW_Rediscover",
    "IMA_VMW_RemoveSession", "IMA_check_session_status", "IMA_copy_ipv6_addr",
    // Node, HBAs and the plug-in
    "IMA_GetLhbaOidList", "IMA_GetLhbaProperties", "IMA_GetLnpOidList", "IMA_GetLnpProperties",
    "IMA_GetPhbaOidList", "IMA_GetPhbaProperties", "IMA_GetPhbaStatus", "IMA_GetPluginProperties",
    "IMA_PersistHbaParameters", "IMA_PhbaDownload", "IMA_VMW_GetLhbaOidList", "IMA_VMW_GetLhbaProperties",
    "IMA_VMW_GetLnpOidList", "IMA_VMW_GetLnpProperties", "IMA_VMW_GetNodeProperties", "IMA_VMW_GetPhbaProperties",
    "IMA_VMW_SetDebugLevel", "IMA_VMW_SetNodeAlias", "IMA_VMW_SetNodeName",
    // Network portals and IP settings
    "IMA_GetAddressKeys", "IMA_GetIpProperties", "IMA_GetNetworkPortStatus", "IMA_GetNetworkPortalOidList",
    "IMA_GetNetworkPortalProperties", "IMA_GetPnpOidList", "IMA_GetPnpProperties", "IMA_SetDefaultGateway",
    "IMA_SetIpConfigMethod", "IMA_SetNetworkPortalIpAddress", "IMA_SetSubnetMask", "IMA_VMW_EnableIP",
    "IMA_VMW_GetArpRedirectProperties", "IMA_VMW_GetExtendedIpProperties", "IMA_VMW_GetIpProperties",
    "IMA_VMW_GetMtuProperties", "IMA_VMW_GetNetworkPortalOidList", "IMA_VMW_GetNetworkPortalProperties",
    "IMA_VMW_GetPnpProperties", "IMA_VMW_SetArpRedirect", "IMA_VMW_SetDefaultGateway",
    "IMA_VMW_SetIpv6ConfigMethod", "IMA_VMW_SetMtu", "IMA_VMW_SetNetworkPortalIpAddress", "IMA_VMW_SetSubnetMask",
    // Authentication.
    "IMA_GetSupportedAuthMethods", "IMA_VMW_GetSupportedAuthMethods", "IMA_VMW_GetSupportedMutualAuthMethods",
    "IMA_SetInitiatorAuthMethods", "IMA_VMW_SetInitiatorAuthMethods", "IMA_VMW_SetMutualAuthMethods",
    "IMA_GetInUseInitiatorAuthMethods", "IMA_VMW_GetInUseInitiatorLocalAuthMethods", "IMA_GetInitiatorAuthParms",
    "IMA_SetInitiatorAuthParms", "IMA_VMW_SetInitiatorAuthParms", "IMA_GetInitiatorLocalAuthParms",
    "IMA_SetInitiatorLocalAuthParms", "IMA_AddLhbaMutualAuthParms", "IMA_GetLhbaMutualAuthParmsList",
    "IMA_RemoveLhbaMutualAuthParms", "IMA_GetMutualLocalAuthParms", "IMA_VMW_GetMutualAuthParms",
    "IMA_VMW_SetMutualAuthParms", "IMA_SetMutualLocalAuthParms", "IMA_SetMutualLocalAuth",
    // Login parameters.
    "IMA_GetDefaultTime2RetainProperties", "IMA_GetDefaultTime2WaitProperties", "IMA_GetErrorRecoveryLevelProperties",
    "IMA_GetFirstBurstLengthProperties", "IMA_GetMaxBurstLengthProperties", "IMA_GetMaxOutstandingR2TProperties",
    "IMA_GetMaxRecvDataSegmentLengthProperties", "IMA_GetMaxConnectionsProperties", "IMA_GetDataPduInOrderProperties",
    "IMA_GetDataSequenceInOrderProperties", "IMA_GetImmediateDataProperties", "IMA_GetInitialR2TProperties",
    "IMA_VMW_GetHeaderDigest", "IMA_VMW_GetDataDigest", "IMA_GetDigestProperties", "IMA_GetIFMarkerProperties",
    "IMA_GetIFMarkIntProperties", "IMA_GetOFMarkerProperties", "IMA_GetOFMarkIntProperties",
    "IMA_VMW_SetHeaderDigest", "IMA_VMW_SetDataDigest", "IMA_SetHeaderDigestValues", "IMA_SetDataDigestValues",
    "IMA_SetImmediateData", "IMA_SetDataPduInOrder", "IMA_SetDataSequenceInOrder", "IMA_SetInitialR2T",
    "IMA_SetIFMarkerProperties", "IMA_SetOFMarkerProperties", "IMA_SetDefaultTime2Retain", "IMA_SetDefaultTime2Wait",
    "IMA_SetErrorRecoveryLevel", "IMA_SetFirstBurstLength", "IMA_SetMaxBurstLength",
    "IMA_SetMaxRecvDataSegmentLength", "IMA_SetMaxOutstandingR2T", "IMA_SetMaxConnections",
    "IMA_SetIFMarkIntProperties", "IMA_SetOFMarkIntProperties",
};

// The plug-in's other names: its frame, conversions and state.
const char* const kFrameNames[] = {
    "driver_open", "driver_close", "ppdebug", "CheckParameters", "ValidateOidTag", "ErrorCheck",
    "GetTavoPropertyVal", "GetTavoVal", "SetTavoPropertyVal", "Tavo_Get_Child_Tags", "Tavo_Get_TargetPortal_Tags",
    "Get_Target_tag", "Covert_Hex_To_Bin", "GetInitiatorDefaultLoginParameters", "GetInitiatorParameters",
    "check_session", "Iscsi_CodeSetOldGetUtf8", "Iscsi_CodeSet_LengthInCodePoints", "Iscsi_CodeSet_UTF8ToUTF32",
    "Iscsi_CodeSet_UTF32ToUTF8", "Sample_Iscsi_ToWide", "Sample_Iscsi_ToUtf8", "Sample_Iscsi_WideLength",
    "Sample_Iscsi_WideAndUtf8Cmp", "Sample_Iscsi_WideCmp", "Iscsi_Mbsnrtowcs", "Iscsi_Wcsnrtombs", "MyOwnerId",
    "open_count", "tree_opened", "discover_status",
};

TEST(Shipped, ExportsEveryImaNameAndNoOther) {
  void* lib = dlopen(TAVO_LIBRARY_FILE, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr) << dlerror();
  for (const std::string& name : kImaNames) EXPECT_NE(dlsym(lib, name.c_str()), nullptr) << name;
  for (const char* name : kFrameNames) EXPECT_NE(dlsym(lib, name), nullptr) << name;
  dlclose(lib);

  FILE* nm = popen((std::string("nm -D --defined-only ") + TAVO_LIBRARY_FILE).c_str(), "r");
  ASSERT_NE(nm, nullptr);
  std::set<std::string> exported;
  char line[512];
  while (fgets(line, sizeof line, nm) != nullptr) {
    char name[400] = "";
    if (sscanf(line, "%*s %*s %399s", name) != 1 || std::string(name).rfind("IMA_", 0) != 0) continue;
    exported.insert(std::string(name).substr(0, std::string(name).find('@')));
  }
  EXPECT_EQ(pclose(nm), 0);
  EXPECT_EQ(exported, kImaNames);
}

}  // namespace
