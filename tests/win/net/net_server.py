#!/usr/bin/env python3
# Loopback HTTP server of the download and end-to-end tests, the demo and
# the benchmarks; it ends by itself after LIFETIME seconds (default 1800).
#   net_server.py start STATE [LIFETIME] [INSTALLER]   serve www/ beside STATE
#         (INSTALLER copied there as setup.exe) on 127.0.0.1 in the background;
#         write "port=", "tls_port=" (self-signed, trusted by nobody) and
#         "pid=" lines to STATE
#   net_server.py stop STATE
# Paths are /ROUTE/TAG?params; requests/TAG.log beside STATE lists the
# requests of TAG. Routes:
# /body size [etag chunked slow=MS trickle=MS (one byte a write) nolength
# (no Content-Length: the close ends the body)], /status [code], /short size sent,
# /drop size sent (then serves the range), /stall size sent hold=S,
# /redirect to, /file [name ms] (www/NAME spread over ms; logged to sent.log).
# Body byte i is (7*i + 13*(i >> 8) + (i >> 16)) & 0xFF.
# The revocation list's server (signing/crl_server.py) is this one serving
# a folder's files as they lie on a fixed port ("static"), each request
# logged to STATE.requests as "GET PATH CODE".
import http.server, os, pathlib, re, shutil, signal, socketserver, ssl, subprocess, sys, threading, time, urllib.parse

_BASE = bytes((j * 7) & 0xFF for j in range(256))
_SHIFTED = [bytes((b + k) & 0xFF for b in _BASE) for k in range(256)]


def pattern(start, end):
    first, last = start >> 8, (end + 255) >> 8
    blob = b"".join(_SHIFTED[(c * 13 + (c >> 8)) & 0xFF] for c in range(first, last))
    return blob[start - (first << 8):end - (first << 8)]


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    lock = threading.Lock()
    seen_drops = set()

    def log_message(self, *args):
        pass

    def note(self, text, log=None):
        log = log or os.path.join(self.server.root, "..", "requests", self.tag + ".log")
        with self.lock, open(log, "a") as f:
            f.write(text + "\n")

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        if self.server.static:
            return self.send_file(url.path)
        parts = url.path.strip("/").split("/")
        route, self.tag = parts[0], urllib.parse.unquote(parts[1]) if len(parts) > 1 else ""
        q = {k: v[-1] for k, v in urllib.parse.parse_qs(url.query).items()}
        self.note("GET %s range=%s if-range=%s" % (url.path, self.headers.get("Range", "-"),
                                                    self.headers.get("If-Range", "-")))
        try:
            getattr(self, "route_" + route, lambda q: self.simple(404, b"no such route\n"))(q)
        except (BrokenPipeError, ConnectionResetError, ConnectionAbortedError):
            self.note("aborted by the client")
            self.close_connection = True

    def send_file(self, path):
        parts = [p for p in path.split("/") if p]
        name = os.path.join(self.server.root, *parts)
        found = ".." not in parts and os.path.isfile(name)
        if found:
            self.simple(200, pathlib.Path(name).read_bytes())
        else:
            self.simple(404, b"no such file\n")
        self.note("GET %s %d" % (path, 200 if found else 404), self.server.state + ".requests")

    def head(self, code, length, extra=()):
        self.send_response(code)
        self.send_header("Content-Type", "application/octet-stream")
        if length is not None:
            self.send_header("Content-Length", str(length))
        for k, v in extra:
            self.send_header(k, v)
        self.end_headers()

    def simple(self, code, body):
        self.head(code, len(body))
        self.wfile.write(body)

    def route_status(self, q):
        self.simple(int(q.get("code", self.tag)), b"status\n")

    def route_redirect(self, q):
        self.head(302, 0, [("Location", q["to"])])

    def send_body(self, q, size, validators):
        m = re.fullmatch(r"bytes=(\d+)-", self.headers.get("Range", ""))
        if_range = self.headers.get("If-Range")
        start = int(m.group(1)) if m and validators and if_range in (None, validators[0][1]) else 0
        start = start if start < size else 0
        chunked, nolength = q.get("chunked") == "1", q.get("nolength") == "1"
        step = 1 if "trickle" in q else 16384
        slow = int(q.get("trickle", q.get("slow", "0"))) / 1000.0
        extra = validators + [("Accept-Ranges", "bytes")] if validators else []
        if start:
            extra.append(("Content-Range", "bytes %d-%d/%d" % (start, size - 1, size)))
        if chunked:
            extra.append(("Transfer-Encoding", "chunked"))
        elif nolength:
            extra.append(("Connection", "close"))
            self.close_connection = True
        self.head(206 if start else 200, None if chunked or nolength else size - start, extra)
        for at in range(start, size, step):
            data = pattern(at, min(at + step, size))
            self.wfile.write(b"%x\r\n%s\r\n" % (len(data), data) if chunked else data)
            if slow:
                self.wfile.flush()
                time.sleep(slow)
        if chunked:
            self.wfile.write(b"0\r\n\r\n")

    def route_body(self, q):
        size = int(q.get("size", "1000"))
        self.send_body(q, size, [("ETag", '"p%d"' % size)] if q.get("etag") == "1" else [])

    def cut_short(self, q, extra=()):
        self.head(200, int(q["size"]), extra)
        self.wfile.write(pattern(0, int(q["sent"])))
        self.wfile.flush()
        self.close_connection = True

    route_short = cut_short

    def route_drop(self, q):
        validators = [("ETag", '"d%s"' % q["size"])]
        with self.lock:
            first = self.tag not in self.seen_drops
            self.seen_drops.add(self.tag)
        if first:
            self.cut_short(q, validators + [("Accept-Ranges", "bytes")])
        else:
            self.send_body(q, int(q["size"]), validators)

    def route_stall(self, q):
        self.cut_short(q)
        time.sleep(float(q.get("hold", "30")))

    def route_file(self, q):
        name = os.path.basename(q.get("name", self.tag))
        path, ms = os.path.join(self.server.root, name), int(q.get("ms", "0"))
        if not os.path.isfile(path):
            return self.simple(404, b"no such file\n")
        size = os.path.getsize(path)
        self.head(200, size)
        steps = max(1, min(50, ms // 100))
        part = (size + steps - 1) // steps
        with open(path, "rb") as f:
            for i in range(steps):
                # In pieces: the benchmarks serve files larger than memory.
                for at in range(0, part, 1 << 20):
                    self.wfile.write(f.read(min(1 << 20, part - at)))
                self.wfile.flush()
                time.sleep(ms / 1000.0 / steps if i + 1 < steps else 0)
        with open(os.path.join(os.path.dirname(self.server.root), "sent.log"), "a") as log:
            log.write("%s %d %.6f\n" % (name, size, time.time()))


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def serve(state, root, lifetime, port=0):
    servers = [Server(("127.0.0.1", port), Handler) for _ in range(2 if not port else 1)]
    for s in servers:
        s.root, s.state, s.static = root, state, bool(port)
    ports = "port=%d\n" % servers[0].server_address[1]
    if not port:
        here = os.path.dirname(os.path.abspath(__file__))
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(os.path.join(here, "loopback_test_cert.pem"), os.path.join(here, "loopback_test_key.pem"))
        servers[1].socket = context.wrap_socket(servers[1].socket, server_side=True)
        threading.Thread(target=servers[1].serve_forever, daemon=True).start()
        ports += "tls_port=%d\n" % servers[1].server_address[1]
    threading.Timer(lifetime, lambda: os._exit(0)).start()
    with open(state + ".part", "w") as f:
        f.write("%spid=%d\n" % (ports, os.getpid()))
    os.replace(state + ".part", state)
    servers[0].serve_forever()


def launch(state, serve_args, what="the server"):
    """Runs serve_args in the background until it has written STATE."""
    # A start may follow a start: ctest --repeat runs a fixture's setup
    # again before its cleanup, and an interrupted run leaves its server.
    stop(state)
    for p in (state, state + ".requests"):
        pathlib.Path(p).unlink(missing_ok=True)
    with open(state + ".log", "w") as log:
        proc = subprocess.Popen([sys.executable, os.path.abspath(__file__), "serve", state] + serve_args,
                                stdin=subprocess.DEVNULL, stdout=log, stderr=log, start_new_session=True)
    end = time.time() + 30
    while not os.path.exists(state):
        if time.time() > end or proc.poll() is not None:
            raise SystemExit("%s did not start; see %s.log" % (what, state))
        time.sleep(0.05)


def start(state, lifetime, installer):
    base = os.path.dirname(os.path.abspath(state))
    www, requests = os.path.join(base, "www"), os.path.join(base, "requests")
    os.makedirs(www, exist_ok=True)
    shutil.rmtree(requests, ignore_errors=True)
    os.makedirs(requests)
    if installer:
        shutil.copyfile(installer, os.path.join(www, "setup.exe"))
    pathlib.Path(base, "sent.log").unlink(missing_ok=True)
    launch(state, [www, lifetime])
    with open(state) as f:
        print("server on 127.0.0.1: %s" % f.read().replace("\n", " "))


def stop(state):
    """Ends the server whose STATE file names its pid, if that pid still runs this script."""
    if not os.path.exists(state):
        return
    with open(state) as f:
        pid = int(dict(line.strip().split("=", 1) for line in f if "=" in line).get("pid", "0"))
    cmdline = "/proc/%d/cmdline" % pid
    # A pid may have been given out again.
    if pid and os.path.exists(cmdline) and b"net_server.py" in open(cmdline, "rb").read():
        os.kill(pid, signal.SIGTERM)
        # Gone before a new server takes its port.
        for _ in range(200):
            if not os.path.exists(cmdline):
                break
            time.sleep(0.05)
    os.remove(state)


if __name__ == "__main__":
    args = sys.argv[1:]
    if len(args) in (2, 3, 4) and args[0] == "start":
        start(args[1], args[2] if len(args) > 2 else "1800", args[3] if len(args) > 3 else None)
    elif len(args) == 2 and args[0] == "stop":
        stop(args[1])
    elif len(args) in (4, 5) and args[0] == "serve":
        serve(args[1], args[2], float(args[3]), int(args[4]) if len(args) > 4 else 0)
    else:
        raise SystemExit("usage: net_server.py start STATE [LIFETIME] [INSTALLER] | stop STATE")
