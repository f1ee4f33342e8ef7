// The Corvane group as clients see it: its children in order, what the
// tree refuses before a handler runs, and its instance slots.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "backend/backend.h"
#include "controller/controller.h"
#include "tests/support/client_fixture.h"

namespace tavo::test {
namespace {

using Names = std::vector<std::string>;

class ControllerDefTest : public ClientTest {
 protected:
  // Every child in child order, whatever its kind.
  Names all_children(const std::string& path) {
    Names names;
    TavoNode* group = get_node(tag(path));
    for (TavoNode* c = tree::group_record(group)->first_child; c != group; c = c->next) {
      char name[TAVO_NAME_SIZE];
      tree::display_name(c, name);
      names.emplace_back(name);
    }
    return names;
  }
  // Every node below path, depth first: properties, then actions, then
  // each sub-group in child order.
  void walk(const std::string& path, int* groups, int* properties, int* actions, Names* writable) {
    ++*groups;
    for (const std::string& p : children(path, TAVO_KIND_PROPERTY)) {
      ++*properties;
      TavoNode* n = get_node(tag(path + "/" + p));
      if ((tree::property_record(n)->flags & TAVO_FLAG_READ_ONLY) == 0) writable->push_back(path + "/" + p);
    }
    *actions += static_cast<int>(children(path, TAVO_KIND_ACTION).size());
    // Functions, ports, event log entries and FAT modules are instances
    // the firmware's answers make.
    for (const std::string& g : children(path, TAVO_KIND_GROUP))
      if (g.find("PhysicalHBA") == std::string::npos && g.find("PortDiscoveryAndConfiguration") == std::string::npos &&
          !g.starts_with("EventLogEntry") && !g.starts_with("ExtFATModule"))
        walk(path + "/" + g, groups, properties, actions, writable);
  }
};

TEST_F(ControllerDefTest, ChildrenInOrderAndCounts) {
  EXPECT_EQ(all_children("Corvane0"),
            (Names{"IsSecureJumperEnabled", "OneView", "AdvancedMode", "ControllerStatus", "LinkReconfiguration",
                   "FRUVPD", "ChannelManagement", "Manufacturer", "ModelNumber", "Description", "SerialNumber",
                   "Capabilities", "ActiveFirmwareVersion", "FirmwareVersionOnFlash", "BIOSVersion",
                   "BootCodeVersion", "FirmwareStatus", "FCoEUniversalVersion", "FCoEx86BIOSVersion",
                   "FCoEEFIVersion", "FCoEFCODEVersion", "UEFIBIOSVersion", "UEFINICVersion", "UEFIFCODEVersion",
                   "UEFISCSIVersion", "PXEBIOSVersion", "PHYFirmwareVersion", "PHYConfigurationId",
                   "CorvaneOnDieTemperature", "IPLFileName", "PCIExpressLinkSpeed", "PCIExpressBusWidth", "FFVName",
                   "ProfileManagement", "NICCIM", "RetrieveTessmarkPCIDump", "RetrieveTessmarkCoreDump",
                   "RetrieveFwCliData", "UpgradeFlashROM", "ResetFactoryDefaults", "EraseAllConfiguration",
                   "Personality", "OEM", "NCSI", "ExtFATData", "EventLog", "FATData", "Diagnostics",
                   "iSCSIPhysicalHBA0", "iSCSIPhysicalHBA1", "NICPhysicalHBA0", "NICPhysicalHBA1",
                   "PortDiscoveryAndConfiguration0", "PortDiscoveryAndConfiguration1"}));
  EXPECT_EQ(all_children("Corvane0/ProfileManagement"),
            (Names{"RebootRequired", "MaxFunctionsPerPort", "ActiveProfile", "ConfiguredProfile", "SetProfileId",
                   "SaveProfile", "SetFactoryDefaults"}));
  EXPECT_EQ(children("Corvane0/Diagnostics", TAVO_KIND_ACTION),
            (Names{"HostToDDRDMATest", "EnterLoopBackMode", "ExitLoopBackMode", "NetworkLoopBackTest"}));
  int groups = 0, properties = 0, actions = 0;
  Names writable;
  walk("Corvane0", &groups, &properties, &actions, &writable);
  EXPECT_EQ(groups, 15);
  EXPECT_EQ(properties, 82);
  EXPECT_EQ(actions, 26);
  EXPECT_EQ(writable, (Names{"Corvane0/AdvancedMode", "Corvane0/FFVName",
                             "Corvane0/ProfileManagement/ConfiguredProfile/ProfileId"}));
  // Stored values until their loaders run; the later segments until the
  // first one is read.
  EXPECT_EQ(get("Corvane0/Personality/CurrentPersonality"), "iSCSI");
  EXPECT_EQ(get("Corvane0/FRUVPD/FRUVPDData1"), "");
}

// Writes: read-only first, then the declared type, then the handler.
TEST_F(ControllerDefTest, WritesAreValidatedBeforeTheHandler) {
  const std::string long_name(33, 'n');
  struct Row {
    const char* path;
    const char* value;
    uint32_t result;
    uint32_t status;
    const char* message;
  } rows[] = {
      {"Corvane0/SerialNumber", "X", 1, 10, "Read only property"},
      {"Corvane0/FRUVPD/FRUVPDData3", "", 1, 10, "Read only property"},
      {"Corvane0/FFVName", "abc", 1, 8, "Number of characters should be from 4 to 32."},
      {"Corvane0/FFVName", long_name.c_str(), 1, 8, "Number of characters should be from 4 to 32."},
      {"Corvane0/AdvancedMode", "On", 1, 6, "Invalid value."},
      {"Corvane0/ProfileManagement/ConfiguredProfile/ProfileId", "33", 1, 7,
       "Value out of range. Valid range is from 0 to 32."},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.path);
    EXPECT_EQ(set(r.path, r.value), r.result);
    EXPECT_EQ(last_status(), (std::pair<uint32_t, std::string>{r.status, r.message}));
  }
}

TEST_F(ControllerDefTest, ActionsCheckTheirParameters) {
  std::vector<char> params(TAVO_MAX_PARAMS * TAVO_VALUE_SIZE, '\0');
  for (size_t i = 0; i < TAVO_MAX_PARAMS; ++i) params[i * TAVO_VALUE_SIZE] = static_cast<char>(TAVO_NOT_GIVEN);
  const uint32_t group = tag("Corvane0/LinkReconfiguration");
  EXPECT_EQ(TAVO_do_action(group, tag("Corvane0/LinkReconfiguration/SetLinkConfigID"), params.data(), nullptr), 1u);
  EXPECT_EQ(last_status(), (std::pair<uint32_t, std::string>{9, "LinkConfigID: Parameter missing."}));
  // An optional parameter not given reaches the handler (the Moravel resets its active profile).
  EXPECT_EQ(TAVO_do_action(tag("Corvane2"), tag("Corvane2/ResetFactoryDefaults"), params.data(), nullptr), 0u);
  EXPECT_EQ(log_count("--- entering do_ResetFactoryDefaults ---"), 1);
  TavoParamInfo info;
  ASSERT_EQ(TAVO_get_param_info(tag("Corvane0/Diagnostics/NetworkLoopBackTest"), &info), 0u);
  EXPECT_EQ(info.param_count, 6);
  EXPECT_STREQ(info.params[5].valid_list, "MacLoopBack,PhyLoopBack,OnePortLoopBack,TwoPortLoopBack");
  EXPECT_EQ(info.params[1].minimum, 1500);
}

TEST_F(ControllerDefTest, SlotsAreTakenLowestFirstAndLimitedToSixteen) {
  ASSERT_EQ(restart(""), 0u);
  TavoNode* root = get_node(0);
  std::vector<TavoNode*> built;
  for (int i = 0; i < 16; ++i) built.push_back(initialize_Corvane(root, nullptr, nullptr, nullptr));
  EXPECT_EQ(tree::instance_number(built[15]), 15);
  EXPECT_EQ(initialize_Corvane(root, nullptr, nullptr, nullptr), nullptr);
  ASSERT_EQ(delete_node(built[0]), 0u);
  EXPECT_EQ(tree::instance_number(initialize_Corvane(root, nullptr, nullptr, nullptr)), 0);
}

}  // namespace
}  // namespace tavo::test
