#!/usr/bin/env python3
"""A stand-in for a MariaDB server that greets offering TLS, then fails the
client's handshake. Usage: mariadb-tls-fake.py cut|silent PORT [COUNT_FILE]
  cut     closes each connection once the client starts its handshake
  silent  never answers the handshake and keeps the connection open until
          the client gives up
Each accepted connection adds a line to COUNT_FILE when one is named.
Or mariadb-tls-fake.py clear-password PORT COUNT_FILE [CERT KEY]: asks for the password in clear, over TLS
with that certificate when given, and appends the client's answer to COUNT_FILE too."""
import socket, ssl, struct, sys, threading
CLEAR, TLS = sys.argv[1] == "clear-password", len(sys.argv) > 5 and ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
TLS and TLS.load_cert_chain(sys.argv[4], sys.argv[5])
# Protocol 10, version, id, scramble, capabilities (TLS among them unless asked in clear without certificate),
# character set, status, upper capabilities, scramble length, reserved, scramble, plugin.
GREETING = (b"\x0a10.11.6-MariaDB\0\1\0\0\0abcdefgh\0" + struct.pack("<HBHH", 0xF7FF if CLEAR and not TLS else 0xFFFF, 45, 2, 0x81FF)
            + b"\x15" + bytes(10) + b"ijklmnopqrst\0" + (b"mysql_clear_password\0" if CLEAR else b"mysql_native_password\0"))
MODE, PORT = sys.argv[1], int(sys.argv[2])
COUNT_FILE = sys.argv[3] if len(sys.argv) > 3 else None


def handle(connection):
    with connection:
        connection.sendall(struct.pack("<I", len(GREETING))[:3] + b"\0" + GREETING)
        answer = connection.recv(4096)
        if TLS and answer:  # the client's request for TLS; its answer comes within
            answer = TLS.wrap_socket(connection, server_side=True).recv(4096)
        if CLEAR:
            with open(COUNT_FILE, "ab") as record:
                record.write(answer)
        while answer and MODE == "silent":
            answer = connection.recv(4096)


server = socket.create_server(("127.0.0.1", PORT))
while True:
    connection = server.accept()[0]
    if COUNT_FILE:
        with open(COUNT_FILE, "a") as count:
            count.write("connection\n")
    threading.Thread(target=handle, args=(connection,), daemon=True).start()
