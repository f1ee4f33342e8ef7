// The profile store of each simulated controller, shared by the responders
// of its function layout: state objects in the controller's flash (reply
// images, so tests may plant any bytes), made from the topology when
// missing.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "simulator/simulator.h"

namespace tavo::sim {

// "/cfg/profile/active", "/cfg/profile/configured", "/cfg/profile/common",
// "/cfg/cv_conf": the layouts the personality responders keep.
std::vector<uint8_t>& personality_state(Simulator& sim, int controller, const char* name);
// The configuration the topology gives the controller.
std::vector<uint8_t> profile_default_image(Simulator& sim, int controller);
// image as the answer: the payload cleared, then as much as fits.
MailboxReply profile_answer(MailboxCall& call, const std::vector<uint8_t>& image);

// The configuration of the profile with that id ("/cfg/profile/<id>"; by
// default the topology's).
std::vector<uint8_t>& profile_named(Simulator& sim, int controller, uint8_t id);
// The id the adapter runs after its next reset becomes id.
void profile_ids_set_configured(Simulator& sim, int controller, uint16_t id);
// A change that takes effect at the next reset.
void profile_reset_due(Simulator& sim, int controller);

// The profile list (166/1), profile ids (167/1, 168/1), capacities (161/1),
// ARI settings (94/1, 95/1) and link configurations (201/1, 202/1).
void install_profile_responders(Simulator& sim);

}  // namespace tavo::sim
