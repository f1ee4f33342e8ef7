#include "simulator/responders.h"

#include "simulator/simulator.h"

namespace tavo::sim {

void install_catalogue_responders(Simulator& sim);  // first: the area responders below replace it

void install_standard_responders(Simulator& sim) {
  install_catalogue_responders(sim);
  install_transport_responders(sim);
}

}  // namespace tavo::sim
