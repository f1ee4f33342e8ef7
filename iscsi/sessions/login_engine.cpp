// The login engine: one login request tried over the CHAP and digest
// combinations a login-options group allows, CHAP outermost, then the
// header digest, then the data digest.
#include <string.h>
#include <strings.h>

#include <atomic>

#include "base/library_lock.h"
#include "iscsi/sessions/sessions.h"
#include "iscsi/targets/targets.h"
#include "transport/commands.h"

namespace {

constexpr uint32_t kAuthenticationFailed = 25;
constexpr uint32_t kDigestMismatch = 243;
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

}  // namespace

uint32_t TAVO_esx_login(TavoNode* action, TavoNode* options, tavo::IscsiLoginRequest* request, char*, const char*,
                        uint32_t, uint32_t mode) {
  TAVO_LIBRARY_LOCK;
  if (action == nullptr || options == nullptr || request == nullptr) return 1;
  // A session login (mode 1) persists each try; it comes with the Login action.
  if (mode != 0) return 1;
  const int32_t device = get_port_number(options);
  const auto domain = static_cast<uint8_t>(get_domain_id(action));
  const auto port = static_cast<uint8_t>(get_phba_port_number(action));
  char chap[TAVO_VALUE_SIZE] = "", header[TAVO_VALUE_SIZE] = "", data[TAVO_VALUE_SIZE] = "";
  if (device < 1 ||
      internal_get_property(internal_get_node(options, "Authentication", TAVO_KIND_GROUP), "CHAPParam", chap) != 0 ||
      internal_get_property(options, "HeaderParam", header) != 0 ||
      internal_get_property(options, "DataParam", data) != 0)
    return 1;
  const LoginChoices chaps = login_chap_choices(chap), headers = login_digest_choices(header),
                     datas = login_digest_choices(data);
  // What the firmware's answer overwrites goes back before each retry; the
  // option block is rebuilt by the choices themselves.
  uint8_t head[kRequestHead];
  memcpy(head, request, sizeof head);
  IscsiLoginOptionsBlock* block = &request->options;
  for (int c = 0; c < chaps.count; ++c) {
    *block = *get_default_login_options();
    update_chap_details(options, block, chaps.value[c]);
    for (int h = 0; h < headers.count; ++h) {
      update_header_digest_details(options, block, headers.value[h]);
      for (int d = 0; d < datas.count; ++d) {
        update_data_digest_details(options, block, datas.value[d]);
        memcpy(request, head, sizeof head);
        request->flags |= tavo::kDiscoveryFlags;
        request->isid_qualifier = login_discovery_qualifier.fetch_add(1);
        const uint32_t status = ioctl_login_target(static_cast<uint32_t>(device), request, domain, port);
        if (status == 0) return 0;
        if (status != kAuthenticationFailed && status != kDigestMismatch) return status;
        if (c == chaps.count - 1 && h == headers.count - 1 && d == datas.count - 1) {
          tavo::sessions::sessions_status(status);
          return status;
        }
      }
    }
  }
  return 1;
}
