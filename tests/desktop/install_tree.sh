#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks that what a desktop looks for is there
# and points at each other: the entry's Exec and Icon, the metainfo's id, launchable and
# binary, and one icon of each hicolor size, of that size.
#
# Usage: install_tree.sh CMAKE BUILD-DIR
# Exits 77 (skipped) when appstreamcli or ImageMagick's identify is missing.
set -euo pipefail

cmake=$1
build=$2

source "$(dirname "$0")/need_tools.sh"
need_tools 77 "appstream, imagemagick" appstreamcli identify

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
prefix=$tmp/usr
"$cmake" --install "$build" --prefix "$prefix" >"$tmp/install.log"

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# value KEY FILE: a key's value in the [Desktop Entry] group.
value() { sed -n "/^\[Desktop Entry\]/,/^\[/ s/^$1=//p" "$2"; }

apps=$prefix/share/applications
desktop_files=("$apps"/*.desktop)
if [ ! -f "${desktop_files[0]}" ] || [ ${#desktop_files[@]} -ne 1 ]; then
    fail "expected one desktop entry in share/applications, found: ${desktop_files[*]}"
    exit 1
fi
entry=${desktop_files[0]}

exec_cmd=$(value Exec "$entry")
exec_cmd=${exec_cmd%% *}
[ -x "$prefix/bin/$exec_cmd" ] || fail "Exec=$exec_cmd is not an installed program in bin/"

icon=$(value Icon "$entry")
[ -n "$icon" ] || fail "the entry names no Icon"
for size in 16 32 48 64 128 256; do
    png=$prefix/share/icons/hicolor/${size}x${size}/apps/$icon.png
    if [ ! -f "$png" ]; then
        fail "no ${size}x${size} icon $icon.png"
    elif [ "$(identify -format '%m %wx%h' "$png")" != "PNG ${size}x${size}" ]; then
        fail "$png is $(identify -format '%m %wx%h' "$png"), expected PNG ${size}x${size}"
    fi
done

metainfo_files=("$prefix"/share/metainfo/*.metainfo.xml)
if [ ! -f "${metainfo_files[0]}" ] || [ ${#metainfo_files[@]} -ne 1 ]; then
    fail "expected one metainfo file in share/metainfo, found: ${metainfo_files[*]}"
    exit 1
fi
metainfo=${metainfo_files[0]}

tag() { sed -n "s:.*<$1[^>]*>\(.*\)</$1>.*:\1:p" "$metainfo" | head -n 1; }
id=$(tag id)
[ "$(basename "$metainfo")" = "$id.metainfo.xml" ] ||
    fail "the metainfo file $(basename "$metainfo") is not named after its id $id"
[ "$(tag launchable)" = "$(basename "$entry")" ] ||
    fail "the metainfo launches '$(tag launchable)', the installed entry is $(basename "$entry")"
[ -x "$prefix/bin/$(tag binary)" ] || fail "the metainfo provides '$(tag binary)', not in bin/"
[ "$(tag name)" = "$(value Name "$entry")" ] ||
    fail "the metainfo names '$(tag name)', the entry '$(value Name "$entry")'"

# AppStream's own look at the tree: metainfo and the desktop entry it launches.
appstreamcli validate-tree --no-net --strict --explain "$prefix" || fail "appstreamcli validate-tree"

if ((failures > 0)); then
    echo "$failures check(s) failed; installed:"
    cat "$tmp/install.log"
    exit 1
fi
echo "installed tree checked: $(basename "$entry"), $(basename "$metainfo"), icon $icon"
