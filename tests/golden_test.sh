#!/usr/bin/env bash
# Patterns are reproducible from their seed in every release: the picture in docs/ must come out
# of walkers-render pixel for pixel. Usage: golden_test.sh WALKERS-RENDER PNG-PROBE SOURCE-DIR
set -euo pipefail
render=$1
probe=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$render" --ticks 8000 --seed 11 -o "$tmp/pattern.png"
differ=$("$probe" differ "$3/docs/pattern.png" "$tmp/pattern.png")
[ "$differ" = 0 ] || { echo "FAIL: $differ pixels differ from docs/pattern.png" >&2; exit 1; }
