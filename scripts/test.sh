#!/usr/bin/env bash
# Runs every test layer: the OS-free code natively under AddressSanitizer and
# UndefinedBehaviorSanitizer, its lock protocol under ThreadSanitizer, the
# Linux program, then the Windows units and the shipped exe under Wine.
# Installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
jobs=$(nproc 2>/dev/null || echo 2)

status=0
run_layer() {
  local preset=$1; shift
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs" >/dev/null
  ctest --preset "$preset" -j"$jobs" "$@" || status=1
}

run_layer native
# The Linux program itself (its tests against real sound servers come with
# their own layer).
echo "== linux (program)"
cmake --preset linux >/dev/null
cmake --build --preset linux -j"$jobs" --target vintra-app-audio >/dev/null || status=1
run_layer native-tsan -L concurrency --no-tests=ignore
run_layer windows
exit $status
