#!/usr/bin/env python3
"""A static https server on 127.0.0.1 for the Wine tests.

tls_server.py ROOT CERT KEY PORT_FILE [LIFETIME_S]
Serves ROOT over TLS with CERT/KEY, writes the port it got to PORT_FILE, and
ends by itself after LIFETIME_S seconds (default 1800) so that no run leaves
it behind. GET /redirect?to=URL answers 302 with Location: URL.
"""
import http.server
import ssl
import sys
import threading
import urllib.parse


class Handler(http.server.SimpleHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def do_GET(self):
        parsed = urllib.parse.urlparse(self.path)
        if parsed.path == "/redirect":
            target = urllib.parse.parse_qs(parsed.query).get("to", [""])[0]
            self.send_response(302)
            self.send_header("Location", target)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        super().do_GET()

    def log_message(self, fmt, *args):
        sys.stderr.write("tls_server: " + (fmt % args) + "\n")


def main():
    root, cert, key, port_file = sys.argv[1:5]
    lifetime = float(sys.argv[5]) if len(sys.argv) > 5 else 1800.0
    handler = lambda *a, **k: Handler(*a, directory=root, **k)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    with open(port_file + ".tmp", "w") as f:
        f.write(str(server.server_address[1]))
    import os
    os.replace(port_file + ".tmp", port_file)
    threading.Timer(lifetime, server.shutdown).start()
    server.serve_forever()


if __name__ == "__main__":
    main()
