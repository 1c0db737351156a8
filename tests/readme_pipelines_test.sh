#!/usr/bin/env bash
# Runs every video pipeline (walkers-render --frames - | ffmpeg) the README and manual pages show,
# small and short, twice. Usage: readme_pipelines_test.sh WALKERS_RENDER DOCUMENT...
# A document is markdown, read as it is, or a manual page, read as man shows it.
set -euo pipefail
render=$(realpath "$1")
shift
fail() { echo "FAIL: $*" >&2; exit 1; }
command -v ffmpeg >/dev/null && command -v ffprobe >/dev/null ||
  { echo "SKIP: no ffmpeg"; exit 77; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

default_size=$("$render" --help | sed -n 's/.*--size WxH.*(default \([0-9]*x[0-9]*\)).*/\1/p')
[ -n "$default_size" ] || fail "walkers-render --help names no default size"

# A pipeline: a line starting "walkers-render" and ending in "|" (before its comment), and the
# lines after it, joined while they end in "\".
pipelines_in() {
  case $1 in
    *.md) cat "$1" ;;
    *) groff -man -Tascii -P-cbou -ww "$1" ;;
  esac | awk '
    collecting { line = $0; sub(/^[ \t]+/, "", line); more = sub(/\\$/, "", line)
                 text = text " " line; if (!more) { print text; collecting = 0 }; next }
    /^[ \t]*walkers-render .*--frames - \|/ { sub(/^[ \t]+/, ""); sub(/\|[^|]*$/, "|")
                                              text = $0; collecting = 1 }'
}

count=0
outputs=()
for document in "$@"; do
  mapfile -t pipelines < <(pipelines_in "$document")
  for pipeline in "${pipelines[@]}"; do
    count=$((count + 1))
    producer=${pipeline%%|*}
    consumer=${pipeline#*|}
    # ffmpeg must be told the size walkers-render renders, or the video is garbage.
    size=$(sed -nE 's/.*--size[= ]([0-9]+x[0-9]+).*/\1/p' <<<"$producer")
    told=$(sed -nE 's/.*-video_size ([0-9]+x[0-9]+).*/\1/p' <<<"$consumer")
    [ "$told" = "${size:-$default_size}" ] ||
      fail "$document: ffmpeg is told ${told:-no size} for ${size:-$default_size}: $pipeline"
    # Small and short: 64x48, 200 ticks, the same size given to ffmpeg.
    producer=$(sed -E 's/ --(size|ticks)[= ][0-9x]+//g; s/^walkers-render//' <<<"$producer")
    consumer=${consumer/-video_size $told/-video_size 64x48}
    small="\"$render\" --size 64x48 --ticks 200$producer|$consumer"
    output=$(awk '{ print $NF }' <<<"$consumer")
    mkdir "$tmp/$count"
    for run in first second; do
      (cd "$tmp/$count" && bash -c "set -o pipefail; $small" </dev/null >"$tmp/log" 2>&1) ||
        { cat "$tmp/log" >&2; fail "$document: $run run failed: $pipeline"; }
    done
    frames=$(ffprobe -v error -count_frames -select_streams v:0 \
      -show_entries stream=nb_read_frames -of csv=p=0 "$tmp/$count/$output")
    [ "$frames" -ge 2 ] || fail "$document: $output has $frames frames: $pipeline"
    if [[ $output == *.mp4 ]]; then
      format=$(ffprobe -v error -select_streams v:0 -show_entries stream=pix_fmt -of csv=p=0 \
        "$tmp/$count/$output")
      [ "$format" = yuv420p ] || fail "$document: $output has pixel format $format, not yuv420p"
    fi
    outputs+=("$output")
  done
done

# The documents show a video and a GIF; a pipeline the extraction no longer finds fails here.
[[ " ${outputs[*]} " == *.mp4\ * && " ${outputs[*]} " == *.gif\ * ]] ||
  fail "expected an MP4 and a GIF pipeline in $*, found: ${outputs[*]:-none}"
echo "documented pipelines: $count ok"
