#!/usr/bin/env bash
# Installs what is missing, builds, and plays the show; arguments go to the
# program (-w for a window). Without a sound device it plays silent. Without a display it renders the show to
# quillmora.mp4 instead, with tools/render.sh (frames and sound as the
# program's captures give them, H.264 and AAC).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
quill_install_packages
quill_build
BIN="$QUILL_ROOT/build/quillmora"

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    quill_play "$BIN" "$@"
    exit
fi

OUT=${QUILL_MP4:-$PWD/quillmora.mp4}
echo "No display available: rendering the show to $OUT instead (this takes a while)." >&2
exec "$QUILL_ROOT/tools/render.sh" -o "$OUT"
