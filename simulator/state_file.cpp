#include "simulator/state_file.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace tavo::sim {
namespace {

constexpr char kMagic[8] = {'T', 'A', 'V', 'O', 'S', 'I', 'M', '1'};
constexpr size_t kHeaderSize = sizeof kMagic + 8;
constexpr uint32_t kBatchMark = 0x31425354;  // "TSB1"
constexpr size_t kBatchHead = 16;             // mark, payload length, checksum
constexpr uint8_t kPut = 1, kRemove = 0;

// Not a guard against tampering: it tells a whole batch from one a crash
// cut short or left with stale bytes.
uint64_t batch_check(const char* p, size_t n) {
  uint64_t h = 0x6A09E667F3BCC908ull ^ n;
  const auto mix = [&h](uint64_t w) {
    h = (h ^ w) * 0x9E3779B97F4A7C15ull;
    h ^= h >> 29;
  };
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    memcpy(&w, p + i, 8);
    mix(w);
  }
  uint64_t w = 0;
  memcpy(&w, p + i, n - i);
  mix(w);
  return h;
}

void put32(std::string* out, uint32_t v) { out->append(reinterpret_cast<const char*>(&v), sizeof v); }

bool take32(std::string_view* in, uint32_t* v) {
  if (in->size() < sizeof *v) return false;
  memcpy(v, in->data(), sizeof *v);
  in->remove_prefix(sizeof *v);
  return true;
}

bool take_text(std::string_view* in, std::string* out) {
  uint32_t n = 0;
  if (!take32(in, &n) || in->size() < n) return false;
  out->assign(in->data(), n);
  in->remove_prefix(n);
  return true;
}

std::string encode_batch(const std::vector<StateFile::Change>& changes) {
  std::string body(kBatchHead, '\0');
  for (const StateFile::Change& c : changes) {
    body.push_back(static_cast<char>(c.value ? kPut : kRemove));
    put32(&body, static_cast<uint32_t>(c.key.size()));
    body += c.key;
    if (c.value) {
      put32(&body, static_cast<uint32_t>(c.value->size()));
      body += *c.value;
    }
  }
  const uint32_t length = static_cast<uint32_t>(body.size() - kBatchHead);
  const uint64_t check = batch_check(body.data() + kBatchHead, length);
  memcpy(&body[0], &kBatchMark, 4);
  memcpy(&body[4], &length, 4);
  memcpy(&body[8], &check, 8);
  return body;
}

// The records of one batch's payload; false when they do not parse.
bool decode_batch(std::string_view in, std::vector<StateFile::Change>* out) {
  while (!in.empty()) {
    const uint8_t op = static_cast<uint8_t>(in[0]);
    in.remove_prefix(1);
    StateFile::Change c;
    if ((op != kPut && op != kRemove) || !take_text(&in, &c.key)) return false;
    if (op == kPut && !take_text(&in, &c.value.emplace())) return false;
    out->push_back(std::move(c));
  }
  return true;
}

bool write_all(int fd, const std::string& bytes, off_t at) {
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done, at + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool read_all(int fd, std::string* out, off_t from, off_t to) {
  out->resize(static_cast<size_t>(to - from));
  for (size_t done = 0; done < out->size();) {
    const ssize_t n = ::pread(fd, out->data() + done, out->size() - done, from + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      out->resize(done);
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

StateFile::StateFile(std::string dir, uint64_t fingerprint)
    : dir_(std::move(dir)), path_(dir_ + "/adapters"), lock_path_(dir_ + "/adapters.lock"), fingerprint_(fingerprint) {}

StateFile::~StateFile() {
  if (fd_ >= 0) ::close(fd_);
  if (lock_fd_ >= 0) ::close(lock_fd_);
}

bool StateFile::lock(bool exclusive, bool may_create) {
  if (lock_fd_ < 0) {
    constexpr int kFlags = O_CLOEXEC | O_NOFOLLOW;
    if (may_create) {
      ::mkdir(dir_.c_str(), 0755);
      lock_fd_ = ::open(lock_path_.c_str(), O_RDWR | O_CREAT | kFlags, 0644);
    }
    if (lock_fd_ < 0) lock_fd_ = ::open(lock_path_.c_str(), O_RDWR | kFlags);
    if (lock_fd_ < 0) lock_fd_ = ::open(lock_path_.c_str(), O_RDONLY | kFlags);
    if (lock_fd_ < 0) return false;
  }
  struct flock fl{};
  fl.l_type = exclusive ? F_WRLCK : F_RDLCK;
  fl.l_whence = SEEK_SET;
  while (::fcntl(lock_fd_, F_SETLKW, &fl) != 0)
    if (errno != EINTR) return false;
  return true;
}

void StateFile::unlock() {
  struct flock fl{};
  fl.l_type = F_UNLCK;
  fl.l_whence = SEEK_SET;
  (void)::fcntl(lock_fd_, F_SETLK, &fl);
}

StateFile::Seen StateFile::look(std::vector<Change>* changes) {
  changes->clear();
  struct stat st;
  if (::stat(path_.c_str(), &st) != 0) {
    if (!known_) return Seen::Same;
    ::close(fd_);
    fd_ = -1;
    known_ = false;
    return Seen::Gone;
  }
  // A file cut back below what was read (a test rewound it) is read anew.
  if (known_ && st.st_dev == dev_ && st.st_ino == ino_ && st.st_size >= end_) {
    if (st.st_size == end_ || !ours_) return Seen::Same;
    const off_t before = end_;
    read_batches(end_, st.st_size, changes);
    return end_ == before ? Seen::Same : Seen::Grew;
  }
  const bool replaced = known_;
  if (!open_current(changes)) return replaced ? Seen::Gone : Seen::Same;
  return replaced ? Seen::Replaced : Seen::Found;
}

// Opens the file at the path as it is now and reads it whole.
bool StateFile::open_current(std::vector<Change>* changes) {
  if (fd_ >= 0) ::close(fd_);
  known_ = false;
  fd_ = ::open(path_.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
  if (fd_ < 0) fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  struct stat st;
  if (fd_ < 0 || ::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    return false;
  }
  known_ = true;
  dev_ = st.st_dev;
  ino_ = st.st_ino;
  std::string header;
  ours_ = read_all(fd_, &header, 0, static_cast<off_t>(kHeaderSize)) &&
          memcmp(header.data(), kMagic, sizeof kMagic) == 0 &&
          memcmp(header.data() + sizeof kMagic, &fingerprint_, sizeof fingerprint_) == 0;
  end_ = ours_ ? static_cast<off_t>(kHeaderSize) : st.st_size;
  if (ours_) read_batches(end_, st.st_size, changes);
  return true;
}

bool StateFile::read_batches(off_t from, off_t size, std::vector<Change>* changes) {
  std::string bytes;
  if (!read_all(fd_, &bytes, from, size)) return false;
  std::string_view in(bytes);
  while (in.size() >= kBatchHead) {
    uint32_t mark = 0, length = 0;
    uint64_t check = 0;
    memcpy(&mark, in.data(), 4);
    memcpy(&length, in.data() + 4, 4);
    memcpy(&check, in.data() + 8, 8);
    if (mark != kBatchMark || in.size() - kBatchHead < length) break;
    const std::string_view payload = in.substr(kBatchHead, length);
    std::vector<Change> batch;
    if (batch_check(payload.data(), payload.size()) != check || !decode_batch(payload, &batch)) break;
    for (Change& c : batch) changes->push_back(std::move(c));
    in.remove_prefix(kBatchHead + length);
    end_ = from + static_cast<off_t>(bytes.size() - in.size());
  }
  return true;
}

bool StateFile::append(const std::vector<Change>& batch) {
  const std::string body = encode_batch(batch);
  if (!known_ || !ours_) {
    std::string whole(kMagic, sizeof kMagic);
    whole.append(reinterpret_cast<const char*>(&fingerprint_), sizeof fingerprint_);
    return create_with(whole + body);
  }
  // A batch a crash cut short goes before this one follows.
  struct stat st;
  if (::fstat(fd_, &st) != 0 || (st.st_size != end_ && ::ftruncate(fd_, end_) != 0)) return false;
  if (!write_all(fd_, body, end_)) {
    (void)::ftruncate(fd_, end_);
    return false;
  }
  end_ += static_cast<off_t>(body.size());
  return true;
}

bool StateFile::worth_compacting(size_t live) const {
  return static_cast<size_t>(end_) > 4 * live + (size_t{256} << 10);
}

bool StateFile::replace(const Items& items) {
  std::vector<Change> all;
  all.reserve(items.size());
  for (const auto& [key, value] : items) all.push_back({key, value});
  std::string whole(kMagic, sizeof kMagic);
  whole.append(reinterpret_cast<const char*>(&fingerprint_), sizeof fingerprint_);
  return create_with(whole + encode_batch(all));
}

// The file made whole beside the old one, then renamed over it.
bool StateFile::create_with(const std::string& content) {
  ::mkdir(dir_.c_str(), 0755);
  const std::string temporary = path_ + ".new." + std::to_string(getpid());
  const int fd = ::open(temporary.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) return false;
  if (!write_all(fd, content, 0) || ::rename(temporary.c_str(), path_.c_str()) != 0) {
    ::close(fd);
    ::unlink(temporary.c_str());
    return false;
  }
  struct stat st;
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
  known_ = ::fstat(fd_, &st) == 0;
  ours_ = true;
  dev_ = st.st_dev;
  ino_ = st.st_ino;
  end_ = static_cast<off_t>(content.size());
  return known_;
}

void StateFile::remove() {
  ::unlink(path_.c_str());
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  known_ = false;
}

bool StateFile::rewind() {
  struct stat st;
  const bool there = ::stat(path_.c_str(), &st) == 0;
  if (!known_) {
    if (there) ::unlink(path_.c_str());
    return true;
  }
  if (!there || st.st_dev != dev_ || st.st_ino != ino_) return false;
  return st.st_size == end_ || ::ftruncate(fd_, end_) == 0;
}

}  // namespace tavo::sim
