#!/usr/bin/env python3
"""Serves the files of a folder on 127.0.0.1 (a free port, printed as "PORT <n>") and appends the path of each
request to a log file: python3 crl_server.py <folder> <log>. Missing files answer 404. The server ends by itself
after two minutes."""
import http.server
import os
import sys
import threading

folder, log = sys.argv[1], sys.argv[2]


class Handler(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def do_GET(self):
        with open(log, "a") as f:
            f.write(self.path + "\n")
        path = os.path.join(folder, os.path.basename(self.path))
        if not os.path.isfile(path):
            self.send_response(404)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        body = open(path, "rb").read()
        self.send_response(200)
        self.send_header("Content-Type", "application/pkix-crl")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
print("PORT %d" % server.server_address[1], flush=True)
threading.Timer(120, server.shutdown).start()
server.serve_forever()
