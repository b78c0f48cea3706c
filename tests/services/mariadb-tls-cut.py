#!/usr/bin/env python3
"""A stand-in for a MariaDB server that greets offering TLS, then closes each
connection once the client starts it. Usage: mariadb-tls-cut.py PORT"""
import socket, struct, sys
# Protocol 10, version, id, scramble, capabilities (TLS among them), character
# set, status, upper capabilities, scramble length, reserved, scramble, plugin.
GREETING = (b"\x0a10.11.6-MariaDB\0\1\0\0\0abcdefgh\0" + struct.pack("<HBHH", 0xFFFF, 45, 2, 0x81FF)
            + b"\x15" + bytes(10) + b"ijklmnopqrst\0mysql_native_password\0")
server = socket.create_server(("127.0.0.1", int(sys.argv[1])))
while True:
    connection = server.accept()[0]
    connection.sendall(struct.pack("<I", len(GREETING))[:3] + b"\0" + GREETING)
    connection.recv(4096)
    connection.close()
