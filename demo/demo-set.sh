#!/usr/bin/env bash
# The demonstration set: private MariaDB, HTTPS and dovecot servers (the test
# services), the sample mailbox, the service rows and a fresh program folder.
#   demo-set.sh start STATE_DIR PROGRAM_FOLDER   (STATE_DIR must exist)
#   demo-set.sh stop STATE_DIR
# The builder is build/demo/ObsidraDemoSet unless OBSIDRA_DEMO_SET names it.
set -euo pipefail
ACTION="$1"
STATE_DIR="$2"
HERE="$(cd "$(dirname "$0")" && pwd)"
ROOT="$(cd "$HERE/.." && pwd)"
SERVICES="$ROOT/tests/services"

case "$ACTION" in
start)
  PROGRAM_FOLDER="$3"
  BUILDER="${OBSIDRA_DEMO_SET:-$ROOT/build/demo/ObsidraDemoSet}"
  # Whatever fails half-way stops what was started.
  trap '"$SERVICES/stop.sh" "$STATE_DIR" >/dev/null 2>&1 || true' ERR
  "$SERVICES/start.sh" "$STATE_DIR" mariadb http dovecot
  set -a
  # shellcheck disable=SC1091
  . "$STATE_DIR/env"
  set +a
  rm -rf "$PROGRAM_FOLDER"
  mkdir -p "$PROGRAM_FOLDER"
  "$BUILDER" "$HERE/data" "$PROGRAM_FOLDER" > "$STATE_DIR/service-rows.sql"
  mariadb --no-defaults -S "$TOLVARENIX_MARIADB_SOCKET" -u root Tolvarenix < "$STATE_DIR/service-rows.sql"
  # dovecot reads the messages as the mailbox's owner.
  chown -R 65534:65534 "$POP3_TEST_MAILDIR"
  ;;
stop)
  "$SERVICES/stop.sh" "$STATE_DIR"
  ;;
*)
  echo "usage: $0 start STATE_DIR PROGRAM_FOLDER | stop STATE_DIR" >&2
  exit 2
  ;;
esac
