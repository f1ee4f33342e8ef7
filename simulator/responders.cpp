#include "simulator/responders.h"

#include "simulator/simulator.h"

namespace tavo::sim {

void install_standard_responders(Simulator& sim) { install_transport_responders(sim); }

}  // namespace tavo::sim
