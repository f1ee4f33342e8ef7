// The personality from the storage functions of the profile configuration
// (mailboxes 164 and 165, header version 1).
#include <string.h>
#include <strings.h>

#include "controller/controller.h"
#include "transport/commands.h"

using tavo::ProfileConfigBuffer;
using tavo::ProfilePciFunctionDescriptor;
using tavo::base::counted_zeroed;
using tavo::controller::kPathNotApplicable;
using tavo::controller::kVersionNotSupported;

namespace {


struct PersonalityName {
  uint8_t protocol;
  const char* name;
};
constexpr PersonalityName kPersonalityNames[] = {
    {tavo::kProtocolNic, "NIC"}, {tavo::kProtocolIscsi, "iSCSI"}, {tavo::kProtocolFcoe, "FCoE"}};

}  // namespace

namespace tavo::controller {

const char* personality_name(uint32_t protocol) {
  for (const PersonalityName& p : kPersonalityNames)
    if (p.protocol == protocol) return p.name;
  return "Illegal";
}

uint32_t personality_refused() {
  tavo::controller::controller_status(kPersonalityRefused);
  return 1;
}

uint8_t personality_protocol(const char* name) {
  for (const PersonalityName& p : kPersonalityNames)
    if (name != nullptr && strcasecmp(name, p.name) == 0) return p.protocol;
  return 0;
}

}  // namespace tavo::controller

uint32_t TAVO_get_storage_functions(uint32_t port_number, uint8_t domain, uint8_t phba_port, TavoNode* controller,
                                    uint32_t* count, uint32_t* pf_numbers, uint32_t* protocol_types, uint32_t mode) {
  if (count == nullptr || pf_numbers == nullptr || protocol_types == nullptr) return 1;
  const tavo::tree::HandlerContext fn{controller, nullptr, port_number, domain, phba_port};
  uint32_t status = 0;
  const tavo::controller::SharedProfile config = tavo::controller::read_profile(
      fn, tavo::controller::controller_transport(controller), tavo::kProfileActive, 0, 0, &status, __func__);
  if (!config) return status == kVersionNotSupported ? kVersionNotSupported : kPathNotApplicable;
  const auto* reply = reinterpret_cast<const uint8_t*>(config.get());
  if (tavo::profile_descriptor_count(reply) > 0 && config->descriptors[0] < tavo::kProfilePciFunction)
    return kPathNotApplicable;
  uint32_t found = 0;
  // Inside the walk __func__ would name the lambda's operator().
  const char* const caller = __func__;
  tavo::walk_profile_descriptors(reply, sizeof(ProfileConfigBuffer), [&](const uint8_t* d, size_t length) {
    ProfilePciFunctionDescriptor pf;
    if (!tavo::read_profile_descriptor(d, length, tavo::kProfilePciFunction, &pf) ||
        (pf.mission_roles & tavo::kStorageRoles) == 0)
      return true;
    if (found == TAVO_MAX_STORAGE_FUNCTIONS) {
      pdebug(TAVO_LOG_BACKEND, 3, "%s: more than %d storage functions; the rest are left out\n", caller,
             TAVO_MAX_STORAGE_FUNCTIONS);
      return false;
    }
    pf_numbers[found] = tavo::pf_number_of(pf.head.pf);
    // A storage function without a valid protocol counts only when setting.
    if (pf.pf_state != 0) {
      protocol_types[found++] = pf.pf_type;
    } else {
      protocol_types[found] = tavo::kProtocolNic;
      if (mode == TAVO_STORAGE_SETTING) ++found;
    }
    return true;
  });
  *count = found;
  return 0;
}

uint32_t TAVO_get_adapter_current_personality(uint32_t port_number, uint8_t domain, uint8_t phba_port,
                                              TavoNode* controller, TavoNode* personality) {
  uint32_t count = 0, pf_numbers[TAVO_MAX_STORAGE_FUNCTIONS], protocols[TAVO_MAX_STORAGE_FUNCTIONS];
  const uint32_t status = TAVO_get_storage_functions(port_number, domain, phba_port, controller, &count, pf_numbers,
                                                     protocols, TAVO_STORAGE_READING);
  if (status != 0) return status;
  // The last storage function in descriptor order decides.
  const char* name = count == 0 ? "NIC" : tavo::controller::personality_name(protocols[count - 1]);
  return set_prop_val(personality, "CurrentPersonality", "%s", name) == 0 ? 0 : 1;
}

uint32_t TAVO_set_adapter_personality(uint32_t port_number, uint8_t domain, uint8_t phba_port, TavoNode* controller,
                                      const char* personality) {
  const uint8_t protocol = tavo::controller::personality_protocol(personality);
  if (protocol == 0) {
    tavo::tree::validation_status(TAVO_INVALID_VALUE, "NewPersonality", 0, 0);
    return 1;
  }
  uint32_t count = 0, pf_numbers[TAVO_MAX_STORAGE_FUNCTIONS], protocols[TAVO_MAX_STORAGE_FUNCTIONS];
  const uint32_t status = TAVO_get_storage_functions(port_number, domain, phba_port, controller, &count, pf_numbers,
                                                     protocols, TAVO_STORAGE_SETTING);
  if (status == kVersionNotSupported) return status;
  if (status != 0) {
    tavo::controller::controller_status(278);
    return 1;
  }
  if (count == 0) return tavo::controller::personality_refused();
  auto request = counted_zeroed<tavo::ProfileConfigSet>();
  if (!request) {
    tavo::controller::controller_status(16);
    return 1;
  }
  request->count = count;
  for (uint32_t i = 0; i < count; ++i) {
    ProfilePciFunctionDescriptor pf{};
    pf.head.type = tavo::kProfilePciFunction;
    pf.head.length = sizeof pf;
    pf.head.flags = tavo::kDescriptorFlagsWritten;
    pf.head.pf = tavo::with_pf_number(0, pf_numbers[i]);
    pf.pf_state = 1;
    pf.pf_type = protocol;
    memcpy(request->descriptors + i * sizeof pf, &pf, sizeof pf);
  }
  const uint32_t sent = ioctl_set_profile_config(port_number, request.get(), sizeof(tavo::ProfileConfigSet), domain,
                                                 phba_port, tavo::controller::controller_transport(controller));
  if (sent == 0) return 0;
  pdebug(TAVO_LOG_BACKEND, 3, "%s: ioctl_set_profile_config failed with status %d\n", __func__,
         static_cast<int>(sent));
  if (sent == tavo::controller::kPersonalityRefused)
    tavo::controller::personality_refused();
  else
    tavo::controller::controller_status(283);
  return 1;
}
