#include "tests/support/climbs.h"

#include <dirent.h>
#include <execinfo.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <link.h>
#include <pthread.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <mutex>
#include <optional>
#include <set>
#include <string_view>

#include "tree/handler_watch.h"

namespace tavo::test {
namespace {

constexpr int kNone = -1;
constexpr int kDepth = 128;

// Functions that only hand their caller's read to the tree, its name and
// group as given: their frames count as the tree's, the caller asks.
const char* const kForwarders[] = {"tavo::iscsi::read_text(TavoNode*, char const*, char*)"};

// The program's code by folder, from the code map the build writes beside
// it, and the folders in their order from cmake/layers.txt.
class CodeMap {
 public:
  std::string load();
  // The folder of the code at pc; code shared by several objects counts
  // only when asked for (a handler's address, the start of its own code).
  int folder_at(uintptr_t pc, bool shared_too) const;
  // The start of the function holding pc (0 when unknown), and its name
  // without the parameters ("" when unknown).
  uintptr_t function_start(uintptr_t pc) const;
  std::string function_at(uintptr_t pc) const;
  // Whether code starting at start is an action's handler, or a forwarder.
  bool action_handler(uintptr_t start) const {
    return std::binary_search(action_handlers_.begin(), action_handlers_.end(), start);
  }
  bool forwarder(uintptr_t start) const {
    return std::find(forwarders_.begin(), forwarders_.end(), start) != forwarders_.end();
  }
  int tree() const { return tree_; }
  const std::string& name(int folder) const { return folders_[folder]; }
  int named(const std::string& folder) const;
  int tests() const { return static_cast<int>(folders_.size()) - 1; }  // last, after the layers
  bool branch(int folder) const { return folder >= first_branch_ && folder < backend_; }
  // The folders a branch can climb to: the branches and the back end.
  bool ranked(int folder) const { return folder >= first_branch_ && folder <= backend_; }
  bool library(int folder) const { return folder >= 0 && folder <= backend_; }

 private:
  struct Range {
    uintptr_t start, end;
    int folder;
    bool shared;
  };
  struct Function {
    uintptr_t start;
    std::string_view name;  // in text_
  };
  const Range* range_at(uintptr_t pc) const;
  const Function* function_holding(uintptr_t pc) const;
  int folder_of_source(std::string_view source) const;

  std::vector<std::string> folders_;
  std::string text_;  // the code map as read
  std::vector<Range> ranges_;
  std::vector<Function> functions_;
  std::vector<uintptr_t> action_handlers_;
  std::vector<uintptr_t> forwarders_;
  int first_branch_ = kNone, backend_ = kNone, tree_ = kNone;
};

uintptr_t load_bias() {
  uintptr_t bias = 0;
  // The program itself comes first.
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* out) {
        *static_cast<uintptr_t*>(out) = info->dlpi_addr;
        return 1;
      },
      &bias);
  return bias;
}

std::string CodeMap::load() {
  std::ifstream layers(TAVO_LAYERS_FILE);
  for (std::string line; std::getline(layers, line);) {
    const size_t colon = line.find(':');
    if (line.empty() || line[0] == '#' || colon == std::string::npos) continue;
    folders_.push_back(line.substr(0, colon));
  }
  first_branch_ = named("controller");
  backend_ = named("backend");
  tree_ = named("tree");
  if (first_branch_ == kNone || backend_ < first_branch_ || tree_ == kNone) return "no branches in " TAVO_LAYERS_FILE;
  folders_.push_back("tests");

  // Read at the start of every watched test's program: parsed in place.
  FILE* map = fopen(TAVO_CODE_MAP, "rb");
  if (map == nullptr) return "no code map " TAVO_CODE_MAP;
  char block[1 << 16];
  for (size_t n; (n = fread(block, 1, sizeof block, map)) > 0;) text_.append(block, n);
  fclose(map);
  const uintptr_t bias = load_bias();
  std::string_view last_source;
  int last_folder = kNone;
  for (size_t at = 0; at < text_.size();) {
    size_t end = text_.find('\n', at);
    if (end == std::string::npos) end = text_.size();
    const std::string_view line(text_.data() + at, end - at);
    at = end + 1;
    if (line.size() < 3 || line[1] != ' ') continue;
    const char* p = line.data() + 2;
    char* next = nullptr;
    const uintptr_t start = bias + strtoull(p, &next, 16);
    const std::string_view rest(next + 1, line.data() + line.size() - next - 1);
    if (line[0] == 'r') {
      // SIZE own|shared SOURCE
      const uintptr_t size = strtoull(rest.data(), &next, 16);
      const std::string_view tail(next + 1, rest.data() + rest.size() - next - 1);
      const size_t space = tail.find(' ');
      const std::string_view source = tail.substr(space + 1);
      if (source != last_source) {
        last_source = source;
        last_folder = folder_of_source(source);
      }
      ranges_.push_back({start, start + size, last_folder, tail.substr(0, space) == "shared"});
    } else if (line[0] == 'f') {
      functions_.push_back({start, rest});
    } else if (line[0] == 'a') {
      // The descriptor is the program's own constant data, its handler first.
      const auto* descriptor = reinterpret_cast<const TavoActionDescriptor*>(start);
      action_handlers_.push_back(reinterpret_cast<uintptr_t>(descriptor->handler));
    }
  }
  std::sort(action_handlers_.begin(), action_handlers_.end());
  const auto by_start = [](const auto& a, const auto& b) { return a.start < b.start; };
  std::stable_sort(ranges_.begin(), ranges_.end(), by_start);
  std::stable_sort(functions_.begin(), functions_.end(), by_start);
  if (ranges_.empty()) return "an empty code map " TAVO_CODE_MAP;
  for (const char* name : kForwarders) {
    const auto it =
        std::find_if(functions_.begin(), functions_.end(), [&](const Function& f) { return f.name == name; });
    if (it == functions_.end()) return std::string("no forwarder ") + name;
    forwarders_.push_back(it->start);
  }
  return "";
}

int CodeMap::named(const std::string& folder) const {
  const auto it = std::find(folders_.begin(), folders_.end(), folder);
  return it == folders_.end() ? kNone : static_cast<int>(it - folders_.begin());
}

int CodeMap::folder_of_source(std::string_view source) const {
  int best = kNone;
  for (size_t i = 0; i < folders_.size(); ++i)
    if (source.size() > folders_[i].size() && source.compare(0, folders_[i].size(), folders_[i]) == 0 &&
        source[folders_[i].size()] == '/' && (best == kNone || folders_[i].size() > folders_[best].size()))
      best = static_cast<int>(i);
  return best;
}

const CodeMap::Range* CodeMap::range_at(uintptr_t pc) const {
  auto it =
      std::upper_bound(ranges_.begin(), ranges_.end(), pc, [](uintptr_t p, const Range& r) { return p < r.start; });
  if (it == ranges_.begin()) return nullptr;
  --it;
  return pc < it->end ? &*it : nullptr;
}

int CodeMap::folder_at(uintptr_t pc, bool shared_too) const {
  const Range* r = range_at(pc);
  return r == nullptr || (r->shared && !shared_too) ? kNone : r->folder;
}

const CodeMap::Function* CodeMap::function_holding(uintptr_t pc) const {
  const Range* r = range_at(pc);
  auto it = std::upper_bound(functions_.begin(), functions_.end(), pc,
                             [](uintptr_t p, const Function& f) { return p < f.start; });
  if (r == nullptr || it == functions_.begin() || (--it)->start < r->start) return nullptr;
  return &*it;
}

uintptr_t CodeMap::function_start(uintptr_t pc) const {
  const Function* f = function_holding(pc);
  return f == nullptr ? 0 : f->start;
}

std::string CodeMap::function_at(uintptr_t pc) const {
  const Function* f = function_holding(pc);
  if (f == nullptr) return "";
  // "ns::f(int, char*) const" is "ns::f": the parameters are the last
  // balanced parentheses.
  std::string name(f->name);
  if (name.size() > 6 && name.compare(name.size() - 6, 6, " const") == 0) name.resize(name.size() - 6);
  if (!name.empty() && name.back() == ')') {
    int depth = 0;
    for (size_t i = name.size(); i-- > 0;) {
      depth += name[i] == ')' ? 1 : name[i] == '(' ? -1 : 0;
      if (depth == 0) {
        name.resize(i);
        break;
      }
    }
  }
  return name;
}

struct Watch {
  CodeMap map;
  std::string ready;  // "" once the map is read, else why it is not
  std::mutex mutex;
  std::string log;               // the run's log directory, "" for none
  std::set<std::string> logged;  // each climb once per node and asking chain
  std::optional<std::vector<Climb>> recording;
};

// Never destroyed: handlers may run while the program exits.
Watch& watch() {
  static Watch* w = new Watch;
  return *w;
}

thread_local int standing = kNone;

std::string test_name() {
  const ::testing::TestInfo* t = ::testing::UnitTest::GetInstance()->current_test_info();
  return t == nullptr ? "(outside a test)" : std::string(t->test_suite_name()) + "." + t->name();
}

// "Group.Name run", into a buffer: a client's handler is named at every
// run, and allocations are what cost most under the sanitizers.
using NodeText = char[160];
void write_node_text(NodeText& out, tree::HandlerRun run, const TavoNode* node) {
  static const char* const kRuns[] = {"get", "set", "action", "refresh"};
  const char* group = run != tree::HandlerRun::Refresh && node->parent != nullptr ? node->parent->name : nullptr;
  snprintf(out, sizeof out, "%s%s%s %s", group != nullptr ? group : "", group != nullptr ? "." : "",
           node->name != nullptr ? node->name : "?", kRuns[static_cast<int>(run)]);
}

// The handler a client's call ran last on this thread, known by the
// address the call returns to.
thread_local uintptr_t client_return = 0;
thread_local NodeText client_node;

std::string node_text(tree::HandlerRun run, const TavoNode* node) {
  NodeText text;
  write_node_text(text, run, node);
  return text;
}

void append_line(const std::string& directory, const std::string& line) {
  mkdir(directory.c_str(), 0777);
  const std::string path = directory + "/" + std::to_string(getpid()) + ".log";
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  if (fd < 0) return;
  const std::string text = line + "\n";
  if (write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) ADD_FAILURE() << "writing " << path;
  close(fd);
}

void record(Climb c) {
  c.test = test_name();
  Watch& w = watch();
  std::lock_guard<std::mutex> lock(w.mutex);
  if (w.recording) {
    for (const Climb& seen : *w.recording)
      if (seen.asker == c.asker && seen.code == c.code) return;
    w.recording->push_back(std::move(c));
  } else if (!w.log.empty() && w.logged.insert(c.asker + "\t" + c.code + "\t" + c.node + "\t" + c.asked_by).second) {
    append_line(w.log, "climb\t" + c.asker + "\t" + c.entered + "\t" + c.code + "\t" +
                           (c.through_tree ? "tree" : "direct") + "\t" + c.node + "\t" + c.asked_by + "\t" + c.request +
                           "\t" + c.test);
  }
}

// A frame of the branches or the back end, from the handler outwards.
struct Ranked {
  int folder;
  uintptr_t pc;
  bool tree_inwards;  // the tree's code lies between it and the ranked frame inwards
};

// The asking frame's function and those of the ranked frames outwards of
// it, "f (folder) < g (folder)".
std::string asked_by(const CodeMap& map, const Ranked* ranked, size_t count, size_t from) {
  std::string text;
  for (size_t k = from; k < count && k < from + 3; ++k)
    text += (k == from ? "" : " < ") + map.function_at(ranked[k].pc) + " (" + map.name(ranked[k].folder) + ")";
  return text;
}

// The return addresses on this thread's stack, innermost first. Where
// every frame keeps its frame pointer (TAVO_CLIMBS_FRAME_POINTERS: the
// sanitizer builds) the chain is followed, many times cheaper than the
// unwinder and without its lock; a link that leaves the thread's stack or
// does not go outwards ends it.
int stack(void* (&frames)[kDepth]) {
#ifdef TAVO_CLIMBS_FRAME_POINTERS
  thread_local uintptr_t low = 0, high = 0;
  if (high == 0) {
    pthread_attr_t attributes;
    void* base = nullptr;
    size_t size = 0;
    if (pthread_getattr_np(pthread_self(), &attributes) == 0) {
      pthread_attr_getstack(&attributes, &base, &size);
      pthread_attr_destroy(&attributes);
    }
    low = reinterpret_cast<uintptr_t>(base);
    high = low + size;
  }
  int count = 0;
  auto* frame = static_cast<void**>(__builtin_frame_address(0));
  while (count < kDepth) {
    const auto at = reinterpret_cast<uintptr_t>(frame);
    if (at < low || at + 2 * sizeof(void*) > high || at % sizeof(void*) != 0 || frame[1] == nullptr) break;
    frames[count++] = frame[1];
    auto* next = static_cast<void**>(frame[0]);
    if (next <= frame) break;
    frame = next;
  }
  return count;
#else
  return backtrace(frames, kDepth);
#endif
}

// The folder a frame's code counts for, a forwarder's as the tree's: the
// same return addresses come back at every handler, so each thread keeps
// the last answers.
int frame_folder(const CodeMap& map, uintptr_t pc) {
  struct Known {
    uintptr_t pc = 0;
    int folder = kNone;
  };
  thread_local Known known[4096];
  Known& k = known[(pc ^ pc >> 12) % 4096];
  if (k.pc != pc) {
    k.pc = pc;
    k.folder = map.folder_at(pc, false);
    if (map.ranked(k.folder) && map.forwarder(map.function_start(pc))) k.folder = map.tree();
  }
  return k.folder;
}

// At every handler the tree runs: the rules of climbs.h. The watch's own
// frames are skipped up to the tree's.
void on_handler(tree::HandlerRun run, void (*handler)(), TavoNode* node) {
  const CodeMap& map = watch().map;
  void* frames[kDepth];
  const int count = stack(frames);
  Ranked ranked[kDepth];
  size_t ranks = 0;
  uintptr_t outermost = 0, returns_to = 0;
  bool in_library = false, tree_since = false;
  for (int i = 0; i < count; ++i) {
    const uintptr_t pc = reinterpret_cast<uintptr_t>(frames[i]) - 1;
    int folder = frame_folder(map, pc);
    if (!in_library && !map.library(folder)) continue;  // the watch itself
    in_library = true;
    if (map.library(folder)) {
      outermost = pc;
      returns_to = i + 1 < count ? reinterpret_cast<uintptr_t>(frames[i + 1]) : 0;
    }
    if (folder == map.tests() && standing != kNone) folder = standing;
    if (map.ranked(folder)) {
      ranked[ranks++] = {folder, pc, tree_since};
      tree_since = false;
    } else if (map.library(folder)) {
      tree_since = true;
    }
  }
  // A public call that runs a handler itself names the request.
  if (ranks == 0) {
    client_return = returns_to;
    write_node_text(client_node, run, node);
  }
  const auto request = [&] {
    return map.function_at(outermost) +
           (ranks != 0 && returns_to == client_return ? " " + std::string(client_node) : "");
  };

  const uintptr_t entered = reinterpret_cast<uintptr_t>(handler);
  const int folder = map.folder_at(entered, true);
  if (ranks != 0 && map.ranked(folder) && map.branch(ranked[0].folder) && folder > ranked[0].folder)
    record({map.name(ranked[0].folder), map.name(folder), map.function_at(entered), true, node_text(run, node),
            asked_by(map, ranked, ranks, 0), request(), ""});
  for (size_t k = 0; k + 1 < ranks; ++k) {
    const Ranked& in = ranked[k];
    const Ranked& out = ranked[k + 1];
    if (map.branch(out.folder) && in.folder > out.folder && !out.tree_inwards &&
        map.action_handler(map.function_start(in.pc)))
      record({map.name(out.folder), map.name(in.folder), map.function_at(in.pc), false, "",
              asked_by(map, ranked, ranks, k + 1), request(), ""});
  }
}

// The run's log, when TAVO_CLIMBS_LOG names one: the watch starts with the
// tests and the tests that ran are written at their end.
class LogEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    const std::string why = start_climb_watch();
    if (!why.empty()) ADD_FAILURE() << "climb watch: " << why;
  }
  void TearDown() override {
    const ::testing::UnitTest* unit = ::testing::UnitTest::GetInstance();
    for (int i = 0; i < unit->total_test_suite_count(); ++i) {
      const ::testing::TestSuite* suite = unit->GetTestSuite(i);
      for (int j = 0; j < suite->total_test_count(); ++j)
        if (suite->GetTestInfo(j)->should_run())
          append_line(watch().log, std::string("ran\t") + suite->name() + "." + suite->GetTestInfo(j)->name());
    }
  }
};

const bool kLogging = [] {
  const char* directory = getenv("TAVO_CLIMBS_LOG");
  if (directory == nullptr || directory[0] == '\0') return false;
  watch().log = directory;
  ::testing::AddGlobalTestEnvironment(new LogEnvironment);
  return true;
}();

std::vector<std::string> split_tabs(const std::string& line) {
  std::vector<std::string> fields;
  size_t from = 0;
  for (size_t tab; (tab = line.find('\t', from)) != std::string::npos; from = tab + 1)
    fields.push_back(line.substr(from, tab - from));
  fields.push_back(line.substr(from));
  return fields;
}

}  // namespace

std::string start_climb_watch() {
  static std::once_flag once;
  std::call_once(once, [] {
    Watch& w = watch();
    w.ready = w.map.load();
    if (!w.ready.empty()) return;
    void* warm[kDepth];
    stack(warm);  // loads the unwinder, if used, before a handler needs it
    tree::handler_watch.store(on_handler, std::memory_order_release);
  });
  return watch().ready;
}

ClimbRecording::ClimbRecording() {
  std::lock_guard<std::mutex> lock(watch().mutex);
  watch().recording.emplace();
}

ClimbRecording::~ClimbRecording() {
  std::lock_guard<std::mutex> lock(watch().mutex);
  watch().recording.reset();
}

std::vector<Climb> ClimbRecording::climbs() const {
  std::lock_guard<std::mutex> lock(watch().mutex);
  return *watch().recording;
}

std::string folder_of_code(void (*code)()) {
  const int folder = watch().map.folder_at(reinterpret_cast<uintptr_t>(code), false);
  return folder == kNone ? "" : watch().map.name(folder);
}

StandingFor::StandingFor(const std::string& folder) {
  standing = watch().map.named(folder);
  EXPECT_NE(standing, kNone) << folder << " is no folder of cmake/layers.txt";
}

StandingFor::~StandingFor() { standing = kNone; }

std::vector<std::string> judge_climbs(const std::vector<KnownClimb>& known, const std::vector<Climb>& seen,
                                      const std::vector<std::string>& ran) {
  const auto is = [](const KnownClimb& k, const Climb& c) { return k.asker == c.asker && k.code == c.code; };
  std::vector<std::string> problems;
  for (const Climb& c : seen)
    if (std::none_of(known.begin(), known.end(), [&](const KnownClimb& k) { return is(k, c); }))
      problems.push_back("a new climb: " + describe(c));
  for (const KnownClimb& k : known)
    if (std::find(ran.begin(), ran.end(), k.witness) != ran.end() &&
        std::none_of(seen.begin(), seen.end(), [&](const Climb& c) { return is(k, c); }))
      problems.push_back(std::string("no longer climbs, take it off the list: ") + k.asker + " -> " + k.code + " (" +
                         k.witness + ")");
  return problems;
}

ClimbLog read_climb_log(const std::string& directory) {
  std::set<std::string> climbs, ran;
  if (DIR* dir = opendir(directory.c_str())) {
    while (const dirent* e = readdir(dir)) {
      const std::string name = e->d_name;
      if (name.size() <= 4 || name.compare(name.size() - 4, 4, ".log") != 0) continue;
      std::ifstream in(directory + "/" + name);
      for (std::string line; std::getline(in, line);)
        (line.starts_with("ran\t") ? ran : climbs).insert(line);
    }
    closedir(dir);
  }
  ClimbLog log;
  for (const std::string& line : ran) log.ran.push_back(line.substr(4));
  for (const std::string& line : climbs) {
    const std::vector<std::string> f = split_tabs(line);
    if (f.size() == 9) log.climbs.push_back({f[1], f[2], f[3], f[4] == "tree", f[5], f[6], f[7], f[8]});
  }
  return log;
}

std::string describe(const Climb& c) {
  return c.asker + " -> " + c.entered + ": " + c.code + (c.through_tree ? " through the tree" : " called directly") +
         (c.node.empty() ? "" : " (" + c.node + ")") + ", asked by " + c.asked_by + "; in " + c.request + ", " + c.test;
}

}  // namespace tavo::test
