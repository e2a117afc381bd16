#!/usr/bin/env bash
# Installs what Telvar needs to build and test, skipping what is already there.
# Idempotent; run as root (or with sudo) on Debian 12.
set -euo pipefail

packages=(g++ cmake ninja-build pkg-config help2man
          qtbase5-dev libqt5serialport5-dev libqwt-qt5-dev libqt5svg5-dev libqt5opengl5-dev
          libquazip1-qt5-dev libbenchmark-dev
          libmosquitto-dev mosquitto mosquitto-clients openssl dbus-daemon
          libxcb1-dev xvfb
          "$@")

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO=sudo
    echo "Installing: ${missing[*]}"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
