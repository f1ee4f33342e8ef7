#!/usr/bin/env bash
# tools/check-function-size on the source tree, and on planted functions of
# each shape it must follow: each passes at 80 lines and is refused at 81,
# with its file, first line and name. Also: a listed long function passes;
# a listed one no longer long or gone fails, as do a list's line without a
# name and braces or quotes that do not close; the folders outside the
# library are not read.
#   check_function_size_test.sh --list
#   check_function_size_test.sh <case> <source root> <scratch dir>
set -u
# One shape per row: shape|file|lines before|the function, its body's
# filler at @FILL@|lines after|the name the refusal gives. \n are line
# breaks.
shapes=(
  'Plain|nic/plain.cpp|extern "C" {\nint plain_x;\n}\n// Why it exists,\n// in two lines.|uint32_t plain_one(TavoNode* node,\n                   const char* value) {\n@FILL@\n  return 0;\n}||plain_one'
  'Template|base/pick.h|#pragma once\n#include <string>\n|template <typename T>\nT pick(T a, T b) {\n@FILL@\n  return a < b ? a : b;\n}||pick'
  'Specialization|base/pick.cpp|#include "base/pick.h"|template <>\nint pick<int>(int a, int b) {\n@FILL@\n  return a;\n}||pick'
  'Member|tree/box.h|class Box {\n public:\n  // Why.|  int get() const {\n@FILL@\n    return value_;\n  }|\n private:\n  int value_ = 0;\n};|get'
  'Constructor|port/box.cpp|namespace tavo {\nstruct Holder {\n  int a = 0;\n};\nnamespace {\nint x;\n}  // namespace|Box::Box(int a)\n    : b_(a), a_{a} {\n@FILL@\n}|}  // namespace tavo|Box::Box'
  'Lambda|firmware/steps.cpp|#include <functional>|const auto kSteps = [](int v) -> int {\n@FILL@\n  return v;\n};||<lambda>'
  'HiddenBraces|controller/hidden.cpp|extern "C" {\nconst Row kRows[] = {{"{", 1}, {"}}", 2}};\n#define OPEN(x) { x\n#define MANY \\\n  { {\n/* }\n } */|uint32_t hidden(const char* s) {\n  const char* a = "}{\\"}";  // }\n  char b = '\''{'\'';\n  const char* raw = R"x(" }\n{ ")x";\n  const long n = 1'\''000; /* } */\n#define CLOSE() }\n  auto f = [](int v) {\n    return v;\n  };\n@FILL@\n  return f(a[0] + b + raw[0] + s[0]) + n;  // '\''}\n}|}  // extern "C"|hidden'
)
others=(Tree Listed ListedNoLonger ListedGone ListWithoutName UnclosedBrace ExtraBrace UnclosedQuote OtherFolders)
if [ "$1" = --list ]; then
  for row in "${shapes[@]}"; do printf '%sAt80\n%sAt81\n' "${row%%|*}" "${row%%|*}"; done
  printf '%s\n' "${others[@]}"
  exit 0
fi
case_name="$1"
src="$2"
scratch=$(mktemp -d "$3/function-size-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
check() { "$src/tools/check-function-size" "$scratch" 2>&1; }

# A shape's file with its function <lines> long; prints its first line.
plant_shape() {  # row, lines
  local f
  IFS='|' read -ra f <<<"$1"
  local before function fixed
  before=$(printf '%b' "${f[2]}")
  function=$(printf '%b' "${f[3]}")
  fixed=$(grep -c '' <<<"$function")
  mkdir -p "$(dirname "$scratch/${f[1]}")"
  {
    [ -z "$before" ] || printf '%s\n' "$before"
    while IFS= read -r line; do
      if [ "$line" = @FILL@ ]; then
        for ((i = 0; i < $2 - fixed + 1; ++i)); do echo "  step($i);"; done
      else
        printf '%s\n' "$line"
      fi
    done <<<"$function"
    printf '%b\n' "${f[4]}"
  } >"$scratch/${f[1]}"
  echo $(($([ -z "$before" ] && echo 0 || grep -c '' <<<"$before") + 1))
}
plant() {  # file, content
  mkdir -p "$(dirname "$scratch/$1")"
  printf '%b\n' "$2" >"$scratch/$1"
}
long_function() {  # name, lines
  printf 'int %s() {\n' "$1"
  for ((i = 0; i < $2 - 3; ++i)); do echo "  step($i);"; done
  printf '  return 0;\n}\n'
}
# The check refuses the scratch tree with one line, the wanted text in it.
expect_refused() {
  local out
  out=$(check) && { echo "FAIL: $case_name passed"; exit 1; }
  case "$out" in
    *$'\n'*) echo "FAIL: expected one refusal, got: $out"; exit 1 ;;
    *"$1"*) echo "check-function-size caught: $out" ;;
    *) echo "FAIL: expected '$1', got: $out"; exit 1 ;;
  esac
}
expect_passed() {
  local out
  out=$(check) || { echo "FAIL: $case_name was refused: $out"; exit 1; }
}

case "$case_name" in
  Tree)
    "$src/tools/check-function-size" "$src" || { echo "FAIL: the library has functions over 80 lines"; exit 1; }
    ;;
  *At80 | *At81)
    for row in "${shapes[@]}"; do
      [ "${row%%|*}" = "${case_name%At8?}" ] || continue
      IFS='|' read -ra f <<<"$row"
      lines=${case_name##*At}
      first=$(plant_shape "$row" "$lines")
      if [ "$lines" = 80 ]; then expect_passed; else expect_refused "${f[1]}:$first: ${f[5]} has 81 lines;"; fi
      exit 0
    done
    echo "FAIL: no case $case_name"
    exit 1
    ;;
  Listed)
    mkdir -p "$scratch/nic"
    long_function long_one 95 >"$scratch/nic/long.cpp"
    plant tools/long-functions.txt '# Shortened on another branch.\nnic/long.cpp long_one  # 95 lines'
    expect_passed
    ;;
  ListedNoLonger)
    mkdir -p "$scratch/nic"
    long_function long_one 80 >"$scratch/nic/long.cpp"
    plant tools/long-functions.txt 'nic/long.cpp long_one'
    expect_refused 'nic/long.cpp long_one has 80 lines now: take it off the list'
    ;;
  ListedGone)
    mkdir -p "$scratch/nic"
    long_function short_one 10 >"$scratch/nic/long.cpp"
    plant tools/long-functions.txt 'nic/long.cpp long_one'
    expect_refused 'nic/long.cpp long_one is no function of the library: take it off the list'
    ;;
  ListWithoutName)
    plant nic/short.cpp 'int f() { return 0; }'
    plant tools/long-functions.txt '# A file alone names nothing.\nnic/short.cpp'
    expect_refused 'tools/long-functions.txt: "nic/short.cpp" names no function (<file> <function>)'
    ;;
  UnclosedBrace)
    plant nic/open.cpp 'int f() {\n  if (true) {\n  return 0;\n}'
    expect_refused 'nic/open.cpp: its braces do not balance as read'
    ;;
  ExtraBrace)
    plant nic/shut.cpp 'int f() {\n  return 0;\n}\n}\nint g() { return 1; }'
    expect_refused 'nic/shut.cpp: its braces do not balance as read'
    ;;
  UnclosedQuote)
    plant nic/quote.cpp 'const char* kName = "x;\nint f() { return 0; }'
    expect_refused 'nic/quote.cpp: its braces do not balance as read'
    ;;
  OtherFolders)
    for folder in tests simulator bench fuzz tools; do
      mkdir -p "$scratch/$folder"
      long_function long_one 120 >"$scratch/$folder/long.cpp"
    done
    plant nic/short.cpp 'int f() { return 0; }'
    expect_passed
    ;;
  *)
    echo "FAIL: no case $case_name"
    exit 1
    ;;
esac
