#!/usr/bin/python3
"""Serves a folder over FTP on 127.0.0.1 for the sandbox clinic, the demo and the benchmarks.

Usage: serve_ftp.py <root> <user> <password> [port]

The port defaults to 0 (the system chooses one). When the server listens, one line
"port <n>" goes to standard output; the server then runs until it is terminated.
"""
import logging
import os
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    if len(sys.argv) not in (4, 5):
        sys.stderr.write(__doc__)
        return 2
    root, user, password = sys.argv[1:4]
    port = int(sys.argv[4]) if len(sys.argv) == 5 else 0
    if not os.path.isdir(root):
        sys.stderr.write("serve_ftp.py: %s is not a folder\n" % root)
        return 2
    logging.basicConfig(level=logging.WARNING)
    authorizer = DummyAuthorizer()
    authorizer.add_user(user, password, root, perm="elr")
    handler = FTPHandler
    handler.authorizer = authorizer
    handler.passive_ports = None
    handler.permit_foreign_addresses = False
    server = FTPServer(("127.0.0.1", port), handler)
    server.max_cons = 64
    sys.stdout.write("port %d\n" % server.socket.getsockname()[1])
    sys.stdout.flush()
    server.serve_forever(handle_exit=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
