#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test (GL tests start their
# own Xvfb). Extra arguments go to ctest, e.g. `-L gl` or `-LE gl`.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
quill_install_packages
quill_build
cd "$QUILL_ROOT/build"
ctest --output-on-failure -j2 "$@"
