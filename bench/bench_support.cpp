#include "bench/bench_support.h"

#include <dirent.h>
#include <errno.h>
#include <ftw.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/host.h"
#include "simulator/simulator.h"
#include "tree/backend_hooks.h"
#include "tree/declare.h"
#include "tree/group_builder.h"

namespace tavo::bench {
namespace {

std::string scratch_root;
tree::BackendHooks library_hooks{nullptr, nullptr};
bool hooks_saved = false;

// Scratch folders are <tmp>/tavo-bench-<pid>-XXXXXX: a run that was killed
// is known by its process being gone, and the next run removes its folder.
constexpr char kScratchPrefix[] = "tavo-bench-";

std::string temporary_folder() {
  const char* tmp = getenv("TMPDIR");
  std::string dir = tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp";
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

void remove_tree(const std::string& path) {
  const auto remove_one = [](const char* name, const struct stat*, int, FTW*) { return ::remove(name); };
  if (nftw(path.c_str(), remove_one, 16, FTW_DEPTH | FTW_PHYS) != 0 && errno != ENOENT)
    fprintf(stderr, "bench: could not remove %s\n", path.c_str());
}

// The pid a scratch folder's name carries, or 0 when it is not one.
pid_t scratch_owner(const char* name) {
  if (strncmp(name, kScratchPrefix, sizeof kScratchPrefix - 1) != 0) return 0;
  char* end = nullptr;
  const long pid = strtol(name + sizeof kScratchPrefix - 1, &end, 10);
  return pid > 0 && end != nullptr && *end == '-' ? static_cast<pid_t>(pid) : 0;
}

void remove_dead_scratch(const std::string& dir) {
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return;
  std::vector<std::string> dead;
  while (const dirent* e = readdir(d)) {
    const pid_t owner = scratch_owner(e->d_name);
    if (owner == 0 || platform::process_alive(owner)) continue;
    struct stat st;
    const std::string path = dir + "/" + e->d_name;
    if (lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid()) dead.push_back(path);
  }
  closedir(d);
  for (const std::string& path : dead) remove_tree(path);
}

void remove_scratch() {
  if (!scratch_root.empty()) remove_tree(scratch_root);
}

tree::SlotArea child_slots;
extern const tree::GroupDef kChild;

uint32_t do_AddChild(TavoNode* group, TavoNode* action, char* params) {
  return tree::build_group(kChild, group, group, action, params) != nullptr ? 0 : 1;
}

const TavoActionDescriptor add_child_action = {
    do_AddChild, 0, 1, {{0, "Label", "A label.", TAVO_TYPE_TEXT, "", 0, 32}}};

const tree::ChildDef child_children[] = {
    declare::property("Value", TAVO_ACCESS_READ_WRITE, TAVO_TYPE_TEXT, "", 0, 64, "0", handle_internal_property,
                      "A value."),
};
const tree::ChildDef parent_children[] = {
    declare::action_row("AddChild", "Adds a child.", &add_child_action),
};

const tree::GroupDef kChild{"BenchChild", "A persistent child.", 60000, 0, nullptr, child_children, &child_slots};
const tree::GroupDef kParent{"BenchParent", "The parent of the children.", 0, 0, nullptr, parent_children, nullptr};

uint32_t bench_start() { return tree::build_group(kParent, get_node(0)) != nullptr ? 0 : 1; }

sim::Simulator* installed = nullptr;  // the simulator in force

}  // namespace

void use_topology(const std::string& topology_text, bool under_root) {
  if (scratch_root.empty()) {
    const std::string dir = temporary_folder();
    remove_dead_scratch(dir);
    std::string name = dir + "/" + kScratchPrefix + std::to_string(getpid()) + "-XXXXXX";
    if (mkdtemp(name.data()) == nullptr) {
      fprintf(stderr, "bench: cannot make a scratch folder in %s: %s\n", dir.c_str(), strerror(errno));
      abort();
    }
    scratch_root = name;
    atexit(remove_scratch);
  }
  setenv("TAVO_ROOT", scratch_root.c_str(), 1);
  const std::string file = scratch_root + "/topology.txt";
  FILE* f = fopen(file.c_str(), "w");
  if (f == nullptr) abort();
  fputs(topology_text.c_str(), f);
  fclose(f);
  std::string error;
  sim::Simulator* sim = sim::install(file, scratch_root, &error);
  installed = sim;
  if (sim == nullptr) {
    fprintf(stderr, "bench: %s\n", error.c_str());
    abort();
  }
  // One process only: the simulated adapters need not keep their state under
  // the root for the next, and comparing it after each command would add
  // about a tenth to a request. A user's process keeps it (the process rows
  // of tools/compare-iscsiadm).
  if (!under_root) sim->keep_adapters_in_process();
}

std::string controllers_topology(int controllers) {
  std::string t;
  int iscsi = 0, nic = 0;
  for (int c = 0; c < controllers; ++c) {
    char line[256];
    snprintf(line, sizeof line, "controller %d generation=cv3 serial=TM3B%08d bus=%d device=0\n", c, c + 1,
             2 * c + 2);
    t += line;
    for (int port = 0; port < 2; ++port) {
      snprintf(line, sizeof line, "nic controller=%d function=%d port=%d name=vmnic%d\n", c, port, port, nic++);
      t += line;
      snprintf(line, sizeof line, "iscsi controller=%d function=%d port=%d device=%d vmhba=vmhba%d\n", c, port + 2,
               port, iscsi, 32 + iscsi);
      t += line;
      ++iscsi;
    }
  }
  return t + "release 6.5.0\n";
}

void open_bench_tree() {
  if (!hooks_saved) {
    library_hooks = tree::backend_hooks();
    hooks_saved = true;
  }
  tree::set_backend_hooks({bench_start, nullptr});
  if (TAVO_init() != 0) abort();
}

void close_tree() { TAVO_exit(); }

uint64_t host_calls() {
  if (installed == nullptr) return 0;
  uint64_t calls = 0;
  for (const char* call : {"open", "read", "write", "truncate", "fsync", "fsync_dir", "readdir", "close", "rename",
                           "unlink", "mkdir", "chmod", "lock", "stat", "fstat", "utimens", "page"})
    calls += installed->file_calls(call);
  for (const sim::LogKind kind : {sim::LogKind::IscsiIoctl, sim::LogKind::NicIoctl, sim::LogKind::Shell,
                                  sim::LogKind::DeviceOpen, sim::LogKind::DeviceClose})
    calls += installed->request_count(kind);
  return calls;
}

[[gnu::noinline]] uint32_t measured_call(const std::function<uint32_t()>& call) { return call(); }

void restore_backend() {
  if (hooks_saved) tree::set_backend_hooks(library_hooks);
}

TavoNode* bench_parent() { return internal_get_node(get_node(0), "BenchParent", TAVO_KIND_GROUP); }

uint32_t tag_of(TavoNode* group, const char* name, uint32_t kind) {
  uint32_t tag = 0;
  if (TAVO_get_node_tag(group->tag, name, &tag, kind) != 0) abort();
  return tag;
}

void action_params(char* params, const char* first, const char* second) {
  memset(params, 0, TAVO_MAX_PARAMS * TAVO_VALUE_SIZE);
  for (int i = 0; i < TAVO_MAX_PARAMS; ++i) params[i * TAVO_VALUE_SIZE] = static_cast<char>(TAVO_NOT_GIVEN);
  if (first != nullptr) snprintf(params, TAVO_VALUE_SIZE, "%s", first);
  if (second != nullptr) snprintf(params + TAVO_VALUE_SIZE, TAVO_VALUE_SIZE, "%s", second);
}

uint32_t add_child() {
  static char params[TAVO_MAX_PARAMS * TAVO_VALUE_SIZE];
  static uint32_t new_tags[TAVO_MAX_NEW_TAGS];
  TavoNode* parent = bench_parent();
  const uint32_t action_tag = tag_of(parent, "AddChild", TAVO_KIND_ACTION);
  snprintf(params, TAVO_VALUE_SIZE, "child");
  if (TAVO_do_action(parent->tag, action_tag, params, new_tags) != 0) abort();
  return new_tags[0];
}

}  // namespace tavo::bench
