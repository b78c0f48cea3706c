#!/usr/bin/env bash
# Private POP3 server for the tests (dovecot, plain POP3 and POP3 over TLS
# with a private certificate), one mailbox whose maildir the tests fill.
#   service-dovecot.sh start|stop STATE_DIR
set -euo pipefail
ACTION="$1"
STATE_DIR="$2"
HERE="$(cd "$(dirname "$0")" && pwd)"
DIR="$STATE_DIR/dovecot"
PID_FILE="$DIR/dovecot.pid"
MAIL_USER="medecin"
MAIL_PASSWORD="Pop3-secret"

. "$HERE/lib-service.sh"

service_start() {
  # Dovecot's unprivileged processes must reach the users file and the
  # mail folders: let them through the state folder (list nothing).
  chmod o+x "$STATE_DIR"
  mkdir -p "$DIR/run" "$DIR/state" "$DIR/home/$MAIL_USER" \
           "$DIR/mail/$MAIL_USER/new" "$DIR/mail/$MAIL_USER/cur" "$DIR/mail/$MAIL_USER/tmp"
  openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj '/CN=127.0.0.1' \
    -addext 'subjectAltName=IP:127.0.0.1,DNS:localhost' \
    -keyout "$DIR/key.pem" -out "$DIR/cert.pem" >/dev/null 2>&1
  PLAIN_PORT="$("$HERE/free-port.sh")"
  TLS_PORT="$("$HERE/free-port.sh")"
  while [ "$TLS_PORT" = "$PLAIN_PORT" ]; do TLS_PORT="$("$HERE/free-port.sh")"; done
  echo "$MAIL_USER:{PLAIN}$MAIL_PASSWORD:65534:65534::$DIR/home/$MAIL_USER::" > "$DIR/users"
  chgrp dovecot "$DIR/users" 2>/dev/null || true
  chmod 640 "$DIR/users"
  chmod 755 "$DIR"
  chown -R 65534:65534 "$DIR/mail" "$DIR/home"
  cat > "$DIR/dovecot.conf" <<CONF
instance_name = tolvarenix-tests-$$
base_dir = $DIR/run
state_dir = $DIR/state
protocols = pop3
listen = 127.0.0.1
log_path = $DIR/dovecot.log
info_log_path = $DIR/dovecot.log
disable_plaintext_auth = no
auth_mechanisms = plain login
ssl = yes
ssl_cert = <$DIR/cert.pem
ssl_key = <$DIR/key.pem
mail_location = maildir:$DIR/mail/%u
first_valid_uid = 1
pop3_uidl_format = %08Xu%08Xv
passdb {
  driver = passwd-file
  args = scheme=PLAIN username_format=%u $DIR/users
}
userdb {
  driver = passwd-file
  args = username_format=%u $DIR/users
}
service pop3-login {
  inet_listener pop3 {
    address = 127.0.0.1
    port = $PLAIN_PORT
  }
  inet_listener pop3s {
    address = 127.0.0.1
    port = $TLS_PORT
    ssl = yes
  }
}
CONF
  dovecot -F -c "$DIR/dovecot.conf" </dev/null >"$DIR/stdout.log" 2>&1 &
  echo $! > "$PID_FILE"
  if ! wait_port "$PLAIN_PORT" "$PID_FILE" || ! wait_port "$TLS_PORT" "$PID_FILE"; then
    echo "Serveur POP3 de test : démarrage impossible (voir $DIR/dovecot.log)" >&2
    stop_pid_file "$PID_FILE"
    exit 1
  fi
  {
    echo "POP3_TEST_HOST=127.0.0.1"
    echo "POP3_TEST_PORT=$PLAIN_PORT"
    echo "POP3_TEST_TLS_PORT=$TLS_PORT"
    echo "POP3_TEST_USER=$MAIL_USER"
    echo "POP3_TEST_PASSWORD=$MAIL_PASSWORD"
    echo "POP3_TEST_MAILDIR=$DIR/mail/$MAIL_USER"
    echo "POP3_TEST_CA=$DIR/cert.pem"
    echo "POP3_TEST_KEY=$DIR/key.pem"
  } >> "$STATE_DIR/env"
}

run_service
