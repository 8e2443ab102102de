# Sourced by the desktop tests.
# need_tools STATUS PACKAGES TOOL...: ends the test with STATUS (77: skipped, else failed) when a
# TOOL is not installed, naming the Debian PACKAGES that bring the tools.
need_tools() {
    local status=$1 packages=$2 tool verdict=FAIL
    shift 2
    [ "$status" -eq 77 ] && verdict=SKIP
    for tool in "$@"; do
        if ! command -v "$tool" >/dev/null 2>&1; then
            echo "$verdict: '$tool' is not installed (Debian packages $packages)"
            exit "$status"
        fi
    done
}
