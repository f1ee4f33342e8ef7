// Tables of open addressing with linear probes over a power-of-two number
// of slots, as the library's indexes keep them.
#pragma once

#include <stddef.h>

namespace tavo::base {

// The entry at hole goes: the entries after it in its run that could not
// sit at their home (home(slot), any bits above the mask ignored) move
// back, so every probe still meets its entry before a free slot. Answers
// the slot left over, which the caller frees.
template <typename Slots, typename Taken, typename Home>
size_t close_probe_gap(Slots& slots, size_t hole, Taken taken, Home home) {
  const size_t mask = slots.size() - 1;
  for (size_t next = (hole + 1) & mask; taken(slots[next]); next = (next + 1) & mask) {
    const size_t at_home = home(slots[next]) & mask;
    if (((next - at_home) & mask) >= ((next - hole) & mask)) {
      slots[hole] = slots[next];
      hole = next;
    }
  }
  return hole;
}

}  // namespace tavo::base
