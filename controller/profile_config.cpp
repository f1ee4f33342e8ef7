// The one reader of the firmware's profile configuration (mailbox 164,
// header version 1) that the profile, channel, SR-IOV and FCoE code share.
// Start-up and a request ask a controller the same questions again and
// again (its port views, its profile lists, its channels): inside a read
// scope each question is asked once and answered from what was kept, until
// a command that changes the configuration is sent.
#include <array>
#include <memory>
#include <vector>

#include "base/library_lock.h"
#include "controller/controller.h"
#include "transport/commands.h"
#include "transport/record_changes.h"
#include "tree/read_scope.h"

using tavo::ProfileConfigBuffer;

namespace tavo::controller {
namespace {

// Where a question is asked (function number, domain, port, transport)
// and the question: the request's first two bytes.
using ProfileQuestion = std::array<uint32_t, 5>;

// Plain heap, not the counted blocks: what is kept lives no longer than
// the scope, and a caller's copy is counted as before.
class KeptProfiles final : public tree::ScopedKept {
 public:
  const ProfileConfigBuffer* find(const ProfileQuestion& question) {
    catch_up();
    for (const Answer& a : answers_)
      if (a.question == question) return a.config.get();
    return nullptr;
  }
  void keep(const ProfileQuestion& question, const ProfileConfigBuffer& config) {
    catch_up();
    if (tree::ReadScope::open()) answers_.push_back({question, std::make_unique<ProfileConfigBuffer>(config)});
  }
  void scope_ended() override { answers_.clear(); }

 private:
  void catch_up() {
    if (command::changed_since(&seen_, command::kProfileConfig)) answers_.clear();
  }
  struct Answer {
    ProfileQuestion question;
    std::unique_ptr<ProfileConfigBuffer> config;
  };
  std::vector<Answer> answers_;  // a few per controller
  uint64_t seen_ = 0;
};

KeptProfiles& kept_profiles() {
  static KeptProfiles kept;
  return kept;
}

}  // namespace

uint32_t ask_profile_config(uint32_t number, uint8_t domain, uint8_t port, uint32_t transport,
                            ProfileConfigBuffer* buffer) {
  const ProfileQuestion question{number, domain, port, transport,
                                 static_cast<uint32_t>(buffer->profile_id | buffer->config << 8)};
  // The kept answers are the library's shared state, whoever calls.
  base::LibraryLock lock(base::library_mutex());
  if (const ProfileConfigBuffer* kept = kept_profiles().find(question)) {
    *buffer = *kept;
    return 0;
  }
  const uint32_t status = ioctl_get_profile_config(number, buffer, sizeof(ProfileConfigBuffer), domain, port, transport);
  if (status == 0) kept_profiles().keep(question, *buffer);
  return status;
}

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
  *status = ask_profile_config(fn.number, fn.domain, fn.port, transport, buffer.get());
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
