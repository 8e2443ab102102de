#!/usr/bin/env bash
# Installs the Debian packages Lumbra needs to build, run and test, if any is missing.
# As root it runs apt-get itself; otherwise it prints the exact command and stops.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev
    fonts-liberation2 libfontconfig-dev
    xvfb xauth x11-utils imagemagick
    appstream desktop-file-utils dpkg-dev
    clang libclang-rt-14-dev
    whois python3
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
    echo "Lumbra needs these Debian packages; install them as root with:" >&2
    echo "  sudo apt-get install -y ${missing[*]}" >&2
    exit 1
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
