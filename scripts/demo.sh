#!/usr/bin/env bash
# The program's main job, seen from a parent: builds the exe, starts it under
# Wine, and prints what came back on standard error and standard output.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows -j"$(nproc 2>/dev/null || echo 2)" --target vintra-app-audio >/dev/null
home=build/windows/wine
scripts/wine-session start "$home"
trap 'scripts/wine-session stop "$home"' EXIT
out=$(mktemp); err=$(mktemp)
set +e
timeout 10 scripts/wine-run build/windows/src/app/vintra-app-audio.exe --all-except 0 \
  </dev/null >"$out" 2>"$err"
code=$?
set -e
echo "exit code: $code"
echo "standard error: $(od -c "$err" | head -5)"
echo "standard output: $(stat -c %s "$out") bytes"
rm -f "$out" "$err"
