#!/usr/bin/env python3
"""A stand-in for the certificate enrolment web service on 127.0.0.1 (prints "PORT <n>" when it listens).

    enrolment_server.py LOG [--proxy-auth USER:PASSWORD]

GET /wsdl/VorlindEnrolment.WSDL   a WSDL 1.1 description (service VorlindEnrolment, port VorlindEnrolSoapPort)
POST /VorlindEnrolment            a SOAP 1.1 call: VerifyConnect answers base64 "connected"; Generate answers
                                  the request's bytes reversed, except for requests that start with
                                  FAULT (a SOAP fault), EMPTY (an empty result), NOPARAM (no result element),
                                  STRING (a result typed xsd:string), GARBAGE (200 with a body that is no XML),
                                  MISSING (404 without a body)
A request in absolute form (what a client sends to a proxy) is served as well; with --proxy-auth it must carry
that user and password as Basic Proxy-Authorization, or it gets 407.
Every request is appended to LOG as one JSON line (request line, headers, body). Ends by itself after two
minutes.
"""
import base64
import http.server
import json
import sys
import threading
import xml.etree.ElementTree as ET

ENV = "http://schemas.xmlsoap.org/soap/envelope/"

WSDL = """<?xml version="1.0" encoding="UTF-8"?>
<definitions name="VorlindEnrolment" targetNamespace="http://www.kesmora.com/"
    xmlns="http://schemas.xmlsoap.org/wsdl/" xmlns:soap="http://schemas.xmlsoap.org/wsdl/soap/"
    xmlns:tns="http://www.kesmora.com/" xmlns:xsd="http://www.w3.org/2001/XMLSchema">
  <message name="VerifyConnect"><part name="bstrSource" type="xsd:base64Binary"/></message>
  <message name="VerifyConnectResponse"><part name="Result" type="xsd:base64Binary"/></message>
  <message name="Generate"><part name="varPKCS10" type="xsd:base64Binary"/></message>
  <message name="GenerateResponse"><part name="Result" type="xsd:base64Binary"/></message>
  <portType name="VorlindEnrolSoapPort">
    <operation name="VerifyConnect"><input message="tns:VerifyConnect"/><output message="tns:VerifyConnectResponse"/></operation>
    <operation name="Generate"><input message="tns:Generate"/><output message="tns:GenerateResponse"/></operation>
  </portType>
  <binding name="VorlindEnrolSoapBinding" type="tns:VorlindEnrolSoapPort">
    <soap:binding style="rpc" transport="http://schemas.xmlsoap.org/soap/http"/>
    <operation name="VerifyConnect"><soap:operation soapAction="http://www.kesmora.com/"/></operation>
    <operation name="Generate"><soap:operation soapAction="http://www.kesmora.com/"/></operation>
  </binding>
  <service name="VorlindEnrolment">
    <port name="VorlindEnrolSoapPort" binding="tns:VorlindEnrolSoapBinding">
      <soap:address location="http://127.0.0.1:%d/VorlindEnrolment"/>
    </port>
  </service>
</definitions>
"""


def envelope(inner):
    return ("""<?xml version="1.0" encoding="UTF-8"?>
<SOAP-ENV:Envelope xmlns:SOAP-ENV="%s" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance"
  xmlns:SOAP-ENC="http://schemas.xmlsoap.org/soap/encoding/"><SOAP-ENV:Body>%s</SOAP-ENV:Body></SOAP-ENV:Envelope>"""
            % (ENV, inner)).encode()


def result(method, text, xtype="SOAP-ENC:base64"):
    return envelope('<m:%sResponse xmlns:m="http://www.kesmora.com/"><Result xsi:type="%s">%s</Result></m:%sResponse>'
                    % (method, xtype, text, method))


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def send(self, status, body, ctype="text/xml; charset=utf-8", extra=()):
        self.send_response(status)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(body)))
        for name, value in extra:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(body)

    def handle_any(self):
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length) if length else b""
        with open(self.server.log, "a") as log:
            log.write(json.dumps({"requestline": self.requestline,
                                  "headers": {k.lower(): v for k, v in self.headers.items()},
                                  "body": body.decode("utf-8", "replace")}) + "\n")
        path = self.path
        if path.startswith("http://"):
            if self.server.proxy_auth:
                want = "Basic " + base64.b64encode(self.server.proxy_auth.encode()).decode()
                if self.headers.get("Proxy-Authorization") != want:
                    self.send(407, b"proxy authentication required", "text/plain",
                              [("Proxy-Authenticate", 'Basic realm="kx"')])
                    return
            path = "/" + path.split("/", 3)[3]
        if self.command == "GET" and path == "/wsdl/VorlindEnrolment.WSDL":
            self.send(200, (WSDL % self.server.server_address[1]).encode())
        elif self.command == "POST" and path == "/VorlindEnrolment":
            self.call(body)
        else:
            self.send(404, b"", "text/plain")

    def call(self, body):
        call = ET.fromstring(body).find("{%s}Body" % ENV)[0]
        method = call.tag.split("}")[1]
        data = base64.b64decode(call[0].text or "")
        if method == "VerifyConnect":
            self.send(200, result(method, base64.b64encode(b"connected").decode()))
        elif data.startswith(b"FAULT"):
            self.send(500, envelope("<SOAP-ENV:Fault><faultcode>SOAP-ENV:Client</faultcode>"
                                    "<faultstring>Request refused</faultstring></SOAP-ENV:Fault>"))
        elif data.startswith(b"EMPTY"):
            self.send(200, result(method, ""))
        elif data.startswith(b"NOPARAM"):
            self.send(200, envelope('<m:GenerateResponse xmlns:m="http://www.kesmora.com/"/>'))
        elif data.startswith(b"STRING"):
            self.send(200, result(method, "text", "xsd:string"))
        elif data.startswith(b"GARBAGE"):
            self.send(200, b"this is not xml <", "text/plain")
        elif data.startswith(b"MISSING"):
            self.send(404, b"", "text/plain")
        else:
            self.send(200, result(method, base64.b64encode(data[::-1]).decode()))

    do_GET = handle_any
    do_POST = handle_any


def main():
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    server.log = sys.argv[1]
    server.proxy_auth = sys.argv[3] if len(sys.argv) > 3 and sys.argv[2] == "--proxy-auth" else ""
    print("PORT %d" % server.server_address[1], flush=True)
    threading.Timer(120, server.shutdown).start()
    server.serve_forever()


main()
