#!/usr/bin/env bash
# Private MariaDB server for the tests: database "Tolvarenix", user
# "tolvarenix" (TCP on loopback), the service tables of service-schema.sql.
#   service-mariadb.sh start|stop STATE_DIR
set -euo pipefail
ACTION="$1"
STATE_DIR="$2"
HERE="$(cd "$(dirname "$0")" && pwd)"
DIR="$STATE_DIR/mariadb"
PID_FILE="$DIR/mariadbd.pid"

. "$HERE/lib-service.sh"

service_start() {
  mkdir -p "$DIR"
  PORT="$("$HERE/free-port.sh")"
  SOCKET="$DIR/mysqld.sock"
  PASSWORD="Acc3s-$(od -An -N6 -tx1 /dev/urandom | tr -d ' \n')"
  mariadb-install-db --no-defaults --user=root --datadir="$DIR/data" \
    --auth-root-authentication-method=socket --skip-test-db >"$DIR/install.log" 2>&1
  mariadbd --no-defaults --user=root --datadir="$DIR/data" --socket="$SOCKET" --port="$PORT" \
    --bind-address=127.0.0.1 --pid-file="$DIR/server.pid" --log-error="$DIR/server.err" \
    --skip-log-bin --innodb-buffer-pool-size=64M --character-set-server=utf8mb4 \
    </dev/null >/dev/null 2>&1 &
  echo $! > "$PID_FILE"
  ready=0
  for _ in $(seq 1 400); do
    if mariadb-admin --no-defaults -S "$SOCKET" -u root ping >/dev/null 2>&1; then
      ready=1
      break
    fi
    if ! kill -0 "$(cat "$PID_FILE")" 2>/dev/null; then
      break
    fi
    sleep 0.05
  done
  if [ "$ready" != 1 ]; then
    echo "MariaDB de test : démarrage impossible (voir $DIR/server.err)" >&2
    stop_pid_file "$PID_FILE"
    exit 1
  fi
  mariadb --no-defaults -S "$SOCKET" -u root <<SQL
CREATE DATABASE Tolvarenix CHARACTER SET utf8mb4;
CREATE USER 'tolvarenix'@'localhost' IDENTIFIED BY '$PASSWORD';
CREATE USER 'tolvarenix'@'127.0.0.1' IDENTIFIED BY '$PASSWORD';
GRANT ALL PRIVILEGES ON Tolvarenix.* TO 'tolvarenix'@'localhost';
GRANT ALL PRIVILEGES ON Tolvarenix.* TO 'tolvarenix'@'127.0.0.1';
FLUSH PRIVILEGES;
SQL
  mariadb --no-defaults -S "$SOCKET" -u root Tolvarenix < "$HERE/service-schema.sql"
  {
    echo "TOLVARENIX_MARIADB_HOST=127.0.0.1"
    echo "TOLVARENIX_MARIADB_PORT=$PORT"
    echo "TOLVARENIX_MARIADB_SOCKET=$SOCKET"
    echo "TOLVARENIX_MARIADB_DATABASE=Tolvarenix"
    echo "TOLVARENIX_MARIADB_USER=tolvarenix"
    echo "TOLVARENIX_MARIADB_PASSWORD=$PASSWORD"
  } >> "$STATE_DIR/env"
}

run_service
