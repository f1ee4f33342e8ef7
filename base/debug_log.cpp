// The debug log: one line per pdebug call that passes the subsystem mask,
// the level and an open log, tested before anything is formatted. Each line
// is formatted whole and written with one write on a descriptor opened for
// appending, so the lines of threads and processes never interleave.
#include "base/debug_log.h"

#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <new>

#include "platform/host.h"

FILE* tavo_log_fp = nullptr;
uint32_t tavo_debug_level = 0;
uint32_t tavo_debug_subsystem = 3;

namespace {

// Guards the log's lifetime and its writes. tavo_log_fp is also read
// without it (atomically) for the quick test.
std::mutex log_mutex;
FILE* log_stream = nullptr;  // the stream the library opened
int log_fd = -1;             // its descriptor, written by pdebug

constexpr size_t kLogLineOnStack = 1024;

const char* log_prefix(int32_t level) {
  switch (level) {
    case 1: return "FATAL:";
    case 2: return "CRITICAL:";
    case 3: return "ERROR:";
    case 4: return "Warning:";
    case 5: return "INFO:";
    default: return "";
  }
}

FILE* log_published() { return __atomic_load_n(&tavo_log_fp, __ATOMIC_ACQUIRE); }

// One whole line: a single write on the library's descriptor (repeated only
// for what a short write left), or one flushed fwrite on a stream a client
// put in tavo_log_fp.
void log_put(const char* line, size_t length) {
  std::lock_guard<std::mutex> guard(log_mutex);
  FILE* fp = log_published();
  if (fp == nullptr) return;
  if (fp != log_stream) {
    fwrite(line, 1, length, fp);
    fflush(fp);
    return;
  }
  while (length > 0) {
    const ssize_t n = tavo::platform::host().write(log_fd, line, length);
    if (n <= 0) return;
    line += n;
    length -= static_cast<size_t>(n);
  }
}

// Whether a planted name was told of already: it is told once, not at
// every start, until the log opens again.
bool log_planted_told = false;

// The log file for appending, as every file the library writes: a link at
// its path is not followed, and a second name or anything but a plain file
// there is not written. Such a name is told of once and left alone; -1.
int log_open_plain(const std::string& path) {
  tavo::platform::Host& host = tavo::platform::host();
  const int fd = host.open(path, O_RDWR | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0644);
  const int open_error = errno;
  struct stat st;
  const bool plain = fd >= 0 && host.fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1;
  if (plain) {
    log_planted_told = false;
    return fd;
  }
  if (fd >= 0) host.close(fd);
  const bool planted = fd >= 0 || open_error == ELOOP || open_error == EISDIR || open_error == ENXIO;
  if (planted && !log_planted_told) {
    log_planted_told = true;
    tavo::platform::tell_operator("libtavo: " + path +
                                  " is a link or no plain file of its own: it is left alone and nothing is logged");
  }
  return -1;
}

}  // namespace

void(pdebug)(uint32_t subsystem_mask, int32_t level, const char* format, ...) {
  if (!tavo_debug_wanted(subsystem_mask, level) || log_published() == nullptr || format == nullptr) return;
  const time_t now = tavo::platform::host().now();
  char when[64] = "";
  if (ctime_r(&now, when) != nullptr && when[0] != '\0') when[strlen(when) - 1] = '\0';
  char line[kLogLineOnStack];
  const int head = snprintf(line, sizeof line, "%s,%d,   %s", when, static_cast<int>(getpid()), log_prefix(level));
  if (head < 0 || static_cast<size_t>(head) >= sizeof line) return;
  va_list ap;
  va_start(ap, format);
  va_list again;
  va_copy(again, ap);
  const int body = vsnprintf(line + head, sizeof line - static_cast<size_t>(head), format, ap);
  va_end(ap);
  const size_t total = static_cast<size_t>(head) + static_cast<size_t>(body < 0 ? 0 : body);
  std::unique_ptr<char[]> longer;
  const char* text = line;
  if (body >= 0 && total >= sizeof line) {
    // A long line is formatted again, whole, into a buffer that holds it.
    longer.reset(new (std::nothrow) char[total + 1]);
    if (longer) {
      memcpy(longer.get(), line, static_cast<size_t>(head));
      vsnprintf(longer.get() + head, static_cast<size_t>(body) + 1, format, again);
      text = longer.get();
    }
  }
  va_end(again);
  if (body >= 0) log_put(text, text == line ? std::min(total, sizeof line - 1) : total);
}

namespace tavo::base {

uint32_t log_level() { return __atomic_load_n(&tavo_debug_level, __ATOMIC_RELAXED); }

void set_log_level(uint32_t level) { __atomic_store_n(&tavo_debug_level, level, __ATOMIC_RELAXED); }

bool log_is_open() { return log_published() != nullptr; }

bool open_log(const std::string& host_path) {
  std::lock_guard<std::mutex> guard(log_mutex);
  if (log_published() != nullptr) return true;
  if (log_stream == nullptr) {
    const int fd = log_open_plain(host_path);
    if (fd < 0) return false;
    log_stream = platform::stream_over(fd, "ae+");
    if (log_stream == nullptr) return false;
    log_fd = fd;
  }
  __atomic_store_n(&tavo_log_fp, log_stream, __ATOMIC_RELEASE);
  return true;
}

void close_log() {
  std::lock_guard<std::mutex> guard(log_mutex);
  if (log_stream == nullptr) return;
  if (log_published() == log_stream) __atomic_store_n(&tavo_log_fp, static_cast<FILE*>(nullptr), __ATOMIC_RELEASE);
  fclose(log_stream);
  log_stream = nullptr;
  log_fd = -1;
}

}  // namespace tavo::base
