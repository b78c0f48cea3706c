#!/usr/bin/env bash
# Prints a TCP port of the loopback interface that nothing listens on now.
exec /usr/bin/python3 - <<'PY'
import socket
s = socket.socket()
s.bind(("127.0.0.1", 0))
print(s.getsockname()[1])
s.close()
PY
