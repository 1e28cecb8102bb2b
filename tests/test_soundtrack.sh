#!/usr/bin/env bash
# The soundtrack export against the program's own sound capture: the WAV's
# samples must be exactly the -ds stream on descriptor 7 after its 60
# constant-level pre-roll buffers, and (for the whole song) end with the
# buffer that publishes the song's end, where the program stops.
#
# usage: test_soundtrack.sh PROGRAM SOUNDTRACK_TOOL [SECONDS]
#   SECONDS given: compare that much of the start; else the whole song.
set -euo pipefail
program=$1 tool=$2 seconds=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

preroll=$((60 * 4096))

"$tool" -q -o "$work/song.wav"
size=$(stat -c %s "$work/song.wav")
data=$((size - 44))
[ "$(head -c 4 "$work/song.wav")" = RIFF ] || fail "no RIFF header"
[ "$(head -c 16 "$work/song.wav" | tail -c 8)" = "WAVEfmt " ] || fail "not a WAVE file"
read -r riff_size <<<"$(od -An -tu4 -j4 -N4 "$work/song.wav")"
read -r rate <<<"$(od -An -tu4 -j24 -N4 "$work/song.wav")"
read -r channels <<<"$(od -An -tu2 -j22 -N2 "$work/song.wav")"
read -r bits <<<"$(od -An -tu2 -j34 -N2 "$work/song.wav")"
read -r data_size <<<"$(od -An -tu4 -j40 -N4 "$work/song.wav")"
[ "$rate" = 44100 ] && [ "$channels" = 2 ] && [ "$bits" = 16 ] || fail "format $rate Hz, $channels channels, $bits bits"
[ "$data_size" = "$data" ] && [ "$riff_size" = $((data + 36)) ] || fail "sizes in the header do not match the file"
[ $((data % 4096)) = 0 ] || fail "data is not a whole number of buffers: $data bytes"
# Every real buffer up to the one that publishes the song's end: 121 orders
# of 32 rows of 3105 samples, starting 3105 samples into the first.
[ "$data" = $((((3105 + 121 * 32 * 3105) / 1024 + 1) * 4096)) ] ||
    fail "the song is $data bytes, not its 121 orders up to the buffer that ends it"

# --raw is the same samples without the header.
"$tool" -q --raw -o - | cmp - <(tail -c +45 "$work/song.wav") || fail "--raw differs from the WAV data"

xvfb=(xvfb-run -a -s "-screen 0 1024x768x24 -noreset")
if [ -n "$seconds" ]; then
    bytes=$((seconds * 44100 * 4))
    # The program stops by itself once its reader has what it needs.
    set +o pipefail
    "${xvfb[@]}" "$program" -w -ds 7>&1 >/dev/null 2>"$work/program.err" | head -c $((preroll + bytes)) >"$work/ds.raw"
    set -o pipefail
    [ "$(stat -c %s "$work/ds.raw")" = $((preroll + bytes)) ] || { cat "$work/program.err" >&2; fail "short capture"; }
else
    "${xvfb[@]}" "$program" -w -ds 7>"$work/ds.raw" >"$work/program.out" 2>"$work/program.err" ||
        { cat "$work/program.err" >&2; fail "the program failed"; }
    [ ! -s "$work/program.out" ] || fail "the program wrote to standard output"
    bytes=$data
    captured=$(stat -c %s "$work/ds.raw")
    [ "$captured" = $((preroll + data)) ] || fail "capture has $captured bytes, export $((preroll + data)) with the pre-roll"
fi

others=$(head -c "$preroll" "$work/ds.raw" | od -An -v -tx2 | tr -s ' ' '\n' | grep -v '^$' | grep -vc '^03e8$' || true)
[ "$others" = 0 ] || fail "$others pre-roll samples are not 1000"
cmp <(tail -c +$((preroll + 1)) "$work/ds.raw" | head -c "$bytes") <(tail -c +45 "$work/song.wav" | head -c "$bytes") ||
    fail "the export differs from the sound capture"
echo "soundtrack: $bytes bytes identical to the sound capture"
