#!/usr/bin/env bash
# The exported soundtrack against the song's level targets, measured by
# ffmpeg's loudness meter (ITU-R BS.1770) and level statistics: integrated
# loudness -16 to -11 LUFS, true peak at or below -1 dBTP, no sample at full
# scale, no DC offset, and a close that has died away (below -60 dBFS) in
# the export's last buffer, where the program stops too.
#
# usage: test_song_export.sh SOUNDTRACK_TOOL
# Skips (status 77) where ffmpeg is not installed.
set -euo pipefail
tool=$1
command -v ffmpeg >/dev/null || { echo "ffmpeg not installed: skipped"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$tool" -q -o "$work/song.wav"
ffmpeg -hide_banner -nostats -i "$work/song.wav" \
  -af ebur128=peak=true,astats=measure_perchannel=none:measure_overall=DC_offset+Max_level+Min_level \
  -f null - 2>"$work/log.txt" || fail "ffmpeg could not read the export"
summary=$(sed -n '/Summary:/,$p' "$work/log.txt")
lufs=$(awk '/^ *I:/ {print $2}' <<<"$summary")
peak=$(awk '/^ *Peak:/ {print $2}' <<<"$summary")
dc=$(awk '/DC offset:/ {print $NF}' "$work/log.txt" | tail -1)
max=$(awk '/Max level:/ {print $NF}' "$work/log.txt" | tail -1)
min=$(awk '/Min level:/ {print $NF}' "$work/log.txt" | tail -1)
echo "integrated $lufs LUFS, true peak $peak dBTP, dc $dc, sample range $min .. $max"
[ -n "$lufs" ] && [ -n "$peak" ] && [ -n "$dc" ] && [ -n "$max" ] || fail "no measurement in ffmpeg's output"
awk -v v="$lufs" 'BEGIN { exit !(v >= -16 && v <= -11) }' || fail "loudness $lufs LUFS outside -16 .. -11"
awk -v v="$peak" 'BEGIN { exit !(v <= -1.0) }' || fail "true peak $peak dBTP above -1"
# astats reports levels as fractions of full scale (32768).
awk -v a="$max" -v b="$min" 'BEGIN { exit !(a < 32767 / 32768 && b > -1) }' || fail "a sample reaches full scale ($min .. $max)"
# The 60 pre-roll buffers at the constant 1000 are not in the export, so the
# offset is the song's own; it stays under a quarter of the pre-roll level
# (250 of 32768). The pulse arpeggio pulls it down, the fm bass up.
awk -v v="$dc" 'BEGIN { exit !(v < 250 / 32768 && v > -250 / 32768) }' || fail "DC offset $dc"
# The last buffer of 1024 stereo frames: every sample within +-32 (-60 dBFS).
last=$(tail -c 4096 "$work/song.wav" | od -An -v -td2 | tr -s ' ' '\n' | grep -v '^$' |
       awk '{ v = $1 < 0 ? -$1 : $1; if (v > m) m = v } END { print m + 0 }')
echo "last buffer peak $last of 32768"
[ "$last" -le 32 ] || fail "the song is cut off: the last buffer still peaks at $last of 32768"
