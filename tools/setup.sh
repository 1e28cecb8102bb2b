#!/usr/bin/env bash
# Installs what Quillmora needs on a Debian 12 machine (only the packages that
# are missing; through sudo when not run as root) and builds it into build/.
# Sourced by tools/play.sh and tools/test.sh.
set -euo pipefail
QUILL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

QUILL_PACKAGES=(
    build-essential cmake pkg-config                  # compiler and build
    libsdl1.2-dev libgl1-mesa-dev libglu1-mesa-dev    # SDL 1.2, OpenGL, GLU
    libgl1-mesa-dri xvfb xauth x11-utils xdotool      # Mesa's llvmpipe, a virtual X server, key presses for tests
    pulseaudio pulseaudio-utils                       # a real sound server and its recorder for the live test
    ffmpeg                                            # recording the show to video, loudness checks
    libgtest-dev googletest libbenchmark-dev          # tests and benchmarks
    clang libclang-rt-14-dev                          # the song compiler's fuzz target (libFuzzer, ASan, UBSan)
    libfreetype-dev zlib1g-dev                        # build-time image generator, PNG writing
    dpkg-dev file lintian man-db                      # building and checking the Debian package
    ninja-build                                       # builds (side by side, with less overhead than make)
    fonts-dejavu-core fonts-dejavu-extra              # fonts the image generator rasterizes
    fonts-league-spartan fonts-dancingscript fonts-lobster fonts-bebas-neue
    fonts-comfortaa fonts-kaushanscript fonts-cabinsketch fonts-leckerli-one
    fonts-radisnoir fonts-ebgaramond fonts-beteckna fonts-engadget
)

quill_install_packages() {
    local missing=() p
    for p in "${QUILL_PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}" >&2
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" apt-get update -q
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# Configures the build folder $1 (cmake arguments follow) for Ninja, which
# builds the targets named on one command line side by side where make builds
# them one after another, and checks what is up to date with less work. A
# folder made earlier with another generator is kept as it is when it is
# build/ (people's own), and made afresh otherwise.
quill_configure() {
    local dir=$1 generator=(-G Ninja)
    shift
    if [ -f "$dir/CMakeCache.txt" ] && ! grep -q '^CMAKE_GENERATOR:INTERNAL=Ninja$' "$dir/CMakeCache.txt"; then
        if [ "$dir" = "$QUILL_ROOT/build" ]; then generator=(); else rm -rf "$dir"; fi
    fi
    cmake -S "$QUILL_ROOT" -B "$dir" "${generator[@]}" "$@"
}

# QUILL_WERROR=ON in the environment turns warnings into errors (CI does).
quill_build() {
    quill_configure "$QUILL_ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        ${QUILL_WERROR:+-DQUILL_WERROR=$QUILL_WERROR} >/dev/null
    cmake --build "$QUILL_ROOT/build" -j"$(nproc)"
}

# Plays the show with the program at $1, the rest of the arguments going to
# it, as people start it: on a machine with no sound device it says so and
# plays without sound instead of stopping.
quill_play() {
    QUILL_SILENT_FALLBACK=1 "$@"
}

# Starts a private Xvfb and exports DISPLAY; -noreset keeps it up while SDL 1.2
# disconnects and reconnects during start-up.
quill_start_xvfb() {
    local n
    for n in $(seq 50 99); do
        [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] || break
    done
    Xvfb ":$n" -screen 0 1024x768x24 -noreset -nolisten tcp >/dev/null 2>&1 &
    QUILL_XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && return 0; sleep 0.1; done
    echo "Xvfb did not start" >&2
    return 1
}
