#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running need.
# Idempotent: installs only what is missing. Must run as root (or via sudo).
# With the argument "fuzz" it also installs clang and its sanitizer and
# libFuzzer runtimes (Debian's default clang with the runtime of its version).
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libgl-dev
  libsqlite3-dev
  libturbojpeg0-dev
  libmicrohttpd-dev libmosquitto-dev mosquitto mosquitto-clients libsystemd-dev
  libavformat-dev libavcodec-dev libavutil-dev ffmpeg
  googletest libgtest-dev libgmock-dev
  libbenchmark-dev
  xvfb xauth fontconfig fonts-dejavu-core
  xdotool openbox imagemagick
  dbus at-spi2-core sqlite3
  dpkg-dev fakeroot file lintian help2man man-db appstream desktop-file-utils
  weston qt6-wayland
)
if [ "${1:-}" = "fuzz" ]; then
  PACKAGES+=(clang libclang-rt-dev)
fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
