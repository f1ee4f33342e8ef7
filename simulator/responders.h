// Firmware responders installed in every simulator, one installer per area.
#pragma once

namespace tavo::sim {

class Simulator;

void install_standard_responders(Simulator& sim);

}  // namespace tavo::sim
