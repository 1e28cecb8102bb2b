#!/usr/bin/env bash
# Renders a strip of shots of one stretch of the show for docs/scenes.md:
#
#   tools/strip.sh NAME TIME...
#
# takes a shot at each TIME (song seconds) with quillmora-shot under a private
# X server, shrinks each to 256x192 and lays them side by side, labelled with
# their times, into docs/strips/NAME.png. Needs a build in build/.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
[ $# -ge 2 ] || { echo "usage: tools/strip.sh NAME TIME..." >&2; exit 2; }
name=$1; shift
work=$(mktemp -d)
QUILL_XVFB_PID=
cleanup() { [ -n "$QUILL_XVFB_PID" ] && kill "$QUILL_XVFB_PID" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
quill_start_xvfb
"$QUILL_ROOT/build/quillmora-shot" -o "$work" "$@"

font=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
inputs=() filters="" labels=""
i=0
for t in "$@"; do
    file=$(printf '%s/%.3f.png' "$work" "$t")
    inputs+=(-i "$file")
    filters+="[$i]scale=256:192,drawtext=fontfile=$font:text='$(printf '%.1f s' "$t")':x=6:y=h-20:fontsize=13:fontcolor=white:box=1:boxcolor=black@0.6[s$i];"
    labels+="[s$i]"
    i=$((i + 1))
done
mkdir -p "$QUILL_ROOT/docs/strips"
if [ $i -eq 1 ]; then stack="${labels}null[out]"; else stack="${labels}hstack=inputs=$i[out]"; fi
ffmpeg -loglevel error -y "${inputs[@]}" -filter_complex "${filters}${stack}" -map "[out]" \
    -frames:v 1 "$QUILL_ROOT/docs/strips/$name.png"
echo "Wrote docs/strips/$name.png" >&2
