#!/usr/bin/env bash
# The recipe for many machines, on job slots of this one: bands rendered by GNU parallel and
# merged give the file one lumivex-render writes. Usage: render_in_parallel_test.sh RENDER SOURCE
set -euo pipefail
render=$1
source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

scene="$source/examples/glass.txt"
options=(--size 64x48 --aa jittered --stochastic)
"$render" "$scene" -o "$work/one.png" --workers 16 "${options[@]}"
LUMIVEX_RENDER=$render "$source/scripts/render-in-parallel" -S 3/: -n 16 "$scene" \
    "$work/merged.png" "${options[@]}"
cmp "$work/one.png" "$work/merged.png"
if [ -e "$work/merged.png.parts" ]; then
    echo "the parts were not cleaned up" >&2
    exit 1
fi
