#!/usr/bin/env bash
# A minute of normal playback (the song on SDL's audio thread, here the dummy
# driver) of the ThreadSanitizer build, with seeks, f, Shift+f and Space sent
# as real key presses through the X server, then q. Passes when the program
# quits with status 0 and ThreadSanitizer reported nothing (TSAN_OPTIONS,
# set by the test, names tests/tsan.supp and makes a report end with 66).
#
# usage: keys_tsan.sh PROGRAM
set -uo pipefail
program=$(readlink -f "$1")
work=$(mktemp -d)
xvfb_pid=
trap '[ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null; rm -rf "$work"' EXIT
source "$(dirname "$0")/../tools/setup.sh"
set +e # setup.sh turns it on; statuses are checked here one by one
quill_start_xvfb
xvfb_pid=$QUILL_XVFB_PID

SDL_AUDIODRIVER=dummy "$program" -w >/dev/null 2>"$work/err" &
pid=$!
window=$(xdotool search --sync --onlyvisible --name Quillmora 2>/dev/null | head -n 1)
xdotool windowfocus --sync "$window" 2>/dev/null
keys() { xdotool key --delay 150 "$@" 2>/dev/null; }
start=$SECONDS
# Twelve rounds of five seconds: forward through the sections, the flag both
# ways, the knob line, and now and then back. (The show handles one event a
# frame and its queue drops what overflows, so a slow build may miss some.)
for round in $(seq 12); do
    keys Right Right Right Right f space shift+f space
    [ $((round % 3)) -eq 0 ] && keys Left Left
    while [ $((SECONDS - start)) -lt $((round * 5)) ]; do sleep 0.2; done
done
keys q
for _ in $(seq 300); do kill -0 $pid 2>/dev/null || break; sleep 0.2; done
wait $pid
status=$?
if grep -q 'WARNING: ThreadSanitizer' "$work/err"; then
    grep -A 30 'WARNING: ThreadSanitizer' "$work/err" | head -n 400 >&2
    echo "FAIL: $(grep -c 'WARNING: ThreadSanitizer' "$work/err") ThreadSanitizer reports" >&2
    exit 1
fi
[ $status -eq 0 ] || { tail -n 20 "$work/err" >&2; echo "FAIL: status $status" >&2; exit 1; }
lines=$(grep -cE '^Knobs:( -?[0-9]+\.[0-9]{6}){8}$' "$work/err")
[ "$lines" -ge 1 ] && [ "$lines" -le 24 ] || { echo "FAIL: $lines knob lines for 24 Space presses" >&2; exit 1; }
echo "a minute of playback with keys: no race reported"
