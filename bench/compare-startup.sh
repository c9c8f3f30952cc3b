#!/usr/bin/env bash
# Start-up and memory against what users would run instead, on a real X
# server (Xvfb): the time from starting a program to its window being mapped,
# and its resident memory one second later, for Lumidor, a Qt window of the
# same size showing one line of text, and KShutdown (skipped with a note when
# it is not installed); several runs each, interleaved, medians. Then the
# task service at rest: resident and private memory, and its wake-ups over
# IDLE seconds while nothing is due. Not part of the test suite.
#
#   bench/compare-startup.sh [runs] [idle seconds]      (default 9 and 60)
#
# Lumidor runs with a temporary home, XDG folders and store, a private session
# bus and no system bus; the store's service lock is held by this script, so
# that Lumidor starts no task service, and it schedules nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-9}
scripts/deps.sh
idle=${2:-60}
cmake --preset bench >/dev/null
cmake --build --preset bench --target lumidor lumidor-taskd bench_map_watch bench_text_window >/dev/null
bin=$PWD/build/bench/bin

work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share \
  XDG_CACHE_HOME=$work/home/.cache XDG_STATE_HOME=$work/home/.local/state XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_STATE_HOME"
mkdir -m 700 "$XDG_RUNTIME_DIR"
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$work/no-system-bus
unset SESSION_MANAGER WAYLAND_DISPLAY QT_QPA_PLATFORM

# A free display number, then Xvfb on it.
display=90
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=:$display
for _ in $(seq 1 100); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done
xwininfo -root >/dev/null 2>&1 || { echo "Xvfb did not start" >&2; exit 1; }

dbus-daemon --session --nofork --print-address=1 >"$work/bus" 2>/dev/null &
pids+=($!)
for _ in $(seq 1 100); do [ -s "$work/bus" ] && break; sleep 0.05; done
DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$work/bus")
export DBUS_SESSION_BUS_ADDRESS

export LUMIDOR_TASK_STORE=$work/tasks
mkdir -m 700 "$LUMIDOR_TASK_STORE"
exec 9>"$LUMIDOR_TASK_STORE/.service.lock"
flock -x 9

programs=(lumidor text)
have_kshutdown=0
if command -v kshutdown >/dev/null; then
  programs+=(kshutdown)
  have_kshutdown=1
fi
command_of() {
  case $1 in
    lumidor) echo "$bin/lumidor" ;;
    text) echo "$bin/bench_text_window" ;;
    kshutdown) echo "kshutdown" ;;
  esac
}

declare -A times rss titles
# One run of each first, not counted: the page cache holds every library after it.
for round in $(seq 0 "$runs"); do
  for p in "${programs[@]}"; do
    out=$("$bin/bench_map_watch" $(command_of "$p") 2>"$work/$p.err") || { cat "$work/$p.err" >&2; exit 1; }
    [ "$round" -eq 0 ] && continue
    t=${out#mapped_ms=}; t=${t%% *}
    r=${out#*rss_kib=}; r=${r%% *}
    titles[$p]=${out#*title=}; titles[$p]=${titles[$p]/ size=/, }
    times[$p]+="$t "
    rss[$p]+="$r "
  done
done
median() { tr ' ' '\n' | grep . | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo "start-up to the window being mapped on Xvfb, and resident memory 1 s later ($runs runs each, medians):"
declare -A mt mr
for p in "${programs[@]}"; do
  mt[$p]=$(echo "${times[$p]}" | median)
  mr[$p]=$(echo "${rss[$p]}" | median)
  printf '  %-10s %7.1f ms  %7.1f MiB   window %s; runs: %s ms\n' "$p" "${mt[$p]}" \
    "$(awk -v k="${mr[$p]}" 'BEGIN { print k / 1024 }')" "${titles[$p]}" "${times[$p]% }"
done
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
echo "  lumidor / text window: time $(ratio "${mt[lumidor]}" "${mt[text]}") (target within 1.5), memory $(ratio "${mr[lumidor]}" "${mr[text]}")"
if [ $have_kshutdown -eq 1 ]; then
  echo "  kshutdown / lumidor:   time $(ratio "${mt[kshutdown]}" "${mt[lumidor]}") (target at least 2.5), memory $(ratio "${mr[kshutdown]}" "${mr[lumidor]}")"
else
  echo "  kshutdown is not installed (Debian package kshutdown): no comparison with it"
fi
[ -n "$(ls -A "$LUMIDOR_TASK_STORE" | grep -v '^\.service\.lock$' || true)" ] && { echo "Lumidor scheduled something" >&2; exit 1; }

# The task service at rest, on a store of its own with ten items none of which is due within the hour.
store=$work/idle-tasks
mkdir -m 700 "$store"
user=$(id -un)
now=$(date +%s)
for i in $(seq 1 10); do
  read -r y m d H M < <(date -d "@$(( now + 5400 + i * 600 ))" '+%-Y %-m %-d %-H %-M')
  printf '%s\n' "LumidorWorkItem 1" "Application=/bin/true" "Parameters=-s" "WorkingDirectory=" "Comment=" \
    "Author=" "Account=$user" "Flags=0" "Priority=32" "MaxRunTime=259200000" "Status=267008" "ExitCode=0" \
    "MostRecentRun=0 0 0 0 0 0 0 0" "Trigger=48 0 $y $m $d 0 0 0 $H $M 0 0 0 1 1 0 0 0 0 0" "End" > "$store/idle$i.job"
  chmod 600 "$store/idle$i.job"
done
"$bin/lumidor-taskd" --store "$store" 2>"$work/taskd.log" &
taskd=$!
pids+=("$taskd")
for _ in $(seq 1 100); do grep -q "started for" "$work/taskd.log" && break; sleep 0.1; done
sleep 2
switches() { awk '/^voluntary_ctxt_switches|^nonvoluntary_ctxt_switches/ { s += $2 } END { print s }' "/proc/$taskd/status"; }
s0=$(switches)
sleep "$idle"
s1=$(switches)
read -r rss_kib pss_kib private_kib < <(awk '/^Rss:/ { r = $2 } /^Pss:/ { p = $2 } /^Private_(Clean|Dirty):/ { v += $2 }
  END { print r, p, v }' "/proc/$taskd/smaps_rollup")
echo "task service at rest (10 items, none due within the hour):"
echo "  resident $rss_kib KiB, proportional $pss_kib KiB, private $private_kib KiB"
echo "  wake-ups over ${idle} s: $((s1 - s0)) (context switches; target 0)"
