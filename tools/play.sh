#!/usr/bin/env bash
# Installs what is missing, builds, and plays the show; arguments go to the
# program (-w for a window). Without a display it renders the show to
# quillmora.mp4 instead: the frames from the frame capture (-dg) under a
# private X server, the sound from the soundtrack export, muxed by ffmpeg.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
quill_install_packages
quill_build
BIN="$QUILL_ROOT/build/quillmora"

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    exec "$BIN" "$@"
fi

OUT=${QUILL_MP4:-$PWD/quillmora.mp4}
echo "No display available: rendering the show to $OUT instead (this takes a while)." >&2
WORK=$(mktemp -d)
QUILL_XVFB_PID=
cleanup() { [ -n "$QUILL_XVFB_PID" ] && kill "$QUILL_XVFB_PID" 2>/dev/null; rm -rf "$WORK"; }
trap cleanup EXIT

"$QUILL_ROOT/build/quillmora-soundtrack" -o "$WORK/sound.wav"
quill_start_xvfb

# A captured frame shows the song after buffer_count buffers, and the first
# captured frame is drawn after the second real buffer: trimming two buffers
# of sound puts every frame on the sound it belongs to.
FRAMES=$(( (3105 + 121 * 32 * 3105) / 1024 ))
"$BIN" -w -dg 7>&1 >/dev/null 2>"$WORK/program.err" |
    ffmpeg -loglevel error -nostats -progress "$WORK/progress" -y \
        -f rawvideo -pix_fmt rgb24 -s 800x600 -framerate 44100/1024 -i - \
        -i "$WORK/sound.wav" \
        -vf vflip -af atrim=start_sample=2048,asetpts=PTS-STARTPTS \
        -c:v libx264 -preset veryfast -crf 18 -pix_fmt yuv420p -c:a aac -b:a 192k -shortest \
        "$OUT" &
PIPE_PID=$!

START=$(date +%s)
while kill -0 "$PIPE_PID" 2>/dev/null; do
    sleep 2
    frame=$(grep -o '^frame=[0-9]*' "$WORK/progress" 2>/dev/null | tail -n 1 | cut -d= -f2)
    frame=${frame:-0}
    now=$(date +%s)
    if [ "$frame" -gt 0 ]; then
        left=$(( (now - START) * (FRAMES - frame) / frame ))
        printf '\rRendering frame %d of %d (%d%%), about %d:%02d left ' \
            "$frame" "$FRAMES" $((100 * frame / FRAMES)) $((left / 60)) $((left % 60)) >&2
    fi
done
wait "$PIPE_PID"
echo >&2
if [ -s "$WORK/program.err" ]; then cat "$WORK/program.err" >&2; fi
echo "Wrote $OUT" >&2
