#!/usr/bin/env bash
# The stretch renderer against the program's own captures: its frames must be
# byte for byte the frame capture's (-dg) for the same frames, its sound the
# soundtrack export's samples of the buffers that follow those frames, and
# two adjacent stretches must join into exactly the one stretch that covers
# both. The stretch crosses the cut from the title to the projector room.
#
# usage: test_render.sh PROGRAM RENDER_TOOL SOUNDTRACK_TOOL
set -euo pipefail
program=$1 render=$2 soundtrack=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
xvfb=(xvfb-run -a -s "-screen 0 1024x768x24 -noreset")
frame=$((800 * 600 * 3)) buffer=4096

"${xvfb[@]}" "$render" --from 13 --to 14.5 --sound "$work/s.raw" 7>"$work/f.raw" 2>"$work/render.err" ||
    { cat "$work/render.err" >&2; fail "the renderer failed"; }
read -r _ begin end < <(head -n 1 "$work/render.err")
# Song seconds to frames: 1024 samples of 44100 Hz each, rounded.
[ "$begin" = 560 ] && [ "$end" = 624 ] || fail "frames $begin to $end, not 560 to 624"
n=$((end - begin))
[ "$(stat -c %s "$work/f.raw")" = $((n * frame)) ] || fail "not $n frames"
[ "$(stat -c %s "$work/s.raw")" = $((n * buffer)) ] || fail "not $n buffers of sound"

# The program's first captured frame is drawn after its second real buffer.
set +o pipefail
"${xvfb[@]}" "$program" -w -dg 7>&1 >/dev/null 2>/dev/null | head -c $(((end - 2) * frame)) |
    tail -c $((n * frame)) >"$work/dg.raw"
set -o pipefail
cmp "$work/f.raw" "$work/dg.raw" || fail "frames differ from the program's frame capture"

# The export's buffer b starts at byte (b - 1) * 4096; frame b goes with b + 1.
"$soundtrack" -q --raw -o "$work/song.raw"
head -c $(((begin + n) * buffer)) "$work/song.raw" | tail -c $((n * buffer)) >"$work/export.raw"
cmp "$work/s.raw" "$work/export.raw" || fail "sound differs from the soundtrack export"
# Not silence: the title's music is playing.
[ "$(od -An -v -td2 -w2 "$work/s.raw" | sort -u | wc -l)" -gt 100 ] || fail "the sound is nearly constant"

"${xvfb[@]}" "$render" -q --from 13 --to 13.7 --sound "$work/s1.raw" 7>"$work/f1.raw"
"${xvfb[@]}" "$render" -q --from 13.7 --to 14.5 --sound "$work/s2.raw" 7>"$work/f2.raw"
cat "$work/f1.raw" "$work/f2.raw" | cmp - "$work/f.raw" || fail "two stretches do not join into one"
cat "$work/s1.raw" "$work/s2.raw" | cmp - "$work/s.raw" || fail "the sound of two stretches does not join"

# A stretch after the end is refused.
if "${xvfb[@]}" "$render" -q --from 400 7>/dev/null 2>/dev/null; then fail "a stretch after the end was accepted"; fi
echo "ok: $n frames and their sound match the program's captures"
