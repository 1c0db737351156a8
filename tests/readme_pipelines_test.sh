#!/usr/bin/env bash
# Runs the README's video pipelines (walkers-render --frames - | ffmpeg), small and short, twice.
# Usage: readme_pipelines_test.sh WALKERS_RENDER README.md
set -euo pipefail
render=$(realpath "$1")
readme=$2
fail() { echo "FAIL: $*" >&2; exit 1; }
command -v ffmpeg >/dev/null && command -v ffprobe >/dev/null || { echo "SKIP: no ffmpeg"; exit 77; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# A pipeline: a line starting "walkers-render" and ending in "|" (before its comment), and the
# lines after it, joined while they end in "\".
mapfile -t pipelines < <(awk '
  collecting { line = $0; more = sub(/\\$/, "", line); text = text " " line;
               if (!more) { print text; collecting = 0 } ; next }
  /^walkers-render .*--frames - \|/ { sub(/\|[^|]*$/, "|"); text = $0; collecting = 1 }
' "$readme")
[ ${#pipelines[@]} -eq 2 ] || fail "expected 2 ffmpeg pipelines in $readme, found ${#pipelines[@]}"

for pipeline in "${pipelines[@]}"; do
  # Small and short: 64x48, 200 ticks (5 frames), the same size given to ffmpeg.
  small=${pipeline//--ticks 10000/--ticks 200 --size 64x48}
  small=${small//-video_size 510x370/-video_size 64x48}
  [[ $small == *"--size 64x48"* && $small == *"-video_size 64x48"* ]] ||
    fail "the README pipeline no longer reads as expected: $pipeline"
  small="\"$render\"${small#walkers-render}"
  for run in first second; do
    (cd "$tmp" && bash -c "set -o pipefail; $small" </dev/null >"$tmp/log" 2>&1) ||
      { cat "$tmp/log" >&2; fail "$run run failed: $pipeline"; }
  done
done

format=$(ffprobe -v error -select_streams v:0 -show_entries stream=pix_fmt -of csv=p=0 "$tmp/out.mp4")
[ "$format" = yuv420p ] || fail "out.mp4 has pixel format $format, not yuv420p"
frames=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames \
  -of csv=p=0 "$tmp/out.gif")
[ "$frames" -ge 2 ] || fail "out.gif has $frames frames"
echo "readme pipelines: ok"
