#!/usr/bin/env bash
# Runs a checking tool, or skips the test (exit 77) when the tool is not installed.
# Usage: run_tool.sh DEBIAN-PACKAGE TOOL [ARGUMENT...]
set -euo pipefail

package=$1
shift
if ! command -v "$1" >/dev/null 2>&1; then
    echo "SKIP: '$1' is not installed (Debian package $package)"
    exit 77
fi
exec "$@"
