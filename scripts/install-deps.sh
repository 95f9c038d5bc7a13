#!/usr/bin/env bash
# Installs every Debian 12 package Pixlet needs to build, run, test and benchmark.
# Run as root (or through sudo). Safe to run again.
set -euo pipefail

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi

PACKAGES=(
    # toolchain
    cmake g++ pkgconf ninja-build
    # Qt 6
    qt6-base-dev qt6-image-formats-plugins libgl-dev
    # codecs
    libturbojpeg0-dev libgif-dev
    # capture, FTP, file sizes
    libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev gstreamer1.0-plugins-base gstreamer1.0-plugins-good
    gstreamer1.0-libav
    libcurl4-openssl-dev libssl-dev libboost-filesystem-dev
    # tests and benchmarks
    libgtest-dev libgmock-dev libbenchmark-dev libgstrtspserver-1.0-dev
    python3 python3-pyftpdlib python3-openssl python3-aiosmtpd openssh-server openssh-client
    xvfb xauth imagemagick fonts-dejavu-core trayer xdotool x11-utils
    # packaging: the validators and dpkg-shlibdeps (tests/package)
    desktop-file-utils appstream dpkg-dev
    # fuzzing (scripts/fuzz.sh)
    clang libfuzzer-14-dev
)

export DEBIAN_FRONTEND=noninteractive
missing=()
for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
if [ "${#missing[@]}" -gt 0 ]; then
    $SUDO apt-get update -q
    $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
