#!/usr/bin/env bash
# Crash soaks of the job registry and the work-item store (a writer SIGKILLed
# at a random moment, ROUNDS times each) and a soak of the task service
# (killed and restarted around its runs: 15 minutes from 200 rounds on, else
# 2). Not part of the test suite. Prints the figures and, last, one line
# "N passed, N failed"; the exit code is 1 when a check failed.
#
#   scripts/soak.sh [rounds]        (default 1000; SOAK_SEED=N repeats a run)
#
# Builds what it runs in the optimised, sanitizer-free bench preset. The
# service's items run a recording stand-in, never the shutdown tool, on a
# temporary store and home; no bus of this machine is used.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-1000}
scripts/deps.sh
cmake --preset bench >/dev/null
cmake --build --preset bench --target lumidor-taskd soak_registry_writer soak_store_writer >/dev/null
exec /usr/bin/python3 scripts/soak.py build/bench/bin "$rounds"
