// Writing saved files so that a killed process, a power cut, a full disk or
// an I/O error never leaves one empty or cut: every saved file of the
// library is written through these calls.
//
// path is a fixed host path ("/etc/config/QVL/tavo/libtavo.conf"), placed
// under the root. The writers answer 0, or 1 with the reason in the last
// status (code 1, "Failed to save <path>: <reason>.") and a debug line; on
// failure the file keeps its old content.
#pragma once

#include <stdint.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>

#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/status_registry.h"

namespace tavo::files {

// The status of a failed save (the path, then the reason), for a writer
// that fails before these calls do.
extern const base::StatusFormat<const char*, const char*> kSaveFailed;

// Replaces the whole file: a temporary file beside it, created with mode, is
// written, flushed to disk and renamed over the file, then the directory is
// flushed. Readers see the old content or the new, never an empty or partial
// file. The save is done once its rename is: a directory flush that fails
// is tried once more, then only written to the debug log and not answered
// as a failure (the new content is in place and a restart reads it; only a
// power cut before the directory reaches the disk could lose it).
// Writers that read a file, change it and replace it hold its SaveLock.
uint32_t replace_file(const std::string& path, std::string_view content, mode_t mode);
// The same, the content given as stretches written one after another (a
// long file that changed in a few places is written without being joined).
uint32_t replace_file(const std::string& path, std::span<const std::string_view> content, mode_t mode);

class SaveLock;

// Saved files of one directory that ReplaceTogether changes as one, and
// the record of such a change beside them. The rule is a hot journal's:
// whoever takes the lock of one of the files first completes a pending
// record that names it (or drops one that never committed) before it reads
// or writes the file; a commit holds the locks of all the files from its
// first staged write until its record is gone, and never writes over a
// pending record. A SaveLock of one of the files looks for the record with
// one stat; the locks are taken in the order of the files (a thread that
// holds some takes the others after them).
class Journal {
 public:
  // Fixed host paths: the record, and the files in their lock order. The
  // journal is known to every SaveLock of the files while it lives.
  Journal(std::string record, std::vector<std::string> files);
  ~Journal();
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;
  const std::string& record() const { return record_; }
  const std::vector<std::string>& files() const { return files_; }
  // Whether a record stands that file (its place in files()) waits for:
  // one that names it, or never committed. One stat when there is none.
  bool pending(size_t file) const;
  // Completes (or drops) the record under every file's lock: those the
  // thread holds, the others taken in order (one before a lock the thread
  // holds only when it is free). 0, also without a record; -1 with errno
  // when the record stays.
  int settle() const;
  // Where a reader that cannot settle the record (a read-only root, locks
  // it may not take) reads the file (its place in files()), so that it
  // reads what completing the record leaves: the copy a committed record
  // renames over the file while that copy is still there, else the file
  // (under the root). Reads only.
  std::string read_through(size_t file) const;

 private:
  friend class SaveLock;
  friend class ReplaceTogether;
  class Locks;
  // settle, the lock of the file at keep taken into into meanwhile.
  int settle(size_t keep, SaveLock* into) const;
  // The record's path under the root in force.
  const std::string& record_at() const;

  std::string record_;
  std::vector<std::string> files_;
};

// Several files of a journal replaced as one: a process killed or the
// power cut at any moment leaves every file with its old content or every
// file with its new. Each new content is written and flushed under a
// temporary name beside its file; then a commit record naming the renames
// is saved crash-safe (the commit: from then on the change is made, and
// whoever finds the record completes it); then the renames, the
// directory's flush, and the record's removal last. The caller holds the
// SaveLock of every file staged; the commit takes those of the journal's
// other files while its record may stand.
class ReplaceTogether {
 public:
  explicit ReplaceTogether(const Journal& journal) : journal_(journal) {}
  // Removes the temporary files of a commit that did not happen.
  ~ReplaceTogether();
  ReplaceTogether(const ReplaceTogether&) = delete;
  ReplaceTogether& operator=(const ReplaceTogether&) = delete;
  // Writes path's new content under its temporary name. 0, or 1 with the
  // status of a failed save (commit then changes nothing).
  uint32_t stage(const std::string& path, std::string_view content, mode_t mode);
  uint32_t stage(const std::string& path, std::span<const std::string_view> content, mode_t mode);
  // 0: every file staged holds its new content, or will once the record is
  // completed (pending()). 1 with the status of a failed save of the first
  // file staged: every file keeps its old content.
  uint32_t commit();
  // The record is still there: a rename failed (completed by whoever takes
  // a lock of the files next).
  bool pending() const { return pending_; }

 private:
  const Journal& journal_;
  std::vector<std::string> paths_;                          // as staged
  std::vector<std::pair<std::string, std::string>> moves_;  // temporary, file (under the root)
  bool failed_ = false;
  bool committed_ = false;
  bool pending_ = false;
};

// Completes what a commit record left by a ReplaceTogether tells: the
// renames whose temporary file is still there (a regular file the save
// staged) are made, the directory is flushed and the record removed. A
// record that cannot be read whole, or that names a file other than those
// in paths, was never committed: it goes with the temporary files it
// names. What stands at its name that the library never wrote, or that the
// process may not open, tells of nothing and stays (a commit then refuses
// to write over it). The caller holds the lock of every file in paths. 0
// (also when there is no record), or -1 with errno when the record stays
// (a rename or its removal failed).
int complete_replacements(const std::string& record, const std::vector<std::string>& paths);

// Appends lines (the text should end with a line feed) to the file, created
// with mode when missing and given mode again when it has another, under
// the file's fcntl write lock, and flushes them to disk. A link at the path
// is not followed, nor is anything else than a regular file written (the
// append fails). A file whose last line lacks its line feed gets one
// first, so lines never run together. A failed or short write is cut off
// again, so the file ends as it did.
uint32_t append_lines(const std::string& path, std::string_view lines, mode_t mode);
// The same; once it answers 0, *after holds the identity of the file the
// lines went into, as it was then (taken from its descriptor, before the
// file's lock goes), so the caller needs no look at the path. ends_lines:
// an identity at which the caller knows the file ends its last line; while
// the file is still that one (unchanged), its last byte is not read. When
// it was no longer, *after is not settled: what the caller holds of the
// file is to be read again.
struct FileIdentity;
uint32_t append_lines(const std::string& path, std::string_view lines, mode_t mode, FileIdentity* after,
                      const FileIdentity* ends_lines = nullptr);

// Writes all of text to the descriptor (a short write goes on with the
// rest); 0, or -1 with errno. *written (when given) counts the bytes that
// went, also on failure.
int write_all(int fd, std::string_view text, size_t* written = nullptr);

// Appends bytes as they are, the same way, all or nothing. Sets no status:
// 0, or -1 with errno; *opened tells whether the file could be opened.
int append_bytes(const std::string& path, std::string_view bytes, mode_t mode, bool* opened);

// A small file of lines that one owner only appends to, through a
// descriptor it keeps between appends (an append is a write and a flush
// of its data), for readers that take only whole lines of it (each ended
// by its line feed, holding no NUL) and that no view follows by its
// identity. Nothing is written over: a kill or a power cut at any moment
// leaves the file as it was followed by a prefix of what was appended
// since its last flush (where a file system lets a size reach the disk
// before the data, bytes that did not may read as NULs). Only a regular
// file of one link is written, reached without following a link; a
// missing one is created with mode, and its directory flushed once it
// holds its first bytes. The owner serializes its calls; a child process
// may go on with the descriptor it inherits.
class SaveSteps;
class AppendedFile {
 public:
  // path is a fixed host path, placed under the root in force when the
  // file is opened.
  AppendedFile(std::string path, mode_t mode) : path_(std::move(path)), mode_(mode) {}
  ~AppendedFile() { close(); }
  AppendedFile(const AppendedFile&) = delete;
  AppendedFile& operator=(const AppendedFile&) = delete;
  // Appends bytes and flushes their data (fdatasync), the file opened
  // first when no descriptor is kept. 0, or 1 with the status of a failed
  // save: what a failed write left is cut off again (a flush that failed
  // leaves the bytes), and the descriptor goes.
  uint32_t append(std::string_view bytes);
  // Cuts the file to nothing, unflushed (a power cut may leave what it
  // held): for a file that holds nothing any reader needs. 0, or 1 with
  // the status of a failed save.
  uint32_t empty();
  // The descriptor goes: the next call opens the path again (another
  // process may have put a new file there, or the root is another).
  void close();

 private:
  // The kept descriptor, opened (the file made when missing) and checked.
  bool open(SaveSteps& steps);

  std::string path_;
  mode_t mode_;
  int fd_ = -1;
  bool made_ = false;  // made here, its directory not flushed since
};

// The lock of one saved file, held around every append and every
// read-modify-write of it: an fcntl write lock on "<path>.lock" beside it,
// which outlives the renames that replace the file (a lock on the file
// itself would stay with the replaced inode), and a mutex for this
// process's threads (fcntl locks belong to the process). The lock file is
// created 0600 and never removed; a link in its place is not followed (the
// lock fails). Blocks until both are held.
// Taking the lock of a journal's file first completes a record it waits
// for (Journal).
class SaveLock {
 public:
  explicit SaveLock(const std::string& path);
  ~SaveLock();
  SaveLock(const SaveLock&) = delete;
  SaveLock& operator=(const SaveLock&) = delete;
  // False when the lock file could not be opened or locked: the reason is
  // in the last status as for a failed save, and nothing may be written.
  bool held() const { return fd_ >= 0; }

 private:
  friend class Journal;
  // A journal's file locked as one of all its files: no look at the record.
  // wait: false takes it only when it is free.
  SaveLock(const Journal& journal, size_t file, bool wait);
  // The lock file beside target (path under the root) locked; the step
  // that failed, or null.
  const char* take(const std::string& target, bool wait);
  void let_go();

  std::unique_lock<std::mutex> local_;
  int fd_ = -1;
  const Journal* journal_ = nullptr;  // the journal of the file, if any
  size_t file_ = 0;                   // its place among the journal's files
};

// Removes the temporary files that saves of path left when they were
// killed before their rename ("<name>.tmp.<pid>.<n>", each a regular file
// of one link: anything else there is left alone). The caller holds the
// file's SaveLock: no save of it is under way.
void remove_leftover_temporaries(const std::string& path);

// Rises once every write of a file by these calls ends, done or failed (a
// replace, an append, a commit of several, a commit record completed or
// dropped, a file deleted): a reader that checked a file at one count
// knows this process wrote nothing there while the count stands.
uint64_t saved_writes();

// What tells one content of a file from another: library writers only
// append (the size grows) or rename a new file in (the inode changes).
// Another writer may rewrite a file in place, or make a new one whose inode
// number is the last one's, with the same size: only the times tell it,
// and only once a tick of the file system's clock lies between the look
// and the change.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = -1;  // -1: no file, or none known (error set)
  int error = 0;     // errno of a stat that failed other than for a missing file
  timespec modified{};
  timespec changed{};
  // Whether any later change of the file's content changes the identity:
  // the content was last changed by these calls (written_by_saves), or
  // its change time lies a grain of the clock (kStampGrain) before the
  // look. Else a rewrite stamped with the same time may leave every field
  // as it was, and what was read at the identity is read again.
  bool settled = false;
  // The file's fields alike (settled aside).
  bool operator==(const FileIdentity& o) const;
};

// The coarsest grain of the times a file system stamps (FAT's two
// seconds): a change stamped that long before a look is told from every
// change after it.
inline constexpr time_t kStampGrain = 2;

// The identity of the file now; size -1 when it is missing or cannot be
// told (error then holds the reason).
FileIdentity identify(const std::string& path);
// Whether a file whose identity is now still holds what it held at known:
// the same identity, and a settled one.
inline bool unchanged(const FileIdentity& known, const FileIdentity& now) { return known.settled && known == now; }
// Whether the file's content was last changed by these calls: each sets
// the modification time of what it wrote a nanosecond below a time the
// write was stamped no earlier than (its own stamp, or the file's before
// an append), so it lies below the change time, where any other writer's
// change of the content leaves both alike. (A change of the
// mode alone after it does the same.)
bool written_by_saves(const FileIdentity& id);
// Whether the identity is that of a file known to be absent.
inline bool known_missing(const FileIdentity& id) { return id.size < 0 && id.error == 0; }

// The most bytes read_saved takes of a file: the library's saved files stay
// far below it, and a commit record below the second.
inline constexpr off_t kMostSavedBytes = off_t{64} << 20;
inline constexpr off_t kMostRecordBytes = 4096;

// The file's bytes from offset on into *out, and the identity of the file
// they were read from (taken before and after; the read is repeated while
// a writer changed the file meanwhile, other than by an append of these
// calls). Only a regular file of at most most bytes is read: a link at the
// path is not followed (ELOOP), nothing waits for the writer of a FIFO,
// and anything else the library never wrote fails (EISDIR, EINVAL, EFBIG),
// told in a debug line. 0, or -1 with errno
// (ENOENT for a missing file, *id then has size -1).
int read_saved(const std::string& path, off_t offset, std::string* out, FileIdentity* id,
               off_t most = kMostSavedBytes);

// identify and read_saved of a path under the root already (fixed_path's
// answer), kept by a caller that looks at one file again and again.
FileIdentity identify_fixed(const std::string& target);
int read_saved_fixed(const std::string& target, off_t offset, std::string* out, FileIdentity* id,
                     off_t most = kMostSavedBytes);

// Opens the file at target (under the root already) for reading as the
// library's own: without following a link there and without waiting (a
// FIFO), and only a regular file; *st tells what it is. The descriptor, or
// -1 with errno (ELOOP for a link, EISDIR or EINVAL for what is no regular
// file).
int open_regular(const std::string& target, struct stat* st);
// Whether the errno of a failed read_saved or open_regular says the path
// holds something the library never wrote there.
bool foreign_file(int err);

}  // namespace tavo::files
