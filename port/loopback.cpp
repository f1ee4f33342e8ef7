// The controller's Diagnostics: loopback modes of its ports, the loopback
// traffic test, and the host-to-DDR DMA test, with their results.
#include <ctype.h>
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include <algorithm>

#include "base/memory.h"
#include "base/timing.h"
#include "base/validate.h"
#include "controller/controller.h"
#include "port/port_internal.h"
#include "transport/commands.h"
#include "transport/device_ids.h"
#include "transport/glob.h"

namespace {

constexpr uint32_t kTypeNotSupported = 153;
constexpr uint32_t kAlreadyInLoopback = 154;
constexpr uint32_t kModeNotSet = 155;
constexpr uint32_t kModuleMissing = 198;
constexpr long long kMaxMacLoopbackBytes = 4056;
constexpr int32_t kResultMax = 2147483647;
constexpr uint32_t kNoMemory = 16;

const char* param(char* params, int i) { return params + i * TAVO_VALUE_SIZE; }

const char* const kLoopbackTypes[] = {"MacLoopBack", "PhyLoopBack", "OnePortLoopBack", "TwoPortLoopBack"};

// The ports and the commands' target of a loopback action on a controller.
struct Loopback {
  TavoNode* diagnostics = nullptr;
  TavoNode* controller = nullptr;
  uint32_t generation = 0;
  uint8_t source = 0;
  uint8_t destination = 0;
  // The source port's context and the path of its port in the bitmap.
  tavo::tree::HandlerContext c;
  uint32_t path = TAVO_PORT_NO_FUNCTION;
};

// A port number parameter: a whole number in automatic base.
bool port_param(const char* text, const char* name, uint8_t* out) {
  long long v = 0;
  if (tavo::base::parse_number(text, &v) != 0 || v < 0 || v >= TAVO_MAX_PORTS) {
    tavo::port::invalid_value(name);
    return false;
  }
  *out = static_cast<uint8_t>(v);
  return true;
}

// The source port's group: its PortNumber read through its handler.
// 1 with no port group at all, 170 with none of that number.
uint32_t source_port_group(Loopback* l) {
  TavoNode* first = get_first_instance(l->controller, "PortDiscoveryAndConfiguration");
  if (first == nullptr) return 1;
  for (TavoNode* port = first; port != nullptr; port = tavo::tree::next_instance(port)) {
    char text[TAVO_VALUE_SIZE] = "";
    long long number = 0;
    if (internal_get_property(port, "PortNumber", text) != 0) return 1;
    if (tavo::base::parse_number(text, &number) != 0 || number != l->source) continue;
    if (!tavo::port::port_context(port, &l->c)) return 1;
    l->path = get_port_bitmap(tavo::controller::controller_instance(l->controller), l->source);
    return 0;
  }
  tavo::port::port_status(170);
  return 1;
}

// The steps the three loopback actions share: 0, or the action's result
// with its status. no_destination: the wording of 231 for the destination
// port.
uint32_t loopback_begin(TavoNode* diagnostics, char* params, int source_at,
                        const tavo::base::StatusWording& no_destination, Loopback* l) {
  if (vm_flag) return tavo::port::refuse_on_vf(nullptr);
  l->diagnostics = diagnostics;
  l->controller = diagnostics != nullptr ? tavo::tree::group_above(diagnostics->parent, "Corvane") : nullptr;
  if (l->controller == nullptr || params == nullptr) return 1;
  char supported[TAVO_VALUE_SIZE] = "";
  if (internal_get_property(diagnostics, "IsLoopbackSupported", supported) != 0) return 1;
  if (strstr(supported, "False") != nullptr) {
    tavo::port::port_status(324);
    return 1;
  }
  l->generation = get_cv_type(l->controller);
  if (l->generation == TAVO_GENERATION_UNREADABLE) return 1;
  if (!port_param(param(params, source_at), "SourcePortNumber", &l->source) ||
      !port_param(param(params, source_at + 1), "DestinationPortNumber", &l->destination))
    return 1;
  const uint32_t instance = tavo::controller::controller_instance(l->controller);
  if (get_port_bitmap(instance, l->source) == TAVO_PORT_NO_FUNCTION) {
    tavo::port::port_status(231);
    return 1;
  }
  if (get_port_bitmap(instance, l->destination) == TAVO_PORT_NO_FUNCTION) {
    no_destination.set();
    return 1;
  }
  return source_port_group(l);
}

// The loopback type of a LoopbackType text (case ignored); -1 for none.
int loopback_type(const char* text) {
  for (int i = 0; i < 4; ++i)
    if (strcasecmp(text, kLoopbackTypes[i]) == 0) return i;
  return -1;
}

// MAC, PHY and one-port loopback keep to one port, two-port loopback
// needs two; other types have no rule.
uint32_t pair_rule(const Loopback& l, uint32_t type) {
  if (type <= tavo::kOnePortLoopback && l.source != l.destination) {
    tavo::port::port_status(67);
    return 1;
  }
  if (type == tavo::kTwoPortLoopback && l.source == l.destination) {
    tavo::port::port_status(68);
    return 1;
  }
  return 0;
}

// PHY loopback needs the controller's word for it (every generation but
// Galtor).
uint32_t phy_check(const Loopback& l, uint32_t type) {
  if (type != tavo::kPhyLoopback || l.generation == tavo::kGenerationGaltor) return 0;
  tavo::ControllerAttributes a{};
  if (TAVO_get_cntr_attribs(l.c.number, l.source, l.c.domain, l.path, &a) != 0) return 1;  // status 109
  if ((a.phy_loopback & 1) == 0) {
    tavo::port::port_status(168);
    return 1;
  }
  return 0;
}

// The source port's mode; a failure is 1 with 153's text or 234.
uint32_t current_mode(const Loopback& l, uint8_t* mode) {
  tavo::LoopbackModeRequest r{};
  r.port_or_mode = l.source;
  const uint32_t status = ioctl_get_loopbackmode(l.c.number, &r, l.c.domain, l.c.port, l.path);
  if (status != 0) {
    if (status != kTypeNotSupported) tavo::port::port_status(234);
    return 1;
  }
  *mode = r.port_or_mode;
  return 0;
}

uint32_t write_mode(const Loopback& l, uint8_t type, uint8_t state) {
  tavo::LoopbackModeRequest w{l.source, l.destination, type, state};
  return ioctl_set_loopbackmode(l.c.number, &w, l.c.domain, l.c.port, l.path);
}

// A 64-bit pattern in hexadecimal (an optional 0x); false with status 78
// for another character, 7 beyond 64 bits.
bool parse_pattern(const char* text, uint64_t* out) {
  if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text += 2;
  if (*text == '\0') {
    tavo::port::port_status(78);
    return false;
  }
  uint64_t v = 0;
  for (; *text != '\0'; ++text) {
    if (!isxdigit(static_cast<unsigned char>(*text))) {
      tavo::port::port_status(78);
      return false;
    }
    if (v >> 60 != 0) {
      tavo::port::kPatternTooLong.set();
      return false;
    }
    const int digit = isdigit(static_cast<unsigned char>(*text)) ? *text - '0' : tolower(*text) - 'a' + 10;
    v = v << 4 | static_cast<uint64_t>(digit);
  }
  *out = v;
  return true;
}

// A count parameter: a whole number in automatic base from 1.
bool count_param(const char* text, const char* name, long long maximum, long long* out) {
  if (tavo::base::parse_number(text, out) != 0 || *out < 1 || *out > maximum) {
    tavo::port::invalid_value(name);
    return false;
  }
  return true;
}

// The seven results of a test of `loops` loops taking `ms`, with `sent`
// and `received` errors (each at most the loops; the loops in error at most
// all of them). 64-bit arithmetic, so long runs stay exact.
uint32_t store_results(TavoNode* diagnostics, long long loops, long long ms, long long sent, long long received) {
  sent = std::clamp(sent, 0LL, loops);
  received = std::clamp(received, 0LL, loops);
  const long long errors = std::min(sent + received, loops);
  const auto shown = [](long long v) { return std::min<long long>(v, kResultMax); };
  return set_prop_val(diagnostics, "TotalTestCycles", "%lld", shown(ms)) |
         set_prop_val(diagnostics, "TotalCompleteCycles", "%lld", shown(ms * (loops - errors) / loops)) |
         set_prop_val(diagnostics, "TotalErrorCycles", "%lld", shown(ms * errors / loops)) |
         set_prop_val(diagnostics, "SendErrorCount", "%lld", sent) |
         set_prop_val(diagnostics, "ReceiveErrorCount", "%lld", received) |
         set_prop_val(diagnostics, "DataMiscompareCount", "%lld", received) |
         set_prop_val(diagnostics, "TotalCompleteCount", "%lld", loops - errors);
}

void clear_results(TavoNode* diagnostics) {
  for (const char* name : {"TotalTestCycles", "TotalCompleteCycles", "TotalErrorCycles", "SendErrorCount",
                           "ReceiveErrorCount", "DataMiscompareCount", "TotalCompleteCount"})
    set_prop_val(diagnostics, name, "0");
}

uint32_t loopback_test_failed(TavoNode* diagnostics, uint32_t status) {
  if (status == kTypeNotSupported) return 1;
  tavo::port::port_status(status == kModeNotSet || status == kModuleMissing ? status : 62);
  clear_results(diagnostics);
  return 1;
}

}  // namespace

uint32_t TAVO_check_loop_back_status(uint32_t test_status) {
  static const uint32_t kStatuses[] = {0, 248, 249, 250, 251, 52};
  if (test_status == 0) return 0;
  tavo::port::port_status(test_status < 6 ? kStatuses[test_status] : 62);
  return 1;
}

uint32_t do_EnterLoopBackMode(TavoNode* diagnostics, TavoNode*, char* params) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  Loopback l;
  if (const uint32_t r = loopback_begin(diagnostics, params, 0, tavo::port::kNoDestination, &l)) return r;
  const int type = loopback_type(param(params, 2));
  if (type < 0) return tavo::port::invalid_value("LoopbackType");
  if (pair_rule(l, static_cast<uint32_t>(type)) != 0) return 1;
  uint8_t mode = 0;
  if (current_mode(l, &mode) != 0) return 1;
  if (mode == type) {
    tavo::port::port_status(172);
    return 1;
  }
  if (const uint32_t r = phy_check(l, static_cast<uint32_t>(type))) return r;
  const uint32_t status = write_mode(l, static_cast<uint8_t>(type), 1);
  if (status == 0) return 0;
  if (status != kTypeNotSupported && status != kAlreadyInLoopback) tavo::port::port_status(232);
  return 1;
}

uint32_t do_ExitLoopBackMode(TavoNode* diagnostics, TavoNode*, char* params) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  Loopback l;
  if (const uint32_t r = loopback_begin(diagnostics, params, 0, tavo::port::kNoDestinationThie, &l)) return r;
  uint8_t mode = 0;
  if (current_mode(l, &mode) != 0) return 1;
  if (mode == tavo::kLoopbackNone) {
    tavo::port::port_status(171);
    return 1;
  }
  if (pair_rule(l, mode) != 0) return 1;
  const uint32_t status = write_mode(l, tavo::kLoopbackNone, 0);
  if (status == 0) return 0;
  if (status != kTypeNotSupported) tavo::port::port_status(233);
  return 1;
}

uint32_t do_NetworkLoopBackTest(TavoNode* diagnostics, TavoNode*, char* params) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  Loopback l;
  if (const uint32_t r = loopback_begin(diagnostics, params, 3, tavo::port::kNoDestinationThie, &l)) return r;
  const int type = loopback_type(param(params, 5));
  if (type < 0) return tavo::port::invalid_value("LoopbackType");
  if (const uint32_t r = phy_check(l, static_cast<uint32_t>(type))) return r;
  uint64_t pattern = 0;
  if (!parse_pattern(param(params, 0), &pattern)) return 1;
  if (pair_rule(l, static_cast<uint32_t>(type)) != 0) return 1;
  long long bytes = 0, loops = 0;
  if (tavo::base::parse_number(param(params, 1), &bytes) != 0 || bytes < 0 || bytes > UINT32_MAX)
    return tavo::port::invalid_value("ByteCount");
  if (type == tavo::kMacLoopback && bytes > kMaxMacLoopbackBytes) {
    tavo::port::port_status(167);
    return 1;
  }
  if (!count_param(param(params, 2), "LoopCount", UINT32_MAX, &loops)) return 1;
  tavo::LoopbackTestRequest r{};
  r.type_or_status = static_cast<uint32_t>(type);
  r.loop_count_or_sent = static_cast<uint32_t>(loops);
  r.pattern_low_or_received = static_cast<uint32_t>(pattern);
  r.pattern_high = static_cast<uint32_t>(pattern >> 32);
  r.source_or_elapsed_ms = l.source;
  r.destination = l.destination;
  r.byte_count = static_cast<uint32_t>(bytes);
  const uint32_t status = ioctl_loop_back_test(l.c.number, &r, l.c.domain, l.c.port, l.path);
  if (status != 0) return loopback_test_failed(diagnostics, status);
  if (TAVO_check_loop_back_status(r.type_or_status) != 0) return 1;
  const long long ms = r.source_or_elapsed_ms != 0 ? r.source_or_elapsed_ms : 1;
  return store_results(diagnostics, loops, ms, loops - r.loop_count_or_sent, loops - r.pattern_low_or_received);
}

uint32_t do_HostToDDRDMATest(TavoNode* diagnostics, TavoNode* action, char* params) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  if (vm_flag) return tavo::port::refuse_on_vf(nullptr);
  TavoNode* controller = diagnostics != nullptr ? tavo::tree::group_above(diagnostics->parent, "Corvane") : nullptr;
  if (controller == nullptr || params == nullptr) return 1;
  const uint32_t generation = get_cv_type(controller);
  if (generation == TAVO_GENERATION_UNREADABLE) return 1;
  if (generation == tavo::kGenerationGaltor) {
    tavo::port::port_status(259);
    return 1;
  }
  const tavo::tree::HandlerContext c = tavo::tree::handler_context(action != nullptr ? action : diagnostics);
  if (!c) return 1;
  uint64_t pattern = 0;
  if (!parse_pattern(param(params, 0), &pattern)) return 1;
  long long bytes = 0, loops = 0;
  if (tavo::base::parse_number(param(params, 1), &bytes) != 0 || bytes < 0 ||
      bytes > static_cast<long long>(tavo::kDmaTestMaxBytes))
    return tavo::port::invalid_value("ByteCount");
  if (!count_param(param(params, 2), "LoopCount", UINT32_MAX, &loops)) return 1;
  const size_t length = static_cast<size_t>(bytes) & ~size_t{7};
  tavo::base::Counted<tavo::DmaTestRequest> request = tavo::base::counted_zeroed<tavo::DmaTestRequest>();
  tavo::base::Counted<tavo::DmaTestRequest> answer = tavo::base::counted_zeroed<tavo::DmaTestRequest>();
  if (!request || !answer) {
    tavo::port::port_status(kNoMemory);
    return 1;
  }
  request->pattern_low = static_cast<uint32_t>(pattern);
  request->pattern_high = static_cast<uint32_t>(pattern >> 32);
  request->byte_count = static_cast<uint32_t>(length);
  for (size_t i = 0; i < tavo::kDmaTestMaxBytes; ++i) request->sent[i] = static_cast<uint8_t>(pattern >> (8 * (i % 8)));
  const uint32_t instance = tavo::controller::controller_instance(controller);
  long long send_errors = 0, miscompares = 0;
  const TavoTimeStamp start = tavo::timing::now();
  for (long long loop = 0; loop < loops; ++loop) {
    // Each transfer starts from the request as filled: the answer comes
    // back in the same buffer.
    *answer = *request;
    if (ioctl_ddr_dma_test(c.number, answer.get(), c.domain, c.port, instance) != 0) {
      clear_results(diagnostics);
      tavo::port::port_status(63);
      return 1;
    }
    if (answer->send_status != 0) ++send_errors;
    if (memcmp(answer->received, request->sent, length) != 0) ++miscompares;
  }
  const uint32_t ms = tavo::timing::elapsed_ms(start, tavo::timing::now());
  return store_results(diagnostics, loops, ms, send_errors, miscompares);
}
