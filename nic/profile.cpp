// The one reader of the firmware's profile configuration (mailbox 164,
// header version 1) that the profile, channel and personality code share.
#include "controller/controller.h"
#include "nic/nic.h"
#include "transport/commands.h"

using tavo::ProfileConfigBuffer;

ProfileConfigBuffer* TAVO_get_profile(TavoNode* controller, uint8_t config_type, uint8_t profile_id, uint8_t readback) {
  TavoNode* fn = tavo::controller::target_function(controller);
  if (fn == nullptr) return nullptr;
  auto buffer = tavo::base::counted_zeroed<ProfileConfigBuffer>();
  if (!buffer) {
    tavo::tree::set_status({}, 16);
    return nullptr;
  }
  buffer->profile_id = profile_id;
  buffer->config = static_cast<uint8_t>((config_type & 3) | (readback != 0 ? tavo::kProfileReadback : 0));
  const tavo::tree::HandlerContext c = tavo::tree::handler_context(fn);
  const uint32_t status = ioctl_get_profile_config(c.number, buffer.get(), sizeof(ProfileConfigBuffer), c.domain,
                                                   c.port, tavo::controller::controller_transport(controller));
  if (status != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: ioctl_get_profile_config failed with status %d\n", __func__,
           static_cast<int>(status));
    tavo::tree::set_status({}, 278);
    return nullptr;
  }
  return buffer.release();
}
