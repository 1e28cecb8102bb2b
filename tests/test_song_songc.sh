#!/usr/bin/env bash
# songc as the build runs it: the song compiles to the same image twice, and a
# malformed source is rejected with "file:line: message", status 1 and no
# image (not even a partial or temporary one), leaving an older image alone.
#
# usage: test_song_songc.sh SONGC SONG_DIR
set -euo pipefail
songc=$1 dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
files=("$dir/song.txt" "$dir/instruments.txt" "$dir/samples.txt" "$dir/sequences.txt" "$dir/patterns.txt")

"$songc" -o "$work/a.bin" "${files[@]}" || fail "the song does not compile"
"$songc" -o "$work/b.bin" "${files[@]}"
cmp -s "$work/a.bin" "$work/b.bin" || fail "two compilations differ"

# Break the first row of pattern 7 (the beat) in a copy of the patterns.
sed 's/^00 F#2 12 \.\.\. F08$/00 F#2 12 ... F0G/' "$dir/patterns.txt" >"$work/patterns.txt"
cmp -s "$dir/patterns.txt" "$work/patterns.txt" && fail "the test could not break the source"
line=$(grep -n '^00 F#2 12 \.\.\. F0G$' "$work/patterns.txt" | cut -d: -f1)
cp "$work/a.bin" "$work/old.bin"
set +e
"$songc" -o "$work/old.bin" "${files[@]:0:4}" "$work/patterns.txt" 2>"$work/err.txt"
status=$?
set -e
[ "$status" = 1 ] || fail "status $status for a malformed source"
grep -qx "$work/patterns.txt:$line: effect 'F0G' has a digit that is not hex" "$work/err.txt" ||
  fail "message: $(cat "$work/err.txt")"
cmp -s "$work/a.bin" "$work/old.bin" || fail "the older image was overwritten"
[ ! -e "$work/old.bin.tmp" ] || fail "a temporary image was left behind"
echo "ok: rejected at line $line, image untouched"
