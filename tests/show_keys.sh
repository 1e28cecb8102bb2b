#!/usr/bin/env bash
# Real key presses through the X server across the whole show, on
# quillmora-probe (the show with a recorder, see tests/probe.cpp) in sound
# capture, which advances one audio buffer per frame. Right arrows seek
# forward order by order to the closing section, with f, Shift+f and Space in
# every section on the way; Left arrows seek back to the start; q quits. The
# probe's position file tells the script where the show is.
# From the probe's per-frame record it checks that
#   - every key sent was handled, one per frame, and q ends the show at once;
#   - each seek moves the song within SEEK_FRAMES frames (no stall);
#   - after every seek each frame is drawn by the scene of its section;
#   - f sets and Shift+f clears the flag where the section leaves it alone;
#   - Space prints the knob line, exactly, once per press;
#   - our code allocated nothing after the first frame, seeks included.
#
# usage: show_keys.sh PROBE
set -uo pipefail
probe=$(readlink -f "$1")
work=$(mktemp -d)
xvfb_pid=
trap '[ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null; [ -n "${QUILL_KEEP_LOG:-}" ] && cp "$work/probe.log" "$QUILL_KEEP_LOG"; rm -rf "$work"' EXIT
fails=0
check() { # check "description" command...
    local what=$1; shift
    if "$@"; then echo "ok   - $what"; else echo "FAIL - $what"; fails=$((fails + 1)); fi
}
# A Right press takes effect at the next row step (a row is 3105 samples,
# about three buffers); a Left press in the same buffer.
SEEK_FRAMES=5
KEY_RIGHT=275 KEY_LEFT=276 KEY_SPACE=32 KEY_F=102 KEY_Q=113

source "$(dirname "$0")/../tools/setup.sh"
set +e # setup.sh turns it on; statuses are checked here one by one
quill_start_xvfb
xvfb_pid=$QUILL_XVFB_PID

QUILL_PROBE_LOG=$work/probe.log QUILL_PROBE_NOW=$work/now "$probe" -w -ds 7>/dev/null >"$work/out" 2>"$work/err" &
pid=$!
window=$(xdotool search --sync --onlyvisible --name Quillmora 2>/dev/null | head -n 1)
xdotool windowfocus --sync "$window" 2>/dev/null
# The published order and the index of the frame just drawn (the probe keeps
# them in a file).
order_now() { local o=0; read -r o _ <"$work/now" 2>/dev/null; echo "${o:-0}"; }
frame_now() { local f=0; read -r _ _ f <"$work/now" 2>/dev/null; echo "${f:-0}"; }
# The show handles one event per frame, and a full event queue drops what
# comes next; so after sending keys, wait until it has drawn a frame for each
# event (down and up, Shift's too) and a few more. Frames that do not come
# within 20 s are a stall.
stalls=0
keys() {
    local from events=0 k
    from=$(frame_now)
    for k in "$@"; do events=$((events + 2)); [[ $k == shift+* ]] && events=$((events + 2)); done
    xdotool key --delay 40 "$@" 2>/dev/null
    for _ in $(seq 1000); do [ "$(frame_now)" -ge $((from + events + 3)) ] && return; sleep 0.02; done
    stalls=$((stalls + 1))
}

rights=0 lefts=0 flags=0 spaces=0
# Forward into the closing section (order heard 117 of 0..120): Right presses
# until the song is there, a press acting at the next row step (presses
# within one row act once); the flag and the knob line every few presses, so
# in every section. At most 400 presses.
while [ "$(order_now)" -lt 118 ] && [ $rights -lt 400 ]; do
    keys Right; rights=$((rights + 1))
    if [ $((rights % 6)) -eq 3 ]; then
        keys f space shift+f space; flags=$((flags + 2)); spaces=$((spaces + 2))
    fi
done
# Back to the first orders: each press goes back one to three orders.
while [ "$(order_now)" -gt 2 ] && [ $lefts -lt 400 ]; do keys Left; lefts=$((lefts + 1)); done
keys space; spaces=$((spaces + 1))
xdotool key q 2>/dev/null # the show ends here: no frames to wait for
for _ in $(seq 600); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
wait $pid
status=$?
log=$work/probe.log

check "q quits with status 0" [ $status -eq 0 ]
check "the show never stalled: every key's frames came" [ $stalls -eq 0 ]
check "nothing on standard output" [ ! -s "$work/out" ]
count_keys() { awk -v k="$1" -v s="$2" '$1 == "frame" && $14 == k && (s == "" || $20 == s)' "$log" | wc -l; }
check "every Right handled ($rights sent)" [ "$(count_keys $KEY_RIGHT '')" -eq $rights ]
check "every Left handled ($lefts sent)" [ "$(count_keys $KEY_LEFT '')" -eq $lefts ]
check "every f and Shift+f handled" [ "$(count_keys $KEY_F 0) $(count_keys $KEY_F 1)" = "$((flags / 2)) $((flags / 2))" ]
check "q handled in the last frame" awk -v q=$KEY_Q '$1 == "frame" { last = $14 } END { exit last != q }' "$log"
check "the song was still playing when q came" awk '$1 == "frame" && $10 != 1 { bad++ } END { exit bad > 0 }' "$log"

# Seeks: the published order moves within SEEK_FRAMES frames of each press
# (forward: up, unless already at the last order; back: down, unless at the
# first two).
check "each Right moves the song forward within $SEEK_FRAMES frames" awk -v key=$KEY_RIGHT -v n=$SEEK_FRAMES '
    $1 == "frame" { order[$2] = $6; k[$2] = $14; last = $2 }
    END { for (i = 1; i <= last; i++) if (k[i] == key && order[i - 1] < 120) {
              moved = 0
              for (j = i; j <= i + n && j <= last; j++) if (order[j] > order[i - 1]) moved = 1
              if (!moved) { printf "Right in frame %d: order stays %d\n", i, order[i - 1]; bad++ } }
          exit bad > 0 }' "$log"
check "each Left moves the song back within $SEEK_FRAMES frames" awk -v key=$KEY_LEFT -v n=$SEEK_FRAMES '
    $1 == "frame" { order[$2] = $6; k[$2] = $14; last = $2 }
    END { for (i = 1; i <= last; i++) if (k[i] == key && order[i - 1] > 2) {
              moved = 0
              for (j = i; j <= i + n && j <= last; j++) if (order[j] < order[i - 1]) moved = 1
              if (!moved) { printf "Left in frame %d: order stays %d\n", i, order[i - 1]; bad++ } }
          exit bad > 0 }' "$log"
check "forward reached the closing section" awk '$1 == "frame" && $6 - 1 >= 116 { seen = 1 } END { exit !seen }' "$log"
check "back reached the first orders" awk '$1 == "frame" && $2 > 100 && $6 <= 2 { seen = 1 } END { exit !seen }' "$log"
check "all ten scenes drawn" [ "$(awk '$1 == "frame" { print $12 }' "$log" | sort -u | wc -l)" -eq 10 ]
check "every frame drawn by its section's scene" awk -f "$(dirname "$0")/show_sections.awk" "$log"

# The flag: in sections that leave scene_flag alone (title, bump tunnel,
# blob, metaballs, forest, signature) f sets it and Shift+f clears it in the
# frame that handles the key; elsewhere the schedule writes its own value.
check "f sets and Shift+f clears the flag" awk -v key=$KEY_F '
    $1 == "frame" && $14 == key && ($12 == 0 || $12 == 4 || $12 == 5 || $12 == 7 || $12 == 8 || $12 == 9) {
        tried++; if ($18 != 1 - $20) { printf "frame %d: flag %d after f with shift %d\n", $2, $18, $20; bad++ } }
    END { printf "flag checked in %d frames\n", tried; exit bad > 0 || tried < 6 }' "$log"

check "Space prints one exact knob line per press ($spaces)" \
    [ "$(grep -cE '^Knobs:( -?[0-9]+\.[0-9]{6}){8}$' "$work/err")" -eq $spaces ]
check "standard error holds only knob lines" [ "$(grep -vc '^Knobs:' "$work/err")" -eq 0 ]
allocs=$(awk '$1 == "allocs_after_first_frame" { print $2 }' "$log")
check "no heap allocation by our code after the first frame (got ${allocs:-none})" [ "${allocs:-x}" = 0 ]

echo "$fails failed"
[ $fails -eq 0 ]
