#!/usr/bin/env bash
# Installs what building (and, with --tests, testing) needs from Debian's packages and npm.
# Does nothing that is already there, so it is cheap to run before every build.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"

pkgs=(cmake ninja-build g++ pkg-config nlohmann-json3-dev libboost1.81-dev libtomlplusplus-dev libcli11-dev
      libgtest-dev libgmock-dev libbenchmark-dev)
if [[ "${1:-}" == "--windows" ]]; then
  # The Windows cross build and Wine to run its tests.
  pkgs+=(g++-mingw-w64-x86-64-posix mingw-w64-tools wine wine64 xvfb googletest)
fi
if [[ "${1:-}" == "--tests" ]]; then
  pkgs+=(chromium python3)
  # The fuzzers: clang, and libclang-rt-dev for libFuzzer's runtime (libclang_rt.fuzzer-x86_64.a,
  # in libclang-rt-14-dev on Debian 12) and the sanitizers'.
  pkgs+=(clang libclang-rt-dev)
  # Node.js may come from elsewhere than Debian's packages; only install it when it is missing.
  command -v node >/dev/null || pkgs+=(nodejs)
  command -v npm >/dev/null || pkgs+=(npm)
fi

missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=""
  [[ $(id -u) -ne 0 ]] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

if [[ "${1:-}" == "--tests" ]]; then
  # The browser tests drive Debian's Chromium with playwright-core; no browser is downloaded.
  if [[ ! -d "$here/tests/browser/node_modules/playwright-core" ]]; then
    (cd "$here/tests/browser" && npm ci --no-audit --no-fund --loglevel=error)
  fi
fi
