// Processes that share one root, as users run them side by side, each its
// own TAVO_init, timed call by call: writers that change their own target
// back to back, readers that read one property again and again, processes
// that mix reads and changes, and a looping firmware download. Only the
// public calls of tavo/tavo.h, so that the same source builds against
// any version of the library (tools/compare-gate builds it against two).
//   TAVO_ROOT=<dir> TAVO_SIMULATOR=default gate_contention [options]
//     --seconds S      how long the roles run (5)
//     --writers N      processes that set their target's HeaderDigest
//     --readers N      processes that read the first writer's HeaderDigest
//     --mixed N        processes that read their target's HeaderDigest
//                      three times, then change once (a quarter of the
//                      changes an AddTarget or a DeleteTarget of another
//                      target of their own, the rest the HeaderDigest)
//     --downloads N    processes that download a firmware image in a loop
//     --image-mb M     the image's size (20)
//     --adds N         one process that adds N targets and exits: for
//                      counting a warm add's system calls by difference
// Prints one line a process: its role, its calls, calls a second, the
// mean, 99th percentile and worst time of one call in microseconds, the
// failed calls and those of them that waited past the bound (348), and the
// processor time it took over the real time it ran (cpu). The
// root is prepared first (its targets made, the image written) by a
// process of its own.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <new>
#include <string>
#include <vector>

#include "tavo/tavo.h"
#include "tools/client_walk.h"

namespace {

using tavo_tools::groups_named;
using tavo_tools::Params;
using tavo_tools::read_named;

// The gate's "waited past the bound": a literal, since older headers lack
// the name.
constexpr uint32_t kBusy = 348;
constexpr char kImage[] = "/tmp/gate-contention.ufi";
// Where the image lies for the download: the library maps the name under
// the root.
std::string image_file() { return std::string(getenv("TAVO_ROOT")) + kImage; }

int64_t clock_ns(clockid_t clock) {
  timespec t;
  clock_gettime(clock, &t);
  return int64_t{t.tv_sec} * 1000000000 + t.tv_nsec;
}
int64_t now_ns() { return clock_ns(CLOCK_MONOTONIC); }

// Times of calls: eight buckets an octave (within 9%), enough for a
// percentile; the mean and the worst exact.
constexpr int kBuckets = 8 * 40;
struct Tally {
  uint64_t calls = 0, failed = 0, busy = 0, total_ns = 0, worst_ns = 0;
  uint64_t buckets[kBuckets] = {};
  uint32_t first_failure = 0;

  static int bucket(uint64_t ns) {
    if (ns < 8) return 0;
    const int octave = 63 - __builtin_clzll(ns);
    const int step = static_cast<int>((ns >> (octave - 3)) & 7);
    return std::min(kBuckets - 1, octave * 8 + step);
  }
  // The lower edge of a bucket's times.
  static double edge_ns(int b) { return static_cast<double>(8 + b % 8) / 8.0 * static_cast<double>(1ull << (b / 8)); }
  void add(uint64_t ns, uint32_t status) {
    ++calls;
    total_ns += ns;
    worst_ns = std::max(worst_ns, ns);
    ++buckets[bucket(ns)];
    if (status == 0) return;
    ++failed;
    busy += status == kBusy;
    if (first_failure == 0) first_failure = status;
  }
  double percentile_us(double p) const {
    const uint64_t want = static_cast<uint64_t>(static_cast<double>(calls) * p);
    uint64_t seen = 0;
    for (int b = 0; b < kBuckets; ++b)
      if ((seen += buckets[b]) > want) return edge_ns(b) / 1e3;
    return static_cast<double>(worst_ns) / 1e3;
  }
};

enum class Role : char { Writer = 'w', Reader = 'r', Mixed = 'm', Download = 'd' };

struct Slot {
  Role role;
  int index;
  int64_t ran_ns, cpu_ns;  // the loop's real time and the process's processor time in it
  Tally reads, changes;  // a download's calls among the changes
};

// Shared by the parent and every role, made before the forks.
struct Board {
  std::atomic<int> ready;
  std::atomic<int> failed_start;
  std::atomic<int64_t> start_ns, stop_ns;
  Slot* slots;  // in the same mapping, after the board
};

uint32_t status_code() {
  uint32_t code = 0;
  char text[TAVO_STATUS_TEXT_SIZE];
  TAVO_get_last_status(&code, text);
  return code;
}

// A call's answer as a status: the last status it left, else its answer.
uint32_t outcome(uint32_t answer) {
  if (answer == 0) return 0;
  const uint32_t code = status_code();
  return code != 0 ? code : answer;
}

std::string target_name(const char* kind, int i) {
  return "iqn.2026-12.com.example:gc-" + std::string(kind) + std::to_string(i);
}

uint32_t first_lhba() {
  uint32_t tag = 0;
  for (const char* name : {"Corvane0", "iSCSIPhysicalHBA0", "LogicalHBA0"})
    if (TAVO_get_node_tag(tag, name, &tag, TAVO_KIND_GROUP) != 0) return 0;
  return tag;
}

// The Target group of that name on the first LogicalHBA, 0 when none.
uint32_t find_target(const std::string& name) {
  for (uint32_t target : groups_named(first_lhba(), "Target")) {
    char value[TAVO_VALUE_SIZE];
    read_named(target, "TargetISCSIName", value);
    if (name == value) return target;
  }
  return 0;
}

// The tags a call on a target's HeaderDigest needs, found again after a
// failure (a tag another process's change may have ended).
struct Digest {
  std::string target;
  uint32_t options = 0, property = 0;
  bool find() {
    options = property = 0;
    const uint32_t t = find_target(target);
    return t != 0 && TAVO_get_node_tag(t, "TargetLoginOptions", &options, TAVO_KIND_GROUP) == 0 &&
           TAVO_get_node_tag(options, "HeaderDigest", &property, TAVO_KIND_PROPERTY) == 0;
  }
  uint32_t read() {
    char value[TAVO_VALUE_SIZE];
    return outcome(TAVO_get_property_val(options, property, value, sizeof value));
  }
  uint32_t set(bool on) {
    const char* value = on ? "CRC32C" : "None";
    return outcome(TAVO_set_property_val(options, property, value, static_cast<uint32_t>(strlen(value)) + 1));
  }
};

// Adds a target to the first LogicalHBA: its instance number, or -1.
int add_target(const std::string& name, int i, uint32_t* status) {
  Params params;
  params.set(0, name.c_str());
  params.set(1, ("192.0.2." + std::to_string(1 + i % 250)).c_str());
  uint32_t lhba = first_lhba(), action = 0;
  static std::vector<uint32_t> created(TAVO_MAX_NEW_TAGS);
  std::fill(created.begin(), created.end(), 0);
  *status = lhba != 0 && TAVO_get_node_tag(lhba, "AddTarget", &action, TAVO_KIND_ACTION) == 0
                ? outcome(TAVO_do_action(lhba, action, params.text, created.data()))
                : 1;
  // The groups made are the new Target's subtree, in no promised order.
  for (size_t k = 0; *status == 0 && k < created.size() && created[k] != 0; ++k) {
    char group[TAVO_NAME_SIZE] = "";
    uint32_t parent = 0;
    if (TAVO_get_parent_tag(created[k], &parent) == 0 && parent == lhba &&
        TAVO_get_node_name(created[k], group, TAVO_KIND_GROUP) == 0 && strncmp(group, "Target", 6) == 0)
      return atoi(group + 6);
  }
  return -1;
}

uint32_t delete_target(int instance) {
  Params params;
  params.set(0, std::to_string(instance).c_str());
  uint32_t lhba = first_lhba(), action = 0;
  if (lhba == 0 || TAVO_get_node_tag(lhba, "DeleteTarget", &action, TAVO_KIND_ACTION) != 0) return 1;
  return outcome(TAVO_do_action(lhba, action, params.text, nullptr));
}

// Times one call into a tally; a failed one finds its tags again.
template <typename Call>
void timed(Tally& tally, Digest* digest, Call call) {
  const int64_t begin = now_ns();
  const uint32_t status = call();
  tally.add(static_cast<uint64_t>(now_ns() - begin), status);
  if (status != 0 && digest != nullptr) digest->find();
}

bool running(const Board& board) { return now_ns() < board.stop_ns.load(); }

void write_loop(const Board& board, Slot& slot) {
  Digest own{target_name("w", slot.index)};
  own.find();
  for (bool on = true; running(board); on = !on) timed(slot.changes, &own, [&] { return own.set(on); });
}

void read_loop(const Board& board, Slot& slot) {
  Digest first{target_name("w", 0)};
  first.find();
  while (running(board)) timed(slot.reads, &first, [&] { return first.read(); });
}

// Three reads, then a change: of every four changes one adds or deletes a
// target of its own, the others set its HeaderDigest.
void mixed_loop(const Board& board, Slot& slot) {
  Digest own{target_name("m", slot.index)};
  own.find();
  const std::string extra = target_name("x", slot.index);
  int extra_instance = -1;
  bool on = true;
  for (uint64_t k = 0; running(board); ++k) {
    if (k % 4 != 3) {
      timed(slot.reads, &own, [&] { return own.read(); });
    } else if (k % 16 != 15) {
      timed(slot.changes, &own, [&] { return own.set(on = !on); });
    } else if (extra_instance < 0) {
      timed(slot.changes, nullptr, [&] {
        uint32_t status = 0;
        extra_instance = add_target(extra, slot.index, &status);
        return status;
      });
    } else {
      timed(slot.changes, nullptr, [&] { return delete_target(extra_instance); });
      extra_instance = -1;
    }
  }
  if (extra_instance >= 0) delete_target(extra_instance);
}

// Downloads through Corvane0's first NIC port (a CV3, generation 3).
void download_loop(const Board& board, Slot& slot) {
  uint32_t controller = 0;
  TAVO_get_node_tag(0, "Corvane0", &controller, TAVO_KIND_GROUP);
  while (running(board))
    timed(slot.changes, nullptr, [&] { return outcome(TAVO_firmware_download(get_node(controller), 1, 3, kImage)); });
}

// A role's process: its start, the others awaited, its loop.
[[noreturn]] void run_role(Board& board, Slot& slot) {
  if (TAVO_init() != 0) {
    tavo_tools::report_failure("TAVO_init");
    board.failed_start.fetch_add(1);
    board.ready.fetch_add(1);
    _exit(1);
  }
  board.ready.fetch_add(1);
  while (board.start_ns.load() == 0) usleep(200);
  while (now_ns() < board.start_ns.load()) usleep(100);
  const int64_t cpu = clock_ns(CLOCK_PROCESS_CPUTIME_ID);
  switch (slot.role) {
    case Role::Writer: write_loop(board, slot); break;
    case Role::Reader: read_loop(board, slot); break;
    case Role::Mixed: mixed_loop(board, slot); break;
    case Role::Download: download_loop(board, slot); break;
  }
  slot.ran_ns = now_ns() - board.start_ns.load();
  slot.cpu_ns = clock_ns(CLOCK_PROCESS_CPUTIME_ID) - cpu;
  _exit(TAVO_exit() == 0 ? 0 : 1);
}

// The targets the writers and the mixed processes change, of the kind's
// names, made when missing.
bool prepare_targets(const char* kind, int count) {
  for (int i = 0; i < count; ++i) {
    const std::string name = target_name(kind, i);
    uint32_t status = 0;
    if (find_target(name) == 0 && add_target(name, i, &status) < 0) {
      fprintf(stderr, "gate_contention: AddTarget %s failed: status %u\n", name.c_str(), status);
      return false;
    }
  }
  return true;
}

// A file of size bytes the simulated driver takes as an image.
bool write_image(long megabytes) {
  const std::string path = image_file();
  // Under a root that the preparing start made.
  if (mkdir(path.substr(0, path.rfind('/')).c_str(), 0755) != 0 && errno != EEXIST) return false;
  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  std::vector<char> block(1 << 20);
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 13 + (i >> 9));
  bool written = true;
  for (long m = 0; m < megabytes && written; ++m) written = fwrite(block.data(), 1, block.size(), file) == block.size();
  return fclose(file) == 0 && written;
}

// Runs fn in a process of its own that starts and ends as a client.
template <typename Fn>
bool as_client(Fn fn) {
  const pid_t pid = fork();
  if (pid == 0) {
    const bool done = TAVO_init() == 0 && fn();
    if (!done) tavo_tools::report_failure("prepare");
    _exit(TAVO_exit() == 0 && done ? 0 : 1);
  }
  int status = 0;
  return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// N warm adds after a first: a process's system calls at N minus those at
// 0 are N warm adds'.
bool adds(int n) {
  return as_client([n] {
    uint32_t status = 0;
    for (int i = 0; i <= n; ++i)
      if (add_target(target_name("a", i), i, &status) < 0) {
        fprintf(stderr, "gate_contention: AddTarget failed: status %u\n", status);
        return false;
      }
    return true;
  });
}

struct Options {
  double seconds = 5;
  int writers = 0, readers = 0, mixed = 0, downloads = 0, adds = -1;
  long image_mb = 20;
};

bool parse(int argc, char** argv, Options* o) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string key = argv[i];
    const char* value = argv[i + 1];
    if (key == "--seconds") o->seconds = atof(value);
    else if (key == "--writers") o->writers = atoi(value);
    else if (key == "--readers") o->readers = atoi(value);
    else if (key == "--mixed") o->mixed = atoi(value);
    else if (key == "--downloads") o->downloads = atoi(value);
    else if (key == "--image-mb") o->image_mb = atol(value);
    else if (key == "--adds") o->adds = atoi(value);
    else return false;
  }
  return argc % 2 == 1 && o->seconds > 0 && o->writers >= 0 && o->readers >= 0 && o->mixed >= 0 &&
         o->downloads >= 0 && o->image_mb > 0;
}

void print_tally(const char* name, const Slot& s, const Tally& t) {
  const auto us = [](uint64_t ns) { return static_cast<double>(ns) / 1e3; };
  const double seconds = static_cast<double>(std::max<int64_t>(s.ran_ns, 1)) / 1e9;
  printf("%-12s %2d calls %8llu per_s %10.1f mean_us %9.1f p99_us %9.1f worst_us %10.1f failed %llu busy %llu",
         name, s.index, static_cast<unsigned long long>(t.calls), static_cast<double>(t.calls) / seconds,
         us(t.total_ns) / static_cast<double>(std::max<uint64_t>(t.calls, 1)), t.percentile_us(0.99), us(t.worst_ns),
         static_cast<unsigned long long>(t.failed), static_cast<unsigned long long>(t.busy));
  printf(" cpu %.3f", static_cast<double>(s.cpu_ns) / 1e9 / seconds);
  if (t.first_failure != 0) printf(" first_failure %u", t.first_failure);
  printf("\n");
}

void print_slot(const Slot& s) {
  switch (s.role) {
    case Role::Writer: print_tally("writer", s, s.changes); break;
    case Role::Reader: print_tally("reader", s, s.reads); break;
    case Role::Mixed:
      print_tally("mixed-read", s, s.reads);
      print_tally("mixed-change", s, s.changes);
      break;
    case Role::Download: print_tally("download", s, s.changes); break;
  }
}

// Forks every role, lets them start together once all have started, waits
// for them and prints their lines.
bool run_roles(const Options& o) {
  std::vector<std::pair<Role, int>> roles;
  for (int i = 0; i < o.writers; ++i) roles.push_back({Role::Writer, i});
  for (int i = 0; i < o.readers; ++i) roles.push_back({Role::Reader, i});
  for (int i = 0; i < o.mixed; ++i) roles.push_back({Role::Mixed, i});
  for (int i = 0; i < o.downloads; ++i) roles.push_back({Role::Download, i});
  const size_t size = sizeof(Board) + roles.size() * sizeof(Slot);
  void* shared = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (shared == MAP_FAILED) return false;
  Board& board = *new (shared) Board{};
  board.slots = reinterpret_cast<Slot*>(&board + 1);
  for (size_t i = 0; i < roles.size(); ++i) board.slots[i] = Slot{roles[i].first, roles[i].second, 0, 0, {}, {}};
  std::vector<pid_t> pids;
  for (size_t i = 0; i < roles.size(); ++i) {
    const pid_t pid = fork();
    if (pid == 0) run_role(board, board.slots[i]);
    if (pid > 0) pids.push_back(pid);
  }
  while (board.ready.load() < static_cast<int>(pids.size())) usleep(1000);
  const int64_t start = now_ns() + 20000000;
  board.stop_ns = start + static_cast<int64_t>(o.seconds * 1e9);
  board.start_ns = start;
  bool ended = board.failed_start.load() == 0 && pids.size() == roles.size();
  for (pid_t pid : pids) {
    int status = 0;
    ended &= waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  for (size_t i = 0; i < roles.size(); ++i) print_slot(board.slots[i]);
  return ended;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!parse(argc, argv, &o) || getenv("TAVO_ROOT") == nullptr) {
    fprintf(stderr,
            "usage: TAVO_ROOT=<dir> TAVO_SIMULATOR=... %s [--seconds S] [--writers N] [--readers N] [--mixed N]"
            " [--downloads N] [--image-mb M] | --adds N\n",
            argv[0]);
    return 2;
  }
  if (o.adds >= 0) return adds(o.adds) ? 0 : 1;
  // The readers read the first writer's target, there without writers too.
  const int writers = std::max(o.writers, o.readers > 0 ? 1 : 0);
  if (!as_client([&] { return prepare_targets("w", writers) && prepare_targets("m", o.mixed); })) return 1;
  if (o.downloads > 0 && !write_image(o.image_mb)) {
    fprintf(stderr, "gate_contention: cannot write %s\n", image_file().c_str());
    return 1;
  }
  return run_roles(o) ? 0 : 1;
}
