// The reads the command layer keeps for a read scope (base/read_scope.h).
// Start-up and a request ask the firmware the same questions again and
// again from different handlers (a controller's profile configuration, a
// port's PHY, an iSCSI function's interfaces); inside a scope a read whose
// row in the command table is kept_until(changes) is sent once per request
// on one function, domain, port and transport, and its answer shared after
// that, until a command that makes one of those changes is sent.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <memory>

#include "transport/command_table.h"

namespace tavo::command {

// An answer's bytes, shared by every reader and never changed once
// answered; bytes null for none.
struct Answer {
  std::shared_ptr<const uint8_t[]> bytes;
  size_t length = 0;
  explicit operator bool() const { return bytes != nullptr; }
};

// Where a kept read was sent.
struct KeptPlace {
  uint32_t function_number;
  uint8_t domain;
  uint8_t port_number;
  uint32_t transport;
};

// A request as the kept answers tell it apart: its bytes up to the last
// that is not zero (the rest of its length is zero).
struct Asked {
  const uint8_t* bytes;
  size_t length;
};
Asked asked_of(const uint8_t* request, size_t length);

// The answer kept for the request of length bytes; empty when none is
// (outside a scope none is). Under the library lock.
Answer kept_answer(CommandId id, const KeptPlace& at, Asked request, size_t length);
// Room for the answer of length bytes to a read the open scope may keep
// (read_once's), given back with the scope's. Under the library lock.
std::shared_ptr<uint8_t[]> answer_room(size_t length);
// Keeps the answer to request for the rest of the open scope; nothing
// outside one. Under the library lock.
void keep_answer(CommandId id, const KeptPlace& at, Asked request, const Answer& answer);

}  // namespace tavo::command
