#!/usr/bin/env bash
# Installs every Debian 12 package zelbrik needs to build, run and test.
# Only what is missing is installed; nothing is touched when all is present.
set -euo pipefail

PACKAGES=(
  # build
  build-essential cmake pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev
  libxcb1-dev libxcb-shm0-dev libxcb-randr0-dev libxcb-keysyms1-dev
  libjpeg62-turbo-dev
  libgtest-dev libbenchmark-dev
  # a CJK font, so the Chinese texts render on a fresh machine
  fonts-wqy-microhei fonts-dejavu-core
  # a virtual display for machines without one, and the tools the tests drive it with
  xvfb openbox trayer xdotool xclip x11-xserver-utils x11-utils
  xserver-xorg-core xserver-xorg-video-dummy
  libjpeg-turbo-progs imagemagick
  # holds system calls back so that the kill-during-save tests can stop a save between its steps
  strace
  # the libFuzzer targets (scripts/fuzz.sh): clang and its fuzzer and sanitizer runtimes
  clang libclang-rt-14-dev
  # the Wayland screen grab (wlr-screencopy client code made by wayland-scanner) and the
  # headless sway its tests run on, with swaybg for a known wallpaper
  libwayland-dev libwayland-bin wayland-protocols sway swaybg
)

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
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi
echo "installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
