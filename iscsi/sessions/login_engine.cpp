// The login engine: one login request tried over the CHAP and digest
// combinations a login-options group allows, CHAP outermost, then the
// header digest, then the data digest. Each try carries an option block
// built whole for its combination; a session login makes each try
// persistent (27/6 and its savetgt.txt line) before it is sent and takes
// that persistence away again when the try fails.
#include <string.h>
#include <strings.h>

#include <atomic>
#include <bitset>

#include "base/library_lock.h"
#include "iscsi/sessions/sessions_internal.h"
#include "iscsi/targets/targets.h"
#include "transport/commands.h"

using namespace tavo::sessions;

namespace {

constexpr uint32_t kAuthenticationFailed = 25;
constexpr uint32_t kDigestMismatch = 243;
constexpr uint32_t kUnreachable = 32;
constexpr uint32_t kNoSuchTarget = 144;
constexpr size_t kRequestHead = offsetof(tavo::IscsiLoginRequest, options);

// Every discovery login of the process carries the next qualifier.
std::atomic<uint16_t> login_discovery_qualifier{0};

// A level's choices in the order they are tried: 1 on, 0 off; none for a
// level the engine does not know.
struct LoginChoices {
  uint8_t value[2];
  int count;
};

LoginChoices login_chap_choices(const char* level) {
  if (strcasecmp(level, "Preferred") == 0) return {{1, 0}, 2};
  if (strcasecmp(level, "Discouraged") == 0) return {{0, 1}, 2};
  if (strcasecmp(level, "Prohibited") == 0) return {{0, 0}, 1};
  if (strcasecmp(level, "Required") == 0) return {{1, 0}, 1};
  return {{0, 0}, 0};
}

LoginChoices login_digest_choices(const char* level) {
  return strcasecmp(level, "Preferred") == 0 ? LoginChoices{{1, 0}, 2} : LoginChoices{{0, 0}, 1};
}

// The option block of one combination, built whole over the defaults.
void login_block(TavoNode* options, IscsiLoginOptionsBlock* block, uint8_t chap, uint8_t header, uint8_t data) {
  *block = *get_default_login_options();
  update_chap_details(options, block, chap);
  update_header_digest_details(options, block, header);
  update_data_digest_details(options, block, data);
}

// What a session login's tries share.
struct LoginTry {
  TavoNode* target;
  char name[TAVO_VALUE_SIZE];
  const char* address;
  const char* port;
  const char* boot;
  const char* initiator;
  SessionPlace at;
  bool entry;  // the persistent entry of the request's qualifier exists
};

}  // namespace

uint32_t TAVO_esx_login(TavoNode* action, TavoNode* options, tavo::IscsiLoginRequest* request, char* params,
                        const char* initiator_name, uint32_t reused, uint32_t mode) {
  TAVO_LIBRARY_LOCK;
  if (action == nullptr || options == nullptr || request == nullptr || (mode != 0 && mode != 1)) return 1;
  const int32_t device = get_port_number(options);
  const SessionPlace at{device > 0 ? static_cast<uint32_t>(device) : 0, static_cast<uint32_t>(get_domain_id(action)),
                        static_cast<uint32_t>(get_phba_port_number(action))};
  char chap[TAVO_VALUE_SIZE] = "", header[TAVO_VALUE_SIZE] = "", data[TAVO_VALUE_SIZE] = "";
  if (device < 1 ||
      internal_get_property(internal_get_node(options, "Authentication", TAVO_KIND_GROUP), "CHAPParam", chap) != 0 ||
      internal_get_property(options, "HeaderParam", header) != 0 ||
      internal_get_property(options, "DataParam", data) != 0)
    return 1;
  LoginTry t{options->parent, "", "", "", "", initiator_name != nullptr ? initiator_name : "", at, reused != 0};
  if (mode == 1) {
    if (params == nullptr) return 1;
    t.address = param(params, 0);
    t.port = param(params, 1);
    t.boot = is_word(param(params, 4), "True") ? "True" : "False";
  }
  const LoginChoices chaps = login_chap_choices(chap), headers = login_digest_choices(header),
                     datas = login_digest_choices(data);
  const bool chap_may_change = is_word(chap, "Preferred") || is_word(chap, "Discouraged");
  // What the firmware's answer overwrites goes back before each retry.
  uint8_t head[kRequestHead];
  memcpy(head, request, sizeof head);
  std::bitset<65536> tried;
  uint16_t qualifier = request->isid_qualifier;
  for (int c = 0; c < chaps.count; ++c) {
    for (int h = 0; h < headers.count; ++h) {
      for (int d = 0; d < datas.count; ++d) {
        const bool last = c == chaps.count - 1 && h == headers.count - 1 && d == datas.count - 1;
        memcpy(request, head, sizeof head);
        login_block(options, &request->options, chaps.value[c], headers.value[h], datas.value[d]);
        request->isid_qualifier = qualifier;
        if (mode == 0) {
          request->flags |= tavo::kDiscoveryFlags;
          request->isid_qualifier = login_discovery_qualifier.fetch_add(1);
        } else {
          if (!read_text(t.target, "TargetISCSIName", t.name)) return 1;
          if (!t.entry) {
            const uint32_t persisted =
                make_session_persistent(t.target, t.address, t.port, qualifier, &request->options,
                                        t.boot, t.initiator, target_eto(t.target));
            if (persisted != 0) return persisted;
            t.entry = true;
          }
        }
        const uint32_t status = ioctl_login_target(at.number, request, static_cast<uint8_t>(at.domain),
                                                   static_cast<uint8_t>(at.port));
        if (status == 0) return 0;
        if (mode == 1) {
          const bool invalid = status == kUnreachable || status == kNoSuchTarget;
          if (invalid) pdebug(TAVO_LOG_BACKEND, 3, "%s: invalid target %s (%u)\n", __func__, t.name, status);
          if ((chap_may_change && !invalid) || reused == 0) {
            delete_persistent(at.number, at.domain, at.port, t.target, t.name, t.address, t.port, qualifier,
                              t.initiator, 0);
            t.entry = false;
          }
        }
        if (status != kAuthenticationFailed && status != kDigestMismatch) {
          if (mode == 0) return status;
          sessions_status(237);
          return 1;
        }
        if (last) {
          sessions_status(status);
          return status;
        }
        if (mode == 1 && !t.entry) {
          // A try whose entry went retries under a qualifier of its own.
          tried.set(qualifier);
          qualifier = static_cast<uint16_t>(lowest_free_qualifier(tried));
        }
      }
    }
  }
  return 1;
}
