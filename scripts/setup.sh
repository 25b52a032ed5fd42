#!/usr/bin/env bash
# Installs what the builds and the tests need on a Debian 12 machine, once:
# both programs' toolchains, Wine, the two sound servers the Linux program is
# tested against, the real players the tests play through (GStreamer, ALSA's
# pulse plugin, bubblewrap for sandboxed players), and the tools that make
# and check the packages.
# Quick when everything is already there: it only asks dpkg.
set -euo pipefail

packages=(cmake g++ make pkg-config googletest libbenchmark-dev nlohmann-json3-dev
          g++-mingw-w64-x86-64-posix wine wine64 xvfb
          libpulse-dev libxcb1-dev libxcb-res0-dev libglib2.0-dev bubblewrap
          pulseaudio pulseaudio-utils pipewire pipewire-bin pipewire-pulse wireplumber dbus
          gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-pipewire
          alsa-utils libasound2-plugins)

# The packages: dpkg-shlibdeps (dpkg-dev) and file compute the Debian
# package's dependencies; lintian and unzip check what was made; debootstrap
# makes the Debian roots that the shipped Linux program is built in and tried
# on.
packages+=(dpkg-dev file lintian unzip debootstrap)

# The npm packages: npm packs them, and Node.js runs their tests. A machine
# with its own Node.js (and npm) keeps it; Debian's is 18, the oldest the
# package supports.
command -v node >/dev/null && command -v npm >/dev/null || packages+=(nodejs npm)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ]; then
  echo "installing: ${missing[*]}" >&2
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq </dev/null >/dev/null
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}" </dev/null >/dev/null
fi
