#!/usr/bin/env python3
"""Loopback server for the end-to-end tests, the demo and the benchmark.

  e2e_server.py start STATE INSTALLER [LIFETIME]
        copy INSTALLER into www/ beside STATE as setup.exe, start the server
        in the background on a port the system picks, write "port=" and
        "pid=" lines to STATE and return
  e2e_server.py stop STATE
        stop the process STATE names (only if it is still this server)
  e2e_server.py serve STATE.port WWW LIFETIME   (internal)

Routes, all on 127.0.0.1:
  /file/NAME?ms=T    the file www/NAME, spread evenly over about T ms;
                     after the last byte the server appends
                     "NAME <bytes> <unix time of the last byte>" to
                     www/../sent.log
  /status/CODE       that HTTP status with a short body
The server ends by itself after LIFETIME seconds (default 900), so that
nothing outlives a run that was killed.
"""
import http.server
import os
import shutil
import signal
import socketserver
import subprocess
import sys
import threading
import time
import urllib.parse


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "TavE2eServer/1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        parts = url.path.strip("/").split("/")
        q = {k: v[-1] for k, v in urllib.parse.parse_qs(url.query).items()}
        try:
            if len(parts) == 2 and parts[0] == "file":
                self.send_file(os.path.basename(urllib.parse.unquote(parts[1])), int(q.get("ms", "0")))
            elif len(parts) == 2 and parts[0] == "status":
                self.simple(int(parts[1]), b"status %s\n" % parts[1].encode())
            else:
                self.simple(404, b"no such route\n")
        except (BrokenPipeError, ConnectionResetError, ConnectionAbortedError):
            self.close_connection = True

    def simple(self, code, body):
        self.send_response(code)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def send_file(self, name, ms):
        path = os.path.join(self.server.root, name)
        if not os.path.isfile(path):
            return self.simple(404, b"no such file\n")
        with open(path, "rb") as f:
            data = f.read()
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        steps = max(1, min(50, ms // 100))
        block = (len(data) + steps - 1) // steps
        for i in range(steps):
            self.wfile.write(data[i * block:(i + 1) * block])
            self.wfile.flush()
            if ms and i + 1 < steps:
                time.sleep(ms / 1000.0 / steps)
        sent = time.time()
        with open(os.path.join(os.path.dirname(self.server.root), "sent.log"), "a") as log:
            log.write("%s %d %.6f\n" % (name, len(data), sent))


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def serve(port_file, root, lifetime):
    server = Server(("127.0.0.1", 0), Handler)
    server.root = root
    threading.Timer(lifetime, lambda: os._exit(0)).start()
    with open(port_file + ".part", "w") as f:
        f.write(str(server.server_address[1]))
    os.replace(port_file + ".part", port_file)
    server.serve_forever()


def start(state, installer, lifetime):
    base = os.path.dirname(os.path.abspath(state))
    www = os.path.join(base, "www")
    os.makedirs(www, exist_ok=True)
    shutil.copyfile(installer, os.path.join(www, "setup.exe"))
    port_file = state + ".port"
    for p in (port_file, os.path.join(base, "sent.log")):
        if os.path.exists(p):
            os.remove(p)
    with open(os.path.join(base, "server.log"), "w") as log:
        proc = subprocess.Popen([sys.executable, os.path.abspath(__file__), "serve", port_file, www,
                                 str(lifetime)], stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                                start_new_session=True)
    end = time.time() + 30
    while not os.path.exists(port_file):
        if time.time() > end or proc.poll() is not None:
            raise SystemExit("the server did not start; see %s/server.log" % base)
        time.sleep(0.05)
    with open(port_file) as f:
        port = f.read().strip()
    with open(state + ".part", "w") as f:
        f.write("port=%s\npid=%d\n" % (port, proc.pid))
    os.replace(state + ".part", state)
    print("server on 127.0.0.1:%s (pid %d)" % (port, proc.pid))


def stop(state):
    if not os.path.exists(state):
        return
    with open(state) as f:
        fields = dict(line.strip().split("=", 1) for line in f if "=" in line)
    pid = int(fields.get("pid", "0"))
    try:
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            mine = b"e2e_server.py" in f.read()
    except OSError:
        mine = False
    # A pid may have been reused since: only this server is stopped.
    if pid and mine:
        os.kill(pid, signal.SIGTERM)
    os.remove(state)
    print("server stopped")


def main(argv):
    if len(argv) in (4, 5) and argv[1] == "start":
        start(argv[2], argv[3], int(argv[4]) if len(argv) > 4 else 900)
    elif len(argv) == 3 and argv[1] == "stop":
        stop(argv[2])
    elif len(argv) == 5 and argv[1] == "serve":
        serve(argv[2], argv[3], float(argv[4]))
    else:
        raise SystemExit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
