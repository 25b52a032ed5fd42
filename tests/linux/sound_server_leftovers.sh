#!/usr/bin/env bash
# scripts/sound-server takes over what an earlier run left in a folder of its
# own, and touches no other folder.
#
#   sound_server_leftovers.sh SOUND_SERVER DECLARED FOREIGN
#
# DECLARED holds .sound-servers; FOREIGN is a folder of someone else's.
set -u
server=$1 declared=$2 foreign=$3
failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }

# running PID: alive and not a zombie.
running() { [ -e "/proc/$1/stat" ] && ! grep -q ') Z ' "/proc/$1/stat" 2>/dev/null; }
started() { "$server" start pulseaudio "$1" >/dev/null && cat "$1/server.pid"; }

a=$declared/leftovers-a b=$declared/leftovers-b
first=$(started "$a") || fail "start in a fresh folder"
# A client whose cookie still points into a removed folder writes one there,
# the folder made anew around it, as happened after a failed start.
# shellcheck source=/dev/null
. "$a/env"
PULSE_COOKIE=$b/cookie pactl info >/dev/null || fail "a client of the first server"
[ "$(ls -A "$b" 2>/dev/null)" = cookie ] || fail "the client did not leave a lone cookie in $b"
second=$(started "$b") || fail "start over a folder holding only a cookie"
# The first folder without its own mark, its daemons still running.
rm -f "$a/.sound-server"
third=$(started "$a") || fail "start over a folder with an earlier server running"
running "$first" && fail "the earlier server $first still runs"
for folder in "$a" "$b"; do "$server" stop "$folder" || fail "stop $folder"; done
for pid in $second $third; do running "$pid" && fail "server $pid still runs after stop"; done
[ -e "$a" ] || [ -e "$b" ] && fail "stop left a folder behind"

# Someone else's folder: refused both ways, left as it was.
mkdir -p "$foreign" && echo mine >"$foreign/keep"
"$server" start pulseaudio "$foreign" >/dev/null 2>&1 && fail "start took a foreign folder"
"$server" stop "$foreign" 2>/dev/null && fail "stop took a foreign folder"
if [ "$(cat "$foreign/keep" 2>/dev/null)" != mine ] || [ "$(ls -A "$foreign")" != keep ]; then
  fail "the foreign folder changed"
fi
# Had start taken it after all, it marked it: stop what it started.
"$server" stop "$foreign" 2>/dev/null
rm -rf "$foreign"
exit $((failures > 0))
