#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for the given number
# of seconds (default 60) on a working corpus seeded from the saved inputs.
# A crash leaves its input in build-fuzz/artifacts/<target>/: copy it into
# tests/fixtures/fuzz-regressions/<target>/ so the normal test suite replays it.
#   usage: scripts/fuzz.sh [seconds] [target...]
set -euo pipefail
cd "$(dirname "$0")/.."

SECONDS_PER_TARGET="${1:-60}"
shift || true
TARGETS=("$@")
[ ${#TARGETS[@]} -gt 0 ] || TARGETS=(report_reader data_line mail_message)

./scripts/install-deps.sh
if ! command -v clang++ >/dev/null; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "clang est nécessaire : relancez en tant que root pour l'installer." >&2
    exit 1
  fi
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q clang
fi

BUILD=build-fuzz
SAN="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cmake -S . -B "$BUILD" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS="$SAN" -DCMAKE_C_FLAGS="$SAN" \
  -DTOLVARENIX_FUZZ=ON -DTOLVARENIX_BUILD_TESTS=OFF >/dev/null
ninja -C "$BUILD" $(printf 'fuzz_%s ' "${TARGETS[@]}")

status=0
for t in "${TARGETS[@]}"; do
  corpus="$BUILD/corpus/$t"
  artifacts="$BUILD/artifacts/$t"
  mkdir -p "$corpus" "$artifacts"
  seeds=(tests/fixtures/fuzz-regressions/"$t")
  [ "$t" = report_reader ] && seeds+=(tests/fixtures/reports)
  dict=()
  [ -f "fuzz/$t.dict" ] && dict=(-dict="fuzz/$t.dict")
  echo "== fuzz_$t : ${SECONDS_PER_TARGET} s"
  if ! ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 QT_QPA_PLATFORM=offscreen \
      "$BUILD/fuzz/fuzz_$t" -max_total_time="$SECONDS_PER_TARGET" -timeout=10 -rss_limit_mb=2048 \
      -artifact_prefix="$artifacts/" "${dict[@]}" "$corpus" "${seeds[@]}"; then
    echo "fuzz_$t a trouvé une entrée fautive : voir $artifacts/" >&2
    status=1
  fi
done
exit $status
