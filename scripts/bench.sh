#!/usr/bin/env bash
# Prints one table of the program's performance figures, each with how it was
# measured: the native hot paths (Google Benchmark, the bench preset) and the
# clock-drift simulation and the resampler's fidelity on the same core
# (bench/drift, bench/resampler_quality_figures.cpp), the running exe under
# Wine with the fake Core Audio platform, read from a pipe by a parent (the
# windows preset), and the Linux program against private PulseAudio and
# PipeWire servers with real players (the linux preset).
# Figures only: nothing here fails on a time; the exit code says whether the
# figures could be taken at all.
#
#   scripts/bench.sh                 the whole table (about 20 minutes)
#   scripts/bench.sh --quick         the same with short runs, to try it out
#   scripts/bench.sh --linux [--quick]  the Linux program's figures alone
#   scripts/bench.sh --endurance [s] the long endurance run instead (600 s),
#                                    players starting and stopping throughout
#
# VINTRA_BENCH_BUILD, VINTRA_WINDOWS_BUILD and VINTRA_LINUX_BUILD name other
# build folders than the presets' (build/bench, build/windows, build/linux),
# to keep clear of another build.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

mode=full
parts=all
endurance_seconds=600
usage() { echo "usage: scripts/bench.sh [--linux] [--quick] | --endurance [seconds]" >&2; exit 2; }
while [ $# -gt 0 ]; do
  case "$1" in
    --quick) mode=quick ;;
    --linux) parts=linux ;;
    --endurance) mode=endurance; endurance_seconds=${2:-600}; [ $# -gt 1 ] && shift ;;
    *) usage ;;
  esac
  shift
done

scripts/setup.sh
jobs=$(nproc 2>/dev/null || echo 2)
[ "$jobs" -gt 2 ] && jobs=2

bench_dir=${VINTRA_BENCH_BUILD:-build/bench}
win_dir=${VINTRA_WINDOWS_BUILD:-build/windows}
linux_dir=${VINTRA_LINUX_BUILD:-build/linux}

build_windows() {
  cmake --preset windows -B "$win_dir" >/dev/null
  cmake --build "$win_dir" -j"$jobs" --target "$@" >/dev/null
}

# The exe under Wine with the fake platform, which takes mmdevapi's place
# only for programs started with mmdevapi=n.
start_wine() {
  wine_home=$(cd "$win_dir" && pwd)/wine
  scripts/wine-session start "$wine_home"
  cp "$win_dir"/tests/fakeplatform/mmdevapi.dll "$wine_home/prefix/drive_c/windows/system32/mmdevapi.dll"
}
run_figures() {
  VINTRA_WINE_HOME=$wine_home VINTRA_DLL_OVERRIDES=mmdevapi=n scripts/wine-run "$win_dir/bench/wine-figures.exe" "$@" </dev/null
}

if [ "$mode" = endurance ]; then
  build_windows wine-figures
  echo "endurance: $endurance_seconds s of players starting and stopping"
  start_wine
  set +e
  run_figures endurance "$endurance_seconds" 2>&1 | grep -E '\[ figure \]|^# '
  status=${PIPESTATUS[0]}
  scripts/wine-session stop "$wine_home"
  exit "$status"
fi

if [ "$mode" = quick ]; then
  stream_seconds=15; cost_seconds=5; startups=3; new_apps=5; min_time=0.1; clicks=20; tone_seconds=20; first_runs=1; scans=10; drift_seconds=600
else
  stream_seconds=60; cost_seconds=15; startups=10; new_apps=20; min_time=0.5; clicks=100; tone_seconds=60; first_runs=3; scans=50; drift_seconds=3600
fi

figures=$(mktemp)
# Short, since the servers' socket paths inside it must fit a socket address.
linux_scratch=$(mktemp -d /tmp/vintra-bench.XXXXXX)
trap 'rm -f "$figures"; rm -rf "$linux_scratch"' EXIT

if [ "$parts" = all ]; then
# --- native hot paths --------------------------------------------------------
echo "building the native benchmarks (bench preset)..." >&2
cmake --preset bench -B "$bench_dir" >/dev/null
cmake --build "$bench_dir" -j"$jobs" >/dev/null
for program in "$bench_dir"/bench/*_bench; do
  [ -x "$program" ] || continue
  echo "running $(basename "$program")..." >&2
  # CSV: name,iterations,real_time,cpu_time,time_unit,...
  "$program" --benchmark_format=csv --benchmark_min_time="$min_time" 2>/dev/null |
    awk -F, -v prog="$(basename "$program")" '
      $1 ~ /^"/ && $2 ~ /^[0-9]+$/ {
        name = $1; gsub(/"/, "", name)
        real = $3; cpu = $4; unit = $5
        scale = (unit == "ns") ? 1e-9 : (unit == "us") ? 1e-6 : (unit == "ms") ? 1e-3 : 1
        share = real * scale / 0.010 * 100
        printf "hot path (native)|%s|%.4g|%s|%s|%s: mean wall time per iteration (CPU %.4g %s); %.4f%% of the 10 ms budget\n",
               name, real, unit, "", prog, cpu, unit, share
      }' >>"$figures"
done
# A simulation on the same core, not a timing: simulated time per rate, about
# 10 s of wall time for the full hour.
echo "running clock-drift-figures $drift_seconds..." >&2
"$bench_dir"/bench/clock-drift-figures "$drift_seconds" </dev/null |
  tee -a "$figures.log" | sed -n 's/^figure|//p' >>"$figures" || true
# The rate-matching resampler's error against ideal resampled tones.
echo "running resampler-quality-figures..." >&2
"$bench_dir"/bench/resampler-quality-figures </dev/null |
  tee -a "$figures.log" | sed -n 's/^figure|//p' >>"$figures" || true

# --- the exe under Wine -------------------------------------------------------
echo "building the exe, the fake platform and the measuring programs (windows preset)..." >&2
build_windows wine-figures
start_wine
run_part() {
  echo "running wine-figures $*..." >&2
  run_figures "$@" 2>&1 | tee -a "$figures.log" | sed -n 's/^figure|//p' >>"$figures" || true
}
run_part stream "$stream_seconds"
run_part stream "$stream_seconds" churn
run_part cost "$cost_seconds" 0 1 8 32
run_part startup "$startups"
run_part first-sound "$new_apps"
scripts/wine-session stop "$wine_home"
fi

# --- the Linux program against real sound servers ------------------------------
echo "building the Linux program and its measuring program (linux preset)..." >&2
cmake --preset linux -B "$linux_dir" >/dev/null
cmake --build "$linux_dir" -j"$jobs" --target linux-figures >/dev/null
# One server at a time: each part starts its own, in the scratch folder, and
# stops it; the parts run one after the other so that none measures another.
for kind in pulseaudio pipewire; do
  for part in "stream $stream_seconds" "cost $cost_seconds 0 1 8" "latency $clicks" "clicks $tone_seconds" \
      "clicks $tone_seconds --rate-match" "first-audio $first_runs" "scan $scans"; do
    echo "running linux-figures $kind $part..." >&2
    # shellcheck disable=SC2086
    "$linux_dir/bench/linux/linux-figures" "$kind" "$linux_scratch/$kind" $part </dev/null 2>&1 |
      tee -a "$figures.log" | sed -n 's/^figure|//p' >>"$figures" || true
  done
done

# --- the table ----------------------------------------------------------------
echo
echo "vintra-app-audio figures, $(date -u '+%Y-%m-%d %H:%M UTC'), load average $(cut -d' ' -f1-3 /proc/loadavg)"
awk -F'|' '
  { group = $1; if (group != last) { printf "\n%s\n", group; last = group }
    aim = ($5 == "") ? "" : "aim " $5
    printf "  %-58s %10s %-12s %-10s %s\n", $2, $3, $4, aim, $6 }' "$figures"
grep -h '^# ' "$figures.log" 2>/dev/null | sed 's/^# /  note: /' || true
rm -f "$figures.log"
