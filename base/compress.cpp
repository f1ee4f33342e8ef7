// zlib in one call each way: the whole input, one finishing call.
#include "base/compress.h"

#include <zlib.h>

#include "base/debug_log.h"
#include "base/last_status.h"
#include "base/memory.h"

namespace {

constexpr uint32_t kCompressFailed = 0xFFFFFFFF;

z_stream compress_stream(const uint8_t* source, uint32_t source_length, uint8_t* destination,
                         uint32_t destination_length) {
  z_stream zs = {};
  zs.next_in = const_cast<Bytef*>(source);
  zs.avail_in = source_length;
  zs.next_out = destination;
  zs.avail_out = destination_length;
  return zs;
}

}  // namespace

uint32_t GetMaxCompressedLen(uint32_t length) {
  // zlib's own guarantee for one finishing deflate call at the default
  // parameters: a stored block per 16383 symbols, not per 16384 bytes, and
  // an empty input still makes an 8-byte stream.
  uint64_t n = length;
  uint64_t bound = n + (n >> 12) + (n >> 14) + (n >> 25) + 13;
  uint32_t result = bound > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(bound);
  pdebug(TAVO_LOG_BACKEND, 6, "%s:MaxCompressedLen = %d\n", "GetMaxCompressedLen", static_cast<int>(result));
  return result;
}

uint32_t CompressData(const uint8_t* source, uint32_t source_length, uint8_t* destination,
                      uint32_t destination_length) {
  if (destination == nullptr || (source == nullptr && source_length != 0)) return kCompressFailed;
  z_stream zs = compress_stream(source, source_length, destination, destination_length);
  if (deflateInit(&zs, Z_DEFAULT_COMPRESSION) != Z_OK) return kCompressFailed;
  uint32_t result = deflate(&zs, Z_FINISH) == Z_STREAM_END ? static_cast<uint32_t>(zs.total_out) : kCompressFailed;
  deflateEnd(&zs);
  if (result != kCompressFailed) pdebug(TAVO_LOG_BACKEND, 5, "%s:Compression succeded.\n", "CompressData");
  return result;
}

uint32_t UncompressData(const uint8_t* source, uint32_t source_length, uint8_t* destination,
                        uint32_t destination_length) {
  if (destination == nullptr || (source == nullptr && source_length != 0)) return kCompressFailed;
  z_stream zs = compress_stream(source, source_length, destination, destination_length);
  if (inflateInit(&zs) != Z_OK) return kCompressFailed;
  uint32_t result = inflate(&zs, Z_FINISH) == Z_STREAM_END ? static_cast<uint32_t>(zs.total_out) : kCompressFailed;
  inflateEnd(&zs);
  if (result != kCompressFailed) pdebug(TAVO_LOG_BACKEND, 5, "%s:UnCompressed data succeded.\n", "UncompressData");
  return result;
}
