#!/usr/bin/env python3
# Serves the test authority's revocation list where its signers say it is:
# http://127.0.0.1:PORT/<token>/ca.crl, PORT fixed when the fixtures were
# made (before any server ran). Files come from FIXTURES/crl; anything else
# is a 404, which a verifier takes as "revocation status unknown". Ends by
# itself after LIFETIME seconds (default 1800).
#   crl_server.py start STATE FIXTURES PORT [LIFETIME]   in the background;
#         writes "port=" and "pid=" to STATE
#   crl_server.py stop STATE
import http.server, os, socketserver, subprocess, sys, threading, time


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        parts = [p for p in self.path.split("?")[0].split("/") if p]
        path = os.path.join(self.server.root, *parts) if parts and ".." not in parts else ""
        if not path or not os.path.isfile(path):
            body = b"no such list\n"
            self.send_response(404)
        else:
            with open(path, "rb") as f:
                body = f.read()
            self.send_response(200)
            self.send_header("Content-Type", "application/pkix-crl")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
        with open(self.server.log, "a") as log:
            log.write("GET %s %d\n" % (self.path, 200 if path and os.path.isfile(path) else 404))


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def serve(state, fixtures, port, lifetime):
    server = Server(("127.0.0.1", port), Handler)
    server.root = os.path.join(fixtures, "crl")
    server.log = state + ".requests"
    threading.Timer(lifetime, lambda: os._exit(0)).start()
    with open(state + ".part", "w") as f:
        f.write("port=%d\npid=%d\n" % (port, os.getpid()))
    os.replace(state + ".part", state)
    server.serve_forever()


def start(state, fixtures, port, lifetime):
    for p in (state, state + ".requests"):
        if os.path.exists(p):
            os.remove(p)
    with open(state + ".log", "w") as log:
        proc = subprocess.Popen([sys.executable, os.path.abspath(__file__), "serve", state,
                                 os.path.abspath(fixtures), port, lifetime],
                                stdin=subprocess.DEVNULL, stdout=log, stderr=log, start_new_session=True)
    end = time.time() + 30
    while not os.path.exists(state):
        if time.time() > end or proc.poll() is not None:
            # Most likely another run's server holds the fixed port.
            raise SystemExit("the revocation list server did not start on 127.0.0.1:%s; see %s.log"
                             % (port, state))
        time.sleep(0.05)
    print("revocation list server on 127.0.0.1:%s" % port)


def stop(state):
    # The test server's own stop, for this script's process.
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "net"))
    import net_server
    net_server.stop(state, "crl_server.py")


if __name__ == "__main__":
    args = sys.argv[1:]
    if len(args) in (4, 5) and args[0] == "start":
        start(args[1], args[2], args[3], args[4] if len(args) > 4 else "1800")
    elif len(args) == 2 and args[0] == "stop":
        stop(args[1])
    elif len(args) == 5 and args[0] == "serve":
        serve(args[1], args[2], int(args[3]), float(args[4]))
    else:
        raise SystemExit("usage: crl_server.py start STATE FIXTURES PORT [LIFETIME] | stop STATE")
