// The 10GBase-T PHY of a port: its statistics (read from the firmware at
// most once per ten seconds per port), link-down reason and NVP value, and
// the self test, TDR and counter clearing.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <mutex>

#include "controller/controller.h"
#include "platform/host.h"
#include "port/port_internal.h"
#include "transport/commands.h"
#include "transport/device_ids.h"
#include "transport/glob.h"

namespace {

constexpr uint32_t kNotSupported = 149;
constexpr uint64_t kStatsFreshMs = 9999;
constexpr int kPairs = 4;

// When each port's statistics were last read, by controller instance and
// physical port, on the host's monotonic clock.
struct StatsRead {
  bool stamped = false;
  uint64_t at_ms = 0;
};
std::mutex stats_reads_lock;
StatsRead stats_reads[TAVO_MAX_CONTROLLERS][TAVO_MAX_PORTS];

StatsRead* stats_read(uint32_t instance, uint32_t port) {
  return instance < TAVO_MAX_CONTROLLERS && port < TAVO_MAX_PORTS ? &stats_reads[instance][port] : nullptr;
}

void stamp_stats_read(uint32_t instance, uint32_t port) {
  std::lock_guard<std::mutex> guard(stats_reads_lock);
  if (StatsRead* r = stats_read(instance, port)) *r = StatsRead{true, tavo::platform::host().monotonic_ms()};
}

// Whether the port's statistics were read less than ten seconds ago; a
// port outside the table always reads afresh.
bool stats_fresh(uint32_t instance, uint32_t port) {
  std::lock_guard<std::mutex> guard(stats_reads_lock);
  const StatsRead* r = stats_read(instance, port);
  return r != nullptr && r->stamped && tavo::platform::host().monotonic_ms() - r->at_ms <= kStatsFreshMs;
}

// The statistics properties, by word, with their formats; word 19 (the
// PHY frame counter) is stored apart.
enum class Shown { Hex, Signed, Unsigned };
struct StatsWord {
  const char* property;
  size_t word;
  Shown shown;
};
constexpr StatsWord kStatsWords[] = {
    {"10GBaseTDiagStatus", 0, Shown::Hex},      {"Temperature", 1, Shown::Signed},
    {"PairASNR", 2, Shown::Hex},                {"PairBSNR", 3, Shown::Hex},
    {"PairCSNR", 4, Shown::Hex},                {"PairDSNR", 5, Shown::Hex},
    {"TimeSinceLinkHigh", 6, Shown::Signed},    {"TimeSinceLinkLow", 7, Shown::Signed},
    {"AverageMSEPairA", 8, Shown::Signed},      {"AverageMSEPairB", 9, Shown::Signed},
    {"AverageMSEPairC", 10, Shown::Signed},     {"AverageMSEPairD", 11, Shown::Signed},
    {"LDPCFrameHigh", 12, Shown::Unsigned},     {"LDPCFrameLow", 13, Shown::Unsigned},
    {"PHYCRC8High", 14, Shown::Unsigned},       {"PHYCRC8Low", 15, Shown::Unsigned},
    {"MDIPLLEventCounter", 16, Shown::Signed},  {"10GEMIEventCounter", 18, Shown::Signed},
};

uint32_t store_word(TavoNode* baset, const StatsWord& w, uint32_t value) {
  switch (w.shown) {
    case Shown::Hex:
      return set_prop_val(baset, w.property, "0x%x", value);
    case Shown::Unsigned:
      return set_prop_val(baset, w.property, "%u", value);
    case Shown::Signed:
      break;
  }
  return set_prop_val(baset, w.property, "%d", static_cast<int32_t>(value));
}

// The port's BaseT10G group, port group and controller, in order.
bool baset_groups(TavoNode* baset, tavo::tree::HandlerContext* c) {
  return baset != nullptr && strcasecmp(baset->name, "BaseT10G") == 0 && baset->parent != nullptr &&
         tavo::port::port_context(baset->parent, c) && c->port_group == baset->parent;
}

uint32_t stats_failed() {
  tavo::port::port_status(215);
  return 1;
}

uint32_t read_statistics(TavoNode* property, char* buf, const tavo::tree::HandlerContext& c, uint32_t path,
                         TavoNode* baset) {
  char clear_supported[TAVO_VALUE_SIZE] = "";
  if (internal_get_property(baset, "IsClearCountersSupported", clear_supported) != 0) return 1;
  const uint32_t instance = tavo::controller::controller_instance(c.controller);
  if (stats_fresh(instance, c.port)) return tavo::port::answer_stored(property, buf);
  if (strcasecmp(clear_supported, "True") == 0) {
    tavo::BaseTStatsRecordV1 r{};
    r.words[0] = c.port;
    const uint32_t status = ioctl_get_baseT_stats_v1(c.number, &r, c.domain, c.port, path);
    if (status == 0) {
      TAVO_update_10GbaseT_properties(baset, nullptr, &r, 0);
      return tavo::port::answer_stored(property, buf);
    }
    if (status != kNotSupported) return stats_failed();
  }
  tavo::BaseTStatsRecord r{};
  r.words[0] = c.port;
  const uint32_t status = ioctl_get_baseT_stats(c.number, &r, c.domain, c.port, path);
  if (status == 0) {
    TAVO_update_10GbaseT_properties(baset, &r, nullptr, 0);
    return tavo::port::answer_stored(property, buf);
  }
  if (status != kNotSupported) return stats_failed();
  TAVO_update_10GbaseT_properties(baset, nullptr, nullptr, 1);
  tavo::port::answer_stored(property, buf);
  return kNotSupported;
}

// A cable pair's code (PairA 0 .. PairD 3, case ignored); -1 for none.
int pair_code(const char* text) {
  static const char* const kPairNames[kPairs] = {"PairA", "PairB", "PairC", "PairD"};
  for (int i = 0; i < kPairs; ++i)
    if (strcasecmp(text, kPairNames[i]) == 0) return i;
  return -1;
}

// A self test's code (Noise 1, NonLinear 2, CrossTalk 5); 0 for none.
uint32_t test_code(const char* text) {
  if (strcasecmp(text, "Noise") == 0) return 1;
  if (strcasecmp(text, "NonLinear") == 0) return 2;
  if (strcasecmp(text, "CrossTalk") == 0) return 5;
  return 0;
}

// The action's port (the group's PortNumber), function and path.
bool action_port(TavoNode* baset, tavo::tree::HandlerContext* c) {
  if (vm_flag) {
    tavo::port::refuse_on_vf(nullptr);
    return false;
  }
  return baset_groups(baset, c);
}

// NVPValue: a whole decimal number, 0 to 100.
bool nvp_value(const char* text, uint32_t* out) {
  const size_t length = strlen(text);
  if (length == 0 || length > 3 || strspn(text, "0123456789") != length) return false;
  const long v = strtol(text, nullptr, 10);
  if (v > 100) return false;
  *out = static_cast<uint32_t>(v);
  return true;
}

}  // namespace

namespace tavo::port {

void forget_baset_reads(uint32_t controller_instance) {
  std::lock_guard<std::mutex> guard(stats_reads_lock);
  if (controller_instance < TAVO_MAX_CONTROLLERS)
    for (StatsRead& r : stats_reads[controller_instance]) r = StatsRead{};
}

}  // namespace tavo::port

uint32_t TAVO_update_10GbaseT_properties(TavoNode* baset, const tavo::BaseTStatsRecord* stats,
                                         const tavo::BaseTStatsRecordV1* stats_v1, uint32_t flag) {
  tavo::tree::HandlerContext c;
  if (!baset_groups(baset, &c)) return 1;
  const uint32_t instance = tavo::controller::controller_instance(c.controller);
  if (stats == nullptr && stats_v1 == nullptr) {
    uint32_t failed = set_prop_val(baset, "PHYFrameCounter", "N/A");
    for (const StatsWord& w : kStatsWords) failed |= set_prop_val(baset, w.property, "N/A");
    if (flag == 0) return failed;
    stamp_stats_read(instance, c.port);
    return 0;
  }
  stamp_stats_read(instance, c.port);
  const uint32_t* words = stats_v1 != nullptr ? stats_v1->words : stats->words;
  uint32_t failed = 0;
  if (stats_v1 != nullptr) {
    const uint64_t frames =
        uint64_t{stats_v1->words[tavo::kBaseTFrameHighWord]} << 32 | stats_v1->words[tavo::kBaseTFrameLowWord];
    failed |= set_prop_val(baset, "PHYFrameCounter", "%llu", static_cast<unsigned long long>(frames));
  } else {
    failed |= set_prop_val(baset, "PHYFrameCounter", "%u", stats->words[tavo::kBaseTFrameLowWord]);
  }
  for (const StatsWord& w : kStatsWords) failed |= store_word(baset, w, words[w.word]);
  return failed != 0 ? 1 : 0;
}

uint32_t handle_10GbaseT_properties(TavoNode* property, char* buf, uint32_t) {
  tavo::tree::HandlerContext c;
  uint32_t generation = 0;
  if (!tavo::port::port_handler_begin(property, buf, &c, &generation)) return 1;
  TavoNode* baset = property->parent;
  if (generation == tavo::kGenerationCV2 || generation == tavo::kGenerationGaltor) {
    TAVO_update_10GbaseT_properties(baset, nullptr, nullptr, 0);
    return tavo::port::answer_stored(property, buf);
  }
  return read_statistics(property, buf, c, tavo::port::port_path(c), baset);
}

uint32_t handle_over_temperature(TavoNode* property, char* buf, uint32_t) {
  if (property == nullptr || buf == nullptr) return 1;
  // Inside a virtual function "N/A" stands unless the reason is read.
  if (vm_flag) snprintf(buf, TAVO_VALUE_SIZE, "N/A");
  tavo::tree::HandlerContext c;
  if (!tavo::port::port_context(property, &c)) return 1;
  const uint32_t generation = get_cv_type(c.controller);
  if (generation == TAVO_GENERATION_UNREADABLE) return 1;
  if (generation == tavo::kGenerationCV2) {
    if (set_prop_val(property->parent, property->name, "N/A") != 0) return 1;
  } else {
    // The reason comes from the port's NIC function.
    TAVO_get_over_temperature(property->parent, tavo::port::port_nic_function(c));
  }
  return tavo::port::answer_stored(property, buf);
}

uint32_t handle_10baseT_nvpvalue(TavoNode* property, char* buf, uint32_t op) {
  if (op != TAVO_PROPERTY_GET && op != TAVO_PROPERTY_SET) return 0;
  tavo::tree::HandlerContext c;
  uint32_t generation = 0;
  if (!tavo::port::port_handler_begin(property, buf, &c, &generation)) return 1;
  const uint32_t path = tavo::port::port_path(c);
  // CV2 has no 10GBase-T PHY.
  if (generation == tavo::kGenerationCV2)
    return tavo::controller::not_applicable_here(property, buf, op, tavo::port::kNotOnThisAdapter);
  if (op == TAVO_PROPERTY_GET) {
    tavo::NvpRecord r{c.port};
    const uint32_t status = ioctl_get_nvp_value(c.number, &r, c.domain, c.port, path);
    if (status != 0 && status != kNotSupported) {
      tavo::port::port_status(220);
      return 1;
    }
    char text[16] = "N/A";
    if (status == 0) snprintf(text, sizeof text, "%d", static_cast<int32_t>(r.port_or_value));
    return tavo::port::store_and_answer(property, text, buf);
  }
  char current[TAVO_VALUE_SIZE] = "";
  internal_get_property(property->parent, property->name, current);
  if (strcasecmp(current, buf) == 0) return 0;
  tavo::NvpWrite w{c.port, 0};
  if (!nvp_value(buf, &w.value)) return tavo::port::invalid_value(property->name);
  if (ioctl_set_nvp_value(c.number, &w, c.domain, c.port, path) != 0) {
    tavo::port::port_status(221);
    return 1;
  }
  return 0;
}

uint32_t do_SelfTest(TavoNode* baset, TavoNode*, char* params) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  tavo::tree::HandlerContext c;
  if (params == nullptr || !action_port(baset, &c)) return 1;
  const uint32_t path = tavo::port::port_path(c);
  const char* type_text = params;
  const char* target_text = params + 2 * TAVO_VALUE_SIZE;
  const uint32_t type = test_code(type_text);
  if (type == 5 && target_text[0] == '\0') {
    tavo::port::port_status(216);
    return 1;
  }
  const int source = pair_code(params + TAVO_VALUE_SIZE);
  const int target = type == 5 ? pair_code(target_text) : 0;
  if (type == 0) return tavo::port::invalid_value("TestType");
  if (source < 0) return tavo::port::invalid_value("SourceCable");
  if (target < 0) return tavo::port::invalid_value("TargetCable");
  tavo::SelfTestRequest r{};
  r.port_or_result = c.port;
  r.test_type = type;
  r.source_pair = static_cast<uint32_t>(source);
  r.target_pair = static_cast<uint32_t>(target);
  if (ioctl_run_selftest(c.number, &r, c.domain, c.port, path) != 0) {
    tavo::port::port_status(217);
    return 1;
  }
  set_prop_val(baset, "SelfTestResult", "%d", static_cast<int32_t>(r.port_or_result));
  return 0;
}

uint32_t do_RunTDR(TavoNode* baset, TavoNode*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  tavo::tree::HandlerContext c;
  if (!action_port(baset, &c)) return 1;
  const uint32_t path = tavo::port::port_path(c);
  tavo::TdrRequest r{};
  r.port_or_results = c.port;
  if (ioctl_run_tdr_test(c.number, &r, c.domain, c.port, path) != 0) {
    tavo::port::port_status(218);
    return 1;
  }
  static const char* const kResults[kPairs] = {"PairAResult", "PairBResult", "PairCResult", "PairDResult"};
  static const char* const kLengths[kPairs] = {"PairALengthEstimation", "PairBLengthEstimation",
                                               "PairCLengthEstimation", "PairDLengthEstimation"};
  for (int pair = 0; pair < kPairs; ++pair) {
    const uint32_t result = r.port_or_results >> (4 * pair) & 0xF;
    set_prop_val(baset, kResults[pair], "%u", result);
    // A pair OK without an estimate keeps the length it had.
    if (result != 1)
      set_prop_val(baset, kLengths[pair], "%llu", static_cast<unsigned long long>(r.lengths[pair]) * 10);
  }
  set_prop_val(baset, "NVPUsed", "%d", static_cast<int32_t>(r.nvp_used));
  return 0;
}

uint32_t do_ClearCounters(TavoNode* baset, TavoNode*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  tavo::tree::HandlerContext c;
  if (!action_port(baset, &c)) return 1;
  const uint32_t path = tavo::port::port_path(c);
  char supported[TAVO_VALUE_SIZE] = "";
  if (internal_get_property(baset, "IsClearCountersSupported", supported) != 0) return 1;
  if (get_cv_type(c.controller) != tavo::kGenerationMoravel || strcasecmp(supported, "True") != 0) {
    tavo::port::port_status(325);
    return 1;
  }
  tavo::BaseTStatsRecordV1 r{};
  r.words[0] = c.port;
  r.words[1] = tavo::kBaseTClearCounters;
  return ioctl_get_baseT_stats_v1(c.number, &r, c.domain, c.port, path);
}
