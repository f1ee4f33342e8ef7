#!/usr/bin/env bash
# The source tree keeps its layers, and a planted include across them fails
# with the file, the include and the rule.
#   check_layers_test.sh <source root> <scratch dir>
set -u
src="$1"
scratch=$(mktemp -d "$2/layers-XXXXXX")
trap 'rm -rf "$scratch"' EXIT

"$src/tools/check-layers" "$src" || { echo "FAIL: the source tree breaks its layers"; exit 1; }

mkdir -p "$scratch/cmake" "$scratch/transport" "$scratch/tree" "$scratch/iscsi/network" "$scratch/iscsi/sessions" "$scratch/controller"
cp "$src/cmake/layers.txt" "$scratch/cmake/"
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
expect_refused iscsi/sessions/inner.cpp '#include "iscsi/targets/targets_internal.h"' \
  'iscsi/sessions/inner.cpp:1: includes "iscsi/targets/targets_internal.h": only its own folder may include'
printf 'base: include platform\nplatform: include base\n' >> "$scratch/cmake/layers.txt"
out=$("$src/tools/check-layers" "$scratch" 2>&1) && { echo "FAIL: folders using each other passed"; exit 1; }
case "$out" in
  *"may use each other"*) echo "check-layers caught: $out" ;;
  *) echo "FAIL: expected a refused matrix, got: $out"; exit 1 ;;
esac
