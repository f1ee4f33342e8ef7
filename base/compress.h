// One-call zlib compression and decompression (RFC 1950 streams).
#pragma once

#include <stdint.h>

#include "tavo/tavo_export.h"

TAVO_BEGIN_DECLS

// The largest size CompressData produces for length bytes.
TAVO_EXPORT uint32_t GetMaxCompressedLen(uint32_t length);
// Bytes written to destination, or 0xFFFFFFFF when the stream did not
// finish (destination too small, bad input).
TAVO_EXPORT uint32_t CompressData(const uint8_t* source, uint32_t source_length, uint8_t* destination,
                                  uint32_t destination_length);
TAVO_EXPORT uint32_t UncompressData(const uint8_t* source, uint32_t source_length, uint8_t* destination,
                                    uint32_t destination_length);

TAVO_END_DECLS
