// The file under the root that keeps the simulated adapters' state for
// every process that uses the root: items (a key and its bytes) as one
// snapshot, then the batches of changes appended since. Each batch carries
// its length and ends with a word made from it, so a batch a crash cut
// short is never read, and is cut off by the next writer. A lock file
// beside it orders the processes that change the adapters; readers take
// no lock, as a batch is read only once it is whole. On a root this
// process cannot write (a read-only mount of it) the lock file is opened
// to read: the file is read under the shared lock, and no change is kept.
// When the batches
// outgrow what they describe, a new snapshot replaces the file (written
// whole beside it, in a temporary created exclusively, and renamed in).
// Nothing is flushed to the disk: what the simulator
// models is processes killed and power cuts of the host, which its own
// faults play out (the adapters keep what they were told, as flash does);
// a process killed at any point leaves whole batches, or a tail no reader
// takes. A count of the changes beside it (ChangeCount), which every
// writer raises, spares a look at the file system while nothing changed. Its
// calls are the simulator's own, never in the library's request log, and
// no injected fault reaches them.
//
// The files are handled as the library handles its saved ones: the folder
// is opened once without following a link, and everything in it is reached
// from that descriptor, never through a link. What stands at a name that
// is no regular file of one name and of at most kMostBytes is not the
// simulator's: it is never read, written, renamed over nor removed.
#pragma once

#include <stdint.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "simulator/change_count.h"

namespace tavo::sim {

class StateFile {
 public:
  // Found by views too (the changes read are views).
  using Items = std::map<std::string, std::string, std::less<>>;
  struct Change {
    std::string key;
    std::optional<std::string> value;  // none: the item goes
  };
  // The changes a look read, in the file's order: views into the bytes
  // read, which the caller copies only what it keeps of.
  struct Read {
    struct Item {
      std::string_view key, value;
      bool put = false;  // false: the item goes
    };
    std::unique_ptr<char[]> bytes;
    std::vector<Item> items;
  };
  // What the file holds now against what this process last read or wrote.
  enum class Seen {
    Same,
    Grew,      // batches were appended: the changes are theirs
    Found,     // a file this process had not read: the changes are all its items
    Replaced,  // another file in place of the one read: all its items
    Gone,      // no file any more (the adapters were power-cycled)
  };

  // The simulator never writes a larger file, nor reads one.
  static constexpr off_t kMostBytes = off_t{256} << 20;

  // The file <root>/.tavo-sim/adapters of the adapters the topology with
  // this fingerprint describes; a file of another topology or build reads
  // as none.
  StateFile(std::string root, uint64_t fingerprint);
  ~StateFile();
  StateFile(const StateFile&) = delete;
  StateFile& operator=(const StateFile&) = delete;

  // Opens the folder (made when missing), its lock file and count, and
  // looks at what stands at the file's name. False with the reason in *why
  // when any of them is not the simulator's or cannot be had; false with
  // *why empty when the root is no folder (nothing can be kept there).
  bool open(std::string* why);
  // Takes the exclusive lock (waiting for it); false when it cannot be had
  // (always on a read-only root, where the lock file is open to read only).
  bool lock();
  void unlock();
  // What changed since this process last looked, with the changes read
  // (on a read-only root under the shared lock).
  Seen look(Read* read);
  // Appends one batch (exclusive lock held, after look); false when it
  // could not be written whole, would take the file past kMostBytes, or
  // the file at the name is no longer the one looked at (then the next
  // look reads it whole).
  bool append(const std::vector<Change>& batch);
  // Whether the batches outgrew the items they describe (of live bytes).
  bool worth_compacting(size_t live) const;
  // Writes the items as the whole file, in place of the old one; false
  // when they cannot be (nothing is changed then).
  bool replace(const Items& items);
  // Removes the file: the adapters start from the topology again.
  void remove();
  // The next look reads the file whole, as one this process never read.
  void forget();
  // Cuts the file back to what this process last saw; false when others
  // replaced or removed it since (nothing is changed then).
  bool rewind();
  // Whether this process has read or written the file as it is now.
  bool known() const { return known_; }

 private:
  bool take_lock(short type);  // F_WRLCK or F_RDLCK, waiting for it
  Seen look_at_file(Read* read, bool* whole);
  void map_count();
  bool open_current(Read* read, bool* whole);
  // What stands at the file's name now, when it is the simulator's.
  bool stat_file(struct stat* st) const;
  int create_temporary(const std::string& name);
  // Takes the whole batches of bytes, which lie in the file from `from`
  // on; true when every byte up to size was taken.
  bool take_batches(std::string_view bytes, off_t from, off_t size, Read* read);
  bool create_with(const std::vector<std::pair<const std::string*, const std::string*>>& items);

  std::string root_, dir_;
  uint64_t fingerprint_;
  int dir_fd_ = -1, fd_ = -1, lock_fd_ = -1;
  bool known_ = false;  // fd_ is the file at its name, read up to end_
  bool read_only_ = false;  // the lock file open to read: nothing is written
  bool ours_ = true;    // its header is this topology's
  dev_t dev_ = 0;
  ino_t ino_ = 0;
  off_t end_ = 0;       // the end of its last whole batch
  ChangeCount count_;
  bool count_tried_ = false;  // to map it
};

}  // namespace tavo::sim
