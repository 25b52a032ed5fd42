#!/usr/bin/env bash
# The Windows program's main job, end to end, run on Linux (scripts/demo.sh
# --wine): two applications play tones, a parent (record-wav) starts the
# unmodified vintra-app-audio.exe in all-except mode, records what it
# streams, and wav-report says what it heard.
#
# Linux has no Windows audio, so the capture platform is simulated: Wine runs
# the exe with a fake Core Audio (tests/fakeplatform's mmdevapi.dll, chosen
# with WINEDLLOVERRIDES=mmdevapi=n), and the "applications" are player.exe
# processes whose sessions and tones that fake reports. The exe and
# record-wav are the same binaries that run on Windows against real audio.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

seconds=${DEMO_SECONDS:-3}
build=build/windows
home=$build/wine
echo "== building (windows preset)"
cmake --preset windows >/dev/null
cmake --build --preset windows -j2 \
  --target vintra-app-audio record-wav wav-report player vintra_fake_mmdevapi >/dev/null

winpath() { local p; p=$(realpath "$1"); echo "Z:${p//\//\\}"; }

tmp=$(mktemp -d)
fds=()
cleanup() {
  # Closing the players' standard input ends them; then the Wine session.
  for fd in "${fds[@]}"; do eval "exec $fd>&-"; done
  wait 2>/dev/null || true
  scripts/wine-session stop "$home"
  rm -rf "$tmp"
}
trap cleanup EXIT

echo "== starting Wine and installing the simulated capture platform"
scripts/wine-session start "$home"
cp "$build/tests/fakeplatform/mmdevapi.dll" "$home/prefix/drive_c/windows/system32/mmdevapi.dll"
export VINTRA_WINE_HOME=$PWD/$home
export VINTRA_FAKE_NAMESPACE=demo-$$
export VINTRA_DLL_OVERRIDES=mmdevapi=n

# start_player NAME ARGS...: a player under Wine, its standard input held
# open on a descriptor of ours until the end.
start_player() {
  local name=$1 fd; shift
  mkfifo "$tmp/$name.in"
  scripts/wine-run "$build/tests/player/player.exe" "$@" <"$tmp/$name.in" >"$tmp/$name.out" 2>/dev/null &
  exec {fd}>"$tmp/$name.in"
  fds+=("$fd")
  for _ in $(seq 300); do [ -s "$tmp/$name.out" ] && break; sleep 0.1; done
  echo "   $name: pid $(cut -d' ' -f1 "$tmp/$name.out") (${*})"
}
echo "== two applications playing"
start_player player-a 440 8192
start_player player-b 660 4096

echo "== record-wav: $seconds s from vintra-app-audio.exe --all-except 0"
wav=$tmp/capture.wav
scripts/wine-run "$build/examples/record-wav.exe" "$seconds" "$(winpath "$tmp")\\capture.wav" \
  "$(winpath "$build/src/windows/vintra-app-audio.exe")" --all-except 0 </dev/null
echo "== what the parent heard (expected: 440 Hz at about 0.250, 660 Hz at about 0.125)"
scripts/wine-run "$build/examples/wav-report.exe" "$(winpath "$wav")" </dev/null
