#!/usr/bin/env bash
# Builds every target (the benchmarks included) in every CMake build type
# with GCC and with clang, warnings as errors, each into its own folder under
# build-matrix/, and prints one line per configuration. Status 0 when every
# configuration built.
#
#   tools/build_matrix.sh [--compilers "gcc clang"] [--types "Debug Release RelWithDebInfo MinSizeRel"]
#
# e.g. tools/build_matrix.sh --compilers gcc --types Release (what CI adds to
# the test run). Installs what is missing first, as the other scripts do.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
compilers="gcc clang"
types="Debug Release RelWithDebInfo MinSizeRel"
while [ $# -gt 0 ]; do
    case $1 in
        --compilers) compilers=$2; shift 2 ;;
        --types) types=$2; shift 2 ;;
        *) echo "usage: tools/build_matrix.sh [--compilers LIST] [--types LIST]" >&2; exit 2 ;;
    esac
done
quill_install_packages

failed=0
mkdir -p "$QUILL_ROOT/build-matrix"
for cc in $compilers; do
    case $cc in
        gcc) c=gcc cxx=g++ ;;
        clang) c=clang cxx=clang++ ;;
        *) echo "build_matrix.sh: unknown compiler $cc (gcc or clang)" >&2; exit 2 ;;
    esac
    for type in $types; do
        dir=$QUILL_ROOT/build-matrix/$cc-$type
        log=$dir.log
        start=$SECONDS
        if quill_configure "$dir" -DCMAKE_BUILD_TYPE="$type" -DQUILL_WERROR=ON -DQUILL_TESTS_UNOPTIMIZED=OFF \
                -DCMAKE_C_COMPILER="$c" -DCMAKE_CXX_COMPILER="$cxx" >"$log" 2>&1 &&
            cmake --build "$dir" -j"$(nproc)" --target all benchmarks >>"$log" 2>&1; then
            printf '%-6s %-15s built   %4d s\n' "$cc" "$type" $((SECONDS - start))
        else
            printf '%-6s %-15s FAILED  %4d s  (see %s)\n' "$cc" "$type" $((SECONDS - start)) "$log"
            grep -m 5 -E 'error|Error' "$log" | sed 's/^/    /' || true
            failed=1
        fi
    done
done
exit $failed
