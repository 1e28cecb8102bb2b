#!/usr/bin/env bash
# Renders the show, or one stretch of it, to an MP4 with its sound:
#
#   tools/render.sh [--from SECONDS] [--to SECONDS] [-o FILE] [--parts N]
#                   [--size WxH] [--pad WxH]
#
# e.g. tools/render.sh --from 180 --to 200 -o forest.mp4. The frames are those
# the program's frame capture (-dg) records, the sound that of exactly those
# frames (build/quillmora-render), H.264 and AAC muxed by ffmpeg, under a
# private X server. Without --from and --to it renders the whole show (FILE
# defaults to quillmora.mp4). --parts N renders the stretch in N processes at
# once, each with one llvmpipe thread, as consecutive pieces that are joined
# at the end; the default is QUILL_RENDER_PARTS, else 2 (see the README for
# why).
# --size WxH scales the 800x600 picture to W x H with a lanczos filter (W:H
# must be 4:3 give or take half a percent: a picture is never stretched).
# --pad WxH pillarboxes (or letterboxes) the picture into a W x H frame: it is
# scaled to fit, keeping its shape (to the --size given, if any), and centred
# on black. W and H are even, at most 8192. Frames and sound are otherwise
# unchanged.
# Prints a progress line with an estimate of the time left. Builds what is
# missing first, unless QUILL_RENDER_TOOL names a quillmora-render to use.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

from=0 to= out=$PWD/quillmora.mp4 parts=${QUILL_RENDER_PARTS:-2} size= pad=
usage="usage: tools/render.sh [--from SECONDS] [--to SECONDS] [-o FILE] [--parts N] [--size WxH] [--pad WxH]"
while [ $# -gt 0 ]; do
    [ $# -ge 2 ] || { echo "$usage" >&2; exit 2; }
    case $1 in
        --from) from=$2; shift 2 ;;
        --to) to=$2; shift 2 ;;
        -o) out=$2; shift 2 ;;
        --parts) parts=$2; shift 2 ;;
        --size) size=$2; shift 2 ;;
        --pad) pad=$2; shift 2 ;;
        *) echo "$usage" >&2; exit 2 ;;
    esac
done
case $parts in [1-9]) ;; *) echo "render.sh: --parts takes 1 to 9" >&2; exit 2 ;; esac

# The picture: flipped upright (the frames come bottom row first), then
# scaled and padded as asked.
check_dimensions() { # check_dimensions --size WxH
    [[ $2 =~ ^([1-9][0-9]*)x([1-9][0-9]*)$ ]] &&
        [ $((BASH_REMATCH[1] % 2)) -eq 0 ] && [ $((BASH_REMATCH[2] % 2)) -eq 0 ] &&
        [ "${BASH_REMATCH[1]}" -le 8192 ] && [ "${BASH_REMATCH[2]}" -le 8192 ] ||
        { echo "render.sh: $1 takes WxH, both even and at most 8192, e.g. 1440x1080 (not $2)" >&2; exit 2; }
}
filter=vflip
if [ -n "$size" ]; then
    check_dimensions --size "$size"
    sw=${size%x*} sh=${size#*x}
    awk -v w="$sw" -v h="$sh" 'BEGIN { r = 3 * w / (4 * h); exit !(r > 0.995 && r < 1.005) }' ||
        { echo "render.sh: --size $size would stretch the 4:3 picture; pad it instead (--pad $size)" >&2; exit 2; }
fi
if [ -n "$pad" ]; then
    check_dimensions --pad "$pad"
    pw=${pad%x*} ph=${pad#*x}
    if [ -z "$size" ]; then
        # The largest even 4:3 size that fits.
        read -r sw sh < <(awk -v w="$pw" -v h="$ph" 'BEGIN { f = (w / 800 < h / 600) ? w / 800 : h / 600;
            printf "%d %d\n", 2 * int(400 * f + 1e-9), 2 * int(300 * f + 1e-9) }')
    fi
    [ "$sw" -le "$pw" ] && [ "$sh" -le "$ph" ] ||
        { echo "render.sh: --size $size does not fit into --pad $pad" >&2; exit 2; }
fi
if [ -n "$size$pad" ]; then
    filter+=",scale=$sw:$sh:flags=lanczos,setsar=1"
    [ -n "$pad" ] && filter+=",pad=$pw:$ph:$(((pw - sw) / 4 * 2)):$(((ph - sh) / 4 * 2)):black"
fi
# The song lasts about 272.8 s: 121 orders of 32 rows of 3105 samples, after
# one row of lead.
show_end=$(awk 'BEGIN { printf "%.3f", (3105 + 121 * 32 * 3105) / 44100 }')
end=${to:-$show_end}
awk -v a="$from" -v b="$end" 'BEGIN { exit !(a >= 0 && b > a) }' ||
    { echo "render.sh: --to must lie after --from" >&2; exit 2; }

if [ -n "${QUILL_RENDER_TOOL:-}" ]; then
    RENDER=$QUILL_RENDER_TOOL
else
    quill_build >/dev/null
    RENDER="$QUILL_ROOT/build/quillmora-render"
fi
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

# With one process the stretch is one piece. With N processes it is cut into
# 6 N pieces of equal song time, N of them rendered at a time, so that cheap
# and costly scenes even out between the processes; each piece replays the
# song from the start without drawing, a second or two of synthesis.
pieces=1
[ "$parts" -gt 1 ] && pieces=$((6 * parts))
total=$(awk -v a="$from" -v b="$end" 'BEGIN { printf "%d", (b - a) * 44100 / 1024 }')
threads=()
[ "$parts" -gt 1 ] && threads=(LP_NUM_THREADS=1)
render_piece() {
    local i=$1 range
    range=(--from "$(awk -v a="$from" -v b="$end" -v i="$i" -v n="$pieces" 'BEGIN { printf "%.6f", a + i * (b - a) / n }')")
    if [ $((i + 1)) -lt "$pieces" ]; then
        range+=(--to "$(awk -v a="$from" -v b="$end" -v i="$i" -v n="$pieces" 'BEGIN { printf "%.6f", a + (i + 1) * (b - a) / n }')")
    elif [ -n "$to" ]; then
        range+=(--to "$to")
    fi
    env "${threads[@]}" "$RENDER" -q "${range[@]}" --sound "$work/sound$i.raw" 7>&1 >/dev/null 2>"$work/render$i.err" |
        ffmpeg -loglevel error -nostats -progress "$work/progress$i" -y \
            -f rawvideo -pix_fmt rgb24 -s 800x600 -framerate 44100/1024 -i - \
            -vf "$filter" -c:v libx264 -preset veryfast -crf 18 -pix_fmt yuv420p "$work/video$i.mp4"
}
(
    for ((i = 0; i < pieces; i++)); do
        while [ "$(jobs -rp | wc -l)" -ge "$parts" ]; do wait -n || true; done
        render_piece "$i" &
    done
    wait
) &
pids+=($!)

start=$(date +%s)
running=1
while [ $running -eq 1 ]; do
    sleep 2
    running=0
    for p in "${pids[@]}"; do kill -0 "$p" 2>/dev/null && running=1; done
    done_frames=0
    for ((i = 0; i < pieces; i++)); do
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
for ((i = 0; i < pieces; i++)); do
    if [ -s "$work/render$i.err" ]; then cat "$work/render$i.err" >&2; fi
    [ -s "$work/sound$i.raw" ] && [ -s "$work/video$i.mp4" ] || status=1
done
[ $status -eq 0 ] || { echo "render.sh: rendering failed" >&2; exit 1; }

for ((i = 0; i < pieces; i++)); do echo "file 'video$i.mp4'"; done >"$work/videos.txt"
for ((i = 0; i < pieces; i++)); do cat "$work/sound$i.raw"; done >"$work/sound.raw"
ffmpeg -loglevel error -y -f concat -safe 0 -i "$work/videos.txt" \
    -f s16le -ar 44100 -ac 2 -i "$work/sound.raw" \
    -map 0:v -map 1:a -c:v copy -c:a aac -b:a 192k "$out"
echo "Wrote $out ($(( $(date +%s) - start )) s)" >&2
