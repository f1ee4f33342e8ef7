// The extended FAT configuration: the block's head, modules and modes at
// start-up, live mode values and their mask rules, the enable and disable
// filters, the default restore, walks that stay inside the block, Galtor.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "firmware/firmware.h"
#include "tests/firmware/logs_fixture.h"

namespace tavo::test {
namespace {

struct Module {
  const char* name;
  uint32_t id;
  uint32_t mode_count;
  std::vector<ExtFatModeRecord> modes;
};

ExtFatCapabilityBlock head_of(int32_t modules, uint32_t supported = 3, uint8_t type = 1, uint8_t functions = 8) {
  return ExtFatCapabilityBlock{4096, 64, type, functions, 4, 0, supported, modules, {}};
}

const std::vector<ExtFatModeRecord> kTwoModes = {{0, 0, 0xF, 255, 0xFF}, {1, 0, 0x3, 48, 0x42}};

std::string block(const ExtFatCapabilityBlock& head, const std::vector<Module>& modules) {
  std::string out = bytes_of(head).substr(0, offsetof(ExtFatCapabilityBlock, modules));
  for (const Module& m : modules) {
    ExtFatModuleRecord h{};
    snprintf(h.name, sizeof h.name, "%s", m.name);
    h.id = m.id;
    h.mode_count = m.mode_count;
    out += bytes_of(h);
    for (const ExtFatModeRecord& r : m.modes) out += bytes_of(r);
    if (m.modes.empty()) out += std::string(sizeof(ExtFatModeRecord), '\0');
  }
  out.resize(kExtFatBlockSize, '\0');
  return out;
}

const std::string kTwoModules = block(head_of(2), {{"iSNS", 1, 2, kTwoModes}, {"FIP", 2, 2, kTwoModes}});

class ExtFatTest : public LogsTest {
 protected:
  const std::string kMode = "Corvane0/ExtFATData/ExtFATModule0/ExtFATMode0/";
  // The current block ("" before the firmware made it).
  std::string current() {
    const auto& objects = sim_->flash(0);
    auto it = objects.find("/extfat/current");
    return it == objects.end() ? "" : std::string(it->second.begin(), it->second.end());
  }
  // Mode record j of module k of the current block, when every module has
  // two modes.
  ExtFatModeRecord mode(int k, int j) {
    ExtFatModeRecord r{};
    const std::string b = current();
    if (b.size() == kExtFatBlockSize) memcpy(&r, b.data() + 20 + 72 * k + 40 + 16 * j, sizeof r);
    return r;
  }
  std::vector<uint32_t> levels(int modules) {
    std::vector<uint32_t> out;
    for (int k = 0; k < modules; ++k)
      for (int j = 0; j < 2; ++j) out.push_back(mode(k, j).trace_level);
    return out;
  }
  // ExtFATData's properties, then each module (name/id) with its modes
  // (mode level ports functions).
  std::string shown() {
    const std::string d = "Corvane0/ExtFATData/";
    std::string out;
    for (const char* p : {"MaxLogEntries", "LogEntrySize", "LoggingType", "MaxLoggingFunctions", "MaxLoggingPorts",
                          "SupportedModes", "NumberOfModules"})
      out += get(d + p) + " ";
    for (const std::string& m : children(d, TAVO_KIND_GROUP)) {
      out += "| " + get(d + m + "/ModuleString") + "/" + get(d + m + "/ModuleId");
      for (const std::string& e : children(d + m, TAVO_KIND_GROUP)) {
        const std::string at = d + m + "/" + e + "/";
        out += " " + get(at + "Mode") + " " + get(at + "TraceLevel") + " " + get(at + "PortMask") + " " +
               get(at + "PCIFunctionMask") + ";";
      }
    }
    return out;
  }
};

TEST_F(ExtFatTest, StartupShowsTheDefaultConfiguration) {
  const std::vector<ExtFatModeRecord> other = {{2, 0, 0x1, 5, 0x1}, {9, 0, 0x2, 8, 0x2}};  // mode 9: none of four
  const std::string head = "4096 64 asynchronous 8 4 ";
  struct Case {
    std::string block, shown;
  };
  const Case cases[] = {
      {block(head_of(2), {{"iSNS", 1, 2, kTwoModes}, {"Flash", 7, 2, other}}),
       head + "UART,RAM 2 | iSNS/1 UART 255 0xf 0xff; RAM 48 0x3 0x42;| Flash/7 NVRAM 5 0x1 0x1; UART 8 0x2 0x2;"},
      {block(head_of(0, 1), {}), head + "UART 0 "},
      {block(head_of(0, 2, 2), {}), "4096 64 Unknown 8 4 RAM 0 "},
      {block(head_of(0, 0, 0), {}), "4096 64 synchronous 8 4 Unknown 0 "},
      // Five modes end the list after the module's name; so does a module
      // without modes, after its two.
      {block(head_of(2), {{"a", 1, 5, kTwoModes}, {"b", 2, 2, kTwoModes}}), head + "UART,RAM 2 | a/1"},
      {block(head_of(2), {{"a", 1, 0, {}}, {"b", 2, 2, kTwoModes}}),
       head + "UART,RAM 2 | a/1 UART 0 0x0 0x0; UART 0 0x0 0x0;"},
  };
  for (const Case& c : cases) {
    start_with(kCv3, {{"/extfat/default", c.block}});
    EXPECT_EQ(shown(), c.shown);
  }
  start_with(kCv3, {{"/extfat/default", block(head_of(65), std::vector<Module>(65, Module{"m", 1, 2, kTwoModes}))}});
  EXPECT_EQ(children("Corvane0/ExtFATData", TAVO_KIND_GROUP).size(), 64u);
  // Reads are live: the current configuration answers; a module it does
  // not list keeps its values.
  start_with(kCv3, {{"/extfat/default", kTwoModules}});
  plant(0, "/extfat/current", block(head_of(1), {{"iSNS", 1, 2, {{0, 0, 0x5, 16, 0x7}, kTwoModes[1]}}}));
  EXPECT_EQ(get(kMode + "TraceLevel") + get(kMode + "PortMask") + get(kMode + "PCIFunctionMask"), "160x50x7");
  EXPECT_EQ(get("Corvane0/ExtFATData/ExtFATModule1/ExtFATMode0/TraceLevel"), "255");
}

TEST_F(ExtFatTest, ModeValuesAreCheckedAndWritten) {
  const std::string hex_format = "Invalid value. Value should be in hex-decimal format.";
  const std::string digits = "Invalid value. The valid values are 0-9, a-f and A-F.";
  const std::string ports = "Invalid value. Please check MaxLoggingPorts property for valid PortMask.";
  const std::string functions = "Invalid value. Please check MaxLoggingFunctions property for valid PCIFunctionMask.";
  struct Case {
    uint8_t max_functions;
    const char* property;
    const char* value;
    std::string refused;  // "" when written
    uint64_t written;
  };
  const Case cases[] = {
      {8, "PortMask", "0xF", "", 0xF},
      {8, "PortMask", "0X1F", ports, 0},
      {8, "PortMask", "0FF", hex_format, 0},
      {8, "PortMask", "0xG", digits, 0},
      {8, "PCIFunctionMask", "0x1FF", functions, 0},
      // The full-width texts are read like any other and not limited.
      {8, "PCIFunctionMask", "0x00000000000000A5", "", 0xA5},
      {8, "PCIFunctionMask", "0xFFFFFFFFFFFFFFFF", "", UINT64_MAX},
      // 64 logging functions allow every mask.
      {64, "PCIFunctionMask", "0xFFFFFFFFFFFF", "", 0xFFFFFFFFFFFF},
      {8, "TraceLevel", "16", "", 16},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.property) + "=" + c.value);
    const std::string before =
        block(head_of(2, 3, 1, c.max_functions), {{"iSNS", 1, 2, kTwoModes}, {"FIP", 2, 2, kTwoModes}});
    start_with(kCv3, {{"/extfat/default", before}});
    sim_->clear_log();
    EXPECT_EQ(set(kMode + c.property, c.value), c.refused.empty() ? 0u : 1u);
    if (!c.refused.empty()) {
      EXPECT_EQ(last_status(), Status(6, c.refused));
      EXPECT_EQ(mailbox_count(1, 126), 0);
      continue;
    }
    const ExtFatModeRecord m = mode(0, 0);
    EXPECT_EQ(std::string(c.property) == "PortMask"     ? m.port_mask
              : std::string(c.property) == "TraceLevel" ? m.trace_level
                                                        : m.function_mask,
              c.written);
    EXPECT_EQ(current().substr(92), before.substr(92)) << "only mode record 0 of module 0 changes";
  }
  fail_mailbox(1, 125, 3);
  EXPECT_EQ(get(kMode + "TraceLevel"), "<unreadable>");
  EXPECT_EQ(last_status(), firmware_status(201));
}

TEST_F(ExtFatTest, EnableAndDisableApplyTheModeFilter) {
  struct Case {
    const char* action;
    std::vector<std::string> params;
    std::vector<uint32_t> levels;  // UART, RAM of both modules; empty: nothing sent
  };
  const Case cases[] = {
      {"EnableLoggingOnAllModules", {"16"}, {16, 16, 16, 16}},
      {"EnableLoggingOnAllModules", {"16", "Yes", "yes"}, {16, 16, 16, 16}},
      {"EnableLoggingOnAllModules", {"4", "Yes"}, {4, 48, 4, 48}},
      {"EnableLoggingOnAllModules", {"4", "No", "Yes"}, {255, 4, 255, 4}},
      {"EnableLoggingOnAllModules", {"4", "No"}, {255, 48, 255, 48}},
      {"EnableLoggingOnAllModules", {"4", "No", "no"}, {}},
      {"DisableLoggingOnAllModules", {"", "Yes"}, {255, 255, 255, 255}},
      {"DisableLoggingOnAllModules", {}, {255, 255, 255, 255}},
      {"DisableLoggingOnAllModules", {"", "No"}, {255, 48, 255, 48}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.action) + " " + ::testing::PrintToString(c.params));
    start_with(kCv3, {{"/extfat/default", kTwoModules}});
    std::vector<std::string> params = c.params;
    for (auto& p : params)
      if (p.empty()) p = std::string(1, static_cast<char>(TAVO_NOT_GIVEN));
    sim_->clear_log();
    EXPECT_EQ(act("Corvane0/ExtFATData/" + std::string(c.action), params), 0u);
    EXPECT_EQ(mailbox_count(1, 126), c.levels.empty() ? 0 : 1);
    if (c.levels.empty())
      EXPECT_EQ(current(), "");
    else
      EXPECT_EQ(levels(2), c.levels);
  }
  fail_mailbox(1, 126, 3);
  EXPECT_EQ(act("Corvane0/ExtFATData/DisableLoggingOnAllModules"), 1u);
  EXPECT_EQ(last_status(), firmware_status(212));
  fail_mailbox(1, 125, 3);
  EXPECT_EQ(act("Corvane0/ExtFATData/EnableLoggingOnAllModules", {"0"}), 1u);
  EXPECT_EQ(last_status(), firmware_status(211));
}

TEST_F(ExtFatTest, WritesStayWithinTheModulesTheFirmwareReports) {
  // The current block lists a first module of one mode, then one whose
  // mode count would run past the block.
  start_with(kCv3, {{"/extfat/default", kTwoModules}});
  const std::string odd =
      block(head_of(3), {{"iSNS", 1, 1, {kTwoModes[0]}}, {"FIP", 2, 0x10000000, kTwoModes}, {"past", 3, 2, kTwoModes}});
  plant(0, "/extfat/current", odd);
  ASSERT_EQ(act("Corvane0/ExtFATData/EnableLoggingOnAllModules", {"1"}), 0u);
  std::string expected = odd;
  const uint32_t one = 1;
  memcpy(&expected[20 + 40 + 4], &one, 4);       // iSNS's one mode
  memcpy(&expected[20 + 56 + 40 + 4], &one, 4);  // both modes of FIP
  memcpy(&expected[20 + 56 + 40 + 16 + 4], &one, 4);
  EXPECT_EQ(current(), expected);
  EXPECT_EQ(set("Corvane0/ExtFATData/ExtFATModule0/ExtFATMode1/TraceLevel", "8"), 0u);
  EXPECT_EQ(current(), expected) << "iSNS reports no second mode";
}

TEST_F(ExtFatTest, DefaultConfigurationIsRestoredAndGaltorHasNone) {
  start_with(kCv3, {{"/extfat/default", kTwoModules}});
  const std::string changed =
      block(head_of(2, 1, 0), {{"x", 9, 2, {{1, 0, 1, 1, 1}, {0, 0, 1, 1, 1}}}, {"y", 8, 2, kTwoModes}});
  plant(0, "/extfat/default", changed);
  ASSERT_EQ(act("Corvane0/ExtFATData/SetDefaultLoggingConfiguration"), 0u);
  EXPECT_EQ(current(), changed);
  EXPECT_EQ(shown(),
            "4096 64 synchronous 8 4 UART 2 | x/9 RAM 1 0x1 0x1; UART 1 0x1 0x1;| y/8 UART 255 0xf 0xff; RAM "
            "48 0x3 0x42;");
  for (const uint8_t opcode : {126, 125}) {
    fail_mailbox(1, opcode, 3);
    EXPECT_EQ(act("Corvane0/ExtFATData/SetDefaultLoggingConfiguration"), 1u);
    EXPECT_EQ(last_status(), firmware_status(opcode == 126 ? 203 : 201));
  }
  start_with(kGaltor, {{"/extfat/default", kTwoModules}});
  EXPECT_EQ(mailbox_count(1, 125), 0);
  EXPECT_EQ(shown(), "1 1 synchronous 1 1 UART 0 ");
  EXPECT_EQ(TAVO_extfat_modules(get_node(tag("Corvane0"))), 1u);
  EXPECT_EQ(last_status(), firmware_status(259));
}

}  // namespace
}  // namespace tavo::test
