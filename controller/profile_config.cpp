// The one reader of the firmware's profile configuration (mailbox 164,
// header version 1) that the profile, channel, SR-IOV and FCoE code share.
#include "controller/controller.h"
#include "transport/commands.h"

using tavo::ProfileConfigBuffer;

namespace tavo::controller {

base::Counted<ProfileConfigBuffer> read_profile(const tree::HandlerContext& fn, uint32_t transport,
                                                uint8_t config_type, uint8_t profile_id, uint8_t readback,
                                                uint32_t* status) {
  *status = 0;
  auto buffer = base::counted_zeroed<ProfileConfigBuffer>();
  if (!buffer) {
    base::set_status(16);
    *status = 16;
    return buffer;
  }
  buffer->profile_id = profile_id;
  buffer->config = static_cast<uint8_t>((config_type & 3) | (readback != 0 ? kProfileReadback : 0));
  *status = ioctl_get_profile_config(fn.number, buffer.get(), sizeof(ProfileConfigBuffer), fn.domain, fn.port,
                                     transport);
  if (*status != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: ioctl_get_profile_config failed with status %d\n", __func__,
           static_cast<int>(*status));
    buffer.reset();
  }
  return buffer;
}

TavoNode* profile_port_of_link(TavoNode* controller, TavoNode* view, uint8_t config_type, uint32_t link) {
  if (controller == nullptr || view == nullptr) return nullptr;
  base::Counted<ProfileConfigBuffer> config(TAVO_get_profile(controller, config_type, 0, 0));
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
  const tavo::tree::HandlerContext fn = tavo::tree::handler_context(controller, tavo::tree::Commands::OfController);
  if (controller == nullptr || !fn) return nullptr;
  uint32_t status = 0;
  auto buffer = tavo::controller::read_profile(fn, tavo::controller::controller_transport(controller), config_type,
                                               profile_id, readback, &status);
  if (!buffer && status != 16) tavo::base::set_status(278);
  return buffer.release();
}
