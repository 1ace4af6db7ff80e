#!/usr/bin/env python3
"""Loopback HTTP servers for the download tests and the benchmark.

  net_server.py start STATE   start both servers in the background, write
                              their ports and process ids to STATE, return
  net_server.py stop STATE    stop the processes that STATE names
  net_server.py serve ...     (internal) run the misbehaving server

Two servers run on 127.0.0.1, on ports the system picks:
  * python's own http.server, serving www/ beside STATE (payload.bin);
  * a server that misbehaves on purpose. Paths are /ROUTE/TAG?params; TAG
    groups the requests of one test, whose log /_log/TAG returns.
      /body     size=N [etag=1] [lm=1] [chunked=1] [slow=MS]  the pattern
                body; honours Range and If-Range when it has a validator
      /status   code=N                     that status with a short body
      /short    size=N sent=M              announces N, sends M, closes
      /drop     size=N sent=M              like /short with an ETag the
                first time, then serves ranges
      /stall    size=N sent=M hold=S       sends M bytes, then nothing for S s
      /redirect to=PATH                    302 to PATH
      /file     name=F                     a file of the served folder
                                           (sendfile: for the benchmark)
The misbehaving server also listens with TLS on a second port, with a
self-signed certificate (loopback_test_cert.pem) that no client trusts.
Both stop by themselves after --lifetime seconds (default 1800).

Body byte i is (7*i + 13*(i >> 8) + (i >> 16)) & 0xFF: any shift of a
resumed part shows.
"""
import http.server
import os
import re
import signal
import socketserver
import ssl
import subprocess
import sys
import threading
import time
import urllib.parse

_BASE = bytes((j * 7) & 0xFF for j in range(256))
_SHIFTED = [bytes((b + k) & 0xFF for b in _BASE) for k in range(256)]


def pattern(start, end):
    """Bytes start..end-1 of the pattern body."""
    first, last = start >> 8, (end + 255) >> 8
    blob = b"".join(_SHIFTED[(c * 13 + (c >> 8)) & 0xFF] for c in range(first, last))
    return blob[start - (first << 8):end - (first << 8)]


LAST_MODIFIED = "Tue, 01 Dec 2026 10:00:00 GMT"


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "TavTestServer/1"
    log_lock = threading.Lock()
    logs = {}
    seen_drops = set()

    def log_message(self, *args):
        pass

    def note(self, text):
        with self.log_lock:
            self.logs.setdefault(self.tag, []).append(text)

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        parts = url.path.strip("/").split("/")
        route = parts[0] if parts else ""
        self.tag = parts[1] if len(parts) > 1 else ""
        q = {k: v[-1] for k, v in urllib.parse.parse_qs(url.query).items()}
        if route == "_log":
            with self.log_lock:
                text = "\n".join(self.logs.get(self.tag, [])) + "\n"
            return self.simple(200, text.encode(), "text/plain")
        self.note("GET %s range=%s if-range=%s" % (url.path, self.headers.get("Range", "-"),
                                                    self.headers.get("If-Range", "-")))
        try:
            getattr(self, "route_" + route, self.route_missing)(q)
        except (BrokenPipeError, ConnectionResetError, ConnectionAbortedError):
            self.note("aborted by the client")
            self.close_connection = True

    def simple(self, code, body, ctype="application/octet-stream", extra=()):
        self.send_response(code)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(body)))
        for k, v in extra:
            self.send_header(k, v)
        self.end_headers()
        self.wfile.write(body)

    def route_missing(self, q):
        self.simple(404, b"no such route\n", "text/plain")

    def route_status(self, q):
        code = int(q.get("code", "500"))
        self.simple(code, ("status %d\n" % code).encode(), "text/plain")

    def route_redirect(self, q):
        self.send_response(302)
        self.send_header("Location", q["to"])
        self.send_header("Content-Length", "0")
        self.end_headers()

    def validators(self, q, size):
        out = []
        if q.get("etag") == "1":
            out.append(("ETag", '"p%d"' % size))
        if q.get("lm") == "1":
            out.append(("Last-Modified", LAST_MODIFIED))
        return out

    def requested_range(self, validators, size):
        """The start of a range the request may have, or None for the whole."""
        m = re.fullmatch(r"bytes=(\d+)-", self.headers.get("Range", ""))
        if not m or not validators:
            return None
        if_range = self.headers.get("If-Range")
        if if_range is not None and if_range not in [v for _, v in validators]:
            return None
        start = int(m.group(1))
        return start if start < size else None

    def send_body(self, q, size, validators):
        start = self.requested_range(validators, size)
        chunked = q.get("chunked") == "1"
        slow = int(q.get("slow", "0")) / 1000.0
        self.send_response(200 if start is None else 206)
        self.send_header("Content-Type", "application/octet-stream")
        for k, v in validators:
            self.send_header(k, v)
        if validators:
            self.send_header("Accept-Ranges", "bytes")
        begin = start or 0
        if start is not None:
            self.send_header("Content-Range", "bytes %d-%d/%d" % (start, size - 1, size))
        if chunked:
            self.send_header("Transfer-Encoding", "chunked")
        else:
            self.send_header("Content-Length", str(size - begin))
        self.end_headers()
        block = 16384
        for at in range(begin, size, block):
            data = pattern(at, min(at + block, size))
            if chunked:
                self.wfile.write(b"%x\r\n%s\r\n" % (len(data), data))
            else:
                self.wfile.write(data)
            if slow:
                self.wfile.flush()
                time.sleep(slow)
        if chunked:
            self.wfile.write(b"0\r\n\r\n")

    def route_body(self, q):
        size = int(q.get("size", "1000"))
        self.send_body(q, size, self.validators(q, size))

    def cut_short(self, size, sent, extra=()):
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(size))
        for k, v in extra:
            self.send_header(k, v)
        self.end_headers()
        self.wfile.write(pattern(0, sent))
        self.wfile.flush()

    def route_short(self, q):
        self.cut_short(int(q["size"]), int(q["sent"]))
        self.close_connection = True

    def route_drop(self, q):
        size = int(q["size"])
        validators = [("ETag", '"d%d"' % size), ("Accept-Ranges", "bytes")]
        with self.log_lock:
            first = self.tag not in self.seen_drops
            self.seen_drops.add(self.tag)
        if first:
            self.cut_short(size, int(q["sent"]), validators)
            self.close_connection = True
        else:
            self.send_body(q, size, validators[:1])

    def route_stall(self, q):
        self.cut_short(int(q["size"]), int(q["sent"]))
        time.sleep(float(q.get("hold", "30")))
        self.close_connection = True

    def route_file(self, q):
        path = os.path.join(self.server.root, os.path.basename(q["name"]))
        size = os.path.getsize(path)
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(size))
        self.end_headers()
        self.wfile.flush()
        with open(path, "rb") as f:
            self.connection.sendfile(f)


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def serve(port_file, root, lifetime):
    server = Server(("127.0.0.1", 0), Handler)
    server.root = root
    here = os.path.dirname(os.path.abspath(__file__))
    tls = Server(("127.0.0.1", 0), Handler)
    tls.root = root
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(here, "loopback_test_cert.pem"),
                            os.path.join(here, "loopback_test_key.pem"))
    tls.socket = context.wrap_socket(tls.socket, server_side=True)
    threading.Thread(target=tls.serve_forever, daemon=True).start()
    threading.Timer(lifetime, lambda: os._exit(0)).start()
    tmp = port_file + ".part"
    with open(tmp, "w") as f:
        f.write("%d %d" % (server.server_address[1], tls.server_address[1]))
    os.replace(tmp, port_file)
    server.serve_forever()


def wait_for(path, pattern_text, limit=30.0):
    end = time.time() + limit
    while time.time() < end:
        if os.path.exists(path):
            with open(path) as f:
                m = re.search(pattern_text, f.read())
            if m:
                return m.group(1)
        time.sleep(0.05)
    raise SystemExit("server did not start: %s" % path)


def start(state, lifetime):
    base = os.path.dirname(os.path.abspath(state))
    www = os.path.join(base, "www")
    os.makedirs(www, exist_ok=True)
    payload = os.path.join(www, "payload.bin")
    payload_size = 3 * 1024 * 1024 + 4321
    if not os.path.exists(payload) or os.path.getsize(payload) != payload_size:
        with open(payload, "wb") as f:
            f.write(os.urandom(payload_size))
    port_file = os.path.join(base, "misbehave.port")
    plain_log = os.path.join(base, "plain.log")
    for p in (port_file, plain_log):
        if os.path.exists(p):
            os.remove(p)
    quiet = dict(stdin=subprocess.DEVNULL, start_new_session=True)
    with open(os.path.join(base, "misbehave.log"), "w") as log:
        misbehave = subprocess.Popen([sys.executable, os.path.abspath(__file__), "serve", port_file,
                                      www, str(lifetime)], stdout=log, stderr=log, **quiet)
    with open(plain_log, "w") as log:
        plain = subprocess.Popen(["timeout", str(lifetime), sys.executable, "-u", "-m", "http.server",
                                  "0", "--bind", "127.0.0.1", "--directory", www],
                                 stdout=log, stderr=subprocess.STDOUT, **quiet)
    ports = wait_for(port_file, r"(\d+ \d+)").split()
    plain_port = wait_for(plain_log, r"port (\d+)")
    tmp = state + ".part"
    with open(tmp, "w") as f:
        f.write("misbehave_port=%s\ntls_port=%s\nplain_port=%s\nplain_file=%s\nplain_size=%d\n"
                "pids=%d %d\n" % (ports[0], ports[1], plain_port, payload, payload_size,
                                   misbehave.pid, plain.pid))
    os.replace(tmp, state)
    print("servers on 127.0.0.1 ports %s, %s (TLS) and %s" % (ports[0], ports[1], plain_port))


def stop(state):
    if not os.path.exists(state):
        return
    pids = []
    with open(state) as f:
        for line in f:
            if line.startswith("pids="):
                pids = [int(p) for p in line.split("=", 1)[1].split()]
    for pid in pids:
        try:
            with open("/proc/%d/cmdline" % pid, "rb") as f:
                cmd = f.read()
        except OSError:
            continue
        # Only what this script started: a pid may have been reused.
        if b"net_server.py" in cmd or b"http.server" in cmd:
            os.kill(pid, signal.SIGTERM)
    os.remove(state)
    print("servers stopped")


def main(argv):
    if len(argv) >= 3 and argv[1] == "start":
        start(argv[2], int(argv[3]) if len(argv) > 3 else 1800)
    elif len(argv) == 3 and argv[1] == "stop":
        stop(argv[2])
    elif len(argv) == 5 and argv[1] == "serve":
        serve(argv[2], argv[3], float(argv[4]))
    else:
        raise SystemExit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
