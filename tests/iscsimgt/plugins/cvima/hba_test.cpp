// Physical and logical HBAs, the initiator node and the plug-in as the host
// lists, reads and changes them, over one adapter of each generation.
#include "tests/firmware/image_builder.h"
#include "tests/iscsimgt/plugins/cvima/generations.h"
#include "tests/iscsimgt/plugins/cvima/ima_fixture.h"
#include "tree/tree.h"

namespace tavo::test {
namespace {

constexpr uint32_t kS = kSentinel * 0x01010101u;  // a word left alone
using Words = std::vector<uint32_t>;
using Entries = std::vector<std::string>;

class ImaHbaTest : public ImaTest {
 protected:
  ImaHbaTest() : ImaTest(kGenerations) {}
  static std::string phba(int controller, int function = 0) {
    return "Corvane" + std::to_string(controller) + "/iSCSIPhysicalHBA" + std::to_string(function);
  }
};

TEST_F(ImaHbaTest, ListsWalkEveryFunctionAndLeaveDisabledLhbasOut) {
  const auto walked = [&](IMA_STATUS (*call)(IMA_OID_LIST**)) {
    IMA_OID_LIST* list = nullptr;
    EXPECT_EQ(call(&list), 0u);
    return entries(list);
  };
  Entries phbas, lnps, lhbas;
  for (const auto& [c, f] : {std::pair{0, 0}, {1, 0}, {2, 0}, {3, 0}, {3, 1}}) {
    phbas.push_back("4 " + phba(c, f));
    lnps.push_back("7 " + phba(c, f));
    if (c != 2) lhbas.push_back("3 " + phba(c, f) + "/LogicalHBA0");
  }
  // The tree refuses to disable an LHBA: planted as the firmware would show it.
  ASSERT_EQ(set_prop_val(get_node(tag(phba(2) + "/LogicalHBA0")), "Enabled", "%s", "false"), 0u);
  EXPECT_EQ(walked(IMA_GetPhbaOidList), phbas);
  EXPECT_EQ(walked(IMA_GetLnpOidList), lnps);
  EXPECT_EQ(walked(IMA_GetLhbaOidList), lhbas);
  EXPECT_EQ(list_of(IMA_VMW_GetLhbaOidList, oid(IMA_OBJECT_TYPE_PHBA, phba(2))), Entries{});
  EXPECT_EQ(list_of(IMA_VMW_GetLhbaOidList, oid(IMA_OBJECT_TYPE_PHBA, phba(3, 1))), Entries{lhbas.back()});
  for (const IMA_OID& id : {oid(IMA_OBJECT_TYPE_PHBA, phba(1)), oid(IMA_OBJECT_TYPE_LNP, phba(1)),
                            oid(IMA_OBJECT_TYPE_PNP, phba(1) + "/Network/NICConfiguration")})
    EXPECT_EQ(list_of(IMA_VMW_GetLnpOidList, id), Entries{"7 " + phba(1)}) << id.objectType;
  list_of(IMA_VMW_GetLhbaOidList, oid(IMA_OBJECT_TYPE_LNP, phba(1)), IMA_ERROR_INCORRECT_OBJECT_TYPE);
  EXPECT_EQ(IMA_GetPhbaOidList(nullptr), IMA_ERROR_INVALID_PARAMETER);
  // Without a tree the controllers cannot be listed.
  IMA_VMW_PluginCleanup();
  IMA_OID_LIST* list = nullptr;
  EXPECT_EQ(IMA_GetLhbaOidList(&list), IMA_ERROR_FAILED);
  EXPECT_EQ(list, nullptr);
  ASSERT_EQ(IMA_VMW_PluginInit(kOwner), 0u);
}

TEST_F(ImaHbaTest, PhbaPropertiesOfEachGeneration) {
  struct Row {
    int controller;
    std::string model, hardware, serial;
  } rows[] = {{0, "TK10202", "Corvanes 2", "TM2C00000001"},
              {1, "TK20204", "Corvanes 3", "TM3C00000101"},
              {2, "TK21204", "N/A", "TM4G00000202"},
              {3, "TK30204", "Moravel", "TM5M00000303"}};
  for (const Row& r : rows) {
    for (const bool extended : {false, true}) {
      IMA_PHBA_PROPERTIES p = sentinel<IMA_PHBA_PROPERTIES>();
      const IMA_OID id = oid(IMA_OBJECT_TYPE_PHBA, phba(r.controller, r.controller == 3));
      ASSERT_EQ((extended ? IMA_VMW_GetPhbaProperties : IMA_GetPhbaProperties)(id, &p), 0u) << r.model;
      EXPECT_EQ(narrow(p.description), "Quorvel Tessmark " + r.model + " converged network adapter");
      EXPECT_EQ(narrow(p.model) + "|" + narrow(p.vendor) + "|" + narrow(p.hardwareVersion) + "|" +
                    narrow(p.serialNumber) + "|" + narrow(p.asicVersion),
                r.model + "|Quorvel|" + r.hardware + "|" + r.serial + "|");
      EXPECT_EQ(narrow(p.firmwareVersion) + "|" + narrow(p.optionRomVersion) + "|" + narrow(p.driverName) + "|" +
                    narrow(p.driverVersion),
                "11.1.0.0|11.1.0.0|cv2iscsi.o|11.1.0.0");
      EXPECT_EQ(words(p, 8704, 8740), Words({1, 1, 16, 0, 0, 1, 0, 1, 1}));
      Words tail(32, 0);
      if (extended) tail[5] = tail[6] = tail[7] = tail[8] = 1;
      EXPECT_EQ(words(p, 8740, 8868), tail);
    }
  }
  IMA_PHBA_PROPERTIES p = sentinel<IMA_PHBA_PROPERTIES>();
  EXPECT_EQ(IMA_GetPhbaProperties(oid(IMA_OBJECT_TYPE_LNP, phba(0)), &p), IMA_ERROR_INCORRECT_OBJECT_TYPE);
  EXPECT_EQ(std::vector<uint8_t>(reinterpret_cast<uint8_t*>(&p), reinterpret_cast<uint8_t*>(&p + 1)),
            std::vector<uint8_t>(sizeof p, 0));  // cleared before the id was looked at
  IMA_PHBA_STATUS status = kS;
  EXPECT_EQ(IMA_GetPhbaStatus(oid(IMA_OBJECT_TYPE_PHBA, phba(3, 1)), &status), 0u);
  EXPECT_EQ(status, IMA_PHBA_STATUS_WORKING);
}

TEST_F(ImaHbaTest, LhbaAndNodeProperties) {
  const IMA_OID lhba = oid(IMA_OBJECT_TYPE_LHBA, phba(3, 1) + "/LogicalHBA0");
  for (const bool cleared : {true, false}) {
    IMA_LHBA_PROPERTIES p = sentinel<IMA_LHBA_PROPERTIES>();
    ASSERT_EQ((cleared ? IMA_GetLhbaProperties : IMA_VMW_GetLhbaProperties)(lhba, &p), 0u);
    EXPECT_EQ(narrow(p.osDeviceName), "vmhba37");
    EXPECT_EQ(words(p, 1024, 1068), Words({0, 0, 0, 0, 1, 1, 1, 0, 0, 0, 1}));
    EXPECT_EQ(words(p, 1068, 1180), Words(28, cleared ? 0 : kS));
  }
  ASSERT_EQ(set(phba(3) + "/LogicalHBA0/InitiatoriSCSIName/InitiatorAlias", "rack7"), 0u);
  for (const IMA_OID& id : {oid(IMA_OBJECT_TYPE_PHBA, phba(3)), oid(IMA_OBJECT_TYPE_LHBA, phba(3) + "/LogicalHBA0")}) {
    IMA_NODE_PROPERTIES p = sentinel<IMA_NODE_PROPERTIES>();
    ASSERT_EQ(IMA_VMW_GetNodeProperties(id, &p), 0u);
    EXPECT_EQ(words(p, 0, 12), Words({1, 0, 1}));
    EXPECT_EQ(narrow(p.name) + "|" + narrow(p.alias), "iqn.2026-12.com.tessmark:vmhba36|rack7");
    EXPECT_EQ(words(p, 908, 912), Words({1}));
    EXPECT_EQ(words(p, 1936, 1944), Words({1, 0}));
  }
  IMA_NODE_PROPERTIES p;
  EXPECT_EQ(IMA_VMW_GetNodeProperties(oid(IMA_OBJECT_TYPE_PNP, phba(3) + "/Network/NICConfiguration"), &p),
            IMA_ERROR_INCORRECT_OBJECT_TYPE);
}

TEST_F(ImaHbaTest, NodeNameAndAliasReachTheFirmware) {
  const IMA_OID id = oid(IMA_OBJECT_TYPE_PHBA, phba(1));
  const std::string iqn = "iqn.2026-12.com.example:";
  struct Row {
    bool alias;
    std::string text;
    IMA_STATUS status;
  } rows[] = {{false, iqn + std::string(223 - iqn.size(), 'n'), 0},
              {false, iqn + std::string(224 - iqn.size(), 'n'), IMA_ERROR_NAME_TOO_LONG},
              {false, "", IMA_ERROR_INVALID_PARAMETER},
              {false, "iqn.2026-12.com.example:host1", 0},
              {true, std::string(255, 'a'), IMA_ERROR_INVALID_PARAMETER},  // the tree keeps 31 at most
              {true, std::string(256, 'a'), IMA_ERROR_NAME_TOO_LONG},
              {true, "rack7", 0},
              {true, "", 0}};
  std::string name, alias;
  for (const Row& r : rows) {
    EXPECT_EQ((r.alias ? IMA_VMW_SetNodeAlias : IMA_VMW_SetNodeName)(id, wide(r.text).data()), r.status) << r.text;
    if (r.status == 0) (r.alias ? alias : name) = r.text;
    const InitiatorNameBlock& block = sim_->network(1)->names_of(0);
    EXPECT_EQ(std::string(block.name) + "|" + block.alias, name + "|" + alias) << r.text;
  }
  EXPECT_EQ(get(phba(1) + "/LogicalHBA0/InitiatoriSCSIName/InitiatoriSCSIName"), name);
  fail_mailbox(6, 7, 1);
  EXPECT_EQ(IMA_VMW_SetNodeName(id, wide(iqn + "other").data()), IMA_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(sim_->network(1)->names_of(0).name, name);
  EXPECT_EQ(IMA_VMW_SetNodeName(id, nullptr), IMA_ERROR_INVALID_PARAMETER);
}

TEST_F(ImaHbaTest, PluginPropertiesWhateverTheId) {
  IMA_OID foreign = oid(IMA_OBJECT_TYPE_PHBA, phba(0));
  foreign.ownerId = kOwner + 1;
  IMA_PLUGIN_PROPERTIES p = sentinel<IMA_PLUGIN_PROPERTIES>();
  ASSERT_EQ(IMA_GetPluginProperties(foreign, &p), 0u);
  EXPECT_EQ(p.supportedImaVersion, 3u);
  EXPECT_EQ(narrow(p.vendor) + "|" + narrow(p.implementationVersion) + "|" + narrow(p.fileName),
            "vmware|12.0.0.0|libqvxima.so");
  EXPECT_EQ(words(p, 3076, 3132), Words({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0}));
  EXPECT_EQ(Words({IMA_GetLnpProperties(foreign, nullptr), IMA_VMW_GetLnpProperties(foreign, nullptr),
                   IMA_PersistHbaParameters(foreign), IMA_VMW_SetDebugLevel(6),
                   IMA_GetPluginProperties(foreign, nullptr)}),
            Words({IMA_ERROR_NOT_SUPPORTED, IMA_ERROR_NOT_SUPPORTED, IMA_ERROR_NOT_SUPPORTED, IMA_ERROR_NOT_SUPPORTED,
                   IMA_ERROR_INVALID_PARAMETER}));
}

TEST_F(ImaHbaTest, DownloadRunsTheControllersUpdate) {
  const IMA_OID galtor = oid(IMA_OBJECT_TYPE_PHBA, phba(2));
  const std::string image = galtor_object(70000);
  write_file(root_.at("/tmp/galtor.obj"), image);
  EXPECT_EQ(IMA_PhbaDownload(galtor, IMA_DOWNLOAD_IMAGE_TYPE_BOOTCODE + 1, wide("/tmp/galtor.obj").data()),
            IMA_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(ima_log(), " IMA_PhbaDownload 4\n");  // refused before the tree
  ASSERT_EQ(IMA_PhbaDownload(galtor, IMA_DOWNLOAD_IMAGE_TYPE_OPTION_ROM, wide("/tmp/galtor.obj").data()), 0u);
  const std::vector<uint8_t>& flashed = sim_->flash(2)["/prg"];
  EXPECT_EQ(std::string(flashed.begin(), flashed.end()), image);
  EXPECT_NE(ima_log().find("params in upgrade flash rom is /tmp/galtor.obj\nafter  TAVO_do_action  status is 0\n"),
            std::string::npos);
  EXPECT_EQ(IMA_PhbaDownload(galtor, 0, wide("/tmp/none.obj").data()), IMA_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(IMA_PhbaDownload(galtor, 0, nullptr), IMA_ERROR_INVALID_PARAMETER);
}

}  // namespace
}  // namespace tavo::test
