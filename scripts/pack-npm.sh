#!/usr/bin/env bash
# Makes the three npm packages with `npm pack` into build/packages/:
#   vintra-app-audio-<version>.tgz            the JavaScript (npm/)
#   vintra-app-audio-linux-x64-<version>.tgz  the Linux program
#   vintra-app-audio-win32-x64-<version>.tgz  the Windows exe
# Every package.json gets project()'s version from CMakeLists.txt, the main
# package's optionalDependencies the same exact version. The programs come
# from the trees that scripts/package.sh built; each is stripped into the
# package's bin/. Called by scripts/package.sh.
set -euo pipefail
cd "$(dirname "$0")/.."

# The Linux program that the linux-x64 package ships: the one the .deb
# carries, built in a Debian 11 root by scripts/portable-linux.sh (which
# package.sh runs first), so that it runs on glibc 2.31 and newer.
linux_program=${VINTRA_NPM_LINUX_PROGRAM:-build/portable-linux/vintra-app-audio}
windows_program=build/windows/src/windows/vintra-app-audio.exe
out=build/packages
stage=build/npm-pack

version=$(sed -n 's/^project(vintra-app-audio VERSION \([0-9][0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "pack-npm: no version in CMakeLists.txt's project()" >&2; exit 1; }
for program in "$linux_program" "$windows_program"; do
  [ -f "$program" ] || { echo "pack-npm: $program is missing: build it first" >&2; exit 1; }
done

rm -rf "$stage"
mkdir -p "$stage" "$out"
# stage FOLDER NAME: a copy of npm/FOLDER with the version set, as $stage/NAME.
stage() {
  local from=$1 to=$stage/$2
  mkdir -p "$to"
  cp -R "$from"/. "$to"/
  cp LICENSE "$to"/
  node -e '
    const fs = require("fs"), [file, version] = process.argv.slice(1);
    const manifest = JSON.parse(fs.readFileSync(file, "utf8"));
    manifest.version = version;
    for (const name of Object.keys(manifest.optionalDependencies || {})) manifest.optionalDependencies[name] = version;
    fs.writeFileSync(file, JSON.stringify(manifest, null, 2) + "\n");
  ' "$to/package.json" "$version"
}
stage npm main
rm -rf "$stage/main/platforms" "$stage/main/test"
stage npm/platforms/linux-x64 linux-x64
stage npm/platforms/win32-x64 win32-x64
mkdir -p "$stage/linux-x64/bin" "$stage/win32-x64/bin"
strip -o "$stage/linux-x64/bin/vintra-app-audio" "$linux_program"
x86_64-w64-mingw32-strip -o "$stage/win32-x64/bin/vintra-app-audio.exe" "$windows_program"
chmod 0755 "$stage/linux-x64/bin/vintra-app-audio" "$stage/win32-x64/bin/vintra-app-audio.exe"

for package in main linux-x64 win32-x64; do
  npm pack "$stage/$package" --pack-destination "$out" --ignore-scripts --silent \
    --cache "$PWD/$stage/cache" --logs-max=0 >/dev/null
done
rm -rf "$stage/cache"
