#!/usr/bin/env bash
# Starts the real lumbra program on its own Xvfb server, once per screen resolution below, and
# checks what a desktop sees: a window titled "Lumbra", placed and sized from its twips at
# the screen's dpi, drawn, announcing the WM_CLASS the desktop entry names, and that closing
# it the way a window manager does ends the program with status 0.
#
# Usage: window_maps.sh LUMBRA-BINARY DESKTOP-FILE WM-DELETE-HELPER
# Exits 77 (skipped) when Xvfb or one of the X11 tools it needs is missing.
set -euo pipefail

lumbra=$1
desktop_file=$2
wm_delete=$3

source "$(dirname "$0")/need_tools.sh"
need_tools 77 "xvfb, x11-utils, imagemagick, python3" Xvfb xwininfo xprop import identify python3

# Window placement and client size in twips, as the program lays them out.
readonly LEFT=1344 TOP=1656 WIDTH=6636 HEIGHT=6000

# dpi given to the server (Xvfb -dpi and the Xft.dpi resource Qt reads), whether Qt's
# high-dpi scaling is on, and how many pixels the result may be off. With scaling on, Qt
# lays the window out at 96 dpi and multiplies by dpi/96, rounding twice: off by up to 1.
cases=(
    "96  1 0"
    "144 0 0"
    "120 1 1"
    "144 1 1"
)

# shellcheck source-path=SCRIPTDIR source=../../scripts/xvfb-session.sh
source "$(dirname "$0")/../../scripts/xvfb-session.sh"

failures=0
fail() {
    echo "FAIL [$case_name]: $*"
    failures=$((failures + 1))
}

px() { echo $((($1 * dpi + 720) / 1440)); }

near() { # near NAME GOT WANT: within the case's tolerance
    local diff=$(($2 - $3))
    if ((diff < -tolerance || diff > tolerance)); then
        fail "$1 is $2 px, expected $3 (+-$tolerance) at $dpi dpi"
    fi
}

# Whether the window shows more than a plain background: its controls have been drawn.
drawn() {
    import -window "$window" "$tmp/window.png" 2>/dev/null &&
        (($(identify -format "%k" "$tmp/window.png") > 8))
}

app_ended() { ! kill -0 "$app_pid" 2>/dev/null; }

wm_class=$(sed -n 's/^StartupWMClass=//p' "$desktop_file")
if [ -z "$wm_class" ]; then
    echo "FAIL: $desktop_file has no StartupWMClass"
    exit 1
fi

for row in "${cases[@]}"; do
    read -r dpi scaling tolerance <<<"$row"
    case_name="$dpi dpi, scaling $scaling"
    if ! start_xvfb "$dpi"; then
        echo "FAIL: Xvfb did not start"
        exit 1
    fi
    xprop -root -f RESOURCE_MANAGER 8s -set RESOURCE_MANAGER "Xft.dpi:	$dpi"

    # In a sanitizer build, strict_string_checks stops libxkbcommon-x11's strndup of an X
    # reply that is not NUL-terminated, before the program's own code runs.
    env -u QT_SCALE_FACTOR -u QT_SCREEN_SCALE_FACTORS -u QT_FONT_DPI \
        QT_QPA_PLATFORM=xcb QT_ENABLE_HIGHDPI_SCALING="$scaling" XDG_RUNTIME_DIR="$tmp" \
        ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}strict_string_checks=0" \
        "$lumbra" >"$tmp/app.log" 2>&1 &
    app_pid=$!

    if ! poll 300 find_window; then
        fail "no window titled Lumbra was mapped"
        cat "$tmp/app.log"
        xwininfo -root -tree || true
        kill "$app_pid" 2>/dev/null || true
        wait "$app_pid" 2>/dev/null || true
        app_pid=
        stop_xvfb
        break # the other set-ups would wait as long for the same fault
    fi

    info=$(xwininfo -id "$window")
    field() { awk -v key="$1:" 'index($0, key) { print $NF; exit }' <<<"$info"; }
    near "left edge" "$(field 'Absolute upper-left X')" "$(px $LEFT)"
    near "top edge" "$(field 'Absolute upper-left Y')" "$(px $TOP)"
    near "width" "$(field Width)" "$(px $WIDTH)"
    near "height" "$(field Height)" "$(px $HEIGHT)"

    props=$(xprop -id "$window" WM_NAME _NET_WM_NAME WM_CLASS WM_PROTOCOLS)
    grep -qx 'WM_NAME(STRING) = "Lumbra"' <<<"$props" || fail "WM_NAME: $props"
    grep -qx '_NET_WM_NAME(UTF8_STRING) = "Lumbra"' <<<"$props" || fail "_NET_WM_NAME: $props"
    grep -q "^WM_CLASS(STRING) = \".*\", \"$wm_class\"\$" <<<"$props" ||
        fail "WM_CLASS does not name the desktop entry's StartupWMClass $wm_class: $props"
    grep -q '^WM_PROTOCOLS.*WM_DELETE_WINDOW' <<<"$props" ||
        fail "the window does not accept WM_DELETE_WINDOW: $props"

    poll 100 drawn || fail "the window was not drawn (only $(identify -format '%k' \
        "$tmp/window.png" 2>/dev/null || echo '?') colours)"

    python3 "$wm_delete" "$window" || fail "could not send WM_DELETE_WINDOW"
    if poll 200 app_ended; then
        status=0
        wait "$app_pid" || status=$?
        [ "$status" -eq 0 ] || fail "closing the window ended the program with status $status"
    else
        fail "the program still runs after its window was closed"
        kill "$app_pid" 2>/dev/null || true
        wait "$app_pid" 2>/dev/null || true
    fi
    app_pid=
    stop_xvfb
    echo "checked: $case_name"
done

if ((failures > 0)); then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all ${#cases[@]} screen set-ups passed"
