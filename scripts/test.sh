#!/usr/bin/env bash
# Sets up, builds and runs every test: unit tests (CTest) and the browser tests.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/scripts/install-deps.sh" --tests
"$here/scripts/build.sh"

echo "== Unit tests"
(cd "$here/build" && ctest --output-on-failure -j"$(nproc)" --timeout 300)

echo "== Fuzzers (regression run over the checked-in seeds)"
"$here/scripts/fuzz.sh"

echo "== Browser tests"
(cd "$here/tests/browser" && VEXLO_BIN="$here/build/vexlo" node --test --test-concurrency=1 ./*.test.mjs)

echo "== Windows build and its tests under Wine"
"$here/scripts/test-windows.sh"
