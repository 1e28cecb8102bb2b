#!/usr/bin/env bash
# songc as the build runs it: the song compiles to the same image twice, and a
# malformed source is rejected with "file:line: message", status 1 and no
# image (not even a partial or temporary one), leaving an older image alone.
# A folder given as a source is refused; an image whose writing fails, or
# whose writing is cut short by a signal, leaves nothing behind.
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
only() { # only FOLDER NAME...: the folder holds exactly these names
    local want=""
    [ $# -gt 1 ] && want=$(printf '%s\n' "${@:2}" | sort)
    [ "$(ls -A "$1" | sort)" = "$want" ]
}
only "$work" a.bin b.bin err.txt old.bin patterns.txt || fail "left behind: $(ls -A "$work")"
echo "ok: rejected at line $line, image untouched"

# A folder is not a song source (it used to read as an empty file).
mkdir "$work/out" "$work/folder.txt"
set +e
"$songc" -o "$work/out/dir.bin" "${files[@]}" "$work/folder.txt" 2>"$work/err.txt"
status=$?
set -e
[ "$status" = 1 ] || fail "status $status for a folder as a source"
grep -qx "$work/folder.txt: is a directory, not a song source" "$work/err.txt" || fail "message: $(cat "$work/err.txt")"
only "$work/out" || fail "an image was written for a folder: $(ls -A "$work/out")"

# Writing the image fails (a file-size limit far below its size): status 1, a
# message saying why, and nothing left in the folder.
cp "$work/a.bin" "$work/out/old.bin"
set +e
(ulimit -f 64; trap '' XFSZ; "$songc" -o "$work/out/old.bin" "${files[@]}") 2>"$work/err.txt"
status=$?
set -e
[ "$status" = 1 ] || fail "status $status when the write fails"
grep -q "old.bin: cannot write: File too large" "$work/err.txt" || fail "message: $(cat "$work/err.txt")"
cmp -s "$work/a.bin" "$work/out/old.bin" || fail "the older image was damaged by a failed write"
only "$work/out" old.bin || fail "a failed write left: $(ls -A "$work/out")"

# The same limit, with its signal left to end the program mid-write.
rm "$work/out/old.bin"
set +e
{ (ulimit -f 64; "$songc" -o "$work/out/killed.bin" "${files[@]}"); } 2>/dev/null
status=$?
set -e
[ "$status" -gt 128 ] || fail "status $status: the write was not cut short by SIGXFSZ"
only "$work/out" || fail "an interrupted write left: $(ls -A "$work/out")"
echo "ok: a folder, a failed write and an interrupted write leave no image"
