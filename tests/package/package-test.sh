#!/usr/bin/env bash
# The packages as their users get them, not the build trees: what
# scripts/package.sh left in build/packages/ is unpacked and run.
#
#   Debian package  lintian finds no error; its dependencies (computed by
#                   dpkg-shlibdeps) name libpulse0; it holds the program
#                   alone; the program, extracted with dpkg-deb -x into a
#                   temporary root, is started by a parent (record-wav)
#                   against a private PulseAudio with one pacat player, and
#                   the player is heard at its level.
#   Windows zip     it holds the exe, the example parents, the README and the
#                   licence; the exe, unzipped into a temporary folder (so
#                   with no MinGW DLL near it), answers "unsupported
#                   0x80070002" and exit code 2 under stock Wine with its
#                   audio drivers off.
#
# The parent and the tools are the linux preset's (record-wav, tone,
# tone_check); Wine runs in a session of its own under build/package-test.
# Everything it starts it stops again. Nothing is installed on the machine.
set -u
cd "$(dirname "$0")/../.."
build=build/linux
deb=$(echo build/packages/vintra-app-audio_*_amd64.deb)
zip=$(echo build/packages/vintra-app-audio-*-windows-x64.zip)
wine_home=$PWD/build/package-test/wine

# Short, since the server's socket path inside it must fit a socket address.
tmp=$(mktemp -d /tmp/vintra-package.XXXXXX)
player=
cleanup() {
  [ -n "$player" ] && { kill "$player" 2>/dev/null; wait "$player" 2>/dev/null; }
  scripts/sound-server stop "$tmp/server"
  [ -d "$wine_home" ] && scripts/wine-session stop "$wine_home"
  rm -rf "$tmp"
}
trap cleanup EXIT

failures=0
# check WHAT COMMAND...: one verdict line per check.
check() {
  local what=$1; shift
  if "$@"; then echo "ok    $what"; else echo "FAIL  $what"; failures=$((failures + 1)); fi
}
for package in "$deb" "$zip"; do
  [ -f "$package" ] || { echo "FAIL  no $package: run scripts/package.sh"; exit 1; }
done

echo "== $deb"
lintian_clean() {
  lintian --fail-on error "$deb" 2> >(grep -v 'running with root privileges' >&2)
}
check "lintian reports no error" lintian_clean
depends_on_libpulse() {
  dpkg-deb -I "$deb" | grep -Eq '^ Depends:(.*[ ,])?libpulse0( |,|$)'
}
check "Depends lists libpulse0: $(dpkg-deb -f "$deb" Depends)" depends_on_libpulse
programs_in_deb() { dpkg-deb -c "$deb" | awk '$6 ~ /\/bin\/./ {print $6}'; }
check "the package's only program is usr/bin/vintra-app-audio" \
  test "$(programs_in_deb)" = ./usr/bin/vintra-app-audio

dpkg-deb -x "$deb" "$tmp/root"
program=$tmp/root/usr/bin/vintra-app-audio
scripts/sound-server start pulseaudio "$tmp/server" >/dev/null || exit 1
# shellcheck source=/dev/null
. "$tmp/server/env"
"$build/examples/tone" 440 0.25 60 >"$tmp/tone.s16"
pacat --latency-msec=30 --format=s16le --rate=48000 --channels=2 <"$tmp/tone.s16" &
player=$!
heard_at_its_level() {
  "$build/examples/record-wav" 3 "$tmp/capture.wav" "$program" --all-except 0 </dev/null >"$tmp/record.txt" 2>&1
  local recorded=$?
  sed 's/^/      /' "$tmp/record.txt"
  [ "$recorded" -eq 0 ] && grep -qx 'program exit code: 0' "$tmp/record.txt" || return 1
  "$build/tests/package/tone_check" "$tmp/capture.wav" 440 0.25 >"$tmp/level.txt"
  local level=$?
  sed 's/^/      /' "$tmp/level.txt"
  return "$level"
}
check "the extracted program, started by record-wav, hears a pacat player at its level" heard_at_its_level

echo "== $zip"
unzip -q "$zip" -d "$tmp/zip"
top=$tmp/zip/$(basename "$zip" .zip)
expected_files="LICENSE README.md bin/record-wav.exe bin/vintra-app-audio.exe bin/wav-report.exe"
check "holds $expected_files" \
  test "$(cd "$top" && find . -type f | sed 's|^\./||' | sort | xargs)" = "$expected_files"
# Standard input stays open, as a parent keeps it: the exe must end by itself.
mkfifo "$tmp/input"
exec 3<>"$tmp/input"
VINTRA_WINE_HOME=$wine_home timeout 120 scripts/wine-run "$top/bin/vintra-app-audio.exe" --all-except 0 \
  <"$tmp/input" >"$tmp/exe.out" 2>"$tmp/exe.err"
code=$?
exec 3>&-
echo "      exit code $code; standard error: \"$(sed -z 's/\n/\\n/g' "$tmp/exe.err")\""
check "the unzipped exe under Wine exits 2" test "$code" -eq 2
check "with \"unsupported 0x80070002\\n\" alone on standard error" \
  cmp -s "$tmp/exe.err" <(printf 'unsupported 0x80070002\n')
check "and nothing on standard output" test ! -s "$tmp/exe.out"

[ "$failures" -eq 0 ]
