#include "simulator/state_file.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <utility>

namespace tavo::sim {
namespace {

constexpr char kMagic[8] = {'T', 'A', 'V', 'O', 'S', 'I', 'M', '1'};
constexpr size_t kHeaderSize = sizeof kMagic + 8;
// A batch: its mark and payload length, the payload, and a closing word
// made from the length. A process killed while it appends leaves the
// front of its batch only, without the closing word: never read, and cut
// off by the next writer.
constexpr uint32_t kBatchMark = 0x31425354;  // "TSB1"
constexpr uint32_t kBatchEnd = 0x5E1EC7ED;
constexpr size_t kBatchHead = 8, kBatchTail = 4;
constexpr uint8_t kPut = 1, kRemove = 0;

bool take32(std::string_view* in, uint32_t* v) {
  if (in->size() < sizeof *v) return false;
  memcpy(v, in->data(), sizeof *v);
  in->remove_prefix(sizeof *v);
  return true;
}

bool take_text(std::string_view* in, std::string_view* out) {
  uint32_t n = 0;
  if (!take32(in, &n) || in->size() < n) return false;
  *out = in->substr(0, n);
  in->remove_prefix(n);
  return true;
}

// A batch as pieces to write: the framing bytes it owns, and each item's
// key and bytes where they lie (a snapshot of a megabyte is not copied).
struct Pieces {
  std::string framing;  // its size is reserved first: the pieces point into it
  std::vector<iovec> parts;
  size_t size = 0;

  void lie(const void* p, size_t n) {
    parts.push_back({const_cast<void*>(p), n});
    size += n;
  }
  void own(const void* p, size_t n) {
    const size_t at = framing.size();
    framing.append(static_cast<const char*>(p), n);
    lie(framing.data() + at, n);
  }
};

// One item: a key and its bytes (null: the item goes).
using Item = std::pair<const std::string*, const std::string*>;

// The file's header (when whole), then one batch of the items.
Pieces frame_batch(const std::vector<Item>& items, const std::string& header) {
  Pieces out;
  out.framing.reserve(header.size() + kBatchHead + kBatchTail + 9 * items.size());
  out.parts.reserve(1 + 3 * items.size() + 2);
  out.own(header.data(), header.size());
  uint32_t length = 0;
  for (const auto& [key, value] : items) length += static_cast<uint32_t>(5 + key->size() + (value ? 4 + value->size() : 0));
  const uint32_t head[2] = {kBatchMark, length};
  out.own(head, sizeof head);
  for (const auto& [key, value] : items) {
    char record[5] = {static_cast<char>(value != nullptr ? kPut : kRemove)};
    const auto key_length = static_cast<uint32_t>(key->size());
    memcpy(record + 1, &key_length, 4);
    out.own(record, sizeof record);
    out.lie(key->data(), key->size());
    if (value != nullptr) {
      const auto value_length = static_cast<uint32_t>(value->size());
      out.own(&value_length, 4);
      out.lie(value->data(), value->size());
    }
  }
  const uint32_t end = length ^ kBatchEnd;
  out.own(&end, sizeof end);
  return out;
}

bool write_pieces(int fd, Pieces& pieces, off_t at) {
  std::vector<iovec>& iov = pieces.parts;
  for (size_t first = 0; first < iov.size();) {
    const int count = static_cast<int>(std::min<size_t>(iov.size() - first, IOV_MAX));
    ssize_t n = ::pwritev(fd, &iov[first], count, at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    at += n;
    for (; first < iov.size() && static_cast<size_t>(n) >= iov[first].iov_len; ++first) n -= static_cast<ssize_t>(iov[first].iov_len);
    if (n > 0) {
      iov[first].iov_base = static_cast<char*>(iov[first].iov_base) + n;
      iov[first].iov_len -= static_cast<size_t>(n);
    }
  }
  return true;
}

std::string file_header(uint64_t fingerprint) {
  std::string header(kMagic, sizeof kMagic);
  header.append(reinterpret_cast<const char*>(&fingerprint), sizeof fingerprint);
  return header;
}

// Each record of one batch's payload, as views into it; false when they
// do not parse.
template <typename F>
bool each_record(std::string_view in, F&& take) {
  while (!in.empty()) {
    StateFile::Read::Item item;
    const uint8_t op = static_cast<uint8_t>(in[0]);
    in.remove_prefix(1);
    item.put = op == kPut;
    if ((op != kPut && op != kRemove) || !take_text(&in, &item.key)) return false;
    if (item.put && !take_text(&in, &item.value)) return false;
    take(item);
  }
  return true;
}

// The payload of each whole batch at the front of bytes, until one that
// is cut short or does not parse (each_payload answers false); the bytes
// they take.
template <typename F>
size_t each_batch(std::string_view bytes, F&& each_payload) {
  std::string_view in = bytes;
  while (in.size() >= kBatchHead + kBatchTail) {
    uint32_t mark = 0, length = 0, end = 0;
    memcpy(&mark, in.data(), 4);
    memcpy(&length, in.data() + 4, 4);
    if (mark != kBatchMark || in.size() - kBatchHead - kBatchTail < length) break;
    memcpy(&end, in.data() + kBatchHead + length, 4);
    if (end != (length ^ kBatchEnd) || !each_payload(in.substr(kBatchHead, length))) break;
    in.remove_prefix(kBatchHead + length + kBatchTail);
  }
  return bytes.size() - in.size();
}

// Reads [from, to) of the file into a buffer of its own, not cleared
// first (megabytes at a start); the bytes read, fewer when cut short.
size_t read_all(int fd, StateFile::Read* read, off_t from, off_t to) {
  const auto size = static_cast<size_t>(to - from);
  read->bytes = std::make_unique_for_overwrite<char[]>(size);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pread(fd, read->bytes.get() + done, size - done, from + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

}  // namespace

StateFile::StateFile(std::string dir, uint64_t fingerprint)
    : dir_(std::move(dir)),
      path_(dir_ + "/adapters"),
      lock_path_(dir_ + "/adapters.lock"),
      count_path_(dir_ + "/adapters.count"),
      fingerprint_(fingerprint) {}

StateFile::~StateFile() {
  if (fd_ >= 0) ::close(fd_);
  if (lock_fd_ >= 0) ::close(lock_fd_);
}

bool StateFile::lock(bool may_create) {
  if (lock_fd_ < 0) {
    constexpr int kFlags = O_CLOEXEC | O_NOFOLLOW;
    if (may_create) {
      ::mkdir(dir_.c_str(), 0755);
      lock_fd_ = ::open(lock_path_.c_str(), O_RDWR | O_CREAT | kFlags, 0644);
    }
    if (lock_fd_ < 0) lock_fd_ = ::open(lock_path_.c_str(), O_RDWR | kFlags);
    if (lock_fd_ < 0) return false;
  }
  map_count();
  struct flock fl{};
  fl.l_type = F_WRLCK;
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

StateFile::Seen StateFile::look(Read* read) {
  read->items.clear();
  map_count();
  if (!count_.moved()) return Seen::Same;
  bool whole = true;
  const Seen seen = look_at_file(read, &whole);
  // A file read short is looked at again, whatever the count says.
  if (whole) count_.seen();
  // Not mapped: tried again after a change, rare beside the looks.
  if (seen != Seen::Same) count_tried_ = false;
  return seen;
}

// Any process makes the count: one that only reads, first on a root, maps
// it as well as the writers after it.
void StateFile::map_count() {
  if (count_.mapped() || count_tried_) return;
  count_tried_ = true;
  ::mkdir(dir_.c_str(), 0755);
  count_.map(count_path_, true);
}

StateFile::Seen StateFile::look_at_file(Read* read, bool* whole) {
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
    const auto size = static_cast<size_t>(st.st_size - end_);
    *whole = read_all(fd_, read, end_, st.st_size) == size &&
             take_batches({read->bytes.get(), size}, end_, st.st_size, read);
    return end_ == before ? Seen::Same : Seen::Grew;
  }
  const bool replaced = known_;
  if (!open_current(read, whole)) return replaced ? Seen::Gone : Seen::Same;
  return replaced ? Seen::Replaced : Seen::Found;
}

// Opens the file at the path as it is now and reads it whole, its header
// and batches in one read.
bool StateFile::open_current(Read* read, bool* whole) {
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
  const auto size = static_cast<size_t>(st.st_size);
  const size_t got = read_all(fd_, read, 0, st.st_size);
  const std::string_view bytes(read->bytes.get(), got);
  ours_ = got >= kHeaderSize && memcmp(bytes.data(), kMagic, sizeof kMagic) == 0 &&
          memcmp(bytes.data() + sizeof kMagic, &fingerprint_, sizeof fingerprint_) == 0;
  end_ = ours_ ? static_cast<off_t>(kHeaderSize) : st.st_size;
  // Read short, its batches are read again at the next look.
  if (ours_) *whole = got == size && take_batches(bytes.substr(kHeaderSize), end_, st.st_size, read);
  return true;
}

bool StateFile::take_batches(std::string_view bytes, off_t from, off_t size, Read* read) {
  // A batch cut short or unreadable takes none of its records.
  const size_t whole = each_batch(bytes, [read](std::string_view payload) {
    const size_t before = read->items.size();
    if (each_record(payload, [read](const Read::Item& item) { read->items.push_back(item); })) return true;
    read->items.resize(before);
    return false;
  });
  end_ = from + static_cast<off_t>(whole);
  return end_ == size;
}

bool StateFile::append(const std::vector<Change>& batch) {
  std::vector<Item> items;
  items.reserve(batch.size());
  for (const Change& c : batch) items.emplace_back(&c.key, c.value ? &*c.value : nullptr);
  if (!known_ || !ours_) return create_with(items);
  Pieces pieces = frame_batch(items, "");
  // A batch a crash cut short goes before this one follows.
  struct stat st;
  if (::fstat(fd_, &st) != 0) return false;
  count_.begin_change();
  const bool written = (st.st_size == end_ || ::ftruncate(fd_, end_) == 0) && write_pieces(fd_, pieces, end_);
  if (written)
    end_ += static_cast<off_t>(pieces.size);
  else
    (void)::ftruncate(fd_, end_);
  count_.end_change();
  return written;
}

bool StateFile::worth_compacting(size_t live) const {
  return static_cast<size_t>(end_) > 4 * live + (size_t{256} << 10);
}

bool StateFile::replace(const Items& items) {
  std::vector<Item> all;
  all.reserve(items.size());
  for (const auto& [key, value] : items) all.emplace_back(&key, &value);
  return create_with(all);
}

// The file made whole beside the old one, then renamed over it.
bool StateFile::create_with(const std::vector<Item>& items) {
  ::mkdir(dir_.c_str(), 0755);
  Pieces pieces = frame_batch(items, file_header(fingerprint_));
  const std::string temporary = path_ + ".new." + std::to_string(getpid());
  const int fd = ::open(temporary.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) return false;
  if (!write_pieces(fd, pieces, 0)) {
    ::close(fd);
    ::unlink(temporary.c_str());
    return false;
  }
  count_.begin_change();
  if (::rename(temporary.c_str(), path_.c_str()) != 0) {
    count_.end_change();
    ::close(fd);
    ::unlink(temporary.c_str());
    return false;
  }
  count_.end_change();
  struct stat st;
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
  known_ = ::fstat(fd_, &st) == 0;
  ours_ = true;
  dev_ = st.st_dev;
  ino_ = st.st_ino;
  end_ = static_cast<off_t>(pieces.size);
  return known_;
}

void StateFile::remove() {
  count_.begin_change();
  ::unlink(path_.c_str());
  count_.end_change();
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  known_ = false;
}

bool StateFile::rewind() {
  struct stat st;
  const bool there = ::stat(path_.c_str(), &st) == 0;
  if (!known_) {
    if (there) remove();
    return true;
  }
  if (!there || st.st_dev != dev_ || st.st_ino != ino_) return false;
  if (st.st_size == end_) return true;
  count_.begin_change();
  const bool cut = ::ftruncate(fd_, end_) == 0;
  count_.end_change();
  return cut;
}

}  // namespace tavo::sim
