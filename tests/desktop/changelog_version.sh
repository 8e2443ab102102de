#!/usr/bin/env bash
# Checks that the changelog's newest entry is for the version the build gives the program, its
# manual page, metainfo and package.
#
# Usage: changelog_version.sh CHANGELOG VERSION
# Exits 77 (skipped) when dpkg-parsechangelog is missing.
set -euo pipefail

changelog=$1
version=$2

source "$(dirname "$0")/need_tools.sh"
need_tools 77 "dpkg-dev" dpkg-parsechangelog

newest=$(dpkg-parsechangelog -l "$changelog" -S Version)
if [ "$newest" != "$version" ]; then
    echo "FAIL: the changelog's newest entry is $newest, project() says $version"
    exit 1
fi
echo "changelog's newest entry: $newest"
