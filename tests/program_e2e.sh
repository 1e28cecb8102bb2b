#!/usr/bin/env bash
# End-to-end checks of the real program: capture streams, failure messages and
# exit statuses, and real key presses sent to its window through an X server.
# None of them plays the whole song: each run is quit or skipped to the end.
#
# usage: program_e2e.sh path/to/quillmora
# Starts its own Xvfb (with -noreset: SDL 1.2 reconnects during start-up).
set -u
BIN=$(readlink -f "$1")
WORK=$(mktemp -d)
FAILS=0
PASSES=0
XVFB_PID=

cleanup() {
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT

check() { # check "description" command...
    local what=$1; shift
    if "$@"; then PASSES=$((PASSES + 1)); echo "ok   - $what"
    else FAILS=$((FAILS + 1)); echo "FAIL - $what"; fi
}
size_of() { stat -c %s "$1"; }

BUFFER=4096
FRAME=1440000
PREROLL=60
# Buffers until the one that first publishes the end: 121 orders of 32 rows of
# 3105 samples, starting 3105 samples into the first real buffer.
SONG_END_SAMPLE=$((3105 + 121 * 32 * 3105))
REAL_BUFFERS=$((SONG_END_SAMPLE / 1024 + 1))

# --- Without a display -------------------------------------------------------
env -u DISPLAY "$BIN" -w >"$WORK/out" 2>"$WORK/err"
status=$?
check "no display: exit status 1" [ $status -eq 1 ]
check "no display: SDL_Init failed, and nothing else" grep -qx 'SDL_Init failed' "$WORK/err"
check "no display: nothing on standard output" [ ! -s "$WORK/out" ]

# Capture without descriptor 7 is refused before any window is opened (there
# is no display here, so reaching the window would fail differently).
env -u DISPLAY "$BIN" -w -ds 7>&- >"$WORK/out" 2>"$WORK/err"
status=$?
check "capture without fd 7: exit status 1" [ $status -eq 1 ]
check "capture without fd 7: one line naming the descriptor" \
    bash -c "[ \$(wc -l <'$WORK/err') -eq 1 ] && grep -q 'descriptor 7' '$WORK/err'"

# Descriptor 7 open, but only for reading: refused at start-up as well.
env -u DISPLAY "$BIN" -w -dg 7</dev/null >"$WORK/out" 2>"$WORK/err"
status=$?
check "capture with fd 7 read-only: exit status 1" [ $status -eq 1 ]
check "capture with fd 7 read-only: one line asking for it open for writing" \
    bash -c "[ \$(wc -l <'$WORK/err') -eq 1 ] && grep -q 'descriptor 7 open for writing' '$WORK/err'"

# --help and --version answer without a display and open nothing; an argument
# that only looks like them is ignored like any other, so the show starts (and
# here fails for want of a display).
env -u DISPLAY "$BIN" -w --help -dg >"$WORK/out" 2>"$WORK/err"
status=$?
check "--help: status 0, the usage on standard output, nothing on standard error" \
    bash -c "[ $status -eq 0 ] && grep -q '^Usage: quillmora' '$WORK/out' && [ ! -s '$WORK/err' ]"
env -u DISPLAY "$BIN" --version >"$WORK/out" 2>"$WORK/err"
status=$?
check "--version: status 0, one line with the version" \
    bash -c "[ $status -eq 0 ] && grep -qxE 'quillmora [0-9]+\.[0-9]+\.[0-9]+' '$WORK/out' && [ \$(wc -l <'$WORK/out') -eq 1 ]"
env -u DISPLAY "$BIN" --helpx >"$WORK/out" 2>"$WORK/err"
status=$?
check "--helpx is ignored: the show starts" bash -c "[ $status -eq 1 ] && grep -qx 'SDL_Init failed' '$WORK/err'"
env -u DISPLAY "$BIN" --help >/dev/full 2>"$WORK/err"
status=$?
check "--help to a full disk: status 1 and a message" bash -c "[ $status -eq 1 ] && grep -q 'standard output' '$WORK/err'"

# --- With a display ----------------------------------------------------------
for n in $(seq 90 140); do
    if [ ! -e /tmp/.X11-unix/X$n ] && [ ! -e /tmp/.X$n-lock ]; then DISPLAY_NUM=$n; break; fi
done
Xvfb ":$DISPLAY_NUM" -screen 0 1024x768x24 -noreset -nolisten tcp >/dev/null 2>&1 &
XVFB_PID=$!
export DISPLAY=":$DISPLAY_NUM"
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

# Normal playback needs a sound device; a driver that does not exist stands
# in for a machine without one.
SDL_AUDIODRIVER=no-such-driver "$BIN" -w >"$WORK/out" 2>"$WORK/err"
status=$?
check "no audio device: exit status 1" [ $status -eq 1 ]
check "no audio device: OpenAudio message" grep -q '^OpenAudio failed, ' "$WORK/err"

# The whole song's sound capture (its length, pre-roll and samples) is
# checked against the soundtrack export by tests/test_soundtrack.sh.

# Frame capture into a reader that stops after ten frames: the program must
# not die of SIGPIPE, and ends with one line and status 1.
( "$BIN" -w -dg 7>&1 1>"$WORK/out" 2>"$WORK/err"; echo $? >"$WORK/status" ) | head -c $((10 * FRAME)) >"$WORK/frames.raw"
status=$(cat "$WORK/status")
check "frame capture: whole 1440000-byte frames" [ "$(size_of "$WORK/frames.raw")" -eq $((10 * FRAME)) ]
check "frame capture, reader gone: exit status 1" [ "$status" -eq 1 ]
check "frame capture, reader gone: one line on standard error" \
    bash -c "[ \$(wc -l <'$WORK/err') -eq 1 ] && grep -q 'reader of file descriptor 7 has gone away' '$WORK/err'"

# A write that fails for another reason (a full disk) says so and why; the
# line about a reader that went away is kept for a closed pipe.
"$BIN" -w -ds 7>/dev/full >"$WORK/out" 2>"$WORK/err"
status=$?
check "sound capture to a full disk: exit status 1" [ $status -eq 1 ]
check "sound capture to a full disk: one line with the reason" \
    bash -c "[ \$(wc -l <'$WORK/err') -eq 1 ] && grep -q 'writing to file descriptor 7 failed: No space left on device' '$WORK/err'"

# --- Keys through the X server ---------------------------------------------
# Sound capture paces the run by buffers, so the stream's length tells how far
# the song went: seeking forward shortens it, back lengthens it.
start_program() { # start_program name
    "$BIN" -w -ds 7>"$WORK/$1.raw" >"$WORK/$1.out" 2>"$WORK/$1.err" &
    PROGRAM_PID=$!
    WINDOW=$(xdotool search --sync --onlyvisible --name Quillmora 2>/dev/null | head -n 1)
    xdotool windowfocus --sync "$WINDOW" 2>/dev/null
    xdotool mousemove --window "$WINDOW" 10 10
}
press() { xdotool key --delay 150 "$@" 2>/dev/null; sleep 0.3; }
finish_program() { # waits at most 600 s
    for _ in $(seq 6000); do kill -0 "$PROGRAM_PID" 2>/dev/null || break; sleep 0.1; done
    wait "$PROGRAM_PID"
}

start_program space
press space
press f
press space
press q
finish_program
status=$?
check "q quits with status 0" [ $status -eq 0 ]
check "q quits long before the end of the song" \
    [ "$(size_of "$WORK/space.raw")" -lt $(((PREROLL + REAL_BUFFERS) * BUFFER / 2)) ]
check "Space prints the eight knobs on one line" \
    grep -qE '^Knobs:( -?[0-9]+\.[0-9]{6}){8}$' "$WORK/space.err"
check "Space prints once per press" [ "$(grep -c '^Knobs:' "$WORK/space.err")" -eq 2 ]

start_program escape
press Escape
finish_program
status=$?
check "Escape quits with status 0" [ $status -eq 0 ]
check "Escape quits long before the end of the song" \
    [ "$(size_of "$WORK/escape.raw")" -lt $(((PREROLL + REAL_BUFFERS) * BUFFER / 2)) ]

# Right arrows, one order each, pressed until the song runs out: the show
# ends by itself long before its length. Presses within one row (about three
# buffers) act once, so each waits for the stream to grow by five buffers.
# (Seeking both ways through every section, with the scene drawn after each
# seek, is tests/show_keys.sh.)
start_program forward
for _ in $(seq 160); do
    kill -0 "$PROGRAM_PID" 2>/dev/null || break
    from=$(size_of "$WORK/forward.raw")
    xdotool key Right 2>/dev/null
    for _ in $(seq 200); do
        [ "$(size_of "$WORK/forward.raw")" -ge $((from + 5 * BUFFER)) ] && break
        kill -0 "$PROGRAM_PID" 2>/dev/null || break
        sleep 0.02
    done
done
finish_program
status=$?
check "Right arrows: the song still ends by itself" [ $status -eq 0 ]
check "Right arrows: skipping every order ends it early" \
    [ "$(size_of "$WORK/forward.raw")" -lt $(((PREROLL + REAL_BUFFERS) * BUFFER / 4)) ]

echo "$PASSES passed, $FAILS failed"
[ $FAILS -eq 0 ]
