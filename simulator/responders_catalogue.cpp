// Generic firmware answers for the command catalogue: every command of the
// table that the library builds through the generic wrappers succeeds, and
// its response area holds the request's bytes complemented, so a test tells
// the answer copied back from the request it sent. The simulator's log keeps
// the raw request. Responders installed later for a command replace these.
#include "simulator/simulator.h"
#include "transport/command_table.h"

namespace tavo::sim {
namespace {

MailboxReply catalogue_echo(Simulator&, MailboxCall& call) {
  for (uint8_t& b : call.payload) b = static_cast<uint8_t>(~b);
  return MailboxReply{0, 0, -1};
}

}  // namespace

void install_catalogue_responders(Simulator& sim) {
  for (const command::CommandRow& row : command::kCommands)
    if (row.form != command::Form::Own) sim.on(row.subsystem, row.opcode, catalogue_echo);
}

}  // namespace tavo::sim
