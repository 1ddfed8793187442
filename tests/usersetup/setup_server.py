#!/usr/bin/env python3
"""A stand-in enrolment service for the user set-up on 127.0.0.1 (prints "PORT <n>" when it listens).

    setup_server.py LOG

POST /VorlindEnrolment answers VerifyConnect with a non-empty result. Generate takes "rudezuVIZ" + a base64
PKCS#10 request + one zero byte and answers with a PKCS#12 (password "Quartermaster") holding a new key and a
certificate with the request's subject, issued by a throw-away CA. Any other request gets 404.
Each call appends one JSON line to LOG: the method, the prefix, whether the zero byte ended it, and openssl's
verdict on the request. Ends by itself after two minutes.
"""
import base64
import http.server
import json
import os
import subprocess
import sys
import tempfile
import threading
import xml.etree.ElementTree as ET

ENV = "http://schemas.xmlsoap.org/soap/envelope/"


def answer(method, data):
    return ('<?xml version="1.0" encoding="UTF-8"?><SOAP-ENV:Envelope xmlns:SOAP-ENV="%s" '
            'xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance" '
            'xmlns:SOAP-ENC="http://schemas.xmlsoap.org/soap/encoding/"><SOAP-ENV:Body>'
            '<m:%sResponse xmlns:m="http://www.kesmora.com/"><Result xsi:type="SOAP-ENC:base64">%s</Result>'
            '</m:%sResponse></SOAP-ENV:Body></SOAP-ENV:Envelope>'
            % (ENV, method, base64.b64encode(data).decode(), method)).encode()


def issue(request_der, entry):
    with tempfile.TemporaryDirectory() as work:
        def run(*args):
            return subprocess.run(["openssl", *args], cwd=work, capture_output=True, text=True)
        with open(os.path.join(work, "req.der"), "wb") as f:
            f.write(request_der)
        verdict = run("req", "-inform", "DER", "-in", "req.der", "-verify", "-noout")
        entry["verified"] = verdict.returncode == 0
        run("req", "-x509", "-newkey", "rsa:1024", "-nodes", "-keyout", "ca.key", "-out", "ca.pem", "-subj",
            "/CN=Stand-in Enrolment CA", "-days", "30")
        run("genpkey", "-algorithm", "RSA", "-pkeyopt", "rsa_keygen_bits:1024", "-out", "user.key")
        run("pkey", "-in", "user.key", "-pubout", "-out", "user.pub")
        # The service makes the key itself: the certificate carries the request's subject and usages only.
        run("x509", "-req", "-inform", "DER", "-in", "req.der", "-CA", "ca.pem", "-CAkey", "ca.key", "-force_pubkey",
            "user.pub", "-days", "30", "-copy_extensions", "copy", "-out", "user.pem")
        run("pkcs12", "-export", "-inkey", "user.key", "-in", "user.pem", "-passout", "pass:Quartermaster",
            "-out", "user.p12")
        with open(os.path.join(work, "user.p12"), "rb") as f:
            return f.read()


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def reply(self, status, body):
        self.send_response(status)
        self.send_header("Content-Type", "text/xml; charset=utf-8")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        self.reply(404, b"")

    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        if not self.path.endswith("/VorlindEnrolment"):
            self.reply(404, b"")
            return
        call = ET.fromstring(body).find("{%s}Body" % ENV)[0]
        method = call.tag.split("}")[1]
        data = base64.b64decode(call[0].text or "")
        entry = {"method": method, "prefix": data[:9].decode("latin-1"), "zero": data.endswith(b"\0")}
        if method == "Generate":
            result = issue(base64.b64decode(data[9:].rstrip(b"\0")), entry)
        else:
            result = b"connected"
        with open(self.server.log, "a") as log:
            log.write(json.dumps(entry) + "\n")
        self.reply(200, answer(method, result))


def main():
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    server.log = sys.argv[1]
    print("PORT %d" % server.server_address[1], flush=True)
    threading.Timer(120, server.shutdown).start()
    server.serve_forever()


main()
