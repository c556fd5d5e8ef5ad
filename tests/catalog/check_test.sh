#!/usr/bin/env bash
# `vexlo catalog check`: the built-in catalog and its source files pass with the same count; every
# file in faults/ is refused (exit 1) with the start-up loader's message, whose text the file's
# first line gives after "# expect: ", preceded by the file's name; an unreadable file exits 2.
# None of it changes the simulated PC.
# Usage: check_test.sh PATH_TO_VEXLO
set -uo pipefail
vexlo="$1"
here="$(cd "$(dirname "$0")" && pwd)"
sources=("$here"/../../app/tweaks/catalog/*.toml)
source "$here/../cli/harness.sh"
run() { out="$("$vexlo" --machine "$dir/pc" catalog check "$@" 2>"$dir/stderr")"; rc=$?; err="$(cat "$dir/stderr")"; }
contains() { [[ "$1" == *"$2"* ]]; }

run
check "the built-in catalog passes" [ "$rc" -eq 0 ]
check "and says what it checked" contains "$out" "Catalog OK: "
builtin="$out"
cp -a "$dir/pc" "$dir/pc-before"

run "${sources[@]}"
check "the source files pass" [ "$rc" -eq 0 ]
check "the source files are what the program embeds" [ "$out" == "$builtin" ]
check "every source file is counted" contains "$out" " in ${#sources[@]} files."

run "$here/registered_ops.toml"
check "registered operation and test names pass" [ "$rc" -eq 0 ]
check "a file checked alone is counted alone" [ "$out" == "Catalog OK: 2 tweaks in 1 file." ]

for fault in "$here"/faults/*.toml; do
  name="$(basename "$fault")"
  expect="$(head -n 1 "$fault")"
  expect="${expect#\# expect: }"
  run "${sources[@]}" "$fault"
  check "$name is refused" [ "$rc" -eq 1 ]
  check "$name: the message names the file and the fault" contains "$err" "$fault: $expect"
  check "$name: one line on stderr, nothing on stdout" [ "$(wc -l < "$dir/stderr")" -eq 1 -a -z "$out" ]
done

run "${sources[0]}" "$dir/no-such-file.toml"
check "an unreadable file exits 2" [ "$rc" -eq 2 ]
check "and is named" contains "$err" "$dir/no-such-file.toml"

check "checking changed nothing on the simulated PC" diff -r "$dir/pc-before" "$dir/pc"

finish "catalog check"
