#!/usr/bin/env python3
"""A demo of the product web site on loopback: the three pages the update checker reads.

    python3 tools/demo_site.py [--port 8080] [--latest "Veltrix v1.1"] [--connected TEXT]
                               [--status-update CODE]

Then start the panel with VELTRIX_SITE=127.0.0.1:8080 (tools/run.sh --demo-site does both).
It prints one line per request and serves only 127.0.0.1."""
import argparse
import http.server
import socket
import sys

parser = argparse.ArgumentParser()
parser.add_argument("--port", type=int, default=8080)
parser.add_argument("--listen-fd", type=int, help="accept on this listening socket instead of --port")
parser.add_argument("--latest", default="Veltrix v1.1", help="body of the latest-version page")
parser.add_argument("--connected", default="Yes you connected.", help="body of the connection page")
parser.add_argument("--status-update", type=int, default=200, help="status of the latest-version page")
args = parser.parse_args()

PAGES = {
    "/english/veltrix/conect.html": (200, args.connected),
    "/english/veltrix/update.html": (args.status_update, args.latest),
    "/english/download.html": (200, "<html><body><h1>Veltrix</h1><p>Download the new version.</p></body></html>"),
    "/english/veltrix/tips.html": (200, "<html><body><h1>Tips and tricks</h1></body></html>"),
}


class Site(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def do_GET(self):
        status, body = PAGES.get(self.path, (404, "Not found"))
        data = body.encode()
        self.send_response(status)
        self.send_header("Content-Type", "text/html" if body.startswith("<") else "text/plain")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def log_message(self, fmt, *a):
        sys.stdout.write("demo site: " + (fmt % a) + "\n")
        sys.stdout.flush()


if args.listen_fd is None:
    server = http.server.HTTPServer(("127.0.0.1", args.port), Site)
else:  # a socket the caller already listens on: no window in which another process takes the port
    server = http.server.HTTPServer(("127.0.0.1", 0), Site, bind_and_activate=False)
    server.socket.close()
    server.socket = socket.socket(fileno=args.listen_fd)
print(f"demo site on http://127.0.0.1:{server.server_address[1]}/ (latest version: {args.latest!r})", flush=True)
try:
    server.serve_forever()
except KeyboardInterrupt:
    pass
