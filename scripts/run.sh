#!/usr/bin/env bash
# Sets up what is missing, builds Lumbra and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target lumbra

if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}${QT_QPA_PLATFORM:-}" ]; then
    echo "Lumbra needs a graphical display and found none (DISPLAY is not set): run this from a desktop session, or under a virtual display with: xvfb-run -a bash scripts/run.sh" >&2
    exit 1
fi
exec build/src/lumbra
