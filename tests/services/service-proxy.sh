#!/usr/bin/env bash
# HTTP proxy for the tests (tinyproxy) that demands basic authentication.
#   service-proxy.sh start|stop STATE_DIR
set -euo pipefail
ACTION="$1"
STATE_DIR="$2"
HERE="$(cd "$(dirname "$0")" && pwd)"
DIR="$STATE_DIR/proxy"
PID_FILE="$DIR/tinyproxy.pid"

. "$HERE/lib-service.sh"

service_start() {
  mkdir -p "$DIR"
  PORT="$("$HERE/free-port.sh")"
  USER_NAME="mandataire"
  PASSWORD="Px-$(od -An -N6 -tx1 /dev/urandom | tr -d ' \n')"
  cat > "$DIR/tinyproxy.conf" <<CONF
Port $PORT
Listen 127.0.0.1
Timeout 60
LogFile "$DIR/tinyproxy.log"
LogLevel Info
MaxClients 50
Allow 127.0.0.1
BasicAuth $USER_NAME $PASSWORD
ConnectPort 443
CONF
  chmod 600 "$DIR/tinyproxy.conf"
  tinyproxy -d -c "$DIR/tinyproxy.conf" </dev/null >"$DIR/stdout.log" 2>&1 &
  echo $! > "$PID_FILE"
  if ! wait_port "$PORT" "$PID_FILE"; then
    echo "Proxy de test : démarrage impossible (voir $DIR)" >&2
    stop_pid_file "$PID_FILE"
    exit 1
  fi
  {
    echo "TOLVARENIX_PROXY_HOST=127.0.0.1"
    echo "TOLVARENIX_PROXY_PORT=$PORT"
    echo "TOLVARENIX_PROXY_USER=$USER_NAME"
    echo "TOLVARENIX_PROXY_PASSWORD=$PASSWORD"
  } >> "$STATE_DIR/env"
}

run_service
