#!/usr/bin/env bash
# The demo over the default simulated adapters: every value it cannot read
# shows the status that says why, and every optional parameter's bracket
# is closed.
#   demo_test.sh <demo program> <scratch dir>
set -u
root=$(mktemp -d "$2/demo-XXXXXX")
trap 'rm -rf "$root"' EXIT
out=$(TAVO_SIMULATOR=default TAVO_ROOT="$root" "$1" 2>&1) || { echo "FAIL: the demo failed: $out"; exit 1; }
bad=$(grep -n '<unreadable' <<<"$out" | grep -vE '<unreadable: status [0-9]+: [^>]+>$')
[ -z "$bad" ] || { echo "FAIL: values without their reason:"; echo "$bad"; exit 1; }
bad=$(grep -nE '^ *[A-Za-z0-9]+\(.*\)$' <<<"$out" | awk '{ if (gsub(/\[/, "[") != gsub(/\]/, "]")) print }')
[ -z "$bad" ] || { echo "FAIL: unclosed brackets:"; echo "$bad"; exit 1; }
grep -q 'ResetFactoryDefaults(\[ProfileId:integer\])' <<<"$out" || { echo "FAIL: no ResetFactoryDefaults line"; exit 1; }
echo "demo: $(grep -c '<unreadable' <<<"$out") unreadable values, each with its reason"
