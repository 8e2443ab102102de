#!/usr/bin/env bash
# Copy, then Exit: what Copy put on the clipboard is handed to the desktop's clipboard manager
# before the program ends, as GNOME, MATE and Cinnamon keep it on X11. The real window (in the
# ending probe) runs on its own Xvfb server beside a minimal clipboard manager.
#
# Usage: clipboard_kept.sh PROBE-BINARY CLIPBOARD-MANAGER
# Exits 77 (skipped) when Xvfb or python3 is missing.
set -euo pipefail

probe=$1
manager=$2

source "$(dirname "$0")/need_tools.sh"
need_tools 77 "xvfb, python3" Xvfb python3

# shellcheck source-path=SCRIPTDIR source=../../scripts/xvfb-session.sh
source "$(dirname "$0")/../../scripts/xvfb-session.sh"

if ! start_xvfb 96; then
    echo "FAIL: Xvfb did not start"
    exit 1
fi
python3 "$manager" "$tmp/saved" >"$tmp/manager.out" 2>"$tmp/manager.err" &
manager_pid=$!
manager_ready() {
    kill -0 "$manager_pid" 2>/dev/null || return 2
    grep -q '^ready$' "$tmp/manager.out"
}
if ! poll 100 manager_ready; then
    echo "FAIL: the clipboard manager did not start"
    cat "$tmp/manager.err"
    exit 1
fi

status=0
QT_QPA_PLATFORM=xcb timeout 60 "$probe" copy >"$tmp/copied" 2>"$tmp/probe.err" || status=$?
if [ "$status" -ne 0 ]; then
    echo "FAIL: the program ended with status $status"
    cat "$tmp/probe.err"
    exit 1
fi
# The program waits for the manager's reply before it ends, so the manager is done by now, or
# was never asked.
manager_done() { ! kill -0 "$manager_pid" 2>/dev/null; }
if ! poll 50 manager_done; then
    echo "FAIL: the program ended without handing the clipboard to the clipboard manager"
    kill "$manager_pid" 2>/dev/null || true
    exit 1
fi
if ! wait "$manager_pid"; then
    echo "FAIL: the clipboard manager failed"
    cat "$tmp/manager.err"
    exit 1
fi
if ! cmp -s "$tmp/copied" "$tmp/saved"; then
    echo "FAIL: the clipboard manager kept something else than what Copy put on the clipboard"
    echo "copied: $(od -c "$tmp/copied" | head -5)"
    echo "kept:   $(od -c "$tmp/saved" | head -5)"
    exit 1
fi
echo "PASS: the clipboard manager kept the $(wc -c <"$tmp/copied") bytes Copy put on the clipboard"
