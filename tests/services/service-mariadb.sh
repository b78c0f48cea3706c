#!/usr/bin/env bash
# Private MariaDB servers for the tests: database "Tolvarenix", user
# "tolvarenix" (TCP on loopback). The main server holds the service tables of
# service-schema.sql and accepts only TLS connections, with a certificate of
# the test CA (TOLVARENIX_MARIADB_CA). Two more servers, without tables, for
# the link's encryption: one offers no TLS at all, one has a certificate of
# another CA; and stand-ins: two offer TLS, one cutting every handshake, one never answering it (it counts
# the connections it receives); two ask for the password in clear, one over TLS with the other CA's certificate.
#   service-mariadb.sh start|stop STATE_DIR
set -euo pipefail
ACTION="$1"
STATE_DIR="$2"
HERE="$(cd "$(dirname "$0")" && pwd)"
DIR="$STATE_DIR/mariadb"
PID_FILE="$DIR/mariadbd.pid"
EXTRA_PID_FILES=("$DIR/plain/mariadbd.pid" "$DIR/other-ca/mariadbd.pid" "$DIR/tls-cut.pid" "$DIR/tls-silent.pid"
                 "$DIR/clear-password.pid" "$DIR/clear-password-tls.pid")

. "$HERE/lib-service.sh"

stop_extra_instances() {
  for pid_file in "${EXTRA_PID_FILES[@]}"; do stop_pid_file "$pid_file"; done
}

# make_certificate FOLDER CA_NAME: a CA and a server certificate for
# 127.0.0.1 signed by it (ca.pem, cert.pem, key.pem).
make_certificate() {
  local folder="$1" ca_name="$2"
  mkdir -p "$folder"
  openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=$ca_name" \
    -keyout "$folder/ca-key.pem" -out "$folder/ca.pem" >/dev/null 2>&1
  openssl req -newkey rsa:2048 -nodes -subj '/CN=127.0.0.1' \
    -keyout "$folder/key.pem" -out "$folder/request.pem" >/dev/null 2>&1
  printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\n' > "$folder/extensions.cnf"
  openssl x509 -req -in "$folder/request.pem" -CA "$folder/ca.pem" -CAkey "$folder/ca-key.pem" \
    -CAcreateserial -days 3650 -extfile "$folder/extensions.cnf" -out "$folder/cert.pem" >/dev/null 2>&1
}

# start_instance DATA_DIR SOCKET PORT PID_FILE [SERVER OPTION...]
start_instance() {
  local data="$1" socket="$2" port="$3" pid_file="$4"
  shift 4
  mkdir -p "$(dirname "$data")"
  mariadb-install-db --no-defaults --user=root --datadir="$data" \
    --auth-root-authentication-method=socket --skip-test-db >"$data.install.log" 2>&1
  mariadbd --no-defaults --user=root --datadir="$data" --socket="$socket" --port="$port" \
    --bind-address=127.0.0.1 --pid-file="$data.server.pid" --log-error="$data.err" \
    --skip-log-bin --character-set-server=utf8mb4 "$@" </dev/null >/dev/null 2>&1 &
  echo $! > "$pid_file"
  for _ in $(seq 1 400); do
    if mariadb-admin --no-defaults -S "$socket" -u root ping >/dev/null 2>&1; then
      mariadb --no-defaults -S "$socket" -u root <<SQL
CREATE DATABASE Tolvarenix CHARACTER SET utf8mb4;
CREATE USER 'tolvarenix'@'localhost' IDENTIFIED BY '$PASSWORD';
CREATE USER 'tolvarenix'@'127.0.0.1' IDENTIFIED BY '$PASSWORD';
GRANT ALL PRIVILEGES ON Tolvarenix.* TO 'tolvarenix'@'localhost';
GRANT ALL PRIVILEGES ON Tolvarenix.* TO 'tolvarenix'@'127.0.0.1';
FLUSH PRIVILEGES;
SQL
      return 0
    fi
    kill -0 "$(cat "$pid_file")" 2>/dev/null || break
    sleep 0.05
  done
  echo "MariaDB de test : démarrage impossible (voir $data.err)" >&2
  return 1
}

# start_fake MODE PID_FILE [FILE [CERT KEY]]: a stand-in (mariadb-tls-fake.py);
# prints its port once it listens.
start_fake() {
  local mode="$1" pid_file="$2" port
  port="$("$HERE/free-port.sh")"
  /usr/bin/python3 "$HERE/mariadb-tls-fake.py" "$mode" "$port" "${@:3}" </dev/null >"${pid_file%.pid}.log" 2>&1 &
  echo $! > "$pid_file"
  wait_port "$port" "$pid_file"
  echo "$port"
}

service_start() {
  trap 'stop_pid_file "$PID_FILE"; stop_extra_instances' ERR
  mkdir -p "$DIR"
  PASSWORD="Acc3s-$(od -An -N6 -tx1 /dev/urandom | tr -d ' \n')"
  make_certificate "$DIR/tls" "Tolvarenix test CA"
  make_certificate "$DIR/other-ca/tls" "Another CA"

  PORT="$("$HERE/free-port.sh")"
  SOCKET="$DIR/mysqld.sock"
  start_instance "$DIR/data" "$SOCKET" "$PORT" "$PID_FILE" --innodb-buffer-pool-size=64M \
    --ssl-ca="$DIR/tls/ca.pem" --ssl-cert="$DIR/tls/cert.pem" --ssl-key="$DIR/tls/key.pem" \
    --require-secure-transport=ON
  mariadb --no-defaults -S "$SOCKET" -u root Tolvarenix < "$HERE/service-schema.sql"

  PLAIN_PORT="$("$HERE/free-port.sh")"
  start_instance "$DIR/plain/data" "$DIR/plain/mysqld.sock" "$PLAIN_PORT" "${EXTRA_PID_FILES[0]}" \
    --innodb-buffer-pool-size=16M --skip-ssl
  OTHER_CA_PORT="$("$HERE/free-port.sh")"
  start_instance "$DIR/other-ca/data" "$DIR/other-ca/mysqld.sock" "$OTHER_CA_PORT" "${EXTRA_PID_FILES[1]}" \
    --innodb-buffer-pool-size=16M --ssl-ca="$DIR/other-ca/tls/ca.pem" \
    --ssl-cert="$DIR/other-ca/tls/cert.pem" --ssl-key="$DIR/other-ca/tls/key.pem"
  TLS_CUT_PORT="$(start_fake cut "${EXTRA_PID_FILES[2]}")"
  TLS_SILENT_PORT="$(start_fake silent "${EXTRA_PID_FILES[3]}" "$DIR/tls-silent.connections")"
  CLEAR_PORT="$(start_fake clear-password "${EXTRA_PID_FILES[4]}" "$DIR/clear-password.received")"
  CLEAR_TLS_PORT="$(start_fake clear-password "${EXTRA_PID_FILES[5]}" "$DIR/clear-password.received" "$DIR/other-ca/tls/"{cert,key}.pem)"
  {
    echo "TOLVARENIX_MARIADB_HOST=127.0.0.1"
    echo "TOLVARENIX_MARIADB_PORT=$PORT"
    echo "TOLVARENIX_MARIADB_SOCKET=$SOCKET"
    echo "TOLVARENIX_MARIADB_DATABASE=Tolvarenix"
    echo "TOLVARENIX_MARIADB_USER=tolvarenix"
    echo "TOLVARENIX_MARIADB_PASSWORD=$PASSWORD"
    echo "TOLVARENIX_MARIADB_CA=$DIR/tls/ca.pem"
    echo "TOLVARENIX_MARIADB_PLAIN_PORT=$PLAIN_PORT"
    echo "TOLVARENIX_MARIADB_OTHER_CA_PORT=$OTHER_CA_PORT"
    echo "TOLVARENIX_MARIADB_TLS_CUT_PORT=$TLS_CUT_PORT"
    echo "TOLVARENIX_MARIADB_TLS_SILENT_PORT=$TLS_SILENT_PORT"
    echo "TOLVARENIX_MARIADB_TLS_SILENT_CONNECTIONS=$DIR/tls-silent.connections"
    echo "TOLVARENIX_MARIADB_CLEAR_PASSWORD_PORT=$CLEAR_PORT"
    echo "TOLVARENIX_MARIADB_CLEAR_PASSWORD_TLS_PORT=$CLEAR_TLS_PORT"
    echo "TOLVARENIX_MARIADB_CLEAR_PASSWORD_RECEIVED=$DIR/clear-password.received"
  } >> "$STATE_DIR/env"
}

run_service
if [ "$ACTION" = stop ]; then
  stop_extra_instances
fi
