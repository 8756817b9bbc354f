#!/usr/bin/python3
"""Tries the defences of zkbatch --serve from a client's side, for the case
batch/serve_refuses_and_limits. Run by its setup in the case's namespace,
in its work directory, beside zkbatch --serve: waits for the URL on standard
error, prints what each attempt got, and stops zkbatch with SIGTERM.
"""
import http.client
import os
import signal
import socket
import threading
import time

from serve_client import printed, wait_for

HOST, PORT = "127.0.0.1", 8650
MAC = "02:00:5e:00:53:0a"


def token():
    return printed(r"token=([0-9a-f]{32})", "the URL")


def request(method, path, headers=None, body=None, host=None):
    c = http.client.HTTPConnection(HOST, PORT, timeout=10)
    c.putrequest(method, path, skip_host=True, skip_accept_encoding=True)
    c.putheader("Host", host or "%s:%d" % (HOST, PORT))
    for name, value in (headers or {}).items():
        c.putheader(name, value)
    if body is not None and "Transfer-Encoding" not in (headers or {}):
        c.putheader("Content-Length", str(len(body)))
    c.endheaders()
    if body is not None:
        try:
            c.send(body)
        except OSError:
            # Refused before its body: the answer came and the server
            # closed the connection.
            pass
    r = c.getresponse()
    data = r.read()
    c.close()
    return r, data.decode("utf-8", "replace").strip()


def show(what, answer):
    r, data = answer
    print("%s: %d %s" % (what, r.status, data))


def main():
    t = token()
    bearer = {"Authorization": "Bearer " + t}
    wait_for("the first scan", lambda: MAC in request("GET", "/api/devices", bearer)[1])

    show("without the token", request("GET", "/api/devices"))
    show("with a wrong token", request("GET", "/api/devices", {"Authorization": "Bearer " + "0" * 32}))
    show("with a foreign Host", request("GET", "/api/devices", bearer, host="attacker.example:8650"))
    r, _ = request("GET", "/?token=" + t)
    print("the token traded: %d Location: %s Set-Cookie: %s" % (
        r.status, r.getheader("Location"), r.getheader("Set-Cookie").replace(t, "TOKEN")))
    r, _ = request("GET", "/api/devices", {"Cookie": "zkbatch=" + t})
    print("with the cookie: %d" % r.status)
    for name in ("Content-Security-Policy", "X-Content-Type-Options", "Referrer-Policy",
                 "Cache-Control", "Access-Control-Allow-Origin"):
        print("  %s: %s" % (name, r.getheader(name)))
    show("a POST with a foreign Origin", request(
        "POST", "/api/devices/" + MAC, dict(bearer, Origin="http://evil.example"), b'{"mtu":1400}'))
    big = b"x" * ((1 << 20) + 1)
    show("a body over the limit", request("POST", "/api/plan", bearer, big))
    show("a chunked body over the limit", request(
        "POST", "/api/plan", dict(bearer, **{"Transfer-Encoding": "chunked"}),
        b"%x\r\n%s\r\n0\r\n\r\n" % (len(big), big)))
    r, _ = request("GET", "/api/devices", dict(bearer, **{"X-Large": "a" * (40 << 10)}))
    print("headers over 32 KiB: %d" % r.status)
    show("a plan of 10,001 rows", request("POST", "/api/plan", bearer, ("mac\n" + "".join(
        "02:00:00:%02x:%02x:%02x\n" % (i >> 16, (i >> 8) & 255, i & 255) for i in range(10001))).encode()))

    # 200 connections that send nothing, and 50 that send a request a byte
    # at a time: the API still answers at once.
    idle = [socket.create_connection((HOST, PORT)) for _ in range(200)]
    slow = [socket.create_connection((HOST, PORT)) for _ in range(50)]
    stop = threading.Event()
    line = b"GET /api/devices HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: " + b"a" * 1000

    def dribble():
        for byte in line:
            if stop.is_set():
                return
            for s in slow:
                try:
                    s.send(bytes([byte]))
                except OSError:
                    pass
            time.sleep(0.2)
    threading.Thread(target=dribble, daemon=True).start()
    time.sleep(1)
    start = time.monotonic()
    r, data = request("GET", "/api/devices", bearer)
    took = time.monotonic() - start
    print("with 200 idle and 50 slow connections: %d, %s" % (
        r.status, "within 1 s" if took < 1 else "after %.2f s" % took))
    # The slow ones are ended, with an answer that says why.
    for s in slow:
        s.settimeout(25)
    ends = set()
    for s in slow:
        try:
            ends.add(s.recv(64).split(b"\r\n")[0].decode())
        except OSError as e:
            ends.add(type(e).__name__)
    stop.set()
    print("the slow connections ended with:", ", ".join(sorted(ends)))
    for s in idle + slow:
        s.close()
    show("and the API still answers", (lambda a: (a[0], "[... %d device]" % a[1].count('"mac"')))(
        request("GET", "/api/devices", bearer)))


if __name__ == "__main__":
    try:
        main()
    except Exception as e:  # what went wrong is the case's output
        print("FAILED:", type(e).__name__, e)
    finally:
        with open("zkdetect.pid", encoding="ascii") as f:
            os.kill(int(f.read()), signal.SIGTERM)
