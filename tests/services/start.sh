#!/usr/bin/env bash
# Starts private services, each under STATE_DIR, and writes STATE_DIR/env
# with the variables that tell their users where they are: every service by
# default, or only the named ones (e.g. "mariadb dovecot http").
# Each service has a script tests/services/service-<name>.sh with "start" and "stop".
#   start.sh STATE_DIR [NAME...]
set -euo pipefail
STATE_DIR="$1"
shift
HERE="$(cd "$(dirname "$0")" && pwd)"
: > "$STATE_DIR/env"
if [ $# -eq 0 ]; then
  scripts=("$HERE"/service-*.sh)
else
  scripts=()
  for name in "$@"; do scripts+=("$HERE/service-$name.sh"); done
fi
for script in "${scripts[@]}"; do
  [ -e "$script" ] || { echo "Service inconnu : $script" >&2; exit 2; }
  "$script" start "$STATE_DIR"
done
