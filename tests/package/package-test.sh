#!/usr/bin/env bash
# The packages as their users get them, not the build trees: what
# scripts/package.sh left in build/packages/ is unpacked and run.
#
#   Debian package  lintian finds no error; its dependencies (computed by
#                   dpkg-shlibdeps) name libpulse0; it holds the program
#                   alone; the program, extracted with dpkg-deb -x into a
#                   temporary root, is started by a parent (record-wav)
#                   against a private PulseAudio with one pacat player, and
#                   the player is heard at its level. The program needs
#                   GLIBC_2.31 at most and no library beyond libc, libpulse0,
#                   libglib2.0-0 and libxcb1 (no libstdc++, no X-Resource
#                   library). Then in a Debian 11 and a Debian 13 root (made
#                   by scripts/debian-root, minbase with libpulse0 and GLib
#                   alone, kept in build/roots/) the package is installed
#                   with dpkg, and the installed program, run in the root
#                   through bubblewrap with the host server's socket bound
#                   in, lists the host's player and hears it at its level.
#   Windows zip     it holds the exe, the example parents, the README and the
#                   licence; the exe, unzipped into a temporary folder (so
#                   with no MinGW DLL near it), answers "unsupported
#                   0x80070002" and exit code 2 under stock Wine with its
#                   audio drivers off.
#
# The parent and the tools are the linux preset's (record-wav, tone,
# tone_check); Wine runs in a session of its own under build/package-test.
# Everything it starts it stops again. Nothing is installed on the machine;
# the package installed in a root is purged from it again, also on failure.
set -u
cd "$(dirname "$0")/../.."
build=build/linux
deb=$(echo build/packages/vintra-app-audio_*_amd64.deb)
zip=$(echo build/packages/vintra-app-audio-*-windows-x64.zip)
wine_home=$PWD/build/package-test/wine

# Short, since the server's socket path inside it must fit a socket address.
tmp=$(mktemp -d /tmp/vintra-package.XXXXXX)
player=
installed_in=()
cleanup() {
  local root
  # The roots stay as debian-root made them, for the next run.
  for root in "${installed_in[@]}"; do
    in_root_rw "$root" dpkg --purge vintra-app-audio >/dev/null 2>&1
  done
  [ -n "$player" ] && { kill "$player" 2>/dev/null; wait "$player" 2>/dev/null; }
  scripts/sound-server stop "$tmp/server"
  [ -d "$wine_home" ] && scripts/wine-session stop "$wine_home"
  rm -rf "$tmp"
}
trap cleanup EXIT
trap "exit 1" INT TERM HUP

failures=0
# check WHAT COMMAND...: one verdict line per check.
check() {
  local what=$1; shift
  if "$@"; then echo "ok    $what"; else echo "FAIL  $what"; failures=$((failures + 1)); return 1; fi
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

# The roots of older and newer systems, before the player starts: made anew
# (about a minute each) they would outlast its tone.
systems=("bullseye 11 libglib2.0-0" "trixie 13 libglib2.0-0t64")
declare -A root_made
for system in "${systems[@]}"; do
  read -r suite release glib <<<"$system"
  scripts/debian-root "$suite" "$PWD/build/roots/$suite-run" libpulse0 "$glib"
  root_made[$suite]=$?
done

dpkg-deb -x "$deb" "$tmp/root"
program=$tmp/root/usr/bin/vintra-app-audio
scripts/sound-server start pulseaudio "$tmp/server" >/dev/null || exit 1
# shellcheck source=/dev/null
. "$tmp/server/env"
"$build/examples/tone" 440 0.25 60 >"$tmp/tone.s16"
pacat --latency-msec=30 --format=s16le --rate=48000 --channels=2 <"$tmp/tone.s16" &
player=$!
# heard_at_its_level PROGRAM...: the program (a command line that runs it),
# started by record-wav, hears the pacat player at its level.
heard_at_its_level() {
  "$build/examples/record-wav" 3 "$tmp/capture.wav" "$@" --all-except 0 </dev/null >"$tmp/record.txt" 2>&1
  local recorded=$?
  sed 's/^/      /' "$tmp/record.txt"
  [ "$recorded" -eq 0 ] && grep -qx 'program exit code: 0' "$tmp/record.txt" || return 1
  "$build/tests/package/tone_check" "$tmp/capture.wav" 440 0.25 >"$tmp/level.txt"
  local level=$?
  sed 's/^/      /' "$tmp/level.txt"
  return "$level"
}
check "the extracted program, started by record-wav, hears a pacat player at its level" heard_at_its_level "$program"

# What the program needs from the system it runs on.
glibc_needed=$(objdump -T "$program" | grep -oE 'GLIBC_[0-9]+(\.[0-9]+)*' | sort -uV | tail -n 1)
check "the highest glibc symbol version it needs, $glibc_needed, is GLIBC_2.31 or older" \
  test "$(printf '%s\n' "$glibc_needed" GLIBC_2.31 | sort -V | tail -n 1)" = GLIBC_2.31
needed=$(readelf -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort | xargs)
only_desktop_libraries() {
  local library
  for library in $needed; do
    case $library in
      libc.so.6|libpthread.so.0|libdl.so.2|libm.so.6|ld-linux-x86-64.so.2) ;;
      libpulse.so.0|libglib-2.0.so.0|libxcb.so.1) ;;
      *) return 1 ;;
    esac
  done
}
check "the libraries it needs are libc's, libpulse's, GLib's and libxcb's: $needed" only_desktop_libraries
check "it needs no C++ runtime symbol" sh -c "! objdump -T '$program' | grep -qE 'GLIBCXX_|CXXABI_'"

# Older and newer systems: each root (kept in build/roots/) is used through
# bubblewrap, so that whatever is mounted for it is gone when the command
# ends. dpkg changes the root, and the package is purged again on the way out.
admin_path=/usr/sbin:/usr/bin:/sbin:/bin
in_root_rw() {
  local root=$1; shift
  bwrap --bind "$root" / --dev /dev --proc /proc --tmpfs /tmp --unshare-net --die-with-parent \
    --clearenv --setenv PATH "$admin_path" "$@"
}
installs_in() {
  installed_in+=("$1")
  in_root_rw "$1" --ro-bind "$(realpath "$deb")" /tmp/package.deb dpkg -i /tmp/package.deb >"$tmp/dpkg.txt" 2>&1 ||
    { sed 's/^/      /' "$tmp/dpkg.txt"; return 1; }
}
# The program installed in the root, run there as on that system, with the
# host's server folder (socket and cookie) bound in at its own path and the
# host's processes in view.
installed_in_root() {
  installed=("$(command -v bwrap)" --ro-bind "$1" / --dev /dev --proc /proc --tmpfs /tmp
    --bind "$tmp/server" "$tmp/server" --unshare-net --die-with-parent --clearenv --setenv PATH /usr/bin:/bin
    --setenv HOME /tmp --setenv PULSE_SERVER "$PULSE_SERVER" --setenv PULSE_COOKIE "$PULSE_COOKIE"
    /usr/bin/vintra-app-audio)
}
lists_the_player() {
  "${installed[@]}" --list </dev/null >"$tmp/list.txt" 2>"$tmp/list.err"
  local listed=$?
  echo "      exit code $listed: $(cat "$tmp/list.txt" "$tmp/list.err")"
  [ "$listed" -eq 0 ] && [ ! -s "$tmp/list.err" ] || return 1
  # One object a line: the player's own has its pid and its program.
  tr -d '[]' <"$tmp/list.txt" | sed 's/},{/}\n{/g' | grep -E "\"pid\":$player[,}]" | grep -q '"exe":"pacat"'
}
for system in "${systems[@]}"; do
  read -r suite release glib <<<"$system"
  root=$PWD/build/roots/$suite-run
  echo "== Debian $release ($suite), minbase with libpulse0 and $glib"
  check "the root is made" test "${root_made[$suite]}" -eq 0 || continue
  echo "      $(in_root_rw "$root" dpkg-query -W -f='${Package} ${Version}, ' libc6 libpulse0 "$glib" | sed 's/, $//')"
  check "the package installs with dpkg: $(dpkg-deb -f "$deb" Depends)" installs_in "$root" || continue
  installed_in_root "$root"
  check "the installed program lists the host's pacat player by its pid" lists_the_player
  check "the installed program, started by record-wav, hears the player at its level" heard_at_its_level "${installed[@]}"
done

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
