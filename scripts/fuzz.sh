#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each on a copy of its seed
# corpus (tests/data/fuzz/<target>/) for a bounded time. Exits non-zero on any
# finding; the input that caused it is kept in build/fuzz/findings/.
#   scripts/fuzz.sh [seconds per target, default 60] [target ...]
# FUZZ_BUILD_DIR chooses another build folder (default build/fuzz).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(ProfileStrings ExtIniFile WindowDescription WorkItem DateFormat)

scripts/deps.sh
build="${FUZZ_BUILD_DIR:-build/fuzz}"
cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" --target "${targets[@]/#/fuzz_}"

# Scratch files of the targets and the corpus copies go to tmpfs when there is
# one: the profile-string target syncs every write.
base=/dev/shm
[ -d "$base" ] && [ -w "$base" ] || base="${TMPDIR:-/tmp}"
work="$(mktemp -d "$base/lumidor-fuzz.XXXXXX")"
trap 'rm -rf "$work"' EXIT
findings="$PWD/$build/findings"
mkdir -p "$findings"

export QT_QPA_PLATFORM=offscreen
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# A small quarantine and short allocation stacks: with the defaults every
# buffer Qt allocates lands on fresh pages, and that costs most of the run.
export ASAN_OPTIONS="quarantine_size_mb=16:malloc_context_size=8"
failed=()
for t in "${targets[@]}"; do
  mkdir -p "$work/$t/corpus" "$work/$t/tmp"
  cp tests/data/fuzz/"$t"/* "$work/$t/corpus/"
  log="$work/$t/log"
  touch "$work/$t/start"
  echo "== fuzz_$t: ${seconds}s"
  if TMPDIR="$work/$t/tmp" "$build/bin/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$findings/$t-" "$work/$t/corpus" >"$log" 2>&1; then
    grep -E '^stat::number_of_executed_units' "$log" | sed "s/^/   /"
  else
    failed+=("$t")
    tail -n 60 "$log"
    # CI keeps no files: the input goes into the output, to be run again with
    # base64 -d >input && build/fuzz/bin/fuzz_<target> input.
    find "$findings" -maxdepth 1 -name "$t-*" -newer "$work/$t/start" -size -65k | while read -r input; do
      echo "== input $(basename "$input") (base64):"
      base64 -w 76 "$input"
    done
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: findings in ${failed[*]} (inputs in $findings)" >&2
  echo "fuzz: $((${#targets[@]} - ${#failed[@]})) passed, ${#failed[@]} failed"
  exit 1
fi
echo "fuzz: ${#targets[@]} passed, 0 failed"
