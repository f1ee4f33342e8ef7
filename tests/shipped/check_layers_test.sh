#!/usr/bin/env bash
# The source tree keeps its layers, and each planted fault fails with the
# file and the rule: an include across the layers or into another folder's
# internal header, a matrix of folders using each other, a function-pointer
# field in a branch, a place for supplied rows in iscsi/, and folders that
# the matrix or README.md's table do not match.
#   check_layers_test.sh <source root> <scratch dir>
set -u
src="$1"
scratch=$(mktemp -d "$2/layers-XXXXXX")
trap 'rm -rf "$scratch"' EXIT

"$src/tools/check-layers" "$src" || { echo "FAIL: the source tree breaks its layers"; exit 1; }

mkdir -p "$scratch/cmake"
cp "$src/cmake/layers.txt" "$src/README.md" "$scratch/"
mv "$scratch/layers.txt" "$scratch/cmake/"
for f in $(grep -E '^[a-z_/]+:' "$src/cmake/layers.txt" | cut -d: -f1); do mkdir -p "$scratch/$f"; done
printf '#include "base/debug_log.h"\n#include "tavo/tavo.h"\n' > "$scratch/tree/fine.cpp"
printf '#include "tree/tree.h"\n' > "$scratch/controller/peer.h"
printf '#include "controller/peer.h"\n#include "transport/glob.h"\n' > "$scratch/iscsi/network/fine.cpp"
"$src/tools/check-layers" "$scratch" || { echo "FAIL: allowed includes refused"; exit 1; }

# Each planted fault alone: the file, the include (or the matrix) and the rule.
expect_refused() {  # file, content, wanted message
  printf '%s\n' "$2" > "$scratch/$1"
  out=$("$src/tools/check-layers" "$scratch" 2>&1) && { echo "FAIL: planted $1 passed"; exit 1; }
  rm -f "$scratch/$1"
  case "$out" in
    *"$3"*) echo "check-layers caught: $out" ;;
    *) echo "FAIL: expected '$3', got: $out"; exit 1 ;;
  esac
}
expect_refused transport/bad.cpp '#include "tree/tree.h"' \
  'transport/bad.cpp:1: includes "tree/tree.h": transport may not use tree'
expect_refused controller/later.cpp '#include "nic/nic.h"' \
  'controller/later.cpp:1: includes "nic/nic.h": controller may not use nic'
expect_refused iscsi/network/up.cpp '#include "iscsi/targets/targets.h"' \
  'iscsi/network/up.cpp:1: includes "iscsi/targets/targets.h": iscsi/network may not use iscsi/targets'
expect_refused iscsi/sessions/above.cpp '#include "iscsi/targets/targets.h"' \
  'iscsi/sessions/above.cpp:1: includes "iscsi/targets/targets.h": iscsi/sessions may not use iscsi/targets'
expect_refused iscsi/target_data/above.cpp '#include "iscsi/sessions/sessions.h"' \
  'iscsi/target_data/above.cpp:1: includes "iscsi/sessions/sessions.h": iscsi/target_data may not use iscsi/sessions'
expect_refused iscsi/sessions/inner.cpp '#include "iscsi/targets/targets_internal.h"' \
  'iscsi/sessions/inner.cpp:1: includes "iscsi/targets/targets_internal.h": only its own folder may include'
expect_refused controller/hook.h $'struct Hooks {\n  uint32_t (*login)(TavoNode* target) = nullptr;\n};' \
  'controller/hook.h:2: declares a function-pointer field'
expect_refused iscsi/network/place.cpp $'const ChildDef rows[] = {\n    supplied(&places.login),\n};' \
  'iscsi/network/place.cpp:2: keeps a place for supplied rows'
mkdir -p "$scratch/newbranch"
expect_refused newbranch/x.cpp '// a branch the matrix does not know' \
  'newbranch: a folder of sources that cmake/layers.txt does not list'
rmdir "$scratch/newbranch"
rmdir "$scratch/iscsi/target_data"
out=$("$src/tools/check-layers" "$scratch" 2>&1) && { echo "FAIL: a matrix folder that is missing passed"; exit 1; }
case "$out" in
  *"cmake/layers.txt: iscsi/target_data is no folder"*) echo "check-layers caught: $out" ;;
  *) echo "FAIL: expected a missing folder, got: $out"; exit 1 ;;
esac
mkdir "$scratch/iscsi/target_data"
sed -i 's#`iscsi/target_data/`, ##' "$scratch/README.md"
out=$("$src/tools/check-layers" "$scratch" 2>&1) && { echo "FAIL: README.md without a folder passed"; exit 1; }
case "$out" in
  *"README.md: the layer table does not list iscsi/target_data/"*) echo "check-layers caught: $out" ;;
  *) echo "FAIL: expected README.md's table refused, got: $out"; exit 1 ;;
esac
cp "$src/README.md" "$scratch/"

printf 'base: include platform\nplatform: include base\n' >> "$scratch/cmake/layers.txt"
out=$("$src/tools/check-layers" "$scratch" 2>&1) && { echo "FAIL: folders using each other passed"; exit 1; }
case "$out" in
  *"may use each other"*) echo "check-layers caught: $out" ;;
  *) echo "FAIL: expected a refused matrix, got: $out"; exit 1 ;;
esac
