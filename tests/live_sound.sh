#!/usr/bin/env bash
# The show played live, as people play it: in a window of a real X server
# (Xvfb), its sound through a real PulseAudio server that this test starts
# (user mode, -n, a null sink and a native-protocol socket in a temporary
# folder), recorded from the null sink's monitor with parec and compared with
# the soundtrack export by sound_match: after one alignment every half-second
# window follows the export, with no dropout and no shift.
#
#   live_sound.sh start PROGRAM SOUNDTRACK SOUND_MATCH
#     The first half minute (the title and the projector room's first
#     orders) is recorded and compared. Then the server is killed:
#     the show must say once that the sound stopped and go on with no pause
#     of its frames over 2 s; Right arrows hurry it to the song's end, where
#     it must stop by itself with status 0. Then the sound paths people meet
#     without a server: the plain program stops with its message and status
#     1, and the way tools/play.sh starts it plays silent instead.
#   live_sound.sh whole PROGRAM SOUNDTRACK SOUND_MATCH
#     The whole show recorded and compared; it must end by itself, status 0.
#
# Both print the live frame rates from the show's frame log (QUILL_FRAME_LOG).
# The servers, the recorder and the program are stopped whatever happens.
set -uo pipefail
mode=$1 program=$(readlink -f "$2") soundtrack=$3 match=$4
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
pulse_pid= rec_pid= show_pid=
source "$here/../tools/setup.sh"
set +e # setup.sh turns it on; statuses are checked here one by one
QUILL_XVFB_PID=
cleanup() {
    for p in $show_pid $rec_pid $pulse_pid $QUILL_XVFB_PID; do kill -9 "$p" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fails=0
check() { # check "description" command...
    local what=$1; shift
    if "$@"; then echo "ok   - $what"; else echo "FAIL - $what"; fails=$((fails + 1)); fi
}

# PulseAudio refuses nothing as root in user mode; it only warns. Its state
# and socket live in the test's folder, so nothing of the machine's is used.
export HOME=$work XDG_RUNTIME_DIR=$work PULSE_SERVER=unix:$work/pulse.sock
pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
    -L "module-null-sink sink_name=quill rate=44100" \
    -L "module-native-protocol-unix socket=$work/pulse.sock auth-anonymous=1" >"$work/pulse.log" 2>&1 &
pulse_pid=$!
for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl info >/dev/null 2>&1 || { cat "$work/pulse.log"; echo "FAIL - PulseAudio did not start"; exit 1; }
quill_start_xvfb || exit 1

"$soundtrack" --raw -q -o "$work/export.raw" || { echo "FAIL - no soundtrack export"; exit 1; }
parec -d quill.monitor --format=s16le --rate=44100 --channels=2 --raw >"$work/recording.raw" 2>"$work/parec.err" &
rec_pid=$!
SDL_AUDIODRIVER=pulse QUILL_FRAME_LOG=$work/frames.log "$program" -w >"$work/out" 2>"$work/err" &
show_pid=$!
started=$SECONDS

if [ "$mode" = start ]; then
    # Start-up (about a second) and the pre-roll, then half a minute of the song.
    while [ $((SECONDS - started)) -lt 33 ] && kill -0 $show_pid 2>/dev/null; do sleep 0.5; done
    kill $rec_pid; wait $rec_pid 2>/dev/null; rec_pid=
    kill -9 $pulse_pid; wait $pulse_pid 2>/dev/null; pulse_pid=
    window=$(xdotool search --sync --onlyvisible --name Quillmora 2>/dev/null | head -n 1)
    xdotool windowfocus --sync "$window" 2>/dev/null
    # One skip per press; the show handles one event a frame.
    for _ in $(seq 1200); do
        kill -0 $show_pid 2>/dev/null || break
        xdotool key Right 2>/dev/null
        sleep 0.1
    done
else
    for _ in $(seq 4000); do kill -0 $show_pid 2>/dev/null || break; sleep 0.1; done
fi
kill -0 $show_pid 2>/dev/null && { echo "FAIL - the show did not end"; kill -9 $show_pid; }
wait $show_pid
status=$?
show_pid=
[ -n "$rec_pid" ] && { kill $rec_pid; wait $rec_pid 2>/dev/null; rec_pid=; }

check "the show ends by itself with status 0 (got $status)" [ $status -eq 0 ]
echo "-- what the server heard, against the export:"
if [ "$mode" = start ]; then
    "$match" "$work/export.raw" "$work/recording.raw" 25 | sed 's/^/   /'
else
    "$match" "$work/export.raw" "$work/recording.raw" 270 | sed 's/^/   /'
fi
check "the recording follows the export window by window" [ "${PIPESTATUS[0]}" -eq 0 ]

# Frame rates of the show as it plays by itself: in the default run, only
# up to the moment the server was killed and the arrows began.
until=1000000
[ "$mode" = start ] && until=30
echo "-- the frame log (song seconds below $until):"
awk -v until="$until" -f "$here/frame_log.awk" "$work/frames.log" | sed 's/^/   /'
last_order=$(tail -n 1 "$work/frames.log" | awk '{ print $2 }')
check "the frame log reaches the last order (got ${last_order:-none})" [ "${last_order:-0}" -ge 120 ]
stopped=$(grep -c 'the sound stopped' "$work/err")
if [ "$mode" = start ]; then
    check "the lost sound is reported once (got $stopped)" [ "$stopped" -eq 1 ]
    longest=$(awk 'NR > 2 && $1 - t > m { m = $1 - t } { t = $1 } END { printf "%.3f", m }' "$work/frames.log")
    check "no pause of the frames over 2 s (longest $longest s)" awk -v m="$longest" 'BEGIN { exit !(m <= 2) }'
else
    check "nothing reported about the sound (got $stopped)" [ "$stopped" -eq 0 ]
fi
[ -s "$work/err" ] && { echo "-- standard error:"; head -n 5 "$work/err" | sed 's/^/   /'; }

if [ "$mode" = start ]; then
    # No sound server at all (the dead one's socket is left behind).
    SDL_AUDIODRIVER=pulse timeout 60 "$program" -w >"$work/out" 2>"$work/err"
    status=$?
    check "no sound device: the plain program stops with status 1 (got $status)" [ $status -eq 1 ]
    check "no sound device: it says OpenAudio failed" grep -q '^OpenAudio failed, ' "$work/err"
    # As tools/play.sh starts it: says so, and plays silent until q.
    SDL_AUDIODRIVER=pulse QUILL_FRAME_LOG=$work/silent.log quill_play "$program" -w >"$work/out" 2>"$work/err" &
    show_pid=$!
    window=$(xdotool search --sync --onlyvisible --name Quillmora 2>/dev/null | head -n 1)
    xdotool windowfocus --sync "$window" 2>/dev/null
    sleep 4
    xdotool key q 2>/dev/null
    for _ in $(seq 100); do kill -0 $show_pid 2>/dev/null || break; sleep 0.1; done
    wait $show_pid
    status=$?
    show_pid=
    check "no sound device, as play.sh starts it: quits with q, status 0 (got $status)" [ $status -eq 0 ]
    check "no sound device, as play.sh starts it: says no sound device was found" \
        grep -q 'no sound device was found.*playing without sound' "$work/err"
    check "no sound device, as play.sh starts it: the song played (order 0 reached)" \
        awk '$2 >= 0 { found = 1 } END { exit !found }' "$work/silent.log"
fi
exit $((fails > 0))
