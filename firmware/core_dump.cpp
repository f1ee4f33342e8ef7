// The RetrieveTessmarkCoreDump action: the dump's properties and
// generation, the dump string, component 1 from its template, the
// firmware's other components segment by segment, and the closing record.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "base/file_utils.h"
#include "base/root_gate.h"
#include "controller/controller.h"
#include "firmware/core_dump.h"
#include "firmware/dump_internal.h"
#include "firmware/firmware.h"
#include "firmware/status_texts.h"
#include "transport/commands.h"
#include "transport/device_ids.h"
#include "transport/firmware_records.h"
#include "transport/mailbox.h"
#include "tree/api_guard.h"
#include "tree/handler_context.h"

using tavo::firmware::set_status;

namespace tavo::firmware {
namespace {

// The record Galtor's dump consists of.
constexpr uint32_t kGaltorHpiIntf = 0xC0010A40;
// What is assumed when the dump properties cannot be read.
constexpr uint32_t kUnreadComponents = 7;

bool dump_is(const char* text, const char* name) { return strcasecmp(text, name) == 0; }
bool dump_is_test(const char* text) {
  return dump_is(text, "Test") || dump_is(text, "Test live") || dump_is(text, "Test Dead");
}

// What the dump is taken from and of.
struct DumpState {
  CoreDumpProperties props{};
  uint32_t generation = 0;  // of the dump, from the host-interface register
  bool dead = false;        // a dead chip, or a dead dump asked for
};

// The properties of the dump (21/11) through the first NIC function; an
// answer of 1 stands for a dead chip.
void dump_properties(TavoNode* controller, TavoNode* action, DumpState* state) {
  TavoNode* nic = get_first_instance(controller, "NICPhysicalHBA");
  const tree::HandlerContext at = tree::handler_context(action);
  CoreDumpProperties& p = state->props;
  const uint32_t status = ioctl_get_coredump_props(tree::handler_context(nic).number, &p, at.domain, at.port,
                                                   TAVO_VIA_NIC);
  if (status == 1) {
    uint32_t hpi_intf = 0, asic_id = 0;
    tavo_get_hpi_intf(&hpi_intf, &asic_id, nic);
    p = CoreDumpProperties{};
    p.hpi_intf = hpi_intf;
    p.asic_id = asic_id;
    p.chip_state = kChipDead;
    p.low_version = 1;
    p.high_version = 0;
    p.components = kUnreadComponents;
  }
  state->dead = p.chip_state != 0;
}

// The dump string and whether a dead dump was asked for (*user_dead).
void dump_string(char* text, size_t size, DumpState* state, uint32_t* user_dead) {
  const bool test = dump_is(text, "Test");
  if (text[0] != '\0' && !test) {
    *user_dead = dump_is(text, "live") || dump_is(text, "Test live") ? 0 : 1;
  } else {
    const bool alive = state->props.chip_state == 0;
    snprintf(text, size, "%s", test ? (alive ? "Test live" : "Test Dead") : (alive ? "live" : "Dead"));
    *user_dead = alive ? 0 : 1;
  }
  if (dump_is(text, "Dead")) {
    state->props.chip_state = kChipDead;
    state->dead = true;
  }
}

// Every instance of every usable segment of a firmware-listed component.
void dump_component(TavoNode* controller, TavoNode* action, const char* path, uint32_t component) {
  const uint32_t port = tree::handler_context(get_first_instance(controller, "NICPhysicalHBA")).number;
  const tree::HandlerContext at = tree::handler_context(action);
  const uint8_t domain = at.domain, phys_port = at.port;
  uint32_t segments = 0, status = 0;
  if (TAVO_get_coredump_comp_props(component, port, domain, phys_port, controller, &segments, &status) != 0 ||
      status != 0 || segments < 1)
    return;
  if (segments > kMaxSegments) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: component %u lists %u segments; %u are read\n", __func__,
           static_cast<unsigned>(component), static_cast<unsigned>(segments), static_cast<unsigned>(kMaxSegments));
    segments = kMaxSegments;
  }
  for (uint32_t s = 0; s < segments; ++s) {
    int32_t highest = -1;
    uint32_t length = 0;
    uint8_t low = 0, high = 0;
    if (TAVO_get_coredump_seg_props(component, s, port, domain, phys_port, controller, &highest, &status, &length,
                                    &low, &high) != 0 ||
        status != 0 || highest < 0)
      continue;
    if (highest > kMaxHighestInstance || length > kMaxSegmentLength) {
      pdebug(TAVO_LOG_BACKEND, 3, "%s: segment %u of component %u refused (%d instances, %u bytes)\n", __func__,
             static_cast<unsigned>(s), static_cast<unsigned>(component), static_cast<int>(highest),
             static_cast<unsigned>(length));
      continue;
    }
    for (int32_t i = 0; i <= highest; ++i) {
      TAVO_start_clock(controller);
      TAVO_write_each_segment_data(component, s, static_cast<uint32_t>(i), 0, length, 0, nullptr, path, controller,
                                   0, low, high);
    }
  }
}

}  // namespace
}  // namespace tavo::firmware

uint32_t do_RetrieveTessmarkCoreDump(TavoNode* controller, TavoNode* action, char* params) {
  using namespace tavo::firmware;
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  if (controller == nullptr || params == nullptr) return 1;
  char path[TAVO_VALUE_SIZE + 1] = "", text[TAVO_VALUE_SIZE + 1] = "";
  snprintf(path, sizeof path, "%.*s", TAVO_VALUE_SIZE, params);
  snprintf(text, sizeof text, "%.*s", TAVO_VALUE_SIZE, params + TAVO_VALUE_SIZE);
  TAVO_CORE_DUMP_STATUS = 0;
  successful_segments = 0;

  // The dump starts from an empty file.
  FILE* file = TAVO_file_open(path, "ab+");
  if (file == nullptr) {
    set_status(kDumpFileInvalid);
    return 1;
  }
  TAVO_file_close(file);
  TAVO_delete_file(path);
  const tavo::CoreDumpTime start = dump_time_now();

  DumpState state;
  if (get_cv_type(controller) == tavo::kGenerationGaltor) {
    state.props.hpi_intf = kGaltorHpiIntf;
    state.props.low_version = 1;
  } else {
    bool broken = false, found = false;
    if (get_first_instance(controller, "NICPhysicalHBA") == nullptr) return 1;
    tavo::controller::nic_function_zero(controller, &broken, &found);
    if (broken) return 1;
    dump_properties(controller, action, &state);
    if (!found) {
      pdebug(TAVO_LOG_BACKEND, 3, "%s: the controller has no NIC function 0\n", __func__);
      TAVO_CORE_DUMP_STATUS = 1;
    } else {
      TAVO_get_asic_type(state.props.hpi_intf, &state.generation, state.props.asic_id);
    }
    if (found && state.props.components > 0) {
      // Other processes' calls go on while the adapter is read out: the
      // dump writes its own file only, and reads this process's tree.
      tavo::base::RootGateLetGo let_go;
      uint32_t user_dead = 0;
      dump_string(text, sizeof text, &state, &user_dead);
      const bool dead_dump = dump_is(text, "Dead") || dump_is(text, "Test Dead");
      uint32_t components = state.props.components;
      if (components > kMaxComponents) components = kMaxComponents;
      for (uint32_t c = 1; c < components; ++c) {
        if (c == 1)
          TAVO_get_byte_code_info(state.generation, text, path, controller, user_dead, state.props.chip_state);
        else if (c != 5 && c != 6 && !((c == 2 || c == 3) && dead_dump))
          dump_component(controller, action, path, c);
      }
      if (const uint32_t refused = tavo::tree::rejoin_root(let_go)) return refused;
    }
  }

  const uint32_t recorded =
      TAVO_record_core_dump(path, state.props.chip_state, state.props.asic_id, state.props.hpi_intf,
                            state.props.low_version, state.props.high_version, start.year, start.month, start.hour,
                            start.day, start.minute, start.second, start.utc_bias, text);
  TAVO_CORE_DUMP_STATUS = 0;
  successful_segments = 0;
  if (recorded != 0) return 1;
  if (state.dead && (state.generation == tavo::kGenerationCV2 || state.generation == tavo::kGenerationCV3 ||
                     state.generation == tavo::kGenerationMoravel))
    set_status(kRebootNow);
  return 0;
}

uint32_t TAVO_get_byte_code_info(uint32_t generation, const char* dump_string, const char* path,
                                 TavoNode* controller, uint32_t user_dead, uint32_t chip_state) {
  using namespace tavo::firmware;
  if (generation == TAVO_GENERATION_UNREADABLE || dump_string == nullptr || controller == nullptr || path == nullptr)
    return 1;
  if (generation == tavo::kGenerationGaltor) return 0;
  const tavo::CoreDumpSegmentTemplate* entries = nullptr;
  size_t count = 0;
  if (dump_is_test(dump_string)) {
    entries = test_template;
    count = sizeof test_template / sizeof test_template[0];
  } else if (generation == tavo::kGenerationCV2) {
    entries = cv2_template;
    count = sizeof cv2_template / sizeof cv2_template[0];
  } else if (generation == tavo::kGenerationCV3) {
    entries = cv3_template;
    count = sizeof cv3_template / sizeof cv3_template[0];
  } else if (generation == tavo::kGenerationMoravel) {
    entries = mrv_template;
    count = sizeof mrv_template / sizeof mrv_template[0];
  } else {
    return 1;
  }
  TavoNode* pci = internal_get_node(dump_function_zero(controller), "PCI", TAVO_KIND_GROUP);
  char bus[TAVO_VALUE_SIZE] = "", device[TAVO_VALUE_SIZE] = "";
  if (pci == nullptr || internal_get_property(pci, "BusNumber", bus) != 0 ||
      internal_get_property(pci, "DeviceNumber", device) != 0)
    return 1;
  pdebug(TAVO_LOG_BACKEND, 5, "%s: dumping 0000:%02lx:%02lx.0\n", __func__, strtoul(bus, nullptr, 16),
         strtoul(device, nullptr, 16));
  const bool dead = chip_state == 1 || user_dead == 1;
  for (size_t id = 0; id < count; ++id) {
    const tavo::CoreDumpSegmentTemplate& e = entries[id];
    if (e.code == nullptr || (dead ? e.dead : e.live) == 0) continue;
    for (uint32_t i = 0; i <= e.highest_instance; ++i) {
      TAVO_start_clock(controller);
      TAVO_write_each_segment_data(1, static_cast<uint32_t>(id), i, e.start_offset, e.length, e.code_words, e.code,
                                   path, controller, e.compress, e.first, e.second);
    }
  }
  return 0;
}

uint32_t TAVO_get_coredump_comp_props(uint32_t component, uint32_t port, uint8_t domain, uint8_t phys_port,
                                      TavoNode*, uint32_t* segments, uint32_t* status) {
  tavo::CoreDumpComponentProps props{component, 0};
  const uint32_t result = ioctl_get_coredump_comp_props(port, &props, domain, phys_port, TAVO_VIA_NIC);
  if (result != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: component %u failed with %u\n", __func__, static_cast<unsigned>(component),
           static_cast<unsigned>(result));
    set_status(tavo::firmware::kComponentPropsFailed);
    return 1;
  }
  if (segments != nullptr) *segments = props.component;
  if (status != nullptr) *status = props.status;
  return 0;
}

uint32_t TAVO_get_coredump_seg_props(uint32_t component, uint32_t segment, uint32_t port, uint8_t domain,
                                     uint8_t phys_port, TavoNode*, int32_t* highest_instance, uint32_t* status,
                                     uint32_t* length, uint8_t* low_version, uint8_t* high_version) {
  uint32_t request[4] = {component, segment, 0, 0};
  tavo::CoreDumpSegmentProps props{};
  memcpy(&props, request, sizeof props);
  const uint32_t result = ioctl_get_coredump_seg_props(port, &props, domain, phys_port, TAVO_VIA_NIC);
  if (result != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: segment %u of component %u failed with %u\n", __func__,
           static_cast<unsigned>(segment), static_cast<unsigned>(component), static_cast<unsigned>(result));
    set_status(tavo::firmware::kSegmentPropsFailed);
    return 1;
  }
  if (highest_instance != nullptr) *highest_instance = props.highest_instance;
  if (status != nullptr) *status = props.status;
  if (length != nullptr) *length = props.length;
  if (low_version != nullptr) *low_version = props.low_version;
  if (high_version != nullptr) *high_version = props.high_version;
  return 0;
}

uint32_t TAVO_get_asic_type(uint32_t hpi_intf, uint32_t* generation, uint32_t asic_id) {
  if (generation == nullptr) return 1;
  if (hpi_intf == 0) {
    *generation = tavo::kGenerationUnknown;
    return 0;
  }
  char digits[16];
  const int n = snprintf(digits, sizeof digits, "%x", static_cast<unsigned>(hpi_intf));
  *generation = 0;
  if (n < 6) return 0;
  switch (digits[5]) {
    case '0':
      *generation = tavo::kGenerationCV2;
      break;
    case '1':
      *generation = tavo::kGenerationCV3;
      break;
    case 'a':
    case 'b':
      *generation = tavo::kGenerationGaltor;
      break;
    case 'f':
    case '2':
      if (asic_id == 0x410 || asic_id == 0x411) *generation = tavo::kGenerationMoravel;
      break;
    default:
      break;
  }
  return 0;
}

uint32_t tavo_get_hpi_intf(uint32_t* hpi_intf, uint32_t* asic_id, TavoNode*) {
  return hpi_intf == nullptr || asic_id == nullptr ? 1 : 0;
}
