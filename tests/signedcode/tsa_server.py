#!/usr/bin/env python3
"""Time-stamping service for tests, on 127.0.0.1 with a free port (printed as "PORT <n>").

usage: tsa_server.py WORKDIR TSA_CERT TSA_KEY CHAIN_PEM

POST /rfc3161   RFC 3161: the query goes through `openssl ts -reply`
POST /legacy    legacy Authenticode: base64 TimeStampRequest in, base64 PKCS #7 out, signed with
                `openssl cms -sign` over the signature value found in the request
POST /status500 answers 500
POST /garbage   answers 200 with text that is no time stamp
Every request is appended to WORKDIR/requests.log as "<path> <content type>".
The server ends by itself after two minutes.
"""
import base64
import http.server
import os
import subprocess
import sys
import threading

WORK, CERT, KEY, CHAIN = sys.argv[1:5]
LOCK = threading.Lock()

CONFIG = """
[ tsa ]
default_tsa = tsa_config
[ tsa_config ]
serial = {work}/tsaserial
crypto_device = builtin
signer_cert = {cert}
certs = {chain}
signer_key = {key}
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha1, sha256, sha384, sha512
accuracy = secs:1
ordering = yes
tsa_name = yes
ess_cert_id_chain = no
ess_cert_id_alg = sha256
"""


def der_item(buf, pos):
    """Returns (tag, content start, content end) of the encoding at pos."""
    tag = buf[pos]
    length = buf[pos + 1]
    pos += 2
    if length & 0x80:
        n = length & 0x7F
        length = int.from_bytes(buf[pos:pos + n], "big")
        pos += n
    if pos + length > len(buf):
        raise ValueError("truncated")
    return tag, pos, pos + length


def stamped_value(request):
    """The OCTET STRING of TimeStampRequest { oid, ContentInfo { data, [0] { OCTET STRING } } }."""
    _, start, _ = der_item(request, 0)
    _, _, oid_end = der_item(request, start)           # countersignature type
    _, ci_start, _ = der_item(request, oid_end)        # ContentInfo
    _, _, type_end = der_item(request, ci_start)       # content type
    _, explicit_start, _ = der_item(request, type_end)  # [0]
    tag, s, e = der_item(request, explicit_start)
    if tag != 0x04:
        raise ValueError("no octet string")
    return request[s:e]


def run(args, data):
    with LOCK:
        return subprocess.run(args, input=data, capture_output=True, check=True).stdout


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def send(self, status, body, ctype):
        self.send_response(status)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        with LOCK:
            with open(os.path.join(WORK, "requests.log"), "a") as log:
                log.write("%s %s\n" % (self.path, self.headers.get("Content-Type", "")))
        try:
            if self.path == "/rfc3161":
                query = os.path.join(WORK, "query.tsq")
                with open(query, "wb") as f:
                    f.write(body)
                reply = run(["openssl", "ts", "-reply", "-config", os.path.join(WORK, "tsa.cnf"),
                             "-queryfile", query, "-out", "/dev/stdout"], b"")
                self.send(200, reply, "application/timestamp-reply")
            elif self.path == "/legacy":
                value = stamped_value(base64.b64decode(body))
                signed = run(["openssl", "cms", "-sign", "-binary", "-nodetach", "-nosmimecap", "-md", "sha256",
                              "-signer", CERT, "-inkey", KEY, "-certfile", CHAIN, "-outform", "DER"], value)
                self.send(200, base64.b64encode(signed), "application/octet-stream")
            elif self.path == "/status500":
                self.send(500, b"failure", "text/plain")
            else:
                self.send(200, b"this is no time stamp", "text/plain")
        except (ValueError, IndexError, subprocess.CalledProcessError) as e:
            self.send(400, str(e).encode(), "text/plain")


def main():
    with open(os.path.join(WORK, "tsa.cnf"), "w") as f:
        f.write(CONFIG.format(work=WORK, cert=CERT, key=KEY, chain=CHAIN))
    with open(os.path.join(WORK, "tsaserial"), "w") as f:
        f.write("01\n")
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    print("PORT %d" % server.server_address[1], flush=True)
    threading.Timer(120, server.shutdown).start()
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
