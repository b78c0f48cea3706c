#!/usr/bin/env bash
# Installs what is missing, builds, and starts Tolvarenix Light.
#   ./run.sh            the demonstration: private services on this machine, a
#                       sample mailbox and a demonstration program folder
#                       (build/demo/programme, made anew at each run); the
#                       services stop when the program ends
#   ./run.sh --service  the program as a physician uses it: its configured
#                       service and its own program folder
set -euo pipefail
cd "$(dirname "$0")"
ROOT="$(pwd)"

case "${1:-}" in
"") MODE=demo ;;
--service) MODE=service ;;
*)
  echo "usage: $0 [--service]" >&2
  exit 2
  ;;
esac

./scripts/install-deps.sh
./scripts/build.sh

if [ "$MODE" = service ]; then
  exec ./build/src/app/Obsidra
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "Aucun affichage graphique : lancez la démonstration depuis un bureau, ou sous xvfb-run -a ./run.sh" >&2
  exit 1
fi

STATE_DIR="$(mktemp -d /tmp/tolvarenix-demo.XXXXXX)"
DEMO_HOME="$ROOT/build/demo/programme"
cleanup() {
  "$ROOT/demo/demo-set.sh" stop "$STATE_DIR" || true
  rm -rf "$STATE_DIR"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

echo "Préparation du jeu de démonstration..."
./demo/demo-set.sh start "$STATE_DIR" "$DEMO_HOME"

# Everything the program writes stays in the demonstration folder: its
# tables and configuration, its ODBC data source and its desktop entry.
TOLVARENIX_HOME="$DEMO_HOME" ODBCINI="$DEMO_HOME/odbc.ini" XDG_DESKTOP_DIR="$DEMO_HOME/Bureau" \
  ./build/src/app/Obsidra
