#!/usr/bin/env bash
# Installs the Debian packages Lumbra needs, if any is missing:
#   setup.sh run    what building and running the program needs
#   setup.sh test   that, plus the tools of the test suite, packaging and fuzzing (the default)
# As root it runs apt-get itself; otherwise it prints the exact command and stops.
set -euo pipefail

# Compiler and build tools, Qt with its X11 platform plugin, OpenGL headers Qt's CMake files
# ask for, the window's fonts, fontconfig for the start-up preload, ICU's UTF-8 header.
run_packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev
    fonts-liberation2 libfontconfig-dev libicu-dev
)
# Virtual X server and X11 tools for the window tests and screenshots, Qt's Wayland platform
# plugin for the start-up test of an unreachable Wayland display, Qt's private headers for the
# test that turns accessibility on as a screen reader does, validators for the desktop entry and
# metainfo, package building and checking, manual page rendering, and clang's libFuzzer.
test_packages=(
    xvfb xauth x11-utils imagemagick python3 qt6-wayland qt6-base-private-dev
    appstream desktop-file-utils
    dpkg-dev lintian man-db groff-base
    clang libclang-rt-14-dev
)

case "${1:-test}" in
run) packages=("${run_packages[@]}") ;;
test) packages=("${run_packages[@]}" "${test_packages[@]}") ;;
*)
    echo "usage: $0 [run|test]" >&2
    exit 2
    ;;
esac

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
    echo "  sudo apt-get install -y --no-install-recommends ${missing[*]}" >&2
    exit 1
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
