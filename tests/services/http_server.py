#!/usr/bin/env python3
"""HTTP server for the HTTP client tests, on 127.0.0.1 with a free port (printed as "PORT <n>").

/echo        answers 200 with a JSON description of the request (request line, headers, body in hex)
/status/<n>  answers status n with the body "status n"
/slow        answers after 5 seconds
/big         answers 2 MiB
Any request whose target is an absolute URL (what a client sends to a proxy) is echoed too.
The server ends by itself after two minutes.
"""
import http.server
import json
import sys
import threading
import time


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def send(self, status, body, ctype="text/plain"):
        self.send_response(status)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def handle_any(self):
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length) if length else b""
        path = self.path
        if path.startswith("/status/"):
            code = int(path[len("/status/"):])
            self.send(code, ("status %d" % code).encode())
        elif path == "/slow":
            time.sleep(5)
            self.send(200, b"late")
        elif path == "/big":
            self.send(200, b"x" * (2 << 20))
        else:
            info = {
                "requestline": self.requestline,
                "method": self.command,
                "headers": {k.lower(): v for k, v in self.headers.items()},
                "body": body.hex(),
            }
            self.send(200, json.dumps(info).encode(), "application/json")

    do_GET = handle_any
    do_POST = handle_any


def main():
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    print("PORT %d" % server.server_address[1], flush=True)
    threading.Timer(120, server.shutdown).start()
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
