#!/usr/bin/env bash
# Runs the benchmarks: installs what is missing, builds the program with its
# benchmarks (CMake option TOLVARENIX_BENCH), starts the private services
# the reception needs, and prints one line per job:
#   bench <job>: project <seconds> s, floor <seconds> s, ratio <r>
# Usage: ./bench.sh [job...]   jobs: import display startup reception
#        (default: all four), and startup-observances (start-up on tables
#        already holding 10 000 observances).
# Settings: BENCH_ROUNDS, BENCH_REPORTS, BENCH_OBSERVANCES, BENCH_MESSAGES.
# Exits non-zero when a benchmark could not run.
set -euo pipefail
cd "$(dirname "$0")"
ROOT="$(pwd)"

JOBS=("$@")
[ ${#JOBS[@]} -gt 0 ] || JOBS=(import display startup reception)
for job in "${JOBS[@]}"; do
  case "$job" in
  import | display | startup | startup-observances | reception) ;;
  *) echo "bench: unknown job $job" >&2; exit 2 ;;
  esac
done

./scripts/install-deps.sh
./scripts/build.sh >&2
cmake -S . -B build -DTOLVARENIX_BENCH=ON >&2
cmake --build build --parallel "$(nproc)" --target bench_all >&2
BIN="$ROOT/build/bench"

STATE_DIR=""
cleanup() {
  if [ -n "$STATE_DIR" ]; then
    "$ROOT/tests/services/stop.sh" "$STATE_DIR" || true
    rm -rf "$STATE_DIR"
  fi
}
trap cleanup EXIT

for job in "${JOBS[@]}"; do
  if [ "$job" = reception ] && [ -z "$STATE_DIR" ]; then
    STATE_DIR="$(mktemp -d /tmp/tolvarenix-bench-services.XXXXXX)"
    ./tests/services/start.sh "$STATE_DIR" >&2
    set -a
    # shellcheck disable=SC1091
    . "$STATE_DIR/env"
    set +a
  fi
done

export QT_QPA_PLATFORM=offscreen
status=0
for job in "${JOBS[@]}"; do
  echo "bench $job: running..." >&2
  case "$job" in
  startup) "$BIN/bench_startup" || status=1 ;;
  startup-observances) "$BIN/bench_startup" --observances || status=1 ;;
  *) "$BIN/bench_$job" || status=1 ;;
  esac
done
exit $status
