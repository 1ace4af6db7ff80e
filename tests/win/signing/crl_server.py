#!/usr/bin/env python3
# Serves the test authority's revocation list where its signers say it is:
# http://127.0.0.1:PORT/<token>/ca.crl, PORT fixed when the fixtures were
# made (before any server ran). Files come from FIXTURES/crl; anything else
# is a 404, which a verifier takes as "revocation status unknown". It is the
# tests' loopback server (net/net_server.py) serving files as they lie; it
# ends by itself after LIFETIME seconds (default 1800).
#   crl_server.py start STATE FIXTURES PORT [LIFETIME]   in the background;
#         writes "port=" and "pid=" to STATE, each request to STATE.requests
#   crl_server.py stop STATE
import os, sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "net"))
import net_server

if __name__ == "__main__":
    args = sys.argv[1:]
    if len(args) in (4, 5) and args[0] == "start":
        crl = os.path.join(os.path.abspath(args[2]), "crl")
        lifetime = args[4] if len(args) > 4 else "1800"
        # Most likely to fail when another run's server holds the fixed port.
        net_server.launch(args[1], [crl, lifetime, args[3]], "the revocation list server")
        print("revocation list server on 127.0.0.1:%s" % args[3])
    elif len(args) == 2 and args[0] == "stop":
        net_server.stop(args[1])
    else:
        raise SystemExit("usage: crl_server.py start STATE FIXTURES PORT [LIFETIME] | stop STATE")
