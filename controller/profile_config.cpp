// The one reader of the firmware's profile configuration (mailbox 164,
// header version 1) that the profile, channel, SR-IOV and FCoE code share.
#include <stddef.h>
#include <string.h>

#include "controller/controller.h"
#include "transport/command_send.h"

using tavo::ProfileConfigBuffer;

namespace tavo::controller {

SharedProfile read_profile(const tree::HandlerContext& fn, uint32_t transport, uint8_t config_type, uint8_t profile_id,
                           uint8_t readback, uint32_t* status, const char* logged_as) {
  const uint8_t request[] = {profile_id,
                             static_cast<uint8_t>((config_type & 3) | (readback != 0 ? kProfileReadback : 0))};
  static_assert(offsetof(ProfileConfigBuffer, profile_id) == 0 && offsetof(ProfileConfigBuffer, config) == 1);
  const command::SendArgs args{
      fn.number, nullptr, sizeof(ProfileConfigBuffer), fn.domain, fn.port, transport, nullptr, 0};
  const command::Answer answer =
      command::read_once(command::CommandId::ioctl_get_profile_config, args, request, sizeof request, status);
  if (!answer) {
    if (logged_as != nullptr)
      pdebug(TAVO_LOG_BACKEND, 3, "%s: ioctl_get_profile_config failed with status %d\n", logged_as,
             static_cast<int>(*status));
    return nullptr;
  }
  return SharedProfile(answer.bytes, reinterpret_cast<const ProfileConfigBuffer*>(answer.bytes.get()));
}

SharedProfile controller_profile(TavoNode* controller, uint8_t config_type, uint8_t profile_id, uint8_t readback) {
  const tree::HandlerContext fn = tree::handler_context(controller, tree::Commands::OfController);
  if (controller == nullptr || !fn) return nullptr;
  uint32_t status = 0;
  SharedProfile profile =
      read_profile(fn, controller_transport(controller), config_type, profile_id, readback, &status);
  if (!profile && status != 16) base::set_status(278);
  return profile;
}

TavoNode* profile_port_of_link(TavoNode* controller, TavoNode* view, uint8_t config_type, uint32_t link) {
  if (controller == nullptr || view == nullptr) return nullptr;
  const SharedProfile config = controller_profile(controller, config_type, 0, 0);
  if (!config) return nullptr;
  int32_t position = -1, at = 0;
  walk_profile_descriptors(reinterpret_cast<const uint8_t*>(config.get()), sizeof(ProfileConfigBuffer),
                           [&](const uint8_t* d, size_t length) {
                             if (d[0] != kProfilePort) return true;
                             const auto port = profile_descriptor_padded<ProfilePortDescriptor>(d, length);
                             if ((port.link & kLinkMask) == link) position = at;
                             ++at;
                             return position < 0;
                           });
  TavoNode* port = position < 0 ? nullptr : get_first_instance(view, "Port");
  for (int32_t i = 0; port != nullptr && i < position; ++i) port = tree::next_instance(port);
  return port;
}

}  // namespace tavo::controller

ProfileConfigBuffer* TAVO_get_profile(TavoNode* controller, uint8_t config_type, uint8_t profile_id, uint8_t readback) {
  const tavo::controller::SharedProfile shared =
      tavo::controller::controller_profile(controller, config_type, profile_id, readback);
  if (!shared) return nullptr;
  // The caller's own copy, to free as it likes.
  auto* copy = static_cast<ProfileConfigBuffer*>(tavo_dmalloc(sizeof(ProfileConfigBuffer)));
  if (copy == nullptr) {
    tavo::base::set_status(16);
    return nullptr;
  }
  memcpy(copy, shared.get(), sizeof *copy);
  return copy;
}
