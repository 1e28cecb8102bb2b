#!/usr/bin/env bash
# quillmora-soundtrack's output file appears whole or not at all: a write that
# fails (a file-size limit far below the song) ends with status 1 and the
# reason, a write cut short by a signal or a termination during the rendering
# leaves nothing, and an older file stays as it was.
#
# usage: test_soundtrack_files.sh SOUNDTRACK_TOOL
set -euo pipefail
tool=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
listing() { ls -A "$work/out" | tr '\n' ' '; }
mkdir "$work/out"
printf 'old' >"$work/out/song.wav"

set +e
(ulimit -f 2048; trap '' XFSZ; "$tool" -q -o "$work/out/song.wav") 2>"$work/err.txt"
status=$?
set -e
[ "$status" = 1 ] || fail "status $status when the write fails"
grep -q "writing $work/out/song.wav failed: File too large" "$work/err.txt" || fail "message: $(cat "$work/err.txt")"
[ "$(cat "$work/out/song.wav")" = old ] || fail "the older file was damaged"
[ "$(listing)" = "song.wav " ] || fail "a failed write left: $(listing)"

rm "$work/out/song.wav"
set +e
{ (ulimit -f 2048; "$tool" -q -o "$work/out/song.wav"); } 2>/dev/null
status=$?
set -e
[ "$status" -gt 128 ] || fail "status $status: the write was not cut short by SIGXFSZ"
[ -z "$(listing)" ] || fail "an interrupted write left: $(listing)"

# Terminated while rendering, once its temporary file exists.
"$tool" -q -o "$work/out/song.wav" &
pid=$!
for _ in $(seq 200); do [ -n "$(listing)" ] && break; sleep 0.02; done
[ -n "$(listing)" ] || fail "no temporary file while rendering"
kill -TERM "$pid"
set +e
wait "$pid"
status=$?
set -e
[ "$status" = $((128 + 15)) ] || fail "status $status after SIGTERM (did it finish first?)"
[ -z "$(listing)" ] || fail "a terminated export left: $(listing)"
echo "ok: failed, cut short and terminated exports leave no file"
