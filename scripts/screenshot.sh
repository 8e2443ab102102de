#!/usr/bin/env bash
# Takes a picture of Lumbra's window as it opens, on a private Xvfb server at 96 dpi.
#
# Usage: scripts/screenshot.sh [LUMBRA-BINARY [OUTPUT-PNG]]
#   defaults: build/src/lumbra and docs/screenshot.png, relative to the repository.
# Needs Xvfb (xvfb), xwininfo (x11-utils) and ImageMagick's import (imagemagick).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
lumbra=${1:-$root/build/src/lumbra}
output=${2:-$root/docs/screenshot.png}

if [ ! -x "$lumbra" ]; then
    echo "screenshot.sh: no program at $lumbra; build it first or name it" >&2
    exit 1
fi
for tool in Xvfb xwininfo xprop import; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "screenshot.sh: '$tool' is missing (Debian packages xvfb x11-utils imagemagick)" >&2
        exit 1
    fi
done

# shellcheck source-path=SCRIPTDIR source=xvfb-session.sh
source "$root/scripts/xvfb-session.sh"

if ! start_xvfb 96; then
    echo "screenshot.sh: Xvfb did not start" >&2
    exit 1
fi

QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$tmp" "$lumbra" >"$tmp/lumbra.log" 2>&1 &
app_pid=$!

if ! poll 300 find_window; then
    cat "$tmp/lumbra.log" >&2
    echo "screenshot.sh: no Lumbra window was mapped" >&2
    exit 1
fi

# Mapped is not yet drawn: capture until two captures in a row are the same picture.
captured() {
    import -window "$window" "$tmp/next.ppm" 2>/dev/null || return 1
    if [ -f "$tmp/last.ppm" ] && cmp -s "$tmp/last.ppm" "$tmp/next.ppm"; then
        return 0
    fi
    mv "$tmp/next.ppm" "$tmp/last.ppm"
    return 1
}
if ! poll 100 captured; then
    echo "screenshot.sh: the window kept changing; keeping the last capture" >&2
fi

mkdir -p "$(dirname "$output")"
# -strip drops time stamps, so the same window gives the same file.
import -window "$window" -strip "png:$output"
echo "wrote $output ($(xwininfo -id "$window" | awk '/Width:/ { w = $2 } /Height:/ { h = $2 }
    END { print w "x" h }') window $window)"
