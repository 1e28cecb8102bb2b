#!/usr/bin/env bash
# tools/render.sh's --size and --pad on one second that crosses from the title
# into the projector room: the MP4's streams, sizes, frame rate and frame
# count as ffprobe reads them, the pillarbox's bars black and the picture
# between them not; and the sizes it must refuse before rendering anything.
#
# usage: test_render_video.sh RENDER_TOOL
set -euo pipefail
export QUILL_RENDER_TOOL=$1
render_sh=$(dirname "$(readlink -f "$0")")/../tools/render.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# Refused at once, with status 2: a stretching size, odd or malformed sizes,
# a size that does not fit into the pad.
for args in "--size 1920x1080" "--size 641x480" "--pad 1280x" "--size 1440x1080 --pad 1280x720"; do
    status=0
    # shellcheck disable=SC2086 # the words of args are separate arguments
    bash "$render_sh" $args --from 13 --to 14 -o "$work/refused.mp4" 2>"$work/err" || status=$?
    [ $status -eq 2 ] && [ -s "$work/err" ] && [ ! -e "$work/refused.mp4" ] ||
        fail "render.sh $args: status $status, not refused"
done

expect_streams() { # expect_streams FILE WIDTH HEIGHT
    local streams video audio
    streams=$(ffprobe -v error -show_entries stream=codec_type -of csv=p=0 "$1" | tr '\n' ' ')
    [ "$streams" = "video audio " ] || fail "${1##*/}: streams $streams"
    # codec, size, pixel shape, 44100/1024 frames a second (reduced), one second's frames
    video=$(ffprobe -v error -count_frames -select_streams v:0 -of csv=p=0 \
        -show_entries stream=codec_name,width,height,sample_aspect_ratio,r_frame_rate,nb_read_frames "$1")
    [ "$video" = "h264,$2,$3,1:1,11025/256,43" ] || fail "${1##*/}: video $video"
    audio=$(ffprobe -v error -select_streams a:0 -of csv=p=0 -show_entries stream=codec_name,sample_rate,channels "$1")
    [ "$audio" = "aac,44100,2" ] || fail "${1##*/}: audio $audio"
}

bash "$render_sh" --from 13 --to 14 --parts 1 --size 640x480 -o "$work/sized.mp4" 2>"$work/sized.err" ||
    { cat "$work/sized.err" >&2; fail "render.sh --size failed"; }
expect_streams "$work/sized.mp4" 640 480

bash "$render_sh" --from 13 --to 14 --parts 1 --pad 1280x720 -o "$work/padded.mp4" 2>"$work/padded.err" ||
    { cat "$work/padded.err" >&2; fail "render.sh --pad failed"; }
expect_streams "$work/padded.mp4" 1280 720
# The 4:3 picture is 960 wide, so each bar is 160 columns. Keeping clear of
# the edges, where the encoder may blur a little: the bars are black (no byte
# above 32), the picture has light in it.
region() { # region CROP: the first frame's RGB bytes inside the crop
    ffmpeg -v error -i "$work/padded.mp4" -frames:v 1 -vf "crop=$1" -f rawvideo -pix_fmt rgb24 -
}
[ -z "$(region 150:720:0:0 | tr -d '\000-\040' | head -c 1)" ] || fail "the left bar is not black"
[ -z "$(region 150:720:1130:0 | tr -d '\000-\040' | head -c 1)" ] || fail "the right bar is not black"
[ "$(region 940:720:170:0 | tr -d '\000-\200' | head -c 1000 | wc -c)" -eq 1000 ] || fail "the picture is dark"
echo "ok: --size 640x480 and --pad 1280x720 give the sizes and streams asked for"
