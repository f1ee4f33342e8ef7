// Named objects in the controller's flash file system, read (mailbox 171)
// and written (172) in chunks with header version 1. The firmware branch
// owns the transfer; the controller and boot code use the same requests for
// their own objects. Little-endian, packed; the simulator's firmware reads
// the same layouts.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace tavo {

#pragma pack(push, 1)

inline constexpr size_t kObjectNameSize = 104;
inline constexpr uint32_t kObjectChunkMax = 32768;
inline constexpr uint32_t kObjectLengthMask = 0x00FFFFFF;
// Bit 31 of the read answer's second word and of the write request's first.
inline constexpr uint32_t kObjectEndOfFile = 0x80000000u;

// Request: bytes to read (bits 0-23; 0 asks for the object's length)|offset|
// name. Answer: bytes read (for a request of 0 the object's length)|bit 31
// end of file|the data, from byte 8 on.
struct ObjectReadRequest {
  uint32_t length;
  uint32_t offset;                  // 4
  char name[kObjectNameSize];       // 8
  uint8_t reserved112[32764];
};
static_assert(sizeof(ObjectReadRequest) == 32876);
static_assert(offsetof(ObjectReadRequest, name) == 8);
inline constexpr size_t kObjectReadData = offsetof(ObjectReadRequest, name);
inline constexpr size_t kObjectReadRoom = sizeof(ObjectReadRequest) - kObjectReadData;

// Request: chunk length (bits 0-23) and end of file (bit 31)|offset|name|
// data. Answer: bytes written|change status (byte 4, after the last chunk).
// A caller may send fewer data bytes than the full request holds.
struct ObjectWriteRequest {
  uint32_t length;
  uint32_t offset;                  // 4
  char name[kObjectNameSize];       // 8
  uint8_t data[kObjectChunkMax];    // 112
};
static_assert(sizeof(ObjectWriteRequest) == 32880);
static_assert(offsetof(ObjectWriteRequest, offset) == 4);
static_assert(offsetof(ObjectWriteRequest, data) == 112);

#pragma pack(pop)

}  // namespace tavo
