#!/bin/sh
# Runs the icon generator again and checks that data/icons holds exactly what it writes, so
# nobody edits a picture by hand or forgets to rerun it.
# Usage: icon_files.sh MAKE_ICON data/icons
set -eu
generator=$1
committed=$2
fresh=$(mktemp -d)
trap 'rm -rf "$fresh"' EXIT
"$generator" "$fresh"
if ! diff -r "$committed" "$fresh" >&2; then
    echo "$committed is not what tools/make_icon.cpp writes; rerun: make_icon $committed" >&2
    exit 1
fi
echo "icon files match their generator: $(ls "$fresh" | tr '\n' ' ')"
