#!/usr/bin/env bash
# Builds the program and starts it; the task service comes up with it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset dev >/dev/null
cmake --build --preset dev
exec build/dev/bin/lumidor "$@"
