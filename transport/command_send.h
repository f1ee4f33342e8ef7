// The one body every ioctl_<command> wrapper shares.
#pragma once

#include <stdint.h>

#include "transport/command_table.h"
#include "transport/kept_reads.h"

namespace tavo::command {

// What a wrapper received; which fields matter follows from its row's form.
struct SendArgs {
  uint32_t function_number;
  void* payload;            // caller's bytes, or null
  uint64_t length;          // CallerLength and Record20: the request length
  uint8_t domain;
  uint8_t port_number;
  uint32_t route;           // Caller: the transport; controller-instance rows: the instance
  uint16_t* actual_length;  // SizeQuery: receives the firmware's actual length, or null
  int32_t pci_function;     // PfList: the function whose list is wanted
};

// Highest PCI function that the 10 pf_number bits of the header can name.
inline constexpr int32_t kMaxPfListFunction = 1022;

// Sends one command of the table and answers the wrapper's status.
uint32_t command_send(CommandId id, const SendArgs& args);

// A read kept once (its row kept_until) asking request, request_length
// bytes, the rest of the command's length zero: inside a read scope the
// answer kept for it, shared, else sent into new bytes (kept while a scope
// is open). args.payload is not used. Empty when the command failed, with
// its status in *status.
Answer read_once(CommandId id, const SendArgs& args, const void* request, size_t request_length, uint32_t* status);

}  // namespace tavo::command
