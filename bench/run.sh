#!/usr/bin/env bash
# The service benchmark: builds the release service and the load generator, then runs each
# scenario against a fresh service inside a private network namespace (so port 8083 is ours
# alone) and prints the figures.
#
#   bench/run.sh                    all scenarios
#   bench/run.sh updates get-value  some of them (idle, updates, get-value)
#
# BUILD_DIR (default build/bench), JOBS (default 4), THREADS (load generator threads,
# default 3), TICKS (ticks measured, default 12) and SERVICE_WRAPPER (a command put in front
# of the service, e.g. "valgrind --tool=callgrind") change the defaults.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build/bench}

if [[ "${TARNVALE_BENCH_INSIDE:-}" != 1 ]]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARNVALE_STATIC=ON -DTARNVALE_TESTS=OFF \
    -DTARNVALE_BENCHMARKS=ON >/dev/null
  cmake --build "$build" -j "${JOBS:-4}" --target tarnvale tarnvale_loadgen >/dev/null
  TARNVALE_BENCH_INSIDE=1 BUILD_DIR="$build" exec unshare --net "$0" "$@"
fi

service=$build/modules/tarnvale/tarnvale
loadgen=$build/bench/tarnvale_loadgen
threads=${THREADS:-3}
ticks=${TICKS:-12}
logs=$(mktemp -d /tmp/tarnvale-bench.XXXXXX)
scenarios=("$@")
[[ ${#scenarios[@]} -eq 0 ]] && scenarios=(idle updates get-value)

# Loopback only, a wide port range for 10,000 client sockets, and room for their descriptors.
ip link set lo up
sysctl -qw net.ipv4.ip_local_port_range="1024 65000"
ulimit -n 65536 2>/dev/null || ulimit -n "$(ulimit -Hn)"

pid=
start_service() {
  : >"$logs/out"
  # shellcheck disable=SC2086
  ${SERVICE_WRAPPER:-} "$service" >"$logs/out" 2>>"$logs/err" &
  pid=$!
  for _ in $(seq 600); do
    grep -q '^tarnvale listening' "$logs/out" && return 0
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
  done
  echo "the service did not start; see $logs/err" >&2
  exit 1
}
stop_service() {
  kill -TERM "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}
run() {
  start_service
  "$loadgen" "$@" --pid "$pid" --threads "$threads" || echo "FAILED: $*"
  stop_service
}

echo "tarnvale service benchmark, $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) CPUs, $(git -C "$root" rev-parse --short HEAD)"
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
for scenario in "${scenarios[@]}"; do
  case $scenario in
    idle) run idle --connections 10000 ;;
    updates)
      run updates --connections 1000 --ticks "$ticks"
      run updates --connections 10000 --ticks "$ticks"
      ;;
    get-value)
      run get-value --connections 1 --seconds 3
      run get-value --connections 64 --seconds 3
      ;;
    *) echo "unknown scenario $scenario" >&2; exit 2 ;;
  esac
done
echo "load after:  $(cut -d' ' -f1-3 /proc/loadavg)"
echo "goals: tick->last update p99 <= 150 ms (10,000 connections), CPU/message <= 7 us, get-value over 64 connections >= 150,000/s, idle RSS <= 4 MiB, <= 16 KiB per idle connection"
rm -rf "$logs"
