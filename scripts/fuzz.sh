#!/usr/bin/env bash
# Builds the fuzzers (tests/fuzz/*_fuzz.cpp) with clang into build-fuzz/ and runs each one.
#
#   scripts/fuzz.sh                   regression: every fuzzer reads its seeds under
#                                     tests/fuzz/corpus/<name>/, then tries a fixed number of new
#                                     inputs from a fixed seed (the same inputs every run)
#   scripts/fuzz.sh --long [SECONDS]  each fuzzer for SECONDS (default 600), from a fresh random
#                                     seed; what it learns is kept in build-fuzz/corpus/<name>/
#
# Fails when any fuzzer fails; the input that broke it is left in build-fuzz/crashes/.
# The checked-in seeds are only read: new inputs go to a copy.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$here/build-fuzz"

mode=regression
seconds=600
case "${1:-}" in
  "") ;;
  --long)
    mode=long
    seconds="${2:-600}"
    [[ "$seconds" =~ ^[0-9]+$ ]] || { echo "usage: $0 [--long [SECONDS]]" >&2; exit 2; }
    ;;
  *) echo "usage: $0 [--long [SECONDS]]" >&2; exit 2 ;;
esac

# Inputs per fuzzer in a regression run, on top of its seeds: the whole run stays well under a
# minute on two cores.
runs=4000
# One input taking longer than this is a hang.
input_timeout=10

CC=clang CXX=clang++ cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEXLO_FUZZ=ON >/dev/null
cmake --build "$build" --target vexlo_fuzzers -j"$(nproc)"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$build/crashes"

failed=()
for src in "$here"/tests/fuzz/*_fuzz.cpp; do
  name="$(basename "$src" _fuzz.cpp)"
  seeds="$here/tests/fuzz/corpus/$name"
  if [[ "$mode" == regression ]]; then
    corpus="$work/$name"
    args=(-runs="$runs" -seed=1)
  else
    corpus="$build/corpus/$name"
    args=(-max_total_time="$seconds")
  fi
  mkdir -p "$corpus"
  [[ -d "$seeds" ]] && cp -rn "$seeds"/. "$corpus"/
  echo "== fuzz: $name ($mode)"
  if ! "$build/${name}_fuzz" "${args[@]}" -timeout="$input_timeout" -print_final_stats=1 \
       -artifact_prefix="$build/crashes/$name-" "$corpus" >"$work/$name.log" 2>&1; then
    tail -n 40 "$work/$name.log"
    failed+=("$name")
  else
    grep -E '^(#[0-9]+.*DONE|stat::number_of_executed_units|stat::new_units_added)' "$work/$name.log" || true
  fi
done

if ((${#failed[@]})); then
  echo "Fuzzers failed: ${failed[*]} (inputs in $build/crashes/)" >&2
  exit 1
fi
echo "All fuzzers passed."
