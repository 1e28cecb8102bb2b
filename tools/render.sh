#!/usr/bin/env bash
# Renders the show, or one stretch of it, to an MP4 with its sound:
#
#   tools/render.sh [--from SECONDS] [--to SECONDS] [-o FILE] [--parts N]
#
# e.g. tools/render.sh --from 180 --to 200 -o forest.mp4. The frames are those
# the program's frame capture (-dg) records, the sound that of exactly those
# frames (build/quillmora-render), H.264 and AAC muxed by ffmpeg, under a
# private X server. Without --from and --to it renders the whole show (FILE
# defaults to quillmora.mp4). --parts N renders the stretch as N consecutive
# pieces in N processes at once, each with one llvmpipe thread, and joins
# them; the default is QUILL_RENDER_PARTS, else 1 (see the README for why).
# Prints a progress line with an estimate of the time left. Builds what is
# missing first.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

from=0 to= out=$PWD/quillmora.mp4 parts=${QUILL_RENDER_PARTS:-1}
while [ $# -gt 0 ]; do
    case $1 in
        --from) from=$2; shift 2 ;;
        --to) to=$2; shift 2 ;;
        -o) out=$2; shift 2 ;;
        --parts) parts=$2; shift 2 ;;
        *) echo "usage: tools/render.sh [--from SECONDS] [--to SECONDS] [-o FILE] [--parts N]" >&2; exit 2 ;;
    esac
done
case $parts in [1-9]) ;; *) echo "render.sh: --parts takes 1 to 9" >&2; exit 2 ;; esac
# The song lasts about 272.8 s: 121 orders of 32 rows of 3105 samples, after
# one row of lead.
show_end=$(awk 'BEGIN { printf "%.3f", (3105 + 121 * 32 * 3105) / 44100 }')
end=${to:-$show_end}
awk -v a="$from" -v b="$end" 'BEGIN { exit !(a >= 0 && b > a) }' ||
    { echo "render.sh: --to must lie after --from" >&2; exit 2; }

quill_build >/dev/null
RENDER="$QUILL_ROOT/build/quillmora-render"
work=$(mktemp -d)
QUILL_XVFB_PID=
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    [ -n "$QUILL_XVFB_PID" ] && kill "$QUILL_XVFB_PID" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
quill_start_xvfb

# Piece i covers [from + i d, from + (i + 1) d); the last runs to the end
# asked for (or of the show, when --to is not given).
total=$(awk -v a="$from" -v b="$end" 'BEGIN { printf "%d", (b - a) * 44100 / 1024 }')
threads=()
[ "$parts" -gt 1 ] && threads=(LP_NUM_THREADS=1)
for ((i = 0; i < parts; i++)); do
    a=$(awk -v a="$from" -v b="$end" -v i=$i -v n="$parts" 'BEGIN { printf "%.6f", a + i * (b - a) / n }')
    range=(--from "$a")
    if [ $((i + 1)) -lt "$parts" ]; then
        range+=(--to "$(awk -v a="$from" -v b="$end" -v i=$i -v n="$parts" 'BEGIN { printf "%.6f", a + (i + 1) * (b - a) / n }')")
    elif [ -n "$to" ]; then
        range+=(--to "$to")
    fi
    (env "${threads[@]}" "$RENDER" -q "${range[@]}" --sound "$work/sound$i.raw" 7>&1 >/dev/null 2>"$work/render$i.err" |
        ffmpeg -loglevel error -nostats -progress "$work/progress$i" -y \
            -f rawvideo -pix_fmt rgb24 -s 800x600 -framerate 44100/1024 -i - \
            -vf vflip -c:v libx264 -preset veryfast -crf 18 -pix_fmt yuv420p "$work/video$i.mp4") &
    pids+=($!)
done

start=$(date +%s)
running=1
while [ $running -eq 1 ]; do
    sleep 2
    running=0
    for p in "${pids[@]}"; do kill -0 "$p" 2>/dev/null && running=1; done
    done_frames=0
    for ((i = 0; i < parts; i++)); do
        f=$(grep -o '^frame=[0-9]*' "$work/progress$i" 2>/dev/null | tail -n 1 | cut -d= -f2 || true)
        done_frames=$((done_frames + ${f:-0}))
    done
    if [ "$done_frames" -gt 0 ] && [ "$total" -gt 0 ]; then
        now=$(date +%s)
        left=$(( (now - start) * (total - done_frames) / done_frames ))
        [ $left -lt 0 ] && left=0
        printf '\rRendering frame %d of %d (%d%%), about %d:%02d left ' \
            "$done_frames" "$total" $((100 * done_frames / total)) $((left / 60)) $((left % 60)) >&2
    fi
done
echo >&2
status=0
for p in "${pids[@]}"; do wait "$p" || status=1; done
pids=()
for ((i = 0; i < parts; i++)); do
    if [ -s "$work/render$i.err" ]; then cat "$work/render$i.err" >&2; fi
    [ -s "$work/sound$i.raw" ] && [ -s "$work/video$i.mp4" ] || status=1
done
[ $status -eq 0 ] || { echo "render.sh: rendering failed" >&2; exit 1; }

for ((i = 0; i < parts; i++)); do echo "file 'video$i.mp4'"; done >"$work/videos.txt"
for ((i = 0; i < parts; i++)); do cat "$work/sound$i.raw"; done >"$work/sound.raw"
ffmpeg -loglevel error -y -f concat -safe 0 -i "$work/videos.txt" \
    -f s16le -ar 44100 -ac 2 -i "$work/sound.raw" \
    -map 0:v -map 1:a -c:v copy -c:a aac -b:a 192k "$out"
echo "Wrote $out ($(( $(date +%s) - start )) s)" >&2
