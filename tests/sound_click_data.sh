#!/bin/sh
# Runs the click generator again and checks that the click data in the tree is what it writes,
# so nobody edits the numbers by hand or forgets to rerun it.
# Usage: sound_click_data.sh MAKE_CLICK src/sound/click_sound_data.cpp
set -eu
generator=$1
committed=$2
fresh=$(mktemp)
trap 'rm -f "$fresh"' EXIT
"$generator" "$fresh"
if ! cmp -s "$fresh" "$committed"; then
  echo "$committed is not what tools/make_click.cpp writes; rerun: make_click $committed" >&2
  diff "$committed" "$fresh" | head -20 >&2
  exit 1
fi
echo "click data matches its generator"
