#!/usr/bin/env bash
# Builds the Debian package from the sources (scripts/package.sh, Release, in a scratch folder),
# has lintian judge it, then unpacks it and checks what a user gets: the copyright file in
# Debian's machine-readable format with the project's licence, a changelog for the package's
# version, a manual page that renders without warnings, the desktop entry and metainfo under
# the one id, and the unpacked program mapping its window on an X server.
#
# Usage: package_check.sh SOURCE-DIR
# Exits 77 (skipped) when lintian or dpkg-deb is missing.
set -euo pipefail

source_dir=$1
here=$(cd "$(dirname "$0")" && pwd)
readonly ID=org.lumbra.lumbra

source "$here/need_tools.sh"
need_tools 77 "lintian, dpkg" lintian dpkg-deb
need_tools 1 "dpkg-dev, man-db, groff-base" dpkg-parsechangelog man groff

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

if ! bash "$source_dir/scripts/package.sh" "$tmp/build" >"$tmp/package.log" 2>&1; then
    tail -n 60 "$tmp/package.log"
    echo "FAIL: scripts/package.sh could not make the package"
    exit 1
fi
debs=("$tmp"/build/lumbra_*.deb)
deb=${debs[0]}
echo "built $(basename "$deb")"

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# Informational tags may stay; errors and warnings may not.
lintian --display-info "$deb" >"$tmp/lintian.log" 2>&1 || true
sed 's/^/lintian: /' "$tmp/lintian.log"
if grep -q '^[EW]: ' "$tmp/lintian.log"; then
    fail "lintian reports errors or warnings"
fi

root=$tmp/root
dpkg-deb -x "$deb" "$root"
doc=$root/usr/share/doc/lumbra

copyright=$doc/copyright
if [ ! -f "$copyright" ]; then
    fail "no usr/share/doc/lumbra/copyright"
else
    [ "$(head -n 1 "$copyright")" = \
        "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" ] ||
        fail "the copyright file does not start with the machine-readable format's header"
    grep -qx 'License: MIT' "$copyright" || fail "the copyright file names no 'License: MIT'"
    # The licence paragraph's text, unindented, is LICENSE's from its permission notice on.
    awk -v RS= -F '\n' '$1 == "License: MIT" {
        for (i = 2; i <= NF; i++) { line = substr($i, 2); print (line == "." ? "" : line) }
    }' "$copyright" >"$tmp/copyright.text"
    sed -n '/^Permission is hereby granted/,$ p' "$source_dir/LICENSE" >"$tmp/license.text"
    diff -u "$tmp/license.text" "$tmp/copyright.text" >"$tmp/license.diff" ||
        fail "the copyright file's licence text differs from LICENSE: $(cat "$tmp/license.diff")"
fi

changelog=$doc/changelog.gz
version=$(dpkg-deb -f "$deb" Version)
if [ ! -f "$changelog" ]; then
    fail "no usr/share/doc/lumbra/changelog.gz"
elif ! gzip -dc "$changelog" >"$tmp/changelog"; then
    fail "changelog.gz is not gzip data"
else
    latest=$(dpkg-parsechangelog -l "$tmp/changelog" -S Version 2>&1) ||
        fail "the changelog does not parse: $latest"
    [ "$latest" = "$version" ] || fail "the changelog's latest entry is $latest, the package $version"
fi

manpage=$root/usr/share/man/man1/lumbra.1.gz
if [ ! -f "$manpage" ]; then
    fail "no usr/share/man/man1/lumbra.1.gz"
else
    # man shows groff's warnings on stderr; any of them is a fault of the page.
    if ! LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -l "$manpage" \
        >"$tmp/man.txt" 2>"$tmp/man.err" || [ -s "$tmp/man.err" ]; then
        fail "man -l warns about the manual page: $(cat "$tmp/man.err")"
    fi
    if ! gzip -dc "$manpage" | groff -man -ww -z 2>"$tmp/groff.err" || [ -s "$tmp/groff.err" ]; then
        fail "groff warns about the manual page: $(cat "$tmp/groff.err")"
    fi
    { grep -q '^NAME' "$tmp/man.txt" && grep -q 'lumbra - ' "$tmp/man.txt"; } ||
        fail "the manual page renders without its NAME line"
fi

entry=$root/usr/share/applications/$ID.desktop
metainfo=$root/usr/share/metainfo/$ID.metainfo.xml
[ -f "$entry" ] || fail "no usr/share/applications/$ID.desktop"
if [ ! -f "$metainfo" ]; then
    fail "no usr/share/metainfo/$ID.metainfo.xml"
else
    grep -q "<id>$ID</id>" "$metainfo" || fail "the metainfo's id is not $ID"
    grep -q "<launchable type=\"desktop-id\">$ID.desktop</launchable>" "$metainfo" ||
        fail "the metainfo does not launch $ID.desktop"
fi

# The unpacked program, with the system's Qt, against the packaged entry's StartupWMClass.
if [ -f "$entry" ]; then
    status=0
    "$here/window_maps.sh" "$root/usr/bin/lumbra" "$entry" "$here/wm_delete.py" || status=$?
    case $status in
    0) ;;
    77) fail "the unpacked program's window was not checked (X11 tools missing)" ;;
    *) fail "the unpacked program's window" ;;
    esac
fi

if ((failures > 0)); then
    echo "$failures check(s) failed; package contents:"
    dpkg-deb --contents "$deb"
    exit 1
fi
echo "package checked: $(basename "$deb"), lintian without errors or warnings"
