// Every group definition of the library, checked for what a hand-written
// row can get wrong: on each simulated generation the whole tree walks,
// together with a controller built fresh by the registered builders (one
// instance of every instanced group, every value still its default). Each
// new row and each new instanced group gets these checks.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <string.h>
#include <zlib.h>

#include <algorithm>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "base/validate.h"
#include "tests/support/client_fixture.h"
#include "tree/group_builder.h"

namespace tavo::test {
namespace {

// The exported descriptors as released: the handler's name and a CRC-32 of
// every byte clients read after the handler pointer (flag, count and the six
// parameters). Any change of a text, type, limit or order shows here.
struct Digest {
  const char* name;
  const char* handler;
  uint32_t crc;
};
constexpr Digest kDigests[] = {
    {"ROOT_Corvane_ChannelManagement_ConfigureChannelManagement_action", "do_ConfigureChannelManagement", 0x8ab44ebd},
    {"ROOT_Corvane_Diagnostics_EnterLoopBackMode_action", "do_EnterLoopBackMode", 0xa0cb164e},
    {"ROOT_Corvane_Diagnostics_ExitLoopBackMode_action", "do_ExitLoopBackMode", 0x70a452ff},
    {"ROOT_Corvane_Diagnostics_HostToDDRDMATest_action", "do_HostToDDRDMATest", 0x227ce704},
    {"ROOT_Corvane_Diagnostics_NetworkLoopBackTest_action", "do_NetworkLoopBackTest", 0xde98379},
    {"ROOT_Corvane_EraseAllConfiguration_action", "do_EraseAllConfiguration", 0xadc73145},
    {"ROOT_Corvane_EventLog_ClearEventLog_action", "do_ClearEventLog", 0xadc73145},
    {"ROOT_Corvane_EventLog_RefreshEventLog_action", "do_RefreshEventLog", 0xadc73145},
    {"ROOT_Corvane_ExtFATData_DisableLoggingOnAllModules_action", "do_DisableLoggingOnAllModules", 0xf266196b},
    {"ROOT_Corvane_ExtFATData_EnableLoggingOnAllModules_action", "do_EnableLoggingOnAllModules", 0x9e641c15},
    {"ROOT_Corvane_ExtFATData_RetrieveARMLog_action", "do_RetrieveARMLog", 0xfe995810},
    {"ROOT_Corvane_ExtFATData_SetDefaultLoggingConfiguration_action", "do_SetDefaultLoggingConfiguration", 0xadc73145},
    {"ROOT_Corvane_FATData_ClearFATData_action", "do_ClearFATData", 0xadc73145},
    {"ROOT_Corvane_FATData_RetrieveFATData_action", "do_RetrieveFATData", 0x9253896d},
    {"ROOT_Corvane_LinkReconfiguration_SetLinkConfigFactoryDefaults_action", "do_SetLinkConfigFactoryDefaults",
     0xadc73145},
    {"ROOT_Corvane_LinkReconfiguration_SetLinkConfigID_action", "do_SetLinkConfigID", 0xbfd1b8cd},
    {"ROOT_Corvane_NICPhysicalHBA_EraseNICConfiguration_action", "do_EraseNICConfiguration", 0xadc73145},
    {"ROOT_Corvane_NICPhysicalHBA_NetworkBootConfiguration_ConfigureVLAN_action",
     "do_NICPhysicalHBA_NetworkBootConfiguration_ConfigureVLAN", 0xc5c9e9b3},
    {"ROOT_Corvane_NICPhysicalHBA_NetworkBootConfiguration_SetNetworkBoot_action", "do_SetNetworkBoot", 0xc0f31b71},
    {"ROOT_Corvane_NICPhysicalHBA_PCI_DumpNICPCIConfigRegion_action", "do_DumpNICPCIConfigRegion", 0xfda9cc11},
    {"ROOT_Corvane_NICPhysicalHBA_ResetMACAddress_action", "do_NICPhysicalHBA_ResetMACAddress", 0xadc73145},
    {"ROOT_Corvane_Personality_SetPersonality_action", "do_SetPersonality", 0x3d543dcb},
    {"ROOT_Corvane_PortDiscoveryAndConfiguration_BaseT10G_ClearCounters_action", "do_ClearCounters", 0xadc73145},
    {"ROOT_Corvane_PortDiscoveryAndConfiguration_ChannelManagement_Channel_ConfigureQoS_action", "do_ConfigureQoS",
     0x25aff6aa},
    {"ROOT_Corvane_PortDiscoveryAndConfiguration_BaseT10G_RunTDR_action", "do_RunTDR", 0xadc73145},
    {"ROOT_Corvane_PortDiscoveryAndConfiguration_BaseT10G_SelfTest_action", "do_SelfTest", 0x7dff7f3a},
    {"ROOT_Corvane_PortDiscoveryAndConfiguration_Beacon_action", "do_Beacon", 0x5eba0597},
    {"ROOT_Corvane_PortDiscoveryAndConfiguration_DCBX_ApplicationTLVGroups_AdministratorTLVSetting_AddApplicationTLV_"
     "action",
     "do_AddApplicationTLV", 0x81029368},
    {"ROOT_Corvane_PortDiscoveryAndConfiguration_DCBX_ApplicationTLVGroups_AdministratorTLVSetting_"
     "DeleteApplicationTLV_action",
     "do_DeleteApplicationTLV", 0xea0540b1},
    {"ROOT_Corvane_PortDiscoveryAndConfiguration_DCBX_PriorityGroups_AdministratorPGSetting_PG_ConfigurePGSettings_"
     "action",
     "do_ConfigurePGSettings", 0xa05507df},
    {"ROOT_Corvane_PortDiscoveryAndConfiguration_DumpTransceiverData_action", "do_DumpTransceiverData", 0x974541df},
    {"ROOT_Corvane_PortDiscoveryAndConfiguration_ErasePortandDiscoveryConfiguration_action",
     "do_ErasePortandDiscoveryConfiguration", 0xadc73145},
    {"ROOT_Corvane_PortDiscoveryAndConfiguration_SetPortSpeed_action", "do_SetPortSpeed", 0xc8290d3a},
    {"ROOT_Corvane_ProfileManagement_ConfiguredProfile_SetMaxFunctionNumber_action", "do_SetMaxFunctionNumber",
     0x498f1abc},
    {"ROOT_Corvane_ProfileManagement_SaveProfile_action", "do_SaveProfile", 0xadc73145},
    {"ROOT_Corvane_ProfileManagement_SetFactoryDefaults_action", "do_SetFactoryDefaults", 0xadc73145},
    {"ROOT_Corvane_ProfileManagement_SetProfileId_action", "do_SetProfileId", 0x2ca6973e},
    {"ROOT_Corvane_ResetFactoryDefaults_action", "do_ResetFactoryDefaults", 0x218889e6},
    {"ROOT_Corvane_RetrieveFwCliData_action", "do_RetrieveFwCliData", 0x5145cb90},
    {"ROOT_Corvane_RetrieveTessmarkCoreDump_action", "do_RetrieveTessmarkCoreDump", 0x10b6d831},
    {"ROOT_Corvane_RetrieveTessmarkPCIDump_action", "do_RetrieveTessmarkPCIDump", 0x4d221c0d},
    {"ROOT_Corvane_UpgradeFlashROM_action", "do_UpgradeFlashROM", 0x7a8e7bd1},
    {"ROOT_Corvane_iSCSIPhysicalHBA_EraseConfiguration_action", "do_EraseConfiguration", 0x8f0d27cb},
    {"ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_AddTarget_action", "do_AddTarget", 0xc8af2261},
    {"ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_DeleteTarget_action", "do_DeleteTarget", 0x2018c32f},
    {"ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_Discovery_AddSendTargetPortal_action", "do_AddSendTargetPortal",
     0xec8380cc},
    {"ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_Discovery_DeleteSendTargetPortal_action", "do_DeleteSendTargetPortal",
     0xce83041a},
    {"ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_Discovery_RefreshAvailableTargets_action", "do_RefreshAvailableTargets",
     0xadc73145},
    {"ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_Discovery_SendTargetPortal_DiscoverTargets_action", "do_DiscoverTargets",
     0xce2f4d7c},
    {"ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_Discovery_SendTargetPortal_SendTargetPortalLoginOptions_Authentication_"
     "ConfigureCHAP_action",
     "do_ConfigureCHAP", 0x9c7bb173},
    {"ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_Discovery_SendTargetPortal_SendTargetPortalLoginOptions_Authentication_"
     "DeleteCHAP_action",
     "do_DeleteCHAP", 0xadc73145},
    {"ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_InitiatorLoginOptions_Authentication_ConfigureCHAP_action",
     "do_ConfigureCHAP", 0x9c7bb173},
    {"ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_InitiatorLoginOptions_Authentication_DeleteCHAP_action", "do_DeleteCHAP",
     0xadc73145},
    {"ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_Target_AddTargetPortal_action", "do_AddTargetPortal", 0xa35918de},
    {"ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_Target_DeleteTargetPortal_action", "do_DeleteTargetPortal", 0xc21013be},
    {"ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_Target_Login_action", "do_Login", 0x7c56d79b},
    {"ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_Target_Logout_action", "do_Logout", 0xc21013be},
    {"ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_Target_ReScanLUNS_action", "do_ReScanLUNS", 0xadc73145},
    {"ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_Target_Session_ConfigureBootTarget_action", "do_ConfigureBootTarget",
     0x7bc313f1},
    {"ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_Target_LUN_StdInquiry_action", "do_StdInquiry", 0xadc73145},
    {"ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_Target_LUN_SCSIWrite_action", "do_SCSIWrite", 0xb9abd4bc},
    {"ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_Target_TargetLoginOptions_Authentication_ConfigureCHAP_action",
     "do_ConfigureCHAP", 0x9c7bb173},
    {"ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_Target_TargetLoginOptions_Authentication_DeleteCHAP_action",
     "do_DeleteCHAP", 0xadc73145},
    {"ROOT_Corvane_iSCSIPhysicalHBA_Network_NICConfiguration_RefreshNICConfig_action", "do_RefreshNICConfig",
     0xadc73145},
    {"ROOT_Corvane_iSCSIPhysicalHBA_Network_NICConfiguration_ResetMACAddress_action",
     "do_iSCSIPhysicalHBA_Network_NICConfiguration_ResetMACAddress", 0xadc73145},
    {"ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_ARPTable_AddARPTableEntry_action", "do_AddARPTableEntry",
     0x1cafe5aa},
    {"ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_ARPTable_DeleteARPTableEntry_action",
     "do_DeleteARPTableEntry", 0x57c5705f},
    {"ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_ARPTable_RefreshARPTableEntry_action",
     "do_RefreshARPTableEntry", 0xadc73145},
    {"ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_ConfigureIPAddress_action", "do_ConfigureIPAddress",
     0xf0e976ac},
    {"ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_ConfigureVLAN_action", "do_ConfigureVLAN", 0x904a1924},
    {"ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_DHCPDisable_action", "do_DHCPDisable", 0xadc73145},
    {"ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_DHCPEnable_action", "do_DHCPEnable", 0xadc73145},
    {"ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_DeleteDefaultGateway_action", "do_DeleteDefaultGateway",
     0xadc73145},
    {"ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_IPv6Configuration_AutoAssignDisable_action",
     "do_AutoAssignDisable", 0xadc73145},
    {"ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_IPv6Configuration_AutoAssignEnable_action",
     "do_AutoAssignEnable", 0x7b9dddbe},
    {"ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_IPv6Configuration_ConfigureIPv6Address_action",
     "do_ConfigureIPv6Address", 0xa0746fce},
    {"ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_IPv6Configuration_DeleteDefaultIPv6Gateway_action",
     "do_DeleteDefaultIPv6Gateway", 0xadc73145},
    {"ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_Ping_action", "do_Ping", 0xd98caf7},
    {"ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_RouteTable_AddRouteTableEntry_action",
     "do_AddRouteTableEntry", 0x79ae3033},
    {"ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_RouteTable_DeleteRouteTableEntry_action",
     "do_DeleteRouteTableEntry", 0x4bd17a9c},
    {"ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_RouteTable_RefreshRouteTableEntry_action",
     "do_RefreshRouteTableEntry", 0xadc73145},
    {"ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_VLANDisable_action", "do_VLANDisable", 0xadc73145},
    {"ROOT_Corvane_iSCSIPhysicalHBA_PCI_DumpiSCSIPCIConfigRegion_action", "do_DumpiSCSIPCIConfigRegion", 0xfda9cc11},
    {"ROOT_Corvane_iSCSIPhysicalHBA_iSNS_ConfigureiSNSServer_action", "do_ConfigureiSNSServer", 0x4ea04476},
    {"ROOT_Corvane_iSCSIPhysicalHBA_iSNS_DeleteiSNSServer_action", "do_DeleteiSNSServer", 0xae266ee},
    {"ROOT_Corvane_iSCSIPhysicalHBA_iSNS_DiscoveryiSNSThruDHCP_action", "do_DiscoveryiSNSThruDHCP", 0xadc73145},
};

// A default that stands for "not read yet": an empty text, no address, or
// not applicable.
bool placeholder(const char* value) {
  return strcmp(value, "") == 0 || strcmp(value, "0.0.0.0") == 0 || strcmp(value, "N/A") == 0;
}
// Defaults and lists the clients know that fail their own rules; kept as
// they are.
const std::set<std::string_view> kKnownDefaults = {
    "Corvane/ActiveFirmwareVersion",
    "Corvane/FirmwareVersionOnFlash",
    "Corvane/BIOSVersion",
    "Corvane/BootCodeVersion",
    "Corvane/FFVName",
    "Corvane/NCSI/NCSIVersion",
    "Corvane/NICPhysicalHBA/Driver/DriverVersion",
    "Corvane/NICPhysicalHBA/vNIC/MaxBandwidth",
    "Corvane/iSCSIPhysicalHBA/Driver/DriverVersion",
    "Corvane/iSCSIPhysicalHBA/Network/NICConfiguration/vNIC/MaxBandwidth",
    "Corvane/iSCSIPhysicalHBA/LogicalHBA/Target/TargetISCSIName",
    "Corvane/PortDiscoveryAndConfiguration/ConfiguredSpeed",  // "0": every speed
    // Session, connection and LUN values declared with ranges their defaults miss.
    "Corvane/iSCSIPhysicalHBA/LogicalHBA/Target/Session/SessionTSIH",
    "Corvane/iSCSIPhysicalHBA/LogicalHBA/Target/Session/SessionNegotiatedLoginOptions/MaxOutstandingR2T",
    "Corvane/iSCSIPhysicalHBA/LogicalHBA/Target/Session/iSCSISessionStatistics/CmdPdus",
    "Corvane/iSCSIPhysicalHBA/LogicalHBA/Target/Session/iSCSISessionStatistics/RspPdus",
    "Corvane/iSCSIPhysicalHBA/LogicalHBA/Target/Session/iSCSISessionStatistics/TxDataOctetsHigh",
    "Corvane/iSCSIPhysicalHBA/LogicalHBA/Target/Session/iSCSISessionStatistics/RxDataOctetsHigh",
    "Corvane/iSCSIPhysicalHBA/LogicalHBA/Target/Session/Connection/RedirectedDestinationPort",
    "Corvane/iSCSIPhysicalHBA/LogicalHBA/Target/Session/Connection/RedirectedDestinationIPAddress",
    "Corvane/iSCSIPhysicalHBA/LogicalHBA/Target/LUN/LUNNumber",
    "Corvane/iSCSIPhysicalHBA/LogicalHBA/Target/LUN/DeviceVendorName",
    "Corvane/iSCSIPhysicalHBA/LogicalHBA/Target/LUN/LUNName",
    "Corvane/iSCSIPhysicalHBA/LogicalHBA/Target/LUN/LUNType",
    // Counters whose length limits are 4..0: every value fails them.
    "Corvane/iSCSIPhysicalHBA/LogicalHBA/iSCSIStatistics/SessionDigestErrors",
    "Corvane/iSCSIPhysicalHBA/LogicalHBA/iSCSIStatistics/SessionConnectionTimeout",
    "Corvane/iSCSIPhysicalHBA/LogicalHBA/iSCSIStatistics/SessionFormatErrors",
    "Corvane/iSCSIPhysicalHBA/LogicalHBA/iSCSIStatistics/LoginFailures",
    "Corvane/iSCSIPhysicalHBA/LogicalHBA/iSCSIStatistics/LastFailureType",
    "Corvane/iSCSIPhysicalHBA/LogicalHBA/iSCSIStatistics/LastTgtFailureAddr",
    "Corvane/iSCSIPhysicalHBA/LogicalHBA/iSCSIStatistics/LoginAcceptRsps",
    "Corvane/iSCSIPhysicalHBA/LogicalHBA/iSCSIStatistics/LoginOtherFailRsps",
    "Corvane/iSCSIPhysicalHBA/LogicalHBA/iSCSIStatistics/LoginRedirectRsps",
    "Corvane/iSCSIPhysicalHBA/LogicalHBA/iSCSIStatistics/LoginAuthFailRsps",
    "Corvane/iSCSIPhysicalHBA/LogicalHBA/iSCSIStatistics/LoginAuthFails",
    "Corvane/iSCSIPhysicalHBA/LogicalHBA/iSCSIStatistics/LoginNegoFails",
    "Corvane/iSCSIPhysicalHBA/LogicalHBA/iSCSIStatistics/LogoutNormals",
    "Corvane/iSCSIPhysicalHBA/LogicalHBA/iSCSIStatistics/LogoutOthers",
};
const std::set<std::string_view> kKnownLists = {
    "Corvane/ChannelManagement/SupportedMCTypes",
    "Corvane/ChannelManagement/CurrentManagementType",
    "Corvane/ChannelManagement/ConfiguredManagementType",
    "Corvane/ChannelManagement/ConfigureChannelManagement/ChannelType",
    "Corvane/ExtFATData/ExtFATModule/ExtFATMode/Mode",
    "Corvane/NCSI/NCSICVHandShake",
    "Corvane/NICPhysicalHBA/NetworkBootConfiguration/NetworkBootState",
    // "0" (the mode is not supported) is shorter than the speeds.
    "Corvane/PortDiscoveryAndConfiguration/ANSpeedsSupported",
    "Corvane/PortDiscoveryAndConfiguration/ForceSpeedsSupported",
    "Corvane/ProfileManagement/ActiveProfile/Port/MCType",
    "Corvane/ProfileManagement/ConfiguredProfile/Port/MCType",
};

uint32_t descriptor_crc(const TavoActionDescriptor* d) {
  const auto* bytes = reinterpret_cast<const Bytef*>(d) + offsetof(TavoActionDescriptor, global);
  return static_cast<uint32_t>(crc32(0, bytes, sizeof *d - offsetof(TavoActionDescriptor, global)));
}

// Whether every item of a comma list has a length within minimum..maximum.
bool list_agrees(const char* list, int32_t minimum, int32_t maximum) {
  std::string_view rest = list;
  for (;;) {
    const size_t comma = rest.find(',');
    const auto length = static_cast<int32_t>(rest.substr(0, comma).size());
    if (length < minimum || length > maximum) return false;
    if (comma == std::string_view::npos) return true;
    rest.remove_prefix(comma + 1);
  }
}

class DefinitionsTest : public ClientTest, public ::testing::WithParamInterface<const char*> {
 protected:
  // One controller of the generation with a NIC and an iSCSI function.
  DefinitionsTest()
      : ClientTest(std::string("controller 0 generation=") + GetParam() +
                   " serial=S\nnic controller=0 function=0\niscsi controller=0 function=2 device=0\n") {}

  // The group at path below group: type names joined by '/', the first
  // instance of an instanced one.
  static TavoNode* at(TavoNode* group, std::string_view path) {
    while (group != nullptr && !path.empty()) {
      const size_t slash = path.find('/');
      const std::string_view name = path.substr(0, slash);
      TavoNode* found = nullptr;
      for (TavoNode* c = tree::group_record(group)->first_child; c != group && found == nullptr; c = c->next)
        if (c->kind == TAVO_KIND_GROUP && c->name == name) found = c;
      group = found;
      path = slash == std::string_view::npos ? std::string_view{} : path.substr(slash + 1);
    }
    return group;
  }

  static size_t depth(const char* path) {
    return path[0] == '\0' ? 0 : 1 + static_cast<size_t>(std::count(path, path + strlen(path), '/'));
  }

  // The group a builder's path names: ROOT, or the fresh controller cv or
  // a group below it.
  TavoNode* fresh_parent(TavoNode* cv, std::string_view path) {
    if (path.empty()) return get_node(0);
    if (path == "Corvane") return cv;
    return path.starts_with("Corvane/") ? at(cv, path.substr(8)) : nullptr;
  }

  // A controller built by its definitions alone: every registered builder
  // once, parents first, each under the fresh group its path names.
  TavoNode* build_fresh_controller() {
    std::vector<const tree::InstancedBuilder*> builders;
    for (const tree::InstancedBuilder* b = tree::first_instanced_builder(); b != nullptr; b = b->next())
      builders.push_back(b);
    std::stable_sort(builders.begin(), builders.end(), [](auto* x, auto* y) {
      return depth(x->parent_path()) < depth(y->parent_path());
    });
    EXPECT_TRUE(!builders.empty() && depth(builders[0]->parent_path()) == 0 &&
                (builders.size() == 1 || depth(builders[1]->parent_path()) > 0))
        << "one builder under ROOT, the controller's";
    TavoNode* cv = nullptr;
    bool built = true;
    for (const tree::InstancedBuilder* b : builders) {
      const std::string_view path = b->parent_path();
      TavoNode* parent = fresh_parent(cv, path);
      TavoNode* group = parent != nullptr ? b->build(parent) : nullptr;
      EXPECT_NE(group, nullptr) << b->definition().name << " under \"" << path << "\"";
      if (path.empty()) cv = group;
      built = built && group != nullptr;
    }
    return built ? cv : nullptr;
  }

  // An instanced group of the walk has a registered builder that places it
  // where it stands.
  void check_placed(TavoNode* g, const std::string& parent_where) {
    if (tree::group_record(g)->instance == nullptr) return;
    bool placed = false;
    for (const tree::InstancedBuilder* b = tree::first_instanced_builder(); b != nullptr && !placed; b = b->next())
      placed = parent_where == b->parent_path() && strcmp(b->definition().name, g->name) == 0;
    EXPECT_TRUE(placed) << g->name << " under \"" << parent_where << "\" has no registered builder";
  }

  void check_action(TavoNode* a, const std::string& where, const std::string& exported) {
    const TavoActionDescriptor* d = tree::action_descriptor(a);
    EXPECT_EQ(dlsym(RTLD_DEFAULT, exported.c_str()), d) << where << " is not " << exported;
    ASSERT_TRUE(d->param_count >= 0 && d->param_count <= TAVO_MAX_PARAMS) << where;
    static const TavoActionParam kNone{};
    std::set<std::string> names;
    for (int i = 0; i < TAVO_MAX_PARAMS; ++i) {
      const TavoActionParam& p = d->params[i];
      if (i >= d->param_count) {
        EXPECT_EQ(memcmp(&p, &kNone, sizeof p), 0) << where << ": parameter " << i << " beyond the count";
        continue;
      }
      EXPECT_TRUE(p.name[0] != '\0' && names.insert(p.name).second) << where << ": parameter " << i;
      if (p.value_type == TAVO_TYPE_LIST && !kKnownLists.contains(where + "/" + p.name)) {
        EXPECT_TRUE(list_agrees(p.valid_list, p.minimum, p.maximum)) << where << "/" << p.name;
      }
    }
    seen_.insert(exported);
    for (const Digest& g : kDigests) {
      if (exported != g.name) continue;
      Dl_info info{};
      EXPECT_TRUE(dladdr(reinterpret_cast<void*>(d->handler), &info) && info.dli_sname != nullptr &&
                  std::string(info.dli_sname) == g.handler)
          << exported;
      EXPECT_EQ(descriptor_crc(d), g.crc) << exported;
    }
  }

  void check_property(TavoNode* p, const std::string& where, bool fresh) {
    const TavoPropertyRecord* r = tree::property_record(p);
    if (r->value_type == TAVO_TYPE_LIST && !kKnownLists.contains(where)) {
      EXPECT_TRUE(list_agrees(r->valid_list, r->minimum, r->maximum)) << where;
    }
    if (!fresh || placeholder(r->value) || kKnownDefaults.contains(where)) return;
    char value[TAVO_VALUE_SIZE];
    memcpy(value, r->value, sizeof value);
    EXPECT_EQ(tavo_validate(value, r->valid_list, r->value_type, r->minimum, r->maximum), 0u)
        << where << " default \"" << r->value << "\"";
  }

  // where: the group's type names from below ROOT, joined by '/'.
  void check_group(TavoNode* g, const std::string& where, bool fresh) {
    std::set<std::string> shown;
    for (TavoNode* c = tree::group_record(g)->first_child; c != g; c = c->next) {
      char name[TAVO_NAME_SIZE];
      tree::display_name(c, name);
      EXPECT_TRUE(shown.insert(name).second) << where << " has two children " << name;
      const std::string child = where.empty() ? c->name : where + "/" + c->name;
      if (c->kind == TAVO_KIND_PROPERTY) check_property(c, child, fresh);
      if (c->kind == TAVO_KIND_ACTION) {
        std::string exported = "ROOT_" + child + "_action";
        for (char& ch : exported) ch = ch == '/' ? '_' : ch;
        check_action(c, child, exported);
      }
      if (c->kind == TAVO_KIND_GROUP) {
        check_placed(c, where);
        check_group(c, child, fresh);
      }
    }
  }

  std::set<std::string> seen_;
};

TEST_P(DefinitionsTest, EveryRowKeepsItsRules) {
  TavoNode* fresh = build_fresh_controller();
  ASSERT_NE(fresh, nullptr);
  for (TavoNode* c = tree::group_record(get_node(0))->first_child; c != get_node(0); c = c->next) {
    if (c->kind != TAVO_KIND_GROUP) continue;
    check_placed(c, "");
    check_group(c, c->name, c == fresh);
  }
  for (const Digest& g : kDigests) EXPECT_TRUE(seen_.contains(g.name)) << g.name << " is in no group";
}

INSTANTIATE_TEST_SUITE_P(Generations, DefinitionsTest, ::testing::Values("cv2", "cv3", "galtor", "moravel"),
                         [](const ::testing::TestParamInfo<const char*>& generation) { return generation.param; });

}  // namespace
}  // namespace tavo::test
