#!/usr/bin/env bash
# Whole-show runs for the long checks.
#
#   show_twice.sh frames PROGRAM FRAMEHASH   two frame captures, identical frame for frame
#   show_twice.sh sound PROGRAM              two sound captures, identical byte for byte
#   show_twice.sh frames-once PROGRAM FRAMEHASH
#                                            one frame capture (under the sanitizers):
#                                            status 0, the song's frames, nothing on stderr
set -uo pipefail
mode=$1 program=$2 framehash=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
xvfb=(xvfb-run -a -s "-screen 0 1024x768x24 -noreset")
fail() { echo "FAIL: $*" >&2; exit 1; }
song_frames=$(((3105 + 121 * 32 * 3105) / 1024))

capture_frames() { # capture_frames OUT: per-frame hashes of one whole-show frame capture
    "${xvfb[@]}" "$program" -w -dg 7>&1 >/dev/null 2>"$work/err" | "$framehash" >"$1"
    local status=("${PIPESTATUS[@]}")
    [ "${status[0]}" -eq 0 ] || { cat "$work/err" >&2; fail "the program ended with status ${status[0]}"; }
    [ "${status[1]}" -eq 0 ] || fail "the frame stream ends inside a frame"
    [ ! -s "$work/err" ] || { cat "$work/err" >&2; fail "the program wrote to standard error"; }
    [ "$(wc -l <"$1")" -eq "$song_frames" ] || fail "$(wc -l <"$1") frames, not the song's $song_frames"
}

case $mode in
frames-once)
    capture_frames "$work/a"
    echo "whole show: $song_frames frames, status 0, nothing on standard error"
    ;;
frames)
    capture_frames "$work/a"
    capture_frames "$work/b"
    if ! cmp -s "$work/a" "$work/b"; then
        diff "$work/a" "$work/b" | grep '^<' | head -n 5 | sed 's/^< /differs at frame /' >&2
        fail "$(diff "$work/a" "$work/b" | grep -c '^<') of $song_frames frames differ between the two captures"
    fi
    echo "two frame captures: all $song_frames frames identical"
    ;;
sound)
    for run in a b; do
        "${xvfb[@]}" "$program" -w -ds 7>"$work/$run.raw" >/dev/null 2>"$work/err" ||
            { cat "$work/err" >&2; fail "sound capture $run failed"; }
    done
    cmp "$work/a.raw" "$work/b.raw" || fail "the two sound captures differ"
    echo "two sound captures: $(stat -c %s "$work/a.raw") bytes identical"
    ;;
*) fail "unknown mode $mode" ;;
esac
