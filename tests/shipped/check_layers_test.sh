#!/usr/bin/env bash
# tools/check-layers on the source tree (and on the build's objects), on a
# skeleton holding what the rules allow, and on one planted fault per case,
# each refused with its file, line and rule: an include across the layers
# or into another folder's internal header, a hook in a branch (a function
# pointer, one through a typedef, a std::function), another folder's
# function declared by hand, an object using a later folder's symbol, a
# place for supplied rows in a branch, folders that the matrix or README.md's
# table do not match, and a matrix of folders using each other.
#   check_layers_test.sh --list
#   check_layers_test.sh <case> <source root> <scratch dir> [build dir [c++ compiler]]
set -u
# One planted fault per row: case|wanted refusal|file|content[|file|content].
# Content's \n are line breaks.
planted=(
  'IncludeLowerLayer|transport/bad.cpp:1: includes "tree/tree.h": transport may not use tree|transport/bad.cpp|#include "tree/tree.h"'
  'IncludeLaterBranch|controller/later.cpp:1: includes "nic/nic.h": controller may not use nic|controller/later.cpp|#include "nic/nic.h"'
  'IncludeNetworkTargets|iscsi/network/up.cpp:1: includes "iscsi/targets/targets.h": iscsi/network may not use iscsi/targets|iscsi/network/up.cpp|#include "iscsi/targets/targets.h"'
  'IncludeSessionsTargets|iscsi/sessions/above.cpp:1: includes "iscsi/targets/targets.h": iscsi/sessions may not use iscsi/targets|iscsi/sessions/above.cpp|#include "iscsi/targets/targets.h"'
  'IncludeTargetDataSessions|iscsi/target_data/above.cpp:1: includes "iscsi/sessions/sessions.h": iscsi/target_data may not use iscsi/sessions|iscsi/target_data/above.cpp|#include "iscsi/sessions/sessions.h"'
  'InternalHeader|iscsi/sessions/inner.cpp:1: includes "iscsi/targets/targets_internal.h": only its own folder may include|iscsi/sessions/inner.cpp|#include "iscsi/targets/targets_internal.h"'
  'FnPointerField|controller/hook.h:4: hooks keeps a function pointer in writable static storage (Hooks::login): a hook|controller/hook.h|struct Hooks {\n  uint32_t (*login)(TavoNode* target) = nullptr;\n};\nextern Hooks hooks;'
  'TypedefFnPointerField|port/hook.cpp:3: hooks keeps a function pointer in writable static storage (PortHooks::login, LoginHook): a hook|port/hook.h|typedef uint32_t (*LoginHook)(TavoNode* target);\nstruct PortHooks {\n  LoginHook login;\n};|port/hook.cpp|#include "port/hook.h"\nPortHooks& port_hooks() {\n  static PortHooks hooks;\n  return hooks;\n}'
  'StdFunctionField|iscsi/target_data/reads.h:2: options keeps a std::function in writable static storage: a hook|iscsi/target_data/reads.h|struct LoginReads {\n  static std::function<uint32_t(TavoNode* target)> options;\n};'
  'HandWrittenExtern|nic/peer.cpp:2: declares port_link_speed by hand (extern), a function of port/: include its header|port/speed.cpp|uint32_t port_link_speed(TavoNode* port) { return 0; }|nic/peer.cpp|#include <stdint.h>\nextern "C" uint32_t port_link_speed(TavoNode* port);'
  'SuppliedRows|iscsi/network/place.cpp:2: keeps a place for supplied rows|iscsi/network/place.cpp|const ChildDef rows[] = {\n    supplied(&places.login),\n};'
  'SuppliedRowsInController|controller/place.cpp:2: keeps a place for supplied rows|controller/place.cpp|const ChildDef rows[] = {\n    supplied(&places.logs),\n};'
  'UnknownFolder|newbranch: a folder of sources that cmake/layers.txt does not list|newbranch/x.cpp|// a branch the matrix does not know'
)
if [ "$1" = --list ]; then
  printf '%s\n' Tree Allowed LinkUpward MissingFolder ReadmeMissing MatrixCycle "${planted[@]%%|*}"
  exit 0
fi
case_name="$1"
src="$2"
build="${4:-}"
cxx="${5:-c++}"
scratch=$(mktemp -d "$3/layers-XXXXXX")
trap 'rm -rf "$scratch"' EXIT

if [ "$case_name" = Tree ]; then
  "$src/tools/check-layers" "$src" $build || { echo "FAIL: the source tree breaks its layers"; exit 1; }
  exit 0
fi

# The skeleton: the matrix, README.md, each folder and a few Allowed
# includes.
mkdir -p "$scratch/cmake"
cp "$src/cmake/layers.txt" "$scratch/cmake/"
cp "$src/README.md" "$scratch/"
for f in $(grep -E '^[a-z_/]+:' "$src/cmake/layers.txt" | cut -d: -f1); do mkdir -p "$scratch/$f"; done
plant() {  # file, content
  mkdir -p "$(dirname "$scratch/$1")"
  printf '%b\n' "$2" > "$scratch/$1"
}
plant tree/fine.cpp $'#include "base/debug_log.h"\n#include "tavo/tavo.h"'
plant controller/peer.h '#include "tree/tree.h"'
plant iscsi/network/fine.cpp $'#include "controller/peer.h"\n#include "transport/glob.h"'
# check-layers refuses the skeleton with one line, the wanted message in it.
expect_refused() {  # wanted message, build dir
  out=$("$src/tools/check-layers" "$scratch" ${2:-} 2>&1) && { echo "FAIL: planted $case_name passed"; exit 1; }
  case "$out" in
    *$'\n'*) echo "FAIL: expected one refusal, got: $out"; exit 1 ;;
    *"$1"*) echo "check-layers caught: $out" ;;
    *) echo "FAIL: expected '$1', got: $out"; exit 1 ;;
  esac
}

case "$case_name" in
  Allowed)
    # Handlers in a constant table, a callback passed down, steps held by
    # an object its caller owns, a local table, a folder's own C function.
    plant tree/tree.h $'typedef uint32_t (*TavoPropertyHandler)(TavoNode* property, char* buf, uint32_t op);\nstruct ChildDef {\n  const char* name;\n  TavoPropertyHandler handler = nullptr;\n};'
    plant port/port_def.cpp "$(cat <<'EOF'
#include "tree/tree.h"
const ChildDef port_children[] = {{"LinkSpeed", handle_link_speed}};
constexpr TavoPropertyHandler kSpeed = handle_link_speed;
uint32_t each_port(uint32_t (*visit)(TavoNode* port), const std::function<void(TavoNode*)>& done);
class Batch {
 public:
  void undo(std::function<void()> step) { steps_.push_back(std::move(step)); }
 private:
  std::vector<std::function<void()>> steps_;
};
thread_local Batch* open_batch = nullptr;
void start_views() {
  using Builder = TavoNode* (*)(TavoNode* parent);
  static const struct {
    const char* view;
    Builder builder;
  } kViews[] = {{"Admin", initialize_admin}};
  Batch batch;
}
extern "C" uint32_t port_reset(TavoNode* port);
extern "C" int printf(const char* format, ...);
uint32_t port_reset(TavoNode* port) { return 0; }
EOF
)"
    "$src/tools/check-layers" "$scratch" || { echo "FAIL: what the rules allow was refused"; exit 1; }
    ;;
  LinkUpward)
    # controller's object uses a symbol only nic's defines; nic's use of
    # controller's is the Allowed way down.
    objects="$scratch/build/CMakeFiles"
    mkdir -p "$objects/tavo_controller.dir/controller" "$objects/tavo_nic.dir/nic"
    printf 'int nic_answer();\nint controller_value() { return 1; }\nint controller_asks() { return nic_answer(); }\n' > "$scratch/up.cpp"
    printf 'int controller_value();\nint nic_answer() { return controller_value(); }\n' > "$scratch/down.cpp"
    "$cxx" -c "$scratch/up.cpp" -o "$objects/tavo_controller.dir/controller/up.cpp.o" &&
      "$cxx" -c "$scratch/down.cpp" -o "$objects/tavo_nic.dir/nic/down.cpp.o" || { echo "FAIL: cannot compile"; exit 1; }
    expect_refused 'controller/up.cpp.o: uses nic_answer(), which only nic/ defines: controller may not reach a folder after it' \
      "$scratch/build"
    ;;
  MissingFolder)
    rmdir "$scratch/iscsi/target_data"
    expect_refused 'cmake/layers.txt: iscsi/target_data is no folder'
    ;;
  ReadmeMissing)
    sed -i 's#`iscsi/target_data/`, ##' "$scratch/README.md"
    expect_refused 'README.md: the layer table does not list iscsi/target_data/'
    ;;
  MatrixCycle)
    printf 'base: include platform\nplatform: include base\n' >> "$scratch/cmake/layers.txt"
    expect_refused 'may use each other'
    ;;
  *)
    for row in "${planted[@]}"; do
      IFS='|' read -ra f <<< "$row"
      [ "${f[0]}" = "$case_name" ] || continue
      for ((i = 2; i < ${#f[@]}; i += 2)); do plant "${f[i]}" "${f[i + 1]}"; done
      expect_refused "${f[1]}"
      exit 0
    done
    echo "FAIL: no case $case_name"
    exit 1
    ;;
esac
