#!/usr/bin/env bash
# Stops every service that start.sh started under STATE_DIR.
set -uo pipefail
STATE_DIR="$1"
HERE="$(cd "$(dirname "$0")" && pwd)"
for script in "$HERE"/service-*.sh; do
  [ -e "$script" ] || continue
  "$script" stop "$STATE_DIR" || true
done
