#!/usr/bin/env bash
# The npm packages as a parent application gets them: the three tarballs that
# scripts/pack-npm.sh left in build/packages/ are installed offline into
# scratch projects (`npm install ./x.tgz ...`), and node --test runs this
# folder's tests there, against a private PulseAudio with real players and,
# for the Windows exe, Wine with the fake Core Audio platform.
#
# Needs the linux and windows presets built (record-wav's trees: the Wine
# side takes player.exe and the fake mmdevapi.dll from build/windows).
# TypeScript and Node's types for the type check are installed once, at
# pinned versions, into build/npm-test/typescript. Everything it starts it
# stops again.
#
#   VINTRA_NPM_TEST_NODE   the node to run the tests with (default: node), for
#                          a run on the oldest Node.js the package supports
set -u
cd "$(dirname "$0")/../.."
repo=$PWD
packages=$repo/build/packages
version=$(sed -n 's/^project(vintra-app-audio VERSION \([0-9][0-9.]*\).*/\1/p' CMakeLists.txt)
main=$packages/vintra-app-audio-$version.tgz
linux=$packages/vintra-app-audio-linux-x64-$version.tgz
win=$packages/vintra-app-audio-win32-x64-$version.tgz
for tarball in "$main" "$linux" "$win"; do
  [ -f "$tarball" ] || { echo "FAIL  no $tarball: run scripts/package.sh"; exit 1; }
done
typescript=$repo/build/npm-test/typescript
wine_home=$repo/build/npm-test/wine
windows=$repo/build/windows

# Short, since the server's socket path inside it must fit a socket address.
tmp=$(mktemp -d /tmp/vintra-npm.XXXXXX)
foreign=
cleanup() {
  local code=$?
  [ -n "$foreign" ] && { kill "$foreign" 2>/dev/null; wait "$foreign" 2>/dev/null; }
  "$repo/scripts/sound-server" stop "$tmp/server"
  [ -d "$wine_home" ] && "$repo/scripts/wine-session" stop "$wine_home"
  rm -rf "$tmp"
  # Nothing of the tests' Wine may outlive them: no process left on our prefix.
  local left=() environ
  for environ in /proc/[0-9]*/environ; do
    { tr '\0' '\n' <"$environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=$wine_home/prefix" && left+=("${environ//[^0-9]/}")
  done
  if [ "${#left[@]}" -gt 0 ]; then
    echo "FAIL  Wine processes left on $wine_home/prefix: ${left[*]}"
    exit 1
  fi
  exit "$code"
}
trap cleanup EXIT

# npm_install FOLDER ARGS...: as a user installs, from the tarballs alone.
npm_install() {
  local folder=$1; shift
  mkdir -p "$folder"
  echo '{ "name": "parent-app", "version": "1.0.0", "private": true }' >"$folder/package.json"
  (cd "$folder" && npm install --offline --no-audit --no-fund --cache "$tmp/npm-cache" --logs-max=0 "$@" >"$folder/install.log" 2>&1) ||
    { echo "FAIL  npm install $*:"; sed 's/^/      /' "$folder/install.log"; return 1; }
}
app=$tmp/app
npm_install "$app" "$main" "$linux" || exit 1
# The Windows package, installed on Linux as for building a Windows app here
# (--force: npm checks a tarball named on the command line against this
# system even with --os; from the registry --os alone does).
npm_install "$tmp/win-app" --os=win32 --cpu=x64 --force "$main" "$win" || exit 1

if [ ! -f "$typescript/.installed" ]; then
  rm -rf "$typescript"
  mkdir -p "$typescript"
  echo '{ "private": true }' >"$typescript/package.json"
  (cd "$typescript" && npm install --no-audit --no-fund --logs-max=0 typescript@5.9.3 @types/node@18.19.130 >install.log 2>&1) ||
    { echo "FAIL  cannot install TypeScript:"; cat "$typescript/install.log"; exit 1; }
  touch "$typescript/.installed"
fi

scripts/sound-server start pulseaudio "$tmp/server" >/dev/null || exit 1
# shellcheck source=/dev/null
. "$tmp/server/env"
mkdir -p "$tmp/tones"
node -e '
  const [folder, ...tones] = process.argv.slice(1);
  for (const tone of tones) {
    const [frequency, level] = tone.split(":").map(Number), frames = 48000 * 60, data = Buffer.alloc(frames * 4);
    for (let i = 0; i < frames; i++) {
      const value = Math.round(32767 * level * Math.sin(2 * Math.PI * frequency * i / 48000));
      data.writeInt16LE(value, i * 4);
      data.writeInt16LE(value, i * 4 + 2);
    }
    require("fs").writeFileSync(`${folder}/${frequency}.s16`, data);
  }' "$tmp/tones" 440:0.25 660:0.2 || exit 1
# A player that is no descendant of the tests: another application.
pacat --latency-msec=30 --format=s16le --rate=48000 --channels=2 "$tmp/tones/440.s16" &
foreign=$!

# The Windows side: a Wine session of its own, with the fake platform.
printf '#!/bin/sh\nexec %q %q "$@"\n' "$repo/scripts/wine-run" \
  "$tmp/win-app/node_modules/vintra-app-audio-win32-x64/bin/vintra-app-audio.exe" >"$tmp/wine-program"
chmod +x "$tmp/wine-program"
scripts/wine-session start "$wine_home" || exit 1
cp "$windows/tests/fakeplatform/mmdevapi.dll" "$wine_home/prefix/drive_c/windows/system32/mmdevapi.dll" || exit 1

cp -R npm/test "$app/test"
cd "$app"
node=${VINTRA_NPM_TEST_NODE:-node}
echo "== $("$node" --version) tests"
# One file at a time: the tests share the server and its players. Their own
# temporary folders go into ours, which the end removes whatever happened
# (not through TMPDIR: Wine would keep its server's socket there).
mkdir -p "$tmp/scratch"
status=0
for file in test/*.test.mjs test/*.test.cjs; do
  VINTRA_NPM_TEST_SCRATCH=$tmp/scratch VINTRA_NPM_TEST_APP=$app VINTRA_NPM_TEST_VERSION=$version VINTRA_NPM_TEST_TONES=$tmp/tones \
    VINTRA_NPM_FOREIGN_PID=$foreign VINTRA_NPM_TYPESCRIPT=$typescript \
    VINTRA_NPM_WINE_PROGRAM=$tmp/wine-program VINTRA_NPM_WINE_RUN=$repo/scripts/wine-run \
    VINTRA_NPM_WINE_PLAYER=$windows/tests/player/player.exe \
    VINTRA_WINE_HOME=$wine_home VINTRA_DLL_OVERRIDES=mmdevapi=n VINTRA_FAKE_NAMESPACE=npm-$$ \
    timeout -k 10 300 "$node" --test "$file" || status=1
done
exit $status
