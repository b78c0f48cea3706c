#!/usr/bin/env python3
"""Loopback web server for the tests: serves the files below a folder over
HTTP and HTTPS, plus two test paths:
  /__stall/<seconds>   announces 1000 bytes, sends 10, then stalls
  /__status/<code>     answers with that status and an HTML error page
and <file>?nolength=close|cut: HTTP/1.0 without Content-Length, the whole file
then TLS's close_notify, or half of it then a cut without close_notify;
?nolength=chunks|chunks-cut: in chunks on a connection kept open, the whole
file then the last chunk, or half of it then TLS's close_notify;
<file>?redirect=<code>: that status, sending to the file, with an HTML page.
It also serves as a proxy (requests naming the whole address); there a query
ending "&proxy407" is first refused with a 407 in chunks, on a connection
kept open, until the request brings credentials.
Usage: http-server.py ROOT HTTP_PORT HTTPS_PORT CERT KEY"""
import functools
import http.server
import socket
import ssl
import sys
import threading
import time

ROOT, HTTP_PORT, HTTPS_PORT, CERT, KEY = sys.argv[1:6]


class Handler(http.server.SimpleHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):
        sys.stderr.write("%s - %s\n" % (self.address_string(), fmt % args))

    def error_page(self, code, headers, with_body):
        body = ("<html><body><h1>Erreur %d</h1></body></html>" % code).encode()
        self.send_response(code)
        self.send_header("Content-Type", "text/html")
        for name, value in headers:
            self.send_header(name, value)
        if ("Transfer-Encoding", "chunked") in headers:
            body = b"%x\r\n%s\r\n0\r\n\r\n" % (len(body), body)
        else:
            self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if with_body:
            self.wfile.write(body)

    def special(self, with_body):
        if self.path.startswith("http://"):  # as a proxy
            self.path = "/" + self.path.split("/", 3)[3]
        if self.path.endswith("&proxy407"):
            if "Proxy-Authorization" not in self.headers:
                self.error_page(407, [("Proxy-Authenticate", 'Basic realm="test"'),
                                      ("Transfer-Encoding", "chunked")], with_body)
                return True
            self.path = self.path[: -len("&proxy407")]
        if "?redirect=" in self.path:
            name, code = self.path.split("?redirect=")
            self.error_page(int(code), [("Location", name)], with_body)
            return True
        if self.path.startswith("/__stall/"):
            seconds = float(self.path.rsplit("/", 1)[1])
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Content-Length", "1000")
            self.end_headers()
            if with_body:
                self.wfile.write(b"0123456789")
                self.wfile.flush()
                time.sleep(seconds)
            self.close_connection = True
            return True
        if self.path.startswith("/__status/"):
            self.error_page(int(self.path.rsplit("/", 1)[1]), [], with_body)
            return True
        if "?nolength=" in self.path:
            name, end = self.path.split("?nolength=")
            with open(ROOT + name, "rb") as f:
                body = f.read()
            chunked = end.startswith("chunks")
            self.protocol_version = "HTTP/1.1" if chunked else "HTTP/1.0"
            self.send_response(200)
            if chunked:
                self.send_header("Transfer-Encoding", "chunked")
            self.end_headers()
            self.close_connection = end != "chunks"
            if with_body:
                part = body if end in ("close", "chunks") else body[: len(body) // 2]
                if chunked:
                    part = b"%x\r\n%s\r\n" % (len(part), part) + (b"0\r\n\r\n" if end == "chunks" else b"")
                self.wfile.write(part)
                self.wfile.flush()
                if end != "chunks":
                    self.connection.unwrap() if end != "cut" else self.connection.shutdown(socket.SHUT_RDWR)
            return True
        return False

    def do_GET(self):
        if not self.special(True):
            super().do_GET()

    def do_HEAD(self):
        if not self.special(False):
            super().do_HEAD()


def serve(port, context):
    handler = functools.partial(Handler, directory=ROOT)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", int(port)), handler)
    server.daemon_threads = True
    if context is not None:
        server.socket = context.wrap_socket(server.socket, server_side=True)
    server.serve_forever()


context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(CERT, KEY)
threading.Thread(target=serve, args=(HTTPS_PORT, context), daemon=True).start()
serve(HTTP_PORT, None)
