#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test but the long checks
# (label long: tools/long_checks.sh runs those; GL tests start their own Xvfb).
#
#   1. the normal build (build/); then, while the AddressSanitizer and
#      UndefinedBehaviorSanitizer build (build-sanitize/) compiles at the
#      lowest priority beside the tests (only the targets its tests run),
#      the live-sound test alone among the tests (label live: a sound
#      server's buffer does not survive sharing two processors with another
#      show being drawn);
#   2. the other tests, two at a time, the whole-show capture first; beside
#      them, once its build is done, the sanitizer build's tests that need no
#      X server and the sanitized shots of every section (Mesa's own
#      allocations would drown the leak checker, so leaks are not checked).
#
# `--quick` skips the sanitizer build, and other arguments go to ctest, e.g.
# `-L gl`. QUILL_WERROR=ON in the environment turns warnings into errors (CI).
# QUILL_ALSO_BUILD="gcc:Release ..." compiles those configurations too, at
# the lowest priority beside the tests, as tools/build_matrix.sh does (CI).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
quick=0
args=()     # for ctest, but -LE: ctest keeps only the last one given
exclude=long
while [ $# -gt 0 ]; do
    case $1 in
        --quick) quick=1 ;;
        -LE) exclude="$exclude|$2"; shift ;;
        *) args+=("$1") ;;
    esac
    shift
done
# A run that picks its own tests has no phase of its own for the live test:
# RUN_SERIAL still keeps it alone among the tests.
live_alone=1
[ ${#args[@]} -gt 0 ] && live_alone=0
quill_install_packages
quill_build
san=$QUILL_ROOT/build-sanitize
logs=$(mktemp -d)
side_pid= san_pid=
trap '[ -n "$side_pid" ] && kill "$side_pid" 2>/dev/null; [ -n "$san_pid" ] && kill "$san_pid" 2>/dev/null; rm -rf "$logs"' EXIT

# The sanitizer build: only what its tests run, their executables and the
# tools they are handed (Ninja compiles these many small programs side by
# side).
sanitizer_build() {
    quill_configure "$san" -DCMAKE_BUILD_TYPE=Debug -DQUILL_SANITIZE=ON \
        ${QUILL_WERROR:+-DQUILL_WERROR=$QUILL_WERROR} >/dev/null
    # The programs its tests run, from their add_test lines (ctest itself
    # names a test's command only once the program exists).
    local known name t wanted=() programs=
    known=$(ninja -C "$san" -t targets all | sed -n 's/^\([^ :/]*\): CXX_EXECUTABLE_LINKER.*/\1/p')
    for name in $(cd "$san" && ctest -N -LE "gl|e2e|$exclude" "${args[@]}" | sed -n 's/^ *Test *#[0-9]*: //p'); do
        programs+=$(grep -F "add_test([=[$name]=] " "$san/CTestTestfile.cmake" | grep -o "\"$san/[A-Za-z0-9_.+-]*\"")$'\n'
    done
    for t in $(tr -d '"' <<<"$programs" | xargs -n1 basename | sort -u); do
        grep -qx "$t" <<<"$known" && wanted+=("$t")
    done
    [ ${#wanted[@]} -gt 0 ] || { echo "test.sh: no program found for the sanitizer build's tests" >&2; return 1; }
    cmake --build "$san" -j"$(nproc)" --target "${wanted[@]}"
}

# What compiles beside the tests, at nice 19 (the processors go to the tests
# when they want them): the sanitizer build, then CI's extra configurations.
# $logs/sanitizer-built appears when the first is done.
side_builds() {
    if [ $quick -eq 0 ]; then
        sanitizer_build || return 1
        touch "$logs/sanitizer-built"
    fi
    local config
    for config in ${QUILL_ALSO_BUILD:-}; do
        bash "$QUILL_ROOT/tools/build_matrix.sh" --compilers "${config%%:*}" --types "${config#*:}" || return 1
    done
}
(
    renice -n 19 -p $BASHPID >/dev/null
    side_builds
) >"$logs/side.log" 2>&1 &
side_pid=$!

# The live test first, alone among the tests: the sound server's buffer of a
# few tens of milliseconds survives the builds at the lowest priority, not a
# show being drawn beside it.
cd "$QUILL_ROOT/build"
status=0
if [ $live_alone -eq 1 ]; then
    ctest --output-on-failure -L live -LE "$exclude" || status=1
    exclude="$exclude|live"
fi

# The sanitizer build's tests, once that build is done (it is the side
# builds' first step; their failure ends the wait). In a full run they go
# beside the other tests; a run that picks its own tests may have the live
# test among them, so there they come after.
sanitizer_tests() {
    while [ ! -e "$logs/sanitizer-built" ]; do
        kill -0 "$side_pid" 2>/dev/null || return 2
        sleep 1
    done
    cd "$san"
    ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
        ctest --output-on-failure -j2 -LE "gl|e2e|$exclude" "${args[@]}"
}
if [ $quick -eq 0 ] && [ $live_alone -eq 1 ]; then
    sanitizer_tests >"$logs/sanitizer-tests.log" 2>&1 &
    san_pid=$!
fi

ctest --output-on-failure -j2 -LE "$exclude" "${args[@]}" || status=1

side_status=0
wait "$side_pid" || side_status=$?
side_pid=
if [ $side_status -ne 0 ]; then
    cat "$logs/side.log" >&2
    echo "== The builds beside the tests failed" >&2
    exit 1
fi
[ -n "${QUILL_ALSO_BUILD:-}" ] && grep -E '^(gcc|clang) ' "$logs/side.log" >&2
[ $quick -eq 1 ] && exit $status

san_status=0
if [ -n "$san_pid" ]; then
    wait "$san_pid" || san_status=$?
    san_pid=
else
    sanitizer_tests >"$logs/sanitizer-tests.log" 2>&1 || san_status=$?
fi
echo "== Again under AddressSanitizer and UndefinedBehaviorSanitizer" >&2
cat "$logs/sanitizer-tests.log"
[ $san_status -eq 0 ] || status=1
exit $status
