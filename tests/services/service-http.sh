#!/usr/bin/env bash
# Loopback web server for the tests (HTTP and HTTPS with a private
# certificate), serving the files that tests put below TOLVARENIX_HTTP_ROOT.
#   service-http.sh start|stop STATE_DIR
set -euo pipefail
ACTION="$1"
STATE_DIR="$2"
HERE="$(cd "$(dirname "$0")" && pwd)"
DIR="$STATE_DIR/http"
PID_FILE="$DIR/server.pid"

. "$HERE/lib-service.sh"

service_start() {
  mkdir -p "$DIR/www"
  openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj '/CN=127.0.0.1' \
    -addext 'subjectAltName=IP:127.0.0.1,DNS:localhost' \
    -keyout "$DIR/key.pem" -out "$DIR/cert.pem" >/dev/null 2>&1
  HTTP_PORT="$("$HERE/free-port.sh")"
  HTTPS_PORT="$("$HERE/free-port.sh")"
  while [ "$HTTPS_PORT" = "$HTTP_PORT" ]; do HTTPS_PORT="$("$HERE/free-port.sh")"; done
  /usr/bin/python3 "$HERE/http-server.py" "$DIR/www" "$HTTP_PORT" "$HTTPS_PORT" \
    "$DIR/cert.pem" "$DIR/key.pem" </dev/null >"$DIR/server.log" 2>&1 &
  echo $! > "$PID_FILE"
  if ! wait_port "$HTTP_PORT" "$PID_FILE" || ! wait_port "$HTTPS_PORT" "$PID_FILE"; then
    echo "Serveur HTTP de test : démarrage impossible (voir $DIR/server.log)" >&2
    stop_pid_file "$PID_FILE"
    exit 1
  fi
  {
    echo "TOLVARENIX_HTTP_URL=http://127.0.0.1:$HTTP_PORT"
    echo "TOLVARENIX_HTTPS_URL=https://127.0.0.1:$HTTPS_PORT"
    echo "TOLVARENIX_HTTPS_CA=$DIR/cert.pem"
    echo "TOLVARENIX_HTTP_ROOT=$DIR/www"
  } >> "$STATE_DIR/env"
}

run_service
