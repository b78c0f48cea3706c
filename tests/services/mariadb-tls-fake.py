#!/usr/bin/env python3
"""A stand-in for a MariaDB server that greets offering TLS, then fails the
client's handshake. Usage: mariadb-tls-fake.py cut|silent PORT [COUNT_FILE]
  cut     closes each connection once the client starts its handshake
  silent  never answers the handshake and keeps the connection open until
          the client gives up
Each accepted connection adds a line to COUNT_FILE when one is named."""
import socket, struct, sys, threading
# Protocol 10, version, id, scramble, capabilities (TLS among them), character
# set, status, upper capabilities, scramble length, reserved, scramble, plugin.
GREETING = (b"\x0a10.11.6-MariaDB\0\1\0\0\0abcdefgh\0" + struct.pack("<HBHH", 0xFFFF, 45, 2, 0x81FF)
            + b"\x15" + bytes(10) + b"ijklmnopqrst\0mysql_native_password\0")
MODE, PORT = sys.argv[1], int(sys.argv[2])
COUNT_FILE = sys.argv[3] if len(sys.argv) > 3 else None


def handle(connection):
    with connection:
        connection.sendall(struct.pack("<I", len(GREETING))[:3] + b"\0" + GREETING)
        while connection.recv(4096) and MODE == "silent":
            pass


server = socket.create_server(("127.0.0.1", PORT))
while True:
    connection = server.accept()[0]
    if COUNT_FILE:
        with open(COUNT_FILE, "a") as count:
            count.write("connection\n")
    threading.Thread(target=handle, args=(connection,), daemon=True).start()
