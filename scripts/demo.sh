#!/usr/bin/env bash
# The program's main job, end to end: two applications play tones, a parent
# (record-wav) starts vintra-app-audio in all-except mode, records what it
# streams into a WAV file and stops it, and wav-report says what it heard.
#
#   scripts/demo.sh          the Linux program against a real sound server:
#                            a private PulseAudio with a null sink (no sound
#                            hardware needed) and two pacat players
#   scripts/demo.sh --pipewire  the same on a private PipeWire, where one
#                            player is a native PipeWire client (pw-play) and
#                            the other plays through pipewire-pulse (pacat)
#   scripts/demo.sh --wine   the Windows exe under Wine, with a simulated
#                            Core Audio platform and simulated players
#                            (scripts/demo-wine.sh)
#
# Everything it starts it stops again; nothing on the machine outside its
# temporary folder changes. DEMO_SECONDS sets the recording's length (3 s).
set -euo pipefail
cd "$(dirname "$0")/.."

server=pulseaudio server_name=PulseAudio
case "${1:-}" in
  "") ;;
  --pipewire) server=pipewire server_name=PipeWire ;;
  --wine) exec scripts/demo-wine.sh ;;
  *) echo "usage: scripts/demo.sh [--pipewire | --wine]" >&2; exit 2 ;;
esac

scripts/setup.sh
seconds=${DEMO_SECONDS:-3}
build=build/linux
echo "== building (linux preset)"
cmake --preset linux >/dev/null
cmake --build --preset linux -j2 --target vintra-app-audio record-wav wav-report tone >/dev/null

# Short, since the server's socket path inside it must fit a socket address.
tmp=$(mktemp -d /tmp/vintra-demo.XXXXXX)
players=()
cleanup() {
  for pid in "${players[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${players[@]}"; do wait "$pid" 2>/dev/null || true; done
  scripts/sound-server stop "$tmp/server"
  rm -rf "$tmp"
}
trap cleanup EXIT

echo "== starting a private $server_name with a null sink, in $tmp/server"
scripts/sound-server start "$server" "$tmp/server" >/dev/null
# shellcheck source=/dev/null
. "$tmp/server/env"

# play NAME FREQUENCY LEVEL [pw-play]: an application playing a steady tone
# for a minute at most, with a realistic 30 ms buffer as a desktop player
# asks for: pacat through the PulseAudio protocol, or pw-play as a native
# PipeWire client.
play() {
  if [ "${4:-}" = pw-play ]; then
    # pw-play reads only files that say what they hold.
    "$build/examples/tone" "$2" "$3" 60 --wav >"$tmp/$1.wav"
    pw-play --latency=30ms --properties="{ application.name = \"$1\" }" "$tmp/$1.wav" &
  else
    "$build/examples/tone" "$2" "$3" 60 >"$tmp/$1.s16"
    pacat --latency-msec=30 --format=s16le --rate=48000 --channels=2 --client-name="$1" <"$tmp/$1.s16" &
  fi
  players+=($!)
  echo "   $1: pid $!, $2 Hz at $3"
}
if [ "$server" = pipewire ]; then
  echo "== two applications playing: player-a natively (pw-play), player-b through pipewire-pulse (pacat)"
  play player-a 440 0.25 pw-play
else
  echo "== two applications playing"
  play player-a 440 0.25
fi
play player-b 660 0.125
# A null sink that has been idle renders up to 2 s ahead and reaches a new
# stream only then (docs/performance.md): the players are heard after that.
sleep 2.5

echo "== record-wav: $seconds s from vintra-app-audio --all-except 0"
"$build/examples/record-wav" "$seconds" "$tmp/capture.wav" "$build/src/linux/vintra-app-audio" --all-except 0 </dev/null
echo "== what the parent heard (expected: 440 Hz at about 0.250, 660 Hz at about 0.125)"
"$build/examples/wav-report" "$tmp/capture.wav"
