#!/usr/bin/env bash
# Builds everything under AddressSanitizer and UndefinedBehaviorSanitizer and
# runs every test. Extra arguments go to ctest (for example -L wizard).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset test >/dev/null
cmake --build --preset test
export QT_QPA_PLATFORM=offscreen
ctest --preset test -j"$(nproc)" "$@"
