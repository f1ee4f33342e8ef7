// Client-named output files through the host's file calls.
#include "firmware/output_file.h"

#include <errno.h>

#include <string_view>

#include "base/file_utils.h"
#include "base/save_file.h"

namespace tavo::firmware {
namespace {

constexpr mode_t kOutputMode = 0644;

}  // namespace

int output_write(const char* path, const void* bytes, size_t length) {
  if (path == nullptr) {
    errno = EINVAL;
    return -1;
  }
  TAVO_delete_file(path);
  if (output_append(path, bytes, length) == 0) return 0;
  const int err = errno;
  TAVO_delete_file(path);
  errno = err;
  return -1;
}

int output_append(const char* path, const void* bytes, size_t length, bool* opened) {
  if (opened != nullptr) *opened = false;
  if (path == nullptr || (bytes == nullptr && length > 0)) {
    errno = EINVAL;
    return -1;
  }
  return files::append_bytes(path, std::string_view(static_cast<const char*>(bytes), length), kOutputMode, opened);
}

}  // namespace tavo::firmware
