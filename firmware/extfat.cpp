// The extended FAT logging configuration: one 64,000-byte capability block
// that the firmware hands out (125/1, its default or current form) and
// takes back whole (126/1). ExtFATData shows its head, ExtFATModule and
// ExtFATMode instances its module and mode records; every change is a
// read-modify-write of the whole block.
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "base/validate.h"
#include "controller/controller.h"
#include "firmware/firmware.h"
#include "firmware/flash_internal.h"
#include "firmware/status_texts.h"
#include "transport/commands.h"
#include "transport/device_ids.h"
#include "transport/log_records.h"
#include "tree/declare.h"

using namespace tavo::declare;
using tavo::ExtFatCapabilityBlock;
using tavo::ExtFatModeRecord;
using tavo::ExtFatModuleRecord;
using tavo::firmware::set_status;

static SlotArea extfat_module_slots;
static SlotArea extfat_mode_slots;

const ChildDef extfat_module_children[] = {
    property("ModuleString", RO, TEXT, "", 1, 32, "N/A", stored,
             "This property displays name of the module (i.e example; \"iSNS\",\"FIP\",\"Flash\"... etc)."),
    property("ModuleId", RO, INT, "", 1, 32, "1", stored,
             "This property displays a module id associated to identify the module name once the trace record is "
             "retrieved."),
};
const GroupDef extfat_module = instanced("ExtFATModule", 64, &extfat_module_slots, extfat_module_children,
                                         "This group contains the Tessmark ARM fimrware FAT modules entries.");

const ChildDef extfat_mode_children[] = {
    property("Mode", RO, LIST, "UART,RAM", 7, 8, "UART", stored,
             "This property displays a logging mode of FAT module."),
    property("PortMask", RW, TEXT, "", 3, 4, "0xFF", handle_current_mode_properties,
             "This property is a bit mask that allows logging for selected ports. The Maximum number of bits that can "
             "be used by the user to set a particular port is decided by the MaxLoggingPorts property. User can set "
             "particular ports for logging by providing the appropriate mask. The value for this property has to be "
             "given in hexadecimal format with \"0x\" prefix. For example: To enable port #3 and Port #2 a value of "
             "0xC has to set. The default value will be number of bits in property MaxLoggingPorts."),
    property("PCIFunctionMask", RW, TEXT, "", 3, 18, "0xFFFFFFFFFFFFFFFF", handle_current_mode_properties,
             "This property is a bit mask that allows logging for selected PCI Functions. The Maximum number of bits "
             "that can be used by the user to set a particular PCI Function is decided by the MaxLoggingFunctions "
             "property. User can set particular PCI function for logging by providing the appropriate mask. The value "
             "for this property has to be given in hexadecimal format with \"0x\" prefix.  For example: To enable PCI "
             "function #6 and PCI function #1 a value of 0x42 has to set. The default value will be number of bits "
             "in property MaxLoggingFunctions."),
    property("TraceLevel", RW, LIST, "0,1,4,5,8,16,32,48,64,128,255", 0, 255, "0", handle_current_mode_properties,
             "This property displays a trace level of FAT module. Valid values are 0 - TRACE_LEVEL_ALL, 1 - "
             "TRACE_LEVEL_ENTER_FUNCTION, 4 - TRACE_LEVEL_VERBOSE, 5 - TRACE_LEVEL_INFO, 8 - TRACE_LEVEL_TEST, 16 - "
             "TRACE_LEVEL_SHOW, 32 - TRACE_LEVEL_WARNING, 48 - TRACE_LEVEL_ERROR, 64 - TRACE_LEVEL_FATAL, 128 - "
             "TRACE_LEVEL_ALWAYS, 255 - TRACE_LEVEL_DISABLED"),
};
const GroupDef extfat_mode = instanced("ExtFATMode", 2, &extfat_mode_slots, extfat_mode_children,
                                       "This group contains the Tessmark ARM fimrware FAT mode entries.");

TAVO_GROUP_BUILDER(ExtFATModule, extfat_module, "Corvane/ExtFATData");

TAVO_GROUP_BUILDER(ExtFATMode, extfat_mode, "Corvane/ExtFATData/ExtFATModule");

namespace {

constexpr size_t kModulesAt = offsetof(ExtFatCapabilityBlock, modules);
constexpr uint32_t kTraceDisabled = 255;
constexpr uint32_t kMostModesShown = 4;
constexpr const char* kModeNames[] = {"UART", "RAM", "NVRAM", "TFTP"};

using Block = tavo::base::Counted<uint8_t>;

// The module records of a block from a given one on, never past the
// block's end: a record whose head or mode records would cross it is not
// there.
class ModuleWalk {
 public:
  ModuleWalk(uint8_t* first, const uint8_t* end) : at_(first), end_(end) {}
  // The block's records from the first.
  explicit ModuleWalk(uint8_t* block) : ModuleWalk(block + kModulesAt, block + tavo::kExtFatBlockSize) {}

  ExtFatModuleRecord* module() {
    if (at_ == nullptr || room() < sizeof(ExtFatModuleRecord)) return nullptr;
    return reinterpret_cast<ExtFatModuleRecord*>(at_);
  }
  // Mode record j of the current module.
  ExtFatModeRecord* mode(uint32_t j) {
    const uint64_t end = sizeof(ExtFatModuleRecord) + sizeof(ExtFatModeRecord) * (uint64_t{j} + 1);
    if (module() == nullptr || room() < end) return nullptr;
    return reinterpret_cast<ExtFatModeRecord*>(at_ + end - sizeof(ExtFatModeRecord));
  }
  // On to the next record; false when there is none.
  bool next() {
    const ExtFatModuleRecord* head = module();
    if (head == nullptr) return false;
    const uint64_t length = tavo::extfat_module_length(head->mode_count);
    at_ = length < room() ? at_ + length : nullptr;
    return at_ != nullptr;
  }
  // Record k from the current one; false when the block holds fewer.
  bool skip(int32_t k) {
    for (int32_t i = 0; i < k; ++i)
      if (!next()) return false;
    return module() != nullptr;
  }

 private:
  uint64_t room() const { return static_cast<uint64_t>(end_ - at_); }
  uint8_t* at_;
  const uint8_t* end_;
};

const ExtFatCapabilityBlock& extfat_head(const Block& block) {
  return *reinterpret_cast<const ExtFatCapabilityBlock*>(block.get());
}

// A block of the default or current configuration: 0, or the command's
// status (201; 16 when there is no memory).
uint32_t extfat_read(const tavo::firmware::FlashTarget& t, uint32_t which, Block* block) {
  *block = tavo::base::counted_zeroed<uint8_t>(tavo::kExtFatBlockSize);
  if (!*block) {
    set_status(tavo::firmware::kNoMemory);
    return 1;
  }
  memcpy(block->get(), &which, sizeof which);
  const uint32_t status =
      ioctl_get_extfat_capabilites(t.port, block->get(), tavo::kExtFatBlockSize, t.domain, t.phys_port, t.instance);
  if (status != 0) set_status(tavo::firmware::kExtFatReadFailed);
  return status;
}

// The block back to the firmware: 0, or the command's status (203).
uint32_t extfat_write(const tavo::firmware::FlashTarget& t, Block* block) {
  const uint32_t status =
      ioctl_set_extfat_capabilites(t.port, block->get(), tavo::kExtFatBlockSize, t.domain, t.phys_port, t.instance);
  if (status != 0) set_status(tavo::firmware::kExtFatWriteFailed);
  return status;
}

// The controller of an ExtFATData group, and where its commands go.
bool extfat_target(TavoNode* ext_fat, tavo::firmware::FlashTarget* t) {
  return ext_fat != nullptr && tavo::firmware::flash_target(ext_fat->parent, nullptr, t);
}

uint32_t extfat_fill_head(TavoNode* ext_fat, const ExtFatCapabilityBlock& h) {
  const char* type = h.logging_type == 0 ? "synchronous" : h.logging_type == 1 ? "asynchronous" : "Unknown";
  const bool uart = (h.supported_modes & tavo::kExtFatModeUart) != 0,
             ram = (h.supported_modes & tavo::kExtFatModeRam) != 0;
  const char* modes = uart && ram ? "UART,RAM" : uart ? "UART" : ram ? "RAM" : "Unknown";
  uint32_t r = 0;
  r |= set_prop_val(ext_fat, "MaxLogEntries", "%d", static_cast<int32_t>(h.max_log_entries));
  r |= set_prop_val(ext_fat, "LogEntrySize", "%d", static_cast<int32_t>(h.log_entry_size));
  r |= set_prop_val(ext_fat, "LoggingType", "%s", type);
  r |= set_prop_val(ext_fat, "MaxLoggingFunctions", "%d", h.max_logging_functions);
  r |= set_prop_val(ext_fat, "MaxLoggingPorts", "%d", h.max_logging_ports);
  r |= set_prop_val(ext_fat, "SupportedModes", "%s", modes);
  r |= set_prop_val(ext_fat, "NumberOfModules", "%d", h.module_count);
  return r;
}

uint32_t extfat_fill_module(TavoNode* module, const ExtFatModuleRecord& h) {
  uint32_t r = set_prop_val(module, "ModuleString", "%.*s", static_cast<int>(sizeof h.name), h.name);
  return r | set_prop_val(module, "ModuleId", "%d", static_cast<int32_t>(h.id));
}

// The live values of a mode, and its Mode when asked (modes 0-3 only).
uint32_t extfat_fill_mode(TavoNode* mode, const ExtFatModeRecord& m, bool with_mode) {
  uint32_t r = 0;
  if (with_mode && m.mode < sizeof kModeNames / sizeof kModeNames[0])
    r |= set_prop_val(mode, "Mode", "%s", kModeNames[m.mode]);
  r |= set_prop_val(mode, "TraceLevel", "%d", static_cast<int32_t>(m.trace_level));
  r |= set_prop_val(mode, "PortMask", "0x%x", static_cast<unsigned>(m.port_mask));
  r |= set_prop_val(mode, "PCIFunctionMask", "0x%llx", static_cast<unsigned long long>(m.function_mask));
  return r;
}

// A stored number of ExtFATData (MaxLoggingPorts, MaxLoggingFunctions).
bool extfat_stored_count(TavoNode* ext_fat, const char* name, long long* value) {
  char text[TAVO_VALUE_SIZE] = "";
  return internal_get_property(ext_fat, name, text) == 0 && tavo::base::parse_number(text, value) == 0;
}

// A mask text of at most `bits` bits whose value must not pass 2^count - 1
// (no limit once count reaches the width; none at all when checked is
// false): true with the value, else false with status 6.
bool extfat_mask(const char* text, uint32_t bits, long long count, bool checked,
                 const tavo::base::StatusWording& too_large, uint64_t* mask) {
  if (text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) {
    tavo::firmware::kNotHex.set();
    return false;
  }
  const char* digits = text + 2;
  const size_t n = strlen(digits);
  if (n == 0 || is_hex(digits, static_cast<int32_t>(n)) != 1) {
    tavo::tree::kHexDigitsOnly.set();
    return false;
  }
  const uint64_t width_limit = bits >= 64 ? UINT64_MAX : (uint64_t{1} << bits) - 1;
  const uint64_t limit = !checked || count >= bits ? width_limit : count < 0 ? 0 : (uint64_t{1} << count) - 1;
  // Leading zeros aside, more than 16 digits cannot fit any mask.
  size_t first = 0;
  while (first + 1 < n && digits[first] == '0') ++first;
  const uint64_t value = n - first > 16 ? UINT64_MAX : strtoull(digits, nullptr, 16);
  if (n - first > 16 || value > limit) {
    too_large.set();
    return false;
  }
  *mask = value;
  return true;
}

// The record of a mode instance in a block: mode record j (the instance's
// number) of module record k (its module's); null when the block lists no
// such module, or, with reported, when the module reports fewer modes.
ExtFatModeRecord* extfat_mode_record(const Block& block, TavoNode* mode, bool reported) {
  const int32_t k = tavo::tree::instance_number(mode->parent);
  const int32_t j = tavo::tree::instance_number(mode);
  ModuleWalk walk(block.get());
  if (k < 0 || j < 0 || extfat_head(block).module_count <= k || !walk.skip(k)) return nullptr;
  if (reported && static_cast<uint32_t>(j) >= walk.module()->mode_count) return nullptr;
  return walk.mode(static_cast<uint32_t>(j));
}

}  // namespace

uint32_t TAVO_extfat_modules(TavoNode* controller) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  if (controller == nullptr) return 1;
  const uint32_t generation = get_cv_type(controller);
  if (generation == TAVO_GENERATION_UNREADABLE) return 1;
  if (generation == tavo::kGenerationGaltor) {
    set_status(tavo::firmware::kNotOnThisController);
    return 1;
  }
  tavo::firmware::FlashTarget t;
  TavoNode* ext_fat = internal_get_node(controller, "ExtFATData", TAVO_KIND_GROUP);
  if (!tavo::firmware::flash_target(controller, nullptr, &t) || ext_fat == nullptr) return 1;
  Block block;
  const uint32_t status = extfat_read(t, tavo::kExtFatDefaultConfig, &block);
  if (status != 0) return status;
  const ExtFatCapabilityBlock& head = extfat_head(block);
  uint32_t result = extfat_fill_head(ext_fat, head);
  ModuleWalk walk(block.get());
  for (int32_t k = 0; k < head.module_count; ++k) {
    const ExtFatModuleRecord* record = walk.module();
    if (record == nullptr) break;  // the block holds no more
    TavoNode* module = initialize_ExtFATModule(ext_fat, nullptr, nullptr, nullptr);
    if (module == nullptr) {
      pdebug(TAVO_LOG_BACKEND, 3, "%s:initialize EXTFATModule failed\n", __func__);
      return 1;
    }
    result |= extfat_fill_module(module, *record);
    if (record->mode_count > kMostModesShown) return result;
    for (uint32_t j = 0; j < 2; ++j) {
      TavoNode* mode = initialize_ExtFATMode(module, nullptr, nullptr, nullptr);
      if (mode == nullptr) {
        pdebug(TAVO_LOG_BACKEND, 3, "%s:initialize_ExtFATMode failed\n", __func__);
        return 1;
      }
      if (const ExtFatModeRecord* m = walk.mode(j)) result |= extfat_fill_mode(mode, *m, true);
    }
    if (record->mode_count == 0 || !walk.next()) break;
  }
  return result;
}

uint32_t get_extfat_data(TavoNode* ext_fat, TavoNode* mode) {
  tavo::firmware::FlashTarget t;
  if (mode == nullptr || mode->parent == nullptr || !extfat_target(ext_fat, &t)) return 1;
  Block block;
  const uint32_t status = extfat_read(t, tavo::kExtFatCurrentConfig, &block);
  if (status != 0) return status;
  // A mode the current configuration does not list keeps its values.
  const ExtFatModeRecord* m = extfat_mode_record(block, mode, false);
  return m == nullptr ? 0 : extfat_fill_mode(mode, *m, false);
}

uint32_t set_extfat_data(TavoNode* ext_fat, TavoNode* mode, const char* property, const char* value) {
  tavo::firmware::FlashTarget t;
  if (mode == nullptr || mode->parent == nullptr || property == nullptr || value == nullptr ||
      !extfat_target(ext_fat, &t))
    return 1;
  long long functions = 0, ports = 0;
  if (!extfat_stored_count(ext_fat, "MaxLoggingFunctions", &functions) ||
      !extfat_stored_count(ext_fat, "MaxLoggingPorts", &ports))
    return 1;
  const bool port_mask = strcasecmp(property, "PortMask") == 0;
  const bool function_mask = strcasecmp(property, "PCIFunctionMask") == 0;
  uint64_t mask = 0;
  uint32_t level = 0;
  if (port_mask) {
    if (!extfat_mask(value, 16, ports, true, tavo::firmware::kPortMaskTooLarge, &mask)) return 1;
  } else if (function_mask) {
    // The full-width texts (17 and 18 characters) take any mask.
    if (!extfat_mask(value, 64, functions, strlen(value) <= 16, tavo::firmware::kFunctionMaskTooLarge, &mask))
      return 1;
  } else if (strcasecmp(property, "TraceLevel") == 0) {
    char* end = nullptr;
    const unsigned long parsed = strtoul(value, &end, 10);
    if (end == value || *end != '\0' || parsed > UINT32_MAX) {
      set_status(17);
      return 1;
    }
    level = static_cast<uint32_t>(parsed);
  } else {
    return 1;
  }
  Block block;
  const uint32_t status = extfat_read(t, tavo::kExtFatCurrentConfig, &block);
  if (status != 0) return status;
  // A mode the module does not report is written back as it was.
  if (ExtFatModeRecord* m = extfat_mode_record(block, mode, true)) {
    if (port_mask)
      m->port_mask = static_cast<uint16_t>(mask);
    else if (function_mask)
      m->function_mask = mask;
    else
      m->trace_level = level;
  }
  return extfat_write(t, &block);
}

uint32_t handle_current_mode_properties(TavoNode* property, char* buf, uint32_t op) {
  if (property == nullptr || buf == nullptr) return 1;
  TavoNode* mode = property->parent;
  TavoNode* module = mode != nullptr ? mode->parent : nullptr;
  TavoNode* ext_fat = module != nullptr ? module->parent : nullptr;
  if (ext_fat == nullptr) return 1;
  if (op == TAVO_PROPERTY_SET) return set_extfat_data(ext_fat, mode, property->name, buf) == 0 ? 0 : 1;
  if (get_extfat_data(ext_fat, mode) != 0) return 1;
  return handle_internal_property(property, buf, TAVO_PROPERTY_GET);
}

uint32_t update_trace_level_for_mode(TavoNode* ext_fat, const char* mode, uint8_t* first_module, uint32_t level) {
  if (ext_fat == nullptr || mode == nullptr || first_module == nullptr) return 1;
  const bool all = strcasecmp(mode, "ALL") == 0;
  if (!all && strcasecmp(mode, "UART") != 0 && strcasecmp(mode, "RAM") != 0) return 1;
  // first_module is offset 20 of the block: its head comes before it.
  uint8_t* block = first_module - kModulesAt;
  const int32_t modules = reinterpret_cast<const ExtFatCapabilityBlock*>(block)->module_count;
  ModuleWalk walk(block);
  int32_t k = 0;
  for (TavoNode* module = get_first_instance(ext_fat, "ExtFATModule"); module != nullptr && k < modules;
       module = tavo::tree::next_instance(module), ++k) {
    const ExtFatModuleRecord* record = walk.module();
    if (record == nullptr) break;
    for (TavoNode* m = get_first_instance(module, "ExtFATMode"); m != nullptr; m = tavo::tree::next_instance(m)) {
      char text[TAVO_VALUE_SIZE] = "";
      if (internal_get_property(m, "Mode", text) != 0) return 1;
      const int32_t j = tavo::tree::instance_number(m);
      // A record the module does not report would be the next module's bytes.
      if ((!all && strcasecmp(text, mode) != 0) || j < 0 || static_cast<uint32_t>(j) >= record->mode_count) continue;
      if (ExtFatModeRecord* r = walk.mode(static_cast<uint32_t>(j))) r->trace_level = level;
    }
    if (!walk.next()) break;
  }
  return 0;
}

uint32_t set_extfat_modes(TavoNode* ext_fat, const char* params, uint32_t enable) {
  using tavo::firmware::param_text;
  tavo::firmware::FlashTarget t;
  if (params == nullptr || !extfat_target(ext_fat, &t)) return 1;
  uint32_t level = kTraceDisabled;
  if (enable != 0) {
    long long parsed = 0;
    if (tavo::base::parse_number(param_text(params, 0).c_str(), &parsed) != 0 || parsed < 0 || parsed > UINT32_MAX)
      return 1;
    level = static_cast<uint32_t>(parsed);
  }
  const int first = enable != 0 ? 1 : 0;
  const std::string uart = param_text(params, first), ram = param_text(params, first + 1);
  const bool uart_yes = strcasecmp(uart.c_str(), "Yes") == 0, ram_yes = strcasecmp(ram.c_str(), "Yes") == 0;
  if (!uart.empty() && !ram.empty() && strcasecmp(uart.c_str(), "No") == 0 && strcasecmp(ram.c_str(), "No") == 0)
    return 0;
  Block block;
  const uint32_t status = extfat_read(t, tavo::kExtFatCurrentConfig, &block);
  if (status != 0) return status;
  // A mode given as "No" alone leaves every record as it is.
  const char* filter = (uart.empty() && ram.empty()) || (uart_yes && ram_yes) ? "ALL"
                       : uart_yes                                             ? "UART"
                       : ram_yes                                              ? "RAM"
                                                                              : nullptr;
  if (filter != nullptr && update_trace_level_for_mode(ext_fat, filter, block.get() + kModulesAt, level) != 0) return 1;
  const uint32_t written = extfat_write(t, &block);
  if (written != 0) pdebug(TAVO_LOG_BACKEND, 3, "%s:Failed\n", __func__);
  return written;
}

uint32_t do_EnableLoggingOnAllModules(TavoNode* ext_fat, TavoNode*, char* params) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  if (set_extfat_modes(ext_fat, params, 1) == 0) return 0;
  set_status(tavo::firmware::kEnableLoggingFailed);
  return 1;
}

uint32_t do_DisableLoggingOnAllModules(TavoNode* ext_fat, TavoNode*, char* params) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  if (set_extfat_modes(ext_fat, params, 0) == 0) return 0;
  set_status(tavo::firmware::kDisableLoggingFailed);
  return 1;
}

uint32_t do_SetDefaultLoggingConfiguration(TavoNode* ext_fat, TavoNode*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  tavo::firmware::FlashTarget t;
  if (!extfat_target(ext_fat, &t)) return 1;
  Block block;
  uint32_t status = extfat_read(t, tavo::kExtFatDefaultConfig, &block);
  if (status != 0) return status;
  // The answer stays as it came: the write may change the buffer it sends.
  const ExtFatCapabilityBlock& head = extfat_head(block);
  Block sent = tavo::base::counted_zeroed<uint8_t>(tavo::kExtFatBlockSize);
  if (!sent) {
    set_status(tavo::firmware::kNoMemory);
    return 1;
  }
  memcpy(sent.get(), block.get(), tavo::kExtFatBlockSize);
  status = extfat_write(t, &sent);
  if (status != 0) return status;
  uint32_t result = extfat_fill_head(ext_fat, head);
  TavoNode* module = get_first_instance(ext_fat, "ExtFATModule");
  if (module == nullptr) return 1;
  ModuleWalk walk(block.get());
  for (int32_t k = 0; module != nullptr && k < head.module_count; module = tavo::tree::next_instance(module), ++k) {
    const ExtFatModuleRecord* record = walk.module();
    if (record == nullptr) break;
    result |= extfat_fill_module(module, *record);
    for (TavoNode* m = get_first_instance(module, "ExtFATMode"); m != nullptr; m = tavo::tree::next_instance(m))
      if (const ExtFatModeRecord* r = walk.mode(static_cast<uint32_t>(tavo::tree::instance_number(m))))
        result |= extfat_fill_mode(m, *r, true);
    if (!walk.next()) break;
  }
  return result;
}
