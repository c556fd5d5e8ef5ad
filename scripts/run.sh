#!/usr/bin/env bash
# Sets up, builds and starts Vexlo Tweaks on the simulated PC. Arguments go to `vexlo`
# (for example: --machine DIR run --no-browser).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/scripts/install-deps.sh"
"$here/scripts/build.sh"
if (($# == 0)); then set -- run; fi
exec "$here/build/vexlo" "$@"
