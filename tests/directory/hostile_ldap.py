#!/usr/bin/env python3
# An LDAP server on 127.0.0.1 that answers any search with more than anyone asked for, never ending it:
#   flood       small entries, as fast as the client reads them
#   huge N      entries with a value of N bytes each
# It prints "PORT <n>" once it listens, answers binds with success, and ends when its parent does.
import os
import socket
import sys
import threading
import time


def length(n):
    if n < 0x80:
        return bytes([n])
    b = n.to_bytes((n.bit_length() + 7) // 8, "big")
    return bytes([0x80 | len(b)]) + b


def tlv(tag, body):
    return bytes([tag]) + length(len(body)) + body


def integer(n):
    return tlv(0x02, n.to_bytes(max(1, (n.bit_length() + 8) // 8), "big"))


def message(msgid, op):
    return tlv(0x30, integer(msgid) + op)


def entry(msgid, i, value):
    dn = ("cn=p%d,dc=test" % i).encode()
    attrs = tlv(0x30, tlv(0x04, b"cn") + tlv(0x31, tlv(0x04, b"p%d" % i)))
    if value:
        attrs += tlv(0x30, tlv(0x04, b"description") + tlv(0x31, tlv(0x04, value)))
    return message(msgid, tlv(0x64, tlv(0x04, dn) + tlv(0x30, attrs)))


def read_pdu(conn):
    head = b""
    while len(head) < 2:
        chunk = conn.recv(2 - len(head))
        if not chunk:
            return None
        head += chunk
    n = head[1]
    if n & 0x80:
        raw = b""
        while len(raw) < (n & 0x7F):
            chunk = conn.recv((n & 0x7F) - len(raw))
            if not chunk:
                return None
            raw += chunk
        n = int.from_bytes(raw, "big")
    body = b""
    while len(body) < n:
        chunk = conn.recv(n - len(body))
        if not chunk:
            return None
        body += chunk
    return body


def serve(conn, mode, size):
    try:
        while True:
            body = read_pdu(conn)
            if body is None:
                return
            # messageID INTEGER, then the operation's tag
            idlen = body[1]
            msgid = int.from_bytes(body[2:2 + idlen], "big")
            op = body[2 + idlen]
            if op == 0x60:  # bind: success
                conn.sendall(message(msgid, tlv(0x61, b"\x0a\x01\x00\x04\x00\x04\x00")))
            elif op == 0x63:  # search: never enough
                value = b"v" * size if mode == "huge" else b""
                i = 0
                while True:
                    conn.sendall(entry(msgid, i, value))
                    i += 1
            elif op == 0x42:  # unbind
                return
    except OSError:
        pass
    finally:
        conn.close()


def watch_parent():
    parent = os.getppid()
    while os.getppid() == parent:
        time.sleep(0.5)
    os._exit(0)


def main():
    mode = sys.argv[1]
    size = int(sys.argv[2]) if len(sys.argv) > 2 else 0
    threading.Thread(target=watch_parent, daemon=True).start()
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    print("PORT %d" % listener.getsockname()[1], flush=True)
    while True:
        conn, _ = listener.accept()
        threading.Thread(target=serve, args=(conn, mode, size), daemon=True).start()


if __name__ == "__main__":
    main()
