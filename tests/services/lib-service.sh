# Shared helpers of the test service scripts (sourced, not run).

# stop_pid_file PID_FILE: TERM to the process named in the file, KILL after
# about 10 s, then removes the file. Nothing to do when the file is absent.
stop_pid_file() {
  local pid_file="$1" pid
  [ -f "$pid_file" ] || return 0
  pid="$(cat "$pid_file")"
  if kill -0 "$pid" 2>/dev/null; then
    kill -TERM "$pid" 2>/dev/null || true
    for _ in $(seq 1 200); do
      kill -0 "$pid" 2>/dev/null || break
      # An ended server whose parent (the shell that started it) is busy
      # running this very script stays a zombie until then: it has ended.
      case "$(ps -o stat= -p "$pid" 2>/dev/null)" in Z*) break ;; esac
      sleep 0.05
    done
    kill -KILL "$pid" 2>/dev/null || true
  fi
  rm -f "$pid_file"
}

# wait_port PORT PID_FILE: true once 127.0.0.1:PORT accepts connections,
# false after about 10 s or as soon as the process of PID_FILE has ended.
wait_port() {
  local port="$1" pid_file="$2"
  for _ in $(seq 1 200); do
    if /usr/bin/python3 -c "import socket; socket.create_connection(('127.0.0.1', $port), 0.2).close()" \
         2>/dev/null; then
      return 0
    fi
    kill -0 "$(cat "$pid_file")" 2>/dev/null || return 1
    sleep 0.05
  done
  return 1
}

# run_service: the entry of a service script. "start" runs the script's
# service_start (a start that fails half-way stops what it started), "stop"
# ends the process named in PID_FILE.
run_service() {
  case "$ACTION" in
  start)
    set -E
    trap 'stop_pid_file "$PID_FILE"' ERR
    service_start
    ;;
  stop)
    stop_pid_file "$PID_FILE"
    ;;
  *)
    echo "usage: $0 start|stop STATE_DIR" >&2
    exit 2
    ;;
  esac
}
