#!/usr/bin/env bash
# Builds the Linux program as it ships, into build/portable-linux/:
#   vintra-app-audio   stripped; runs on glibc 2.31 and later (Debian 11,
#                      Ubuntu 20.04 and after) with libc, libpulse0,
#                      libglib2.0-0 and libxcb1 alone
#
# It is built inside a Debian 11 root (scripts/debian-root), kept in
# build/roots/ so that a second run only compiles what changed; a fresh clone
# makes the root first. The root is used read-only through bubblewrap, with
# the sources bound in read-only and the build tree writable: nothing is
# mounted outside the sandbox, and nothing is left mounted when it ends.
# Needs root.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
root=$repo/build/roots/bullseye-build
out=$repo/build/portable-linux
tree=$out/tree

scripts/debian-root bullseye "$root" \
  g++ make cmake pkg-config libpulse-dev libglib2.0-dev libxcb1-dev libxcb-res0-dev nlohmann-json3-dev
mkdir -p "$root/src" "$root/build" "$root/out" "$tree" "$out/bin"

# in_root COMMAND...: COMMAND inside the root, with a clean environment.
in_root() {
  bwrap --ro-bind "$root" / --ro-bind "$repo" /src --bind "$tree" /build --bind "$out/bin" /out \
    --dev /dev --proc /proc --tmpfs /tmp --unshare-all --die-with-parent \
    --clearenv --setenv PATH /usr/bin:/bin --setenv HOME /tmp --setenv LANG C.UTF-8 \
    "$@"
}
jobs=$(nproc 2>/dev/null || echo 2)
in_root cmake -S /src/packaging/portable-linux -B /build -DCMAKE_BUILD_TYPE=Release >/dev/null
in_root cmake --build /build -j"$jobs" --target vintra-app-audio >/dev/null
in_root cmake --install /build --prefix /out --component program --strip >/dev/null
mv "$out/bin/bin/vintra-app-audio" "$out/vintra-app-audio"
rm -rf "$out/bin"
echo "$out/vintra-app-audio"
