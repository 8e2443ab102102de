# shellcheck shell=bash
# Sourced by scripts that run the real program on a private Xvfb server (screenshot.sh,
# tests/desktop/window_maps.sh). Sets up a scratch folder $tmp removed on exit together with
# the server and the program ($xvfb_pid, $app_pid), and offers:
#   poll TRIES COMMAND...  runs COMMAND until it succeeds, 0.1 s apart; status 2 gives up early
#   start_xvfb DPI         starts a server and exports its DISPLAY; 1 (log shown) if it fails
#   stop_xvfb              ends the server
#   find_window            sets $window to the mapped top-level "Lumbra" window of $app_pid

tmp=$(mktemp -d)
xvfb_pid=
app_pid=
window=
cleanup() {
    if [ -n "$app_pid" ]; then kill "$app_pid" 2>/dev/null || true; fi
    if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
    wait 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT

poll() {
    local tries=$1 i status
    shift
    for ((i = 0; i < tries; i++)); do
        status=0
        "$@" || status=$?
        case $status in
        0) return 0 ;;
        2) return 1 ;;
        esac
        sleep 0.1
    done
    return 1
}

start_xvfb() {
    : >"$tmp/displayfd"
    # -displayfd picks a free display number and writes it once the server accepts clients;
    # -noreset keeps the root window's resources when a client such as xprop disconnects.
    Xvfb -displayfd 3 -screen 0 1024x768x24 -dpi "$1" -noreset -nolisten tcp \
        3>"$tmp/displayfd" 2>"$tmp/xvfb.log" &
    xvfb_pid=$!
    server_ready() {
        kill -0 "$xvfb_pid" 2>/dev/null || return 2
        grep -q '^[0-9][0-9]*$' "$tmp/displayfd"
    }
    if ! poll 100 server_ready; then
        cat "$tmp/xvfb.log" >&2
        return 1
    fi
    DISPLAY=":$(cat "$tmp/displayfd")"
    export DISPLAY
}

stop_xvfb() {
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=
}

# Qt also makes an unmapped window of that title; the PID tells the program's own from others.
find_window() {
    local id
    window=
    kill -0 "$app_pid" 2>/dev/null || return 2
    for id in $(xwininfo -root -children | awk '/"Lumbra": \("/ { print $1 }'); do
        if xwininfo -id "$id" | grep -q 'Map State: IsViewable' &&
            xprop -id "$id" _NET_WM_PID | grep -q "= $app_pid\$"; then
            window=$id
            return 0
        fi
    done
    return 1
}
