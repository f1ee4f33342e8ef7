// Start-up of the back end through TAVO_init: which controller and function
// groups each adapter topology gives, their ports, protocols, serial
// numbers and VF marks, and what start-up loads for live controllers.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>

#include "backend/backend.h"
#include "controller/controller.h"
#include "iscsi/network/iscsi_network.h"
#include "tests/support/client_fixture.h"
#include "transport/glob.h"
#include "tree/backend_hooks.h"
#include "tree/group_builder.h"

namespace tavo::test {
namespace {

class StartupTest : public ClientTest {
 protected:
  // "Corvane0: iSCSIPhysicalHBA0@0 NICPhysicalHBA0@1 | Corvane1: ...", the
  // function groups with their PortNumber.
  std::string groups() {
    std::string out;
    for (const std::string& c : children("", TAVO_KIND_GROUP)) {
      out += (out.empty() ? "" : " | ") + c + ":";
      for (const std::string& fn : children(c, TAVO_KIND_GROUP))
        if (fn.find("PhysicalHBA") != std::string::npos) out += " " + fn + "@" + get(c + "/" + fn + "/PortNumber");
    }
    return out;
  }
  // Per controller: the port bitmap of ports 0-3 and the protocol bits.
  std::string routes() {
    std::string out;
    for (uint32_t i = 0; i < children("", TAVO_KIND_GROUP).size(); ++i) {
      out += out.empty() ? "" : "|";
      for (uint32_t p = 0; p < TAVO_MAX_PORTS; ++p) out += std::to_string(get_port_bitmap(i, p));
      out += "/" + std::to_string(tavo_glob.protocol_bits[i]);
    }
    return out;
  }
  std::string per_controller(const std::string& property) {
    std::string out;
    for (const std::string& c : children("", TAVO_KIND_GROUP))
      out += (out.empty() ? "" : "|") + get(c + "/" + property);
    return out;
  }
  std::string nic_vf_marks() {
    std::string out;
    for (const std::string& c : children("", TAVO_KIND_GROUP))
      for (const std::string& fn : children(c, TAVO_KIND_GROUP))
        if (fn.rfind("NICPhysicalHBA", 0) == 0) out += get(c + "/" + fn + "/IsVF").substr(0, 1);
    return out;
  }
};

TEST_F(StartupTest, TopologiesGiveTheirGroupsPortsAndProtocols) {
  struct Row {
    const char* name;
    const char* topology;
    const char* groups;
    const char* routes;      // port bitmap of ports 0-3 / protocol bits
    const char* serials;
    const char* vf_marks;    // IsVF of the NIC functions, in tree order
    int live;                // controllers whose loaders ran
    uint32_t status;         // last status after TAVO_init
    const char* logged;      // a failed step's reason, in the log instead
  } rows[] = {
      {"no adapter", "", "", "", "", "", 0, 313, nullptr},
      {"one controller, iSCSI and NIC",
       "controller 0 generation=cv3 serial=S1 bus=3\n"
       "iscsi controller=0 function=2 port=0 device=0\n"
       "nic controller=0 function=0 port=1 name=vmnic0\n",
       "Corvane0: iSCSIPhysicalHBA0@0 NICPhysicalHBA0@1", "1244/1", "S1", "F", 1, 0, nullptr},
      // The iSCSI walk comes first, so the controller with an iSCSI
      // function is Corvane0; NIC functions join on bus and serial.
      {"two controllers",
       "controller 0 generation=cv3 serial=A bus=3\ncontroller 1 generation=moravel serial=B bus=5\n"
       "nic controller=0 function=0 port=0 name=vmnic0\nnic controller=1 function=0 port=0 name=vmnic1\n"
       "nic controller=1 function=1 port=1 name=vmnic2\niscsi controller=1 function=2 port=2 device=0\n",
       "Corvane0: iSCSIPhysicalHBA0@2 NICPhysicalHBA0@0 NICPhysicalHBA1@1 | Corvane1: NICPhysicalHBA0@0",
       "2214/1|2444/2", "B|A", "FFF", 2, 0, nullptr},
      // Serial "0": bus and device decide.
      {"serial 0",
       "controller 0 serial=0 bus=3 device=0\ncontroller 1 serial=0 bus=3 device=1\n"
       "iscsi controller=0 function=0 device=0\niscsi controller=1 function=0 device=1\n"
       "nic controller=0 function=1 port=1 name=vmnic0\n",
       "Corvane0: iSCSIPhysicalHBA0@0 NICPhysicalHBA0@1 | Corvane1: iSCSIPhysicalHBA0@0", "1244/1|1444/1", "0|0",
       "F", 2, 0, nullptr},
      {"device gaps",
       "controller 0 serial=G bus=3\niscsi controller=0 function=0 port=0 device=0\n"
       "iscsi controller=0 function=1 port=1 device=5\n",
       "Corvane0: iSCSIPhysicalHBA0@0 iSCSIPhysicalHBA1@1", "1144/1", "G", "", 1, 0, nullptr},
      {"dead controller skipped",
       "controller 0 generation=cv3 serial=D bus=3 chip-state=dead\ncontroller 1 generation=cv3 serial=L bus=5\n"
       "nic controller=0 function=0 port=0 name=vmnic0\nnic controller=1 function=0 port=0 name=vmnic1\n",
       "Corvane0: NICPhysicalHBA0@0 | Corvane1: NICPhysicalHBA0@0", "2444/2|2444/2", "D|L", "FF", 1, 0, nullptr},
      // The OEM record voids the serial number (byte 13 is 0): the NIC
      // functions then join on bus and device. The record is asked of the
      // controller's iSCSI function 1, not of iSCSI function 3. Galtor
      // keeps no extended FAT configuration: the start still succeeds, and
      // the step's 259 goes to the log.
      {"Galtor without a serial number",
       "controller 0 generation=cv3 serial=A bus=3\n"
       "controller 1 generation=galtor serial=G bus=5 oem=544d000000000000000000004f00\n"
       "nic controller=0 function=0 port=0 name=vmnic0\nnic controller=0 function=1 port=1 name=vmnic1\n"
       "nic controller=1 function=0 port=0 name=vmnic2\nnic controller=1 function=1 port=1 name=vmnic3\n"
       "iscsi controller=1 function=2 port=0 device=0\n",
       "Corvane0: iSCSIPhysicalHBA0@0 NICPhysicalHBA0@0 NICPhysicalHBA1@1 | Corvane1: NICPhysicalHBA0@0 "
       "NICPhysicalHBA1@1",
       "1244/1|2244/2", "N/A|A", "FFFF", 2, 0,
       "backend_init: TAVO_extfat_modules left status 259: This operation is not supported on this controller."},
      // Inside a VF: the probe of the VF sets the mark for it and every NIC
      // function after it; the controller status is then refused (logged).
      {"virtual function",
       "controller 0 generation=moravel serial=M bus=3\nnic controller=0 function=0 port=0 name=vmnic0\n"
       "vf controller=0 function=1 parent=0 port=0 name=vmnic1\nnic controller=0 function=2 port=1 name=vmnic2\n",
       "Corvane0: NICPhysicalHBA0@0 NICPhysicalHBA1@0 NICPhysicalHBA2@1", "2244/2", "M", "FTT", 1, 0,
       "backend_init: ControllerStatus left status 256: Performed operation is not supported on a SR-IOV virtual "
       "function."},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    ASSERT_EQ(restart(r.topology), 0u);
    EXPECT_EQ(last_status().first, r.status);
    EXPECT_EQ(log_count(r.logged != nullptr ? r.logged : "left status"), r.logged != nullptr ? 1 : 0);
    EXPECT_EQ(groups(), r.groups);
    EXPECT_EQ(routes(), r.routes);
    EXPECT_EQ(per_controller("SerialNumber"), r.serials);
    EXPECT_EQ(nic_vf_marks(), r.vf_marks);
    const int controllers = static_cast<int>(children("", TAVO_KIND_GROUP).size());
    EXPECT_EQ(mailbox_count(1, 88), controllers);  // one management start per new controller
    EXPECT_EQ(log_count("--- entering TAVO_get_all_eventlog ---"), r.live);
    EXPECT_EQ(log_count("--- entering TAVO_set_lhba_prop ---"), controllers > 0 ? 1 : 0);
    EXPECT_EQ(get("TAVOServiceVersion"), controllers > 0 ? "1.0.99.0" : "0");
    EXPECT_EQ(get("TAVOHierarchyVersion"), controllers > 0 ? "10.6" : "0");
  }
}

// Without the back end (a program that set no start of its own and linked
// none) the start fails, logged, instead of showing ROOT alone.
TEST_F(StartupTest, NoBackEndFailsTheStart) {
  const std::string topology = "controller 0 generation=cv3 serial=S bus=3\nnic controller=0 function=0 port=0\n";
  const tree::BackendHooks saved = tree::backend_hooks();
  use(topology);
  tree::set_backend_hooks({nullptr, nullptr});
  EXPECT_EQ(TAVO_init(), 1u);
  EXPECT_EQ(log_count("init_hm_data: no back end is linked in"), 1);
  tree::set_backend_hooks(saved);
  ASSERT_EQ(restart(topology), 0u);
  EXPECT_EQ(children("", TAVO_KIND_GROUP), std::vector<std::string>{"Corvane0"});
}

TEST_F(StartupTest, NoAdapterLeavesItsMessage) {
  ASSERT_EQ(restart(""), 0u);
  EXPECT_EQ(last_status().second,
            "Tessmark Adapter Not found. Please make sure Quorvel NIC/iSCSI drivers are installed properly or "
            "Tessmark adapter inserted on PCIe Slot.");
  EXPECT_TRUE(children("", TAVO_KIND_GROUP).empty());
}

// Start-up makes only the files its machine needs: the gate between the
// processes on the root, a profile file and its lock only with a Moravel
// controller, and of the saved iSCSI files only the login options (and
// their lock) that an iSCSI function saves.
TEST_F(StartupTest, StartUpCreatesOnlyTheFilesItNeeds) {
  const std::string dir = "/etc/config/QVL/tavo";
  const auto names = [&] {
    std::set<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(root_.at(dir))) out.insert(e.path().filename());
    return out;
  };
  struct Row {
    const char* name;
    std::string topology;
    std::set<std::string> files;
  } rows[] = {
      {"no adapter", "", {"libtavo.conf", "libtavo.lock"}},
      {"CV3 NIC", "controller 0 generation=cv3 serial=S bus=3\nnic controller=0 function=0 port=0 name=vmnic0\n",
       {"libtavo.conf", "libtavo.lock"}},
      {"CV3 iSCSI",
       "controller 0 generation=cv3 serial=S bus=3\nnic controller=0 function=0 port=0 name=vmnic0\n"
       "iscsi controller=0 function=2 port=0 device=0\n",
       {"libtavo.conf", "libtavo.lock", "intr_logopts.txt", "intr_logopts.txt.lock"}},
      {"Moravel NIC",
       "controller 0 generation=moravel serial=M bus=7\nnic controller=0 function=0 port=0 name=vmnic0\n",
       {"libtavo.conf", "libtavo.lock", "config_prof.txt", "config_prof.txt.lock"}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    use(r.topology);
    for (const std::string& name : names())
      if (name != "libtavo.conf" && name != "libtavo.lock") {
        ASSERT_EQ(::unlink(root_.at(dir + "/" + name).c_str()), 0) << name;
      }
    ASSERT_EQ(TAVO_init(), 0u);
    EXPECT_EQ(names(), r.files);
  }
}

TEST_F(StartupTest, LiveControllerLoadersRunInOrder) {
  ASSERT_EQ(restart("controller 0 generation=cv3 serial=S bus=3\nnic controller=0 function=0 name=vmnic0\n"), 0u);
  const std::string log = debug_log();
  size_t last = 0;
  for (const char* loader :
       {"TAVO_get_all_eventlog", "TAVO_list_available_profiles", "TAVO_get_active_profiles",
        "TAVO_get_configured_profiles", "TAVO_get_link_reconfig_details", "TAVO_get_port_discovery_config",
        "TAVO_extfat_modules", "TAVO_get_ncsi_attributes", "TAVO_update_oem_props",
        "TAVO_update_available_personalities",
        "TAVO_update_current_personality", "TAVO_update_diagnostics_prop", "TAVO_update_cntr_additional_attribs"}) {
    const std::string line = std::string("--- entering ") + loader + " ---";
    const size_t at = log.find(line);
    EXPECT_TRUE(at != std::string::npos && at > last) << loader;
    EXPECT_EQ(log_count(line), 1) << loader;
    last = at;
  }
}

TEST_F(StartupTest, FunctionsShowTheFirmwareAttributes) {
  struct Row {
    const char* path;
    const char* value;
  } rows[] = {
      {"Corvane0/Manufacturer", "Quorvel"},
      {"Corvane0/SerialNumber", "TM3C00000101"},
      {"Corvane0/Capabilities", "TCP offload,Raw Ethernet,iSCSI Initiator"},
      {"Corvane0/FirmwareStatus", "Working"},
      {"Corvane0/ControllerStatus", "Alive"},
      {"Corvane1/ControllerStatus", "N/A"},  // Galtor
      {"Corvane0/iSCSIPhysicalHBA1/PortNumber", "1"},
      {"Corvane0/iSCSIPhysicalHBA1/PCI/DeviceID", "0x0c32"},
      {"Corvane0/iSCSIPhysicalHBA1/PCI/BusNumber", "0x3"},
      {"Corvane0/iSCSIPhysicalHBA1/PCI/FunctionNumber", "0x3"},
      {"Corvane0/iSCSIPhysicalHBA1/Driver/DriverName", "cv2iscsi.o"},
      {"Corvane0/iSCSIPhysicalHBA1/LDTO", "20"},
      {"Corvane1/NICPhysicalHBA1/PCI/VendorID", "0xf1a1"},
      {"Corvane1/NICPhysicalHBA1/Driver/DriverName", "cv2net.o"},
      {"Corvane2/NICPhysicalHBA3/PortNumber", "3"},
  };
  for (const Row& r : rows) EXPECT_EQ(get(r.path), r.value) << r.path;
  EXPECT_EQ(set("Corvane0/SerialNumber", "X"), 1u);
  EXPECT_EQ(last_status().first, static_cast<uint32_t>(TAVO_READ_ONLY));
}

// A NIC count change while the tree is built is not followed inside the
// build: the NIC requests are abandoned and the tree is built once more
// when TAVO_init returns.
TEST_F(StartupTest, NicCountChangeDuringStartRebuildsAfterwards) {
  use(sim::default_topology_text());
  sim::Fault change;
  change.kind = sim::FaultKind::NicCountChange;
  change.nic_count = 2;
  change.skip = 1;  // the start's own count sees all eight
  sim_->inject(change);
  ASSERT_EQ(TAVO_init(), 0u);
  EXPECT_EQ(log_count("TAVOServiceVersion   = 1.0.99.0"), 2);
  EXPECT_EQ(tavo_glob.nic_valid_hba, 2);
  EXPECT_EQ(groups(),
            "Corvane0: iSCSIPhysicalHBA0@0 iSCSIPhysicalHBA1@1 NICPhysicalHBA0@0 NICPhysicalHBA1@1 | Corvane1: "
            "iSCSIPhysicalHBA0@0 | Corvane2: iSCSIPhysicalHBA0@0 iSCSIPhysicalHBA1@1");
}

// A controller without the groups matching compares is passed over: the
// function still finds its own controller behind it.
TEST_F(StartupTest, MatchingPassesOverControllersItCannotCompare) {
  ASSERT_EQ(restart(""), 0u);
  TavoNode* root = get_node(0);
  ASSERT_NE(initialize_Corvane(root, nullptr, nullptr, nullptr), nullptr);  // Corvane0, no function
  TavoNode* second = initialize_Corvane(root, nullptr, nullptr, nullptr);
  TavoNode* fn = initialize_iSCSIPhysicalHBA(second, nullptr, nullptr, nullptr);
  ASSERT_NE(fn, nullptr);
  set_prop_val(internal_get_node(fn, "PCI", TAVO_KIND_GROUP), "BusNumber", "0x7");
  set_prop_val(second, "SerialNumber", "SN7");
  ControllerAttributes block{};
  block.bus = 7;
  snprintf(block.serial_number, sizeof block.serial_number, "SN7");
  char text[TAVO_VALUE_SIZE] = "";
  EXPECT_EQ(TAVO_get_iscsi_node_info(1, text, &block, 0), 1u);
  EXPECT_STREQ(text, "1");
  EXPECT_EQ(TAVO_get_nic_node_info(1, text, &block, 0), 1u);
}

// Handles hang below function groups at every depth; all are freed when
// the last client leaves (the fixture checks the allocation count), over
// many starts, and every device is closed each time.
TEST_F(StartupTest, StartsAndExitsReleaseEverything) {
  for (int cycle = 0; cycle < 100; ++cycle) {
    ASSERT_EQ(TAVO_exit(), 0u);
    ASSERT_EQ(sim_->open_device_count(), 0) << cycle;
    ASSERT_EQ(TAVO_init(), 0u);
    TavoNode* group = get_node(tag("Corvane0/iSCSIPhysicalHBA0/LogicalHBA0"));
    ASSERT_NE(group, nullptr);
    tree::group_record(group)->nhandle = tavo_dmalloc(16);
  }
}

// A TAVO_GATE_WAIT_MS that is not a whole number of milliseconds up to a
// day is not used: the start says so, and goes on.
TEST_F(StartupTest, AStartSaysWhenTheWaitSettingIsNotUsed) {
  for (const char* value : {"500ms", "99999999999"}) {
    SCOPED_TRACE(value);
    TAVO_exit();
    setenv("TAVO_GATE_WAIT_MS", value, 1);
    EXPECT_EQ(TAVO_init(), 0u);
    unsetenv("TAVO_GATE_WAIT_MS");
    EXPECT_EQ(last_status(), std::make_pair(352u, "TAVO_GATE_WAIT_MS is \"" + std::string(value) +
                                                     "\", not a whole number of milliseconds from 0 to "
                                                     "86400000: the wait for the gate is 60000 ms."));
  }
}

}  // namespace
}  // namespace tavo::test
