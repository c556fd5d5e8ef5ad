#!/usr/bin/env bash
# Runs a Windows test program under Wine with a virtual X display, in a Wine prefix of its own.
# Every window of a prefix lands on the desktop that Wine made for it, and in the suite's own
# prefix that desktop was made without a display (wineboot and the earlier tests run
# headless); a second prefix, with its own server and a desktop made under the display, avoids
# that. Made on the first run (about 10 s), then reused.
# usage: run_with_display.sh PREFIX WINE PROGRAM [ARGS...]
set -eu
export WINEPREFIX="$1" WINEDEBUG=-all WINEDLLOVERRIDES="winedbg.exe=d"
wine="$2"
shift 2
mkdir -p "$WINEPREFIX"
# wineboot first, its output away from the caller: Wine's background processes keep whatever
# output they were started with, and would hold CTest's pipe open.
exec xvfb-run -a bash -c '"$0" wineboot </dev/null >/dev/null 2>&1 || true; exec "$0" "$@"' "$wine" "$@"
