#!/usr/bin/env bash
# Makes the packages into build/packages/: with CPack
#   vintra-app-audio_<version>_amd64.deb          the Linux program as it ships,
#                                                 built in a Debian 11 root into
#                                                 build/portable-linux/ (scripts/
#                                                 portable-linux.sh), with the
#                                                 linux preset's package files
#   vintra-app-audio-<version>-windows-x64.zip    the exe and the example
#                                                 parents (windows preset)
# and with npm pack (scripts/pack-npm.sh) the npm packages
#   vintra-app-audio-<version>.tgz                the JavaScript API
#   vintra-app-audio-linux-x64-<version>.tgz      the Linux program
#   vintra-app-audio-win32-x64-<version>.tgz      the exe
# The version is project()'s in CMakeLists.txt. Installs what is missing
# first, builds both trees, and leaves nothing else in build/packages/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

out=build/packages
rm -rf "$out"
mkdir -p "$out"
# package PRESET EXTENSION [CPACK OPTION...]
package() {
  local preset=$1 extension=$2 work=build/$1/cpack
  shift 2
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j2 >/dev/null
  # CPack works in a folder of the tree's own; only the package comes out.
  rm -rf "$work"
  mkdir -p "$work"
  if ! cpack --config "build/$preset/CPackConfig.cmake" -B "$work" "$@" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log" >&2
    exit 1
  fi
  mv "$work"/*."$extension" "$out"/
}
echo "== portable-linux"
portable=$(scripts/portable-linux.sh)
package linux deb -D VINTRA_SHIPPED_PROGRAM="$portable"
package windows zip
echo "== npm"
scripts/pack-npm.sh
ls -l "$out"
