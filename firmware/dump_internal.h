// What the core dump's steps share.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "firmware/dump_format.h"
#include "tree/tree.h"

namespace tavo::firmware {

// Bounds on what the firmware reports: the largest segment (the Moravel
// memory), and counts beyond any adapter's.
inline constexpr uint32_t kMaxSegmentLength = 128u << 20;
inline constexpr uint32_t kMaxComponents = 64;
inline constexpr uint32_t kMaxSegments = 1024;
inline constexpr int32_t kMaxHighestInstance = 4095;

// Appends length bytes to the dump file, all or nothing; 0, or 1 with
// status 257 (the file does not open; 319 for a record that may not be
// written), or 270 (the append failed).
uint32_t dump_append(const char* path, const void* bytes, size_t length, bool record);

// The local time now.
CoreDumpTime dump_time_now();

// The controller's NIC function of PCI function 0; null when it has none.
TavoNode* dump_function_zero(TavoNode* controller);

}  // namespace tavo::firmware
