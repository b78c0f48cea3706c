#!/usr/bin/env bash
# Installs what is missing, builds, starts the private test services, runs
# every test through ctest, and stops the services.
set -euo pipefail
cd "$(dirname "$0")"
ROOT="$(pwd)"

./scripts/install-deps.sh
./scripts/build.sh

STATE_DIR="$(mktemp -d /tmp/tolvarenix-services.XXXXXX)"
cleanup() {
  "$ROOT/tests/services/stop.sh" "$STATE_DIR" || true
  rm -rf "$STATE_DIR"
}
trap cleanup EXIT

./tests/services/start.sh "$STATE_DIR"
set -a
# shellcheck disable=SC1091
. "$STATE_DIR/env"
set +a

cd build
ctest --output-on-failure --timeout 900 -j "$(nproc)" "$@"
