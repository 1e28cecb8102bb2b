#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test but the long checks
# (label long: tools/long_checks.sh runs those; GL tests start their own Xvfb).
# Then builds again with AddressSanitizer and UndefinedBehaviorSanitizer into
# build-sanitize/ and runs there the tests that need no X server, and the
# sanitized shots of every section (Mesa's own allocations would drown the
# leak checker, so leaks are not checked).
# `--quick` skips the sanitizer pass; other arguments go to ctest, e.g. `-L gl`.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
quick=0
args=()
for a in "$@"; do
    if [ "$a" = --quick ]; then quick=1; else args+=("$a"); fi
done
quill_install_packages
quill_build
cd "$QUILL_ROOT/build"
ctest --output-on-failure -j2 -LE long "${args[@]}"
[ $quick -eq 1 ] && exit 0

echo "== Again under AddressSanitizer and UndefinedBehaviorSanitizer" >&2
cmake -S "$QUILL_ROOT" -B "$QUILL_ROOT/build-sanitize" -DCMAKE_BUILD_TYPE=Debug -DQUILL_SANITIZE=ON >/dev/null
cmake --build "$QUILL_ROOT/build-sanitize" -j"$(nproc)"
cd "$QUILL_ROOT/build-sanitize"
ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    ctest --output-on-failure -j2 -LE 'gl|e2e|long' "${args[@]}"
