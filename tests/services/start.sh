#!/usr/bin/env bash
# Starts the private services the tests use, each under STATE_DIR, and writes
# STATE_DIR/env with the variables that tell the tests where they are.
# Each service has a script tests/services/<name>.sh with "start" and "stop".
set -euo pipefail
STATE_DIR="$1"
HERE="$(cd "$(dirname "$0")" && pwd)"
: > "$STATE_DIR/env"
for script in "$HERE"/service-*.sh; do
  [ -e "$script" ] || continue
  "$script" start "$STATE_DIR"
done
