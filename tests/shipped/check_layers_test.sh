#!/usr/bin/env bash
# The source tree keeps its layers, and a planted include across them fails
# with the file, the include and the rule.
#   check_layers_test.sh <source root> <scratch dir>
set -u
src="$1"
scratch=$(mktemp -d "$2/layers-XXXXXX")
trap 'rm -rf "$scratch"' EXIT

"$src/tools/check-layers" "$src" || { echo "FAIL: the source tree breaks its layers"; exit 1; }

mkdir -p "$scratch/cmake" "$scratch/transport" "$scratch/tree" "$scratch/iscsi/network" "$scratch/controller"
cp "$src/cmake/layers.txt" "$scratch/cmake/"
printf '#include "base/debug_log.h"\n#include "tavo/tavo.h"\n' > "$scratch/tree/fine.cpp"
printf '#include "tree/tree.h"\n' > "$scratch/controller/peer.h"
printf '#include "controller/peer.h"\n#include "transport/glob.h"\n' > "$scratch/iscsi/network/fine.cpp"
"$src/tools/check-layers" "$scratch" || { echo "FAIL: allowed includes refused"; exit 1; }

printf '// the transport must not reach up\n#include "tree/tree.h"\n' > "$scratch/transport/bad.cpp"
out=$("$src/tools/check-layers" "$scratch" 2>&1) && { echo "FAIL: planted include passed"; exit 1; }
want='transport/bad.cpp:2: includes "tree/tree.h": transport may not use tree'
case "$out" in
  *"$want"*) echo "check-layers caught: $out" ;;
  *) echo "FAIL: expected '$want', got: $out"; exit 1 ;;
esac
