#!/usr/bin/env bash
# The task service at rest and on time: CPU time and wake-ups of lumidor-taskd
# over 60 s with 1,000 work items none of which is due within the next hour,
# then the delay between an item's due time and the start of its program.
# Not part of the test suite. The items run a recording stand-in, never the
# shutdown tool.
#
#   bench/service_idle.sh [path/to/lumidor-taskd] [idle seconds]
#
# The default is the optimised program of the dev preset:
#   cmake --preset dev && cmake --build --preset dev --target lumidor-taskd
set -euo pipefail
cd "$(dirname "$0")/.."
taskd=${1:-build/dev/bin/lumidor-taskd}
idle=${2:-60}
items=1000
[ -x "$taskd" ] || { echo "no service program at $taskd" >&2; exit 2; }

work=$(mktemp -d)
store="$work/tasks"
pid=
cleanup() { [ -n "$pid" ] && kill "$pid" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
mkdir -m 700 "$store"
user=$(id -un)

cat > "$work/stand-in" <<EOF
#!/bin/sh
echo "\$(date +%s.%N) \$*" >> "$work/record"
EOF
chmod 755 "$work/stand-in"

# One item in the store's text format; $1 name, $2 epoch seconds of the run, $3 trigger type.
write_item() {
  local y m d H M
  read -r y m d H M < <(date -d "@$2" '+%-Y %-m %-d %-H %-M')
  local file="$store/$1.job"
  {
    echo "LumidorWorkItem 1"
    echo "Application=$work/stand-in"
    echo "Parameters=-s"
    echo "WorkingDirectory="
    echo "Comment="
    echo "Author="
    echo "Account=$user"
    echo "Flags=2"
    echo "Priority=32"
    echo "MaxRunTime=259200000"
    echo "Status=267013"
    echo "ExitCode=0"
    echo "MostRecentRun=0 0 0 0 0 0 0 0"
    echo "Trigger=48 0 $y $m $d 0 0 0 $H $M 0 0 2 $3 1 0 0 0 0 0"
    echo "End"
  } > "$file.tmp"
  chmod 600 "$file.tmp"
  mv "$file.tmp" "$file"
}

now=$(date +%s)
for i in $(seq 1 $items); do
  # Daily items spread over the day, all at least an hour and a half away.
  write_item "idle$i" $(( now + 5400 + (i * 37) % 72000 )) 1
done

"$taskd" --store "$store" 2> "$work/log" &
pid=$!
for _ in $(seq 1 100); do grep -q "started for" "$work/log" 2>/dev/null && break; sleep 0.1; done
grep -q "started for" "$work/log" || { cat "$work/log" >&2; exit 1; }
sleep 1

ticks=$(getconf CLK_TCK)
sample() {
  local stat cpu switches
  stat=$(cut -d' ' -f14,15 "/proc/$pid/stat")
  cpu=$(( ${stat% *} + ${stat#* } ))
  switches=$(awk '/ctxt_switches/ { s += $2 } END { print s }' "/proc/$pid/status")
  echo "$cpu $switches"
}
read -r cpu0 sw0 < <(sample)
sleep "$idle"
read -r cpu1 sw1 < <(sample)
echo "items:                 $items (none due within the next hour)"
echo "idle time:             ${idle} s"
echo "CPU time while idle:   $(( (cpu1 - cpu0) * 1000 / ticks )) ms"
echo "wake-ups while idle:   $(( sw1 - sw0 )) (context switches)"

# Firing delay: three one-time items at the coming minutes, among the 1,000.
delays=()
for round in 1 2 3; do
  now=$(date +%s)
  due=$(( (now / 60 + 1) * 60 ))
  [ $(( due - now )) -lt 3 ] && due=$(( due + 60 ))
  rm -f "$work/record"
  write_item "fire$round" "$due" 0
  for _ in $(seq 1 $(( (due - now + 10) * 10 ))); do [ -s "$work/record" ] && break; sleep 0.1; done
  [ -s "$work/record" ] || { echo "item fire$round did not run" >&2; cat "$work/log" >&2; exit 1; }
  ran=$(cut -d' ' -f1 "$work/record")
  delays+=("$(awk -v r="$ran" -v d="$due" 'BEGIN { printf "%.0f", (r - d) * 1000 }')")
done
echo "firing delay:          ${delays[*]} ms (due time to the program's first line)"
echo "service's own delay:   $(grep -o 'fire[0-9].job: started for the run due at [^(]*([0-9.]* s late' "$work/log" \
  | sed 's/.*(\([0-9.]*\) s late/\1/' | awk '{ printf "%.0f ", $1 * 1000 }')ms (due time to the start of the program)"
