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
// The names in the folder.
constexpr char kFile[] = "adapters", kLock[] = "adapters.lock", kCount[] = "adapters.count";
constexpr char kFolder[] = ".tavo-sim";

// Why what stands at a name (not followed) is not the simulator's, or null
// when it is: its files are regular, of one name and of at most most bytes.
const char* not_ours(const struct stat& st, off_t most) {
  if (S_ISLNK(st.st_mode)) return "a link";
  if (S_ISDIR(st.st_mode)) return "a folder";
  if (!S_ISREG(st.st_mode)) return "no regular file";
  if (st.st_nlink != 1) return "a file with other names";
  if (st.st_size > most) return "larger than 256 MiB";
  return nullptr;
}
static_assert(StateFile::kMostBytes == off_t{256} << 20, "the text above names it");

// Why a start is refused: what stands at path, or the error met there.
std::string refused(const std::string& path, const std::string& reason) {
  return "the simulated adapters cannot be kept in " + path + ": " + reason;
}
std::string foreign(const char* what) { return std::string(what) + ", not the simulator's"; }

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

StateFile::StateFile(std::string root, uint64_t fingerprint)
    : root_(std::move(root)), dir_(root_ + "/" + kFolder), fingerprint_(fingerprint) {}

StateFile::~StateFile() {
  for (const int fd : {fd_, lock_fd_, dir_fd_})
    if (fd >= 0) ::close(fd);
}

bool StateFile::open(std::string* why) {
  why->clear();
  const int root = ::open(root_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (root < 0) return false;
  (void)::mkdirat(root, kFolder, 0755);
  dir_fd_ = ::openat(root, kFolder, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  const int err = errno;
  struct stat st;
  const bool there = ::fstatat(root, kFolder, &st, AT_SYMLINK_NOFOLLOW) == 0;
  ::close(root);
  if (dir_fd_ < 0) {
    *why = refused(dir_, !there || S_ISDIR(st.st_mode) ? strerror(err)
                                                        : foreign(S_ISLNK(st.st_mode) ? "a link" : "no folder"));
    return false;
  }
  // Only locked, never written: a regular file will do. On a root that
  // cannot be written one there already serves to read under its shared
  // lock: the adapters are read, and no change of them is kept.
  constexpr int kLockFlags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  lock_fd_ = ::openat(dir_fd_, kLock, O_RDWR | O_CREAT | kLockFlags, 0644);
  if (lock_fd_ < 0 && (errno == EROFS || errno == EACCES)) {
    const int write_err = errno;
    lock_fd_ = ::openat(dir_fd_, kLock, O_RDONLY | kLockFlags);
    read_only_ = lock_fd_ >= 0;
    if (lock_fd_ < 0 && errno == ENOENT) errno = write_err;
  }
  if (lock_fd_ < 0 || ::fstat(lock_fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    *why = refused(dir_ + "/" + kLock, lock_fd_ >= 0   ? foreign("no regular file")
                                       : errno == ELOOP ? foreign("a link")
                                                        : std::string(strerror(errno)));
    return false;
  }
  map_count();
  if (::fstatat(dir_fd_, kFile, &st, AT_SYMLINK_NOFOLLOW) == 0)
    if (const char* what = not_ours(st, kMostBytes)) {
      *why = refused(dir_ + "/" + kFile, foreign(what));
      return false;
    }
  return true;
}

bool StateFile::stat_file(struct stat* st) const {
  return ::fstatat(dir_fd_, kFile, st, AT_SYMLINK_NOFOLLOW) == 0 && not_ours(*st, kMostBytes) == nullptr;
}

bool StateFile::lock() {
  map_count();
  return !read_only_ && take_lock(F_WRLCK);
}

bool StateFile::take_lock(short type) {
  struct flock fl{};
  fl.l_type = type;
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
  // Read-only, the file is read under the shared lock: after the change
  // a writer of the root (through another view of it) has under way, as
  // the writers read it.
  const bool shared = read_only_ && take_lock(F_RDLCK);
  const Seen seen = look_at_file(read, &whole);
  if (shared) unlock();
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
  count_.map(dir_fd_, kCount);
}

StateFile::Seen StateFile::look_at_file(Read* read, bool* whole) {
  // What is not the simulator's reads as no file.
  struct stat st;
  if (!stat_file(&st)) {
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

// Opens the file at the name as it is now and reads its header, then, when
// the header is this topology's, its batches in one read.
bool StateFile::open_current(Read* read, bool* whole) {
  if (fd_ >= 0) ::close(fd_);
  known_ = false;
  constexpr int kFlags = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
  fd_ = ::openat(dir_fd_, kFile, O_RDWR | kFlags);
  if (fd_ < 0) fd_ = ::openat(dir_fd_, kFile, O_RDONLY | kFlags);
  struct stat st;
  if (fd_ < 0 || ::fstat(fd_, &st) != 0 || not_ours(st, kMostBytes) != nullptr) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    return false;
  }
  known_ = true;
  dev_ = st.st_dev;
  ino_ = st.st_ino;
  char header[kHeaderSize];
  ssize_t got = 0;
  while ((got = ::pread(fd_, header, sizeof header, 0)) < 0 && errno == EINTR) {
  }
  ours_ = got == static_cast<ssize_t>(kHeaderSize) && memcmp(header, kMagic, sizeof kMagic) == 0 &&
          memcmp(header + sizeof kMagic, &fingerprint_, sizeof fingerprint_) == 0;
  end_ = ours_ ? static_cast<off_t>(kHeaderSize) : st.st_size;
  if (!ours_) return true;
  // Read short, its batches are read again at the next look.
  const auto size = static_cast<size_t>(st.st_size - end_);
  *whole = read_all(fd_, read, end_, st.st_size) == size &&
           take_batches({read->bytes.get(), size}, end_, st.st_size, read);
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
  if (static_cast<size_t>(kMostBytes - end_) < pieces.size) return false;
  // The file at the name is the one read, or this process looks at it anew
  // (another put in its place by hand: the count did not move).
  struct stat st;
  if (!stat_file(&st) || st.st_dev != dev_ || st.st_ino != ino_) {
    forget();
    return false;
  }
  // A batch a crash cut short goes before this one follows.
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
  const auto end = static_cast<size_t>(end_), most = static_cast<size_t>(kMostBytes);
  // Near the bound, early enough that a batch still fits behind the items.
  return end > 4 * live + (size_t{256} << 10) || live >= most || end > live + (most - live) / 2;
}

bool StateFile::replace(const Items& items) {
  std::vector<Item> all;
  all.reserve(items.size());
  for (const auto& [key, value] : items) all.emplace_back(&key, &value);
  return create_with(all);
}

// A temporary is created exclusively, never through what stands at its
// name. One there of one name is a leftover of a killed process whose id
// this one has now (no other writes it while this one holds the lock): it
// goes first. Anything else there is not the simulator's and stays.
int StateFile::create_temporary(const std::string& name) {
  constexpr int kFlags = O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
  int fd = ::openat(dir_fd_, name.c_str(), kFlags, 0644);
  struct stat st;
  if (fd < 0 && errno == EEXIST && ::fstatat(dir_fd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
      not_ours(st, kMostBytes) == nullptr && ::unlinkat(dir_fd_, name.c_str(), 0) == 0)
    fd = ::openat(dir_fd_, name.c_str(), kFlags, 0644);
  return fd;
}

// The file made whole beside the old one, then renamed over it: never over
// what is not the simulator's.
bool StateFile::create_with(const std::vector<Item>& items) {
  struct stat st;
  if (::fstatat(dir_fd_, kFile, &st, AT_SYMLINK_NOFOLLOW) == 0 && not_ours(st, kMostBytes) != nullptr) return false;
  Pieces pieces = frame_batch(items, file_header(fingerprint_));
  if (pieces.size > static_cast<size_t>(kMostBytes)) return false;
  const std::string temporary = std::string(kFile) + ".new." + std::to_string(getpid());
  const int fd = create_temporary(temporary);
  if (fd < 0) return false;
  if (!write_pieces(fd, pieces, 0)) {
    ::close(fd);
    ::unlinkat(dir_fd_, temporary.c_str(), 0);
    return false;
  }
  count_.begin_change();
  if (::renameat(dir_fd_, temporary.c_str(), dir_fd_, kFile) != 0) {
    count_.end_change();
    ::close(fd);
    ::unlinkat(dir_fd_, temporary.c_str(), 0);
    return false;
  }
  count_.end_change();
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
  struct stat st;
  if (stat_file(&st)) {
    count_.begin_change();
    ::unlinkat(dir_fd_, kFile, 0);
    count_.end_change();
  }
  forget();
}

void StateFile::forget() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  known_ = false;
  count_.forget();
}

bool StateFile::rewind() {
  struct stat st;
  const bool there = stat_file(&st);
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
