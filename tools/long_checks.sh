#!/usr/bin/env bash
# The long checks, which the default test run (tools/test.sh) leaves out:
#   build/           two whole-show frame captures identical frame for frame,
#                    two whole-song sound captures identical byte for byte,
#                    the whole song's sound capture against the soundtrack
#                    export, and the whole show played live through PulseAudio;
#   build-sanitize/  the whole show in frame capture under AddressSanitizer and
#                    UBSan (leak detection off: Mesa's own allocations drown it);
#   build-tsan/      a minute of normal playback on SDL's dummy audio driver
#                    under ThreadSanitizer, with real key presses.
# Each build is made first if needed. Arguments go to every ctest call, e.g.
# `-R show_frames_twice` to run one check.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
quill_install_packages
quill_build
status=0
cd "$QUILL_ROOT/build"
ctest --output-on-failure -L long "$@" || status=1

quill_configure "$QUILL_ROOT/build-sanitize" -DCMAKE_BUILD_TYPE=Debug -DQUILL_SANITIZE=ON >/dev/null
cmake --build "$QUILL_ROOT/build-sanitize" -j"$(nproc)" --target quillmora quillmora-framehash
cd "$QUILL_ROOT/build-sanitize"
ctest --output-on-failure -L long "$@" || status=1

quill_configure "$QUILL_ROOT/build-tsan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILL_TSAN=ON >/dev/null
cmake --build "$QUILL_ROOT/build-tsan" -j"$(nproc)" --target quillmora
cd "$QUILL_ROOT/build-tsan"
ctest --output-on-failure -L long "$@" || status=1
exit $status
