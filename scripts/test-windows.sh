#!/usr/bin/env bash
# Cross-builds the Windows programs (launcher, core, Windows tests) with MinGW-w64 and runs the
# Windows tests under Wine. Nothing here runs on a real Windows PC.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/scripts/install-deps.sh" --windows

cmake --preset windows -S "$here" >/dev/null
cmake --build "$here/build-win" -j"$(nproc)"

export WINEDEBUG=-all
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-vexlo}"
# A crash ends at once instead of starting the debugger.
export WINEDLLOVERRIDES="winedbg.exe=d"
# A persistent server for the whole run, and a prefix made before the first test: without them
# every test pays for starting Wine, and the first one waits on Wine's own start-up for ever.
mkdir -p "$WINEPREFIX"
wineserver -p
trap 'wineserver -k 2>/dev/null || true' EXIT
wine wineboot </dev/null >/dev/null 2>&1 || true
# Windows 10, as the product expects (Wine says Windows 7 otherwise).
wine winecfg -v win10 </dev/null >/dev/null 2>&1 || true

(cd "$here/build-win" && ctest --output-on-failure --timeout 300)
