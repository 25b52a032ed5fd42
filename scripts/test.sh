#!/usr/bin/env bash
# Runs every test layer: the OS-free code natively under AddressSanitizer and
# UndefinedBehaviorSanitizer, its lock protocol under ThreadSanitizer, the
# Linux program, the Windows units and the shipped exe under Wine, then the
# packages as their users get them, the npm packages installed into a parent
# project. Installs what is missing first.
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
# The Linux program end to end against real sound servers: PulseAudio, and
# PipeWire with pipewire-pulse, each started privately by its CTest fixture
# (scripts/sound-server). Only what those tests need is built here; the
# OS-free tests already ran in the native layer.
echo "== linux"
cmake --preset linux >/dev/null
if cmake --build --preset linux -j"$jobs" --target linux_program_test record-wav wav-report >/dev/null; then
  ctest --preset linux -L linux -j"$jobs" || status=1
else
  status=1
fi
run_layer native-tsan -L concurrency --no-tests=ignore
run_layer windows
# The packages, made by scripts/package.sh from the trees above, unpacked
# into temporary folders and run there (tests/package/package-test.sh).
echo "== packages"
if scripts/package.sh >/dev/null; then
  tests/package/package-test.sh || status=1
  # The npm tarballs installed from build/packages into a scratch parent
  # project, and the API used there as a parent uses it (npm/test/run.sh).
  echo "== npm"
  npm/test/run.sh || status=1
else
  status=1
fi
exit $status
