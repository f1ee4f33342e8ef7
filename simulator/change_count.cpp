#include "simulator/change_count.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavo::sim {
namespace {

// The file's size whatever the word's: a build of 32 bits never cuts the
// word of one of 64 short.
constexpr off_t kFileSize = 8;

}  // namespace

ChangeCount::~ChangeCount() {
  if (word_ != nullptr) ::munmap(word_, kFileSize);
}

bool ChangeCount::map(int dir, const char* name) {
  if (word_ != nullptr) return true;
  constexpr int kFlags = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
  int fd = ::openat(dir, name, O_RDWR | O_CREAT | kFlags, 0644);
  // A root that cannot be written: the word is read only, as is the file.
  writable_ = fd >= 0;
  if (fd < 0 && (errno == EROFS || errno == EACCES)) fd = ::openat(dir, name, O_RDONLY | kFlags);
  if (fd < 0) return false;
  // The file only grows (to the same size, whoever makes it): a word past
  // its end would fault.
  struct stat st;
  void* at = MAP_FAILED;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1 &&
      (st.st_size >= kFileSize || (writable_ && ::ftruncate(fd, kFileSize) == 0)))
    at = ::mmap(nullptr, kFileSize, PROT_READ | (writable_ ? PROT_WRITE : 0), MAP_SHARED, fd, 0);
  ::close(fd);
  if (at == MAP_FAILED) return false;
  word_ = static_cast<Word*>(at);
  return true;
}

bool ChangeCount::moved() {
  if (word_ == nullptr) return true;
  read_ = std::atomic_ref<Word>(*word_).load(std::memory_order_acquire);
  return read_ != seen_ || (read_ & 1) != 0;
}

void ChangeCount::seen() { seen_ = (read_ & 1) != 0 ? kUnseen : read_; }

void ChangeCount::begin_change() {
  if (word_ == nullptr || !writable_) return;
  std::atomic_ref<Word> word(*word_);
  before_ = word.load(std::memory_order_relaxed);
  word.store(before_ | 1, std::memory_order_release);
}

void ChangeCount::end_change() {
  if (word_ == nullptr || !writable_) return;
  const Word after = (before_ | 1) + 1;
  std::atomic_ref<Word>(*word_).store(after, std::memory_order_release);
  // This process saw everything before its change: it holds the file as it is.
  if ((before_ & 1) == 0 && seen_ == before_) seen_ = after;
}

}  // namespace tavo::sim
