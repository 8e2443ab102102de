#!/usr/bin/env bash
# Builds Lumbra as shipped and makes its Debian package with CPack, then shows the package's
# control fields and contents.
#
# Usage: scripts/package.sh [BUILD-DIR]   (default: build-package, in the repository)
# Needs dpkg-dev (dpkg-shlibdeps computes the package's library dependencies).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-package}

if ! command -v dpkg-shlibdeps >/dev/null 2>&1; then
    echo "package.sh: dpkg-shlibdeps is missing (Debian package dpkg-dev)" >&2
    exit 1
fi

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLUMBRA_BUILD_TESTS=OFF \
    -DLUMBRA_BUILD_BENCH=OFF >/dev/null
cmake --build "$build"
rm -f "$build"/lumbra_*.deb
(cd "$build" && cpack -G DEB)

debs=("$build"/lumbra_*.deb)
if [ ! -f "${debs[0]}" ]; then
    echo "package.sh: cpack made no lumbra_*.deb in $build" >&2
    exit 1
fi
dpkg-deb --info "${debs[0]}"
dpkg-deb --contents "${debs[0]}"
echo "package: ${debs[0]}"
