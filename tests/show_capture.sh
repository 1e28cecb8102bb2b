#!/usr/bin/env bash
# The whole show in one frame capture, and everything that one capture can
# prove (the default test run's only whole-show frame capture):
#   - it has exactly the song's frames, each a whole 800 x 600 RGB image;
#   - every frame was drawn by the scene of its section;
#   - our code allocated nothing on the heap after the first frame;
#   - a shot from quillmora-shot equals the captured frame, in every section.
# The capture runs through quillmora-probe (the show with a recorder linked
# around it) and is kept as one hash per frame.
#
# usage: show_capture.sh PROBE SHOT_TOOL FRAMEHASH [HASHES_OUT]
#   HASHES_OUT: also keep the per-frame hashes there (the determinism check).
set -uo pipefail
probe=$1 shot=$2 framehash=$3 keep=${4:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fails=0
check() { # check "description" command...
    local what=$1; shift
    if "$@"; then echo "ok   - $what"; else echo "FAIL - $what"; fails=$((fails + 1)); fi
}
xvfb=(xvfb-run -a -s "-screen 0 1024x768x24 -noreset")

# The song's frames: 121 orders of 32 rows of 3105 samples, starting 3105
# samples into the first real buffer; frame capture's first frame is the
# second real buffer, its last the one that publishes the end.
song_end_sample=$((3105 + 121 * 32 * 3105))
song_frames=$((song_end_sample / 1024))

QUILL_PROBE_LOG=$work/probe.log "${xvfb[@]}" "$probe" -w -dg 7>&1 >/dev/null 2>"$work/err" |
    "$framehash" >"$work/hashes"
status=("${PIPESTATUS[@]}")
check "frame capture ends with status 0" [ "${status[0]}" -eq 0 ]
check "every frame whole (no partial frame at the end)" [ "${status[1]}" -eq 0 ]
check "nothing on standard error" [ ! -s "$work/err" ]
frames=$(wc -l <"$work/hashes")
check "exactly the song's $song_frames frames (got $frames)" [ "$frames" -eq "$song_frames" ]
check "the probe saw the same frames" [ "$(grep -c '^frame ' "$work/probe.log")" -eq "$frames" ]
check "frames advance one buffer each, from buffer 2; only the last sees the end" \
    awk '$1 == "frame" { if ($4 != $2 + 2 || $10 != ($2 == n - 1 ? 0 : 1)) bad++ } END { exit bad > 0 }' \
    n="$frames" "$work/probe.log"
check "every frame drawn by its section's scene" awk -f "$(dirname "$0")/show_sections.awk" "$work/probe.log"
allocs=$(awk '$1 == "allocs_after_first_frame" { print $2 }' "$work/probe.log")
check "no heap allocation by our code after the first frame (got ${allocs:-none})" [ "${allocs:-x}" = 0 ]
if [ "${allocs:-0}" != 0 ]; then
    awk '$1 == "alloc_site" { print $3 }' "$work/probe.log" | sort -u | head -n 8 |
        addr2line -f -C -e "$probe" | paste - - | sed 's/^/    allocated in: /'
fi

# One moment in every section, with the scene that draws it:
#   time  scene  what
moments=(
    "3.0    0 title"
    "30.0   1 projector room"
    "60.0   1 projector room, monochrome"
    "80.0   2 meadow title"
    "100.0  3 dot screen"
    "118.0  3 dot screen, flag set"
    "135.0  4 bump tunnel"
    "160.0  5 blob tube"
    "190.0  7 metaballs"
    "210.0  6 eyes and helix"
    "235.0  8 forest"
    "243.3  3 forest: dot-screen cut-away"
    "243.7  7 forest: metaball cut-away"
    "251.6  5 forest: blob cut-away"
    "254.5  4 forest: bump cut-away"
    "266.0  9 signature"
)
times=()
for m in "${moments[@]}"; do read -r t _ <<<"$m"; times+=("$t"); done
"${xvfb[@]}" "$shot" -o "$work/shots" "${times[@]}" >/dev/null 2>"$work/shot.err"
check "shots taken" [ $? -eq 0 ]
for m in "${moments[@]}"; do
    read -r t scene what <<<"$m"
    png=$work/shots/$(printf '%.3f' "$t").png
    # Frame capture's frame k (from 0) is buffer k + 2.
    index=$(awk -v t="$t" 'BEGIN { b = t / 0.023219954648526078; printf "%d", (b - int(b) >= 0.5 ? int(b) + 1 : int(b)) - 2 }')
    drawn=$(awk -v k="$index" '$1 == "frame" && $2 == k { print $12 }' "$work/probe.log")
    shot_hash=$("$framehash" --png "$png" 2>/dev/null | awk '{ print $2 }')
    frame_hash=$(awk -v k="$index" '$1 == k { print $2 }' "$work/hashes")
    check "$what at $t s: drawn by scene $scene" [ "$drawn" = "$scene" ]
    check "$what at $t s: the shot equals captured frame $index" [ "${shot_hash:-none}" = "$frame_hash" ]
done
check "the show is not a few still pictures" [ "$(sort -u -k2,2 "$work/hashes" | wc -l)" -gt 1000 ]

[ -n "$keep" ] && cp "$work/hashes" "$keep"
echo "$fails failed"
[ $fails -eq 0 ]
