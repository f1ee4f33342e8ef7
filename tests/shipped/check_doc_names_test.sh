#!/usr/bin/env bash
# tools/check-doc-names on docs/requests.md as it is, and on planted pages
# over a small tree: each name written as the page may place it passes
# where the tree declares it, and each wrong path, name, command or test is
# refused with the page's line: a name placed in a file that only calls
# it, mentions it in a comment or never had it (a function moved away), a
# name nowhere but in tests, a command whose row says other numbers.
#   check_doc_names_test.sh --list
#   check_doc_names_test.sh <case> <source root> <scratch dir>
set -u
# One page per row: case|refusal wanted ("" passes)|the page. \n are line
# breaks. Every page is checked over the tree planted below.
pages=(
  'DefinitionPlaced||`iscsi/targets/build.cpp` (`find_target`) builds.'
  'DeclarationInHeader||`find_target` of `iscsi/targets/targets.h`.'
  'ColumnZeroDefinition||`iscsi/targets/build.cpp`: `setup_target`.'
  'QualifiedDefinition||`tavo::targets::new_target()` in `iscsi/targets/build.cpp`.'
  'MemberDeclaration||`WaitingSessions::hold` (`iscsi/sessions/sessions.h`).'
  'SizeWordType||`wait_ms` of `base/gate.cpp`.'
  'TypesAndConstants||`Gate`, `kFollowers`, `ReadScope` and `TAVO_LIBRARY_LOCK` of `base/gate.h`.'
  'StringLiteral||`TargetType` of `iscsi/targets/build.cpp`, `TAVO_GATE_WAIT_MS` anywhere.'
  'FolderPlace||`find_target` of `iscsi/`.'
  'BareFilePlace||`build.cpp` (`find_target`, `setup_target`).'
  'Unplaced||`find_target` and `wait_ms` somewhere.'
  'CommandRow||`14/6 ioctl_get_a_session`, then `14/6` alone.'
  'TestName||`GateTest.Waits`.'
  'FencedBlockSkipped||```\n`gone/nowhere.cpp`\n```\nAfter: `base/gate.h`.'
  'OtherSpansSkipped||`opcode 14`, `/etc/config/QVL/tavo/`, `TAVO_*`, `libtavo.lock`, `-1`.'
  'PathMissing|docs/requests.md:2: `iscsi/targets/gone.cpp` is no file or folder of the tree|First line.\n`iscsi/targets/gone.cpp` holds it.'
  'BareFileMissing|docs/requests.md:1: `gone.cpp` is no file of the tree|`gone.cpp` holds it.'
  'MovedAway|docs/requests.md:1: `find_target` is declared in no file of `iscsi/targets/setup.cpp`|`iscsi/targets/setup.cpp` (`find_target`).'
  'OnlyCalled|docs/requests.md:1: `new_target` is declared in no file of `iscsi/targets/setup.cpp`|`new_target` of `iscsi/targets/setup.cpp`.'
  'OnlyInComment|docs/requests.md:1: `old_target` is declared in no file of `iscsi/targets/setup.cpp`|`old_target` of `iscsi/targets/setup.cpp`.'
  'RunPlaced|docs/requests.md:1: `setup_target` is declared in no file of `iscsi/targets/targets.h`|`find_target`, `setup_target` of `iscsi/targets/targets.h`.'
  'OnlyInTests|docs/requests.md:3: `fixture_only` is declared nowhere in the library'"'"'s sources|A\nparagraph:\n`fixture_only`.'
  'CommandNumbers|docs/requests.md:1: `15/6 ioctl_get_a_session` is no row of transport/command_table.def (opcode/subsystem, wrapper)|`15/6 ioctl_get_a_session`.'
  'CommandAlone|docs/requests.md:1: `14/7` is no row of transport/command_table.def (opcode/subsystem, wrapper)|`14/7`.'
  'TestMissing|docs/requests.md:1: `GateTest.Gone` is no test of tests/|`GateTest.Gone`.'
)
if [ "$1" = --list ]; then
  echo Tree
  for row in "${pages[@]}"; do echo "${row%%|*}"; done
  exit 0
fi
case_name="$1"
src="$2"
scratch=$(mktemp -d "$3/doc-names-XXXXXX")
trap 'rm -rf "$scratch"' EXIT

plant() {  # file, content
  mkdir -p "$(dirname "$scratch/$1")"
  printf '%b\n' "$2" >"$scratch/$1"
}
# The tree every page is checked over.
plant_tree() {
  plant iscsi/targets/targets.h '#pragma once\n// setup_target builds, see below.\nTAVO_EXPORT TavoNode* find_target(TavoNode* lhba, const char* name);'
  plant iscsi/targets/build.cpp '#include "iscsi/targets/targets.h"\nTavoNode* find_target(TavoNode* lhba, const char* name) {\n  return nullptr;\n}\nTavoNode*\nsetup_target(TavoNode* lhba) {\n  return find_target(lhba, "x");\n}\nTavoNode* tavo::targets::new_target(TavoNode* lhba) {\n  property("TargetType", RO);\n  return nullptr;\n}'
  plant iscsi/targets/setup.cpp '// old_target went to build.cpp.\n/* find_target( too */\nTavoNode* walk(TavoNode* lhba) {\n  TavoNode* t = new_target(lhba);\n  if (find_target(lhba, "find_target(")) return t;\n  return tavo::targets::new_target(lhba);\n}'
  plant iscsi/sessions/sessions.h 'class WaitingSessions {\n public:\n  explicit WaitingSessions(TavoNode* lhba);\n  uint32_t hold(TavoNode* lhba);\n};'
  plant base/gate.h '#pragma once\n#define TAVO_LIBRARY_LOCK LibraryLock lock_\nstruct Gate {\n  int fd = -1;\n};\nusing ReadScope = base::ReadScope;\nconstexpr RootFollower kFollowers[] = {\n    root_changed,\n};'
  plant base/gate.cpp 'unsigned wait_ms() {\n  const char* text = setting("TAVO_GATE_WAIT_MS");\n  return 0;\n}'
  plant transport/command_table.def 'TAVO_COMMAND(ioctl_get_a_session,                  6, 14, 0, CallerLength,     0, Read,      Iscsi)'
  plant tests/gate_test.cpp 'int fixture_only(int a) {\n  return a;\n}\nTEST_F(GateTest, Waits) {\n  EXPECT_EQ(fixture_only(1), 1);\n}'
}
check() { "$src/tools/check-doc-names" "$scratch" 2>&1; }

case "$case_name" in
  Tree)
    "$src/tools/check-doc-names" "$src" || { echo "FAIL: docs/requests.md names what the tree does not hold"; exit 1; }
    exit 0
    ;;
esac
for row in "${pages[@]}"; do
  IFS='|' read -r name wanted page <<<"$row"
  [ "$name" = "$case_name" ] || continue
  plant_tree
  plant docs/requests.md "$page"
  if [ -z "$wanted" ]; then
    out=$(check) || { echo "FAIL: $case_name was refused: $out"; exit 1; }
  else
    out=$(check) && { echo "FAIL: $case_name passed"; exit 1; }
    [ "$out" = "$wanted" ] || { echo "FAIL: expected '$wanted', got: $out"; exit 1; }
    echo "check-doc-names caught: $out"
  fi
  exit 0
done
echo "FAIL: no case $case_name"
exit 1
