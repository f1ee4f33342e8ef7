// The family's ID tables (ids/device_ids.h) and transport's lookup over them.
#pragma once

#include <stdint.h>

#include "ids/device_ids.h"

namespace tavo {

constexpr uint32_t generation_of_device_id(uint16_t device_id) {
  for (const auto& row : kControllerGenerationTable)
    if (row.device_id == device_id) return row.generation;
  return kGenerationUnknown;
}

}  // namespace tavo
