#!/usr/bin/python3
"""A local FTP server for the tests and the demo, on 127.0.0.1 with an OS-chosen port.

Prints "PORT <n>" on its first output line once it listens, then serves until killed or until
its standard input closes (so it never outlives the test that started it).

  serve_ftp.py ROOT [--user U --password P] [--misbehave RULE ...]

Misbehaviour rules, each for one fault the client must survive:
  retr-limit=N       drop the data connection of a RETR after N bytes (426)
  silent             accept connections but never greet
  silent-cmd=CMD     never answer CMD
  long-reply=CMD     answer CMD with a 4000-byte reply line
  close-mid-reply=CMD  start a multi-line answer to CMD, then close the control connection
  refuse-port        refuse PORT and EPRT (500)
  refuse-pasv        refuse PASV and EPSV (500)
  list-raw=PATH      answer LIST with the bytes of PATH instead of a real listing
"""
import argparse
import logging
import os
import sys
import threading

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler
from pyftpdlib.servers import FTPServer


def parse_rules(rules):
    parsed = {}
    for rule in rules:
        key, _, value = rule.partition("=")
        parsed.setdefault(key, []).append(value)
    return parsed


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("root")
    parser.add_argument("--user", default="quill")
    parser.add_argument("--password", default="mend-pw")
    parser.add_argument("--misbehave", action="append", default=[])
    args = parser.parse_args()
    rules = parse_rules(args.misbehave)
    logging.basicConfig(level=logging.CRITICAL)

    retr_limit = int(rules["retr-limit"][0]) if "retr-limit" in rules else None
    silent_cmds = {c.upper() for c in rules.get("silent-cmd", [])}
    long_cmds = {c.upper() for c in rules.get("long-reply", [])}
    close_cmds = {c.upper() for c in rules.get("close-mid-reply", [])}
    raw_list = rules.get("list-raw", [None])[0]

    class Data(DTPHandler):
        def send(self, data):
            if retr_limit is not None and not self.receive and \
                    getattr(self, "cmd", None) == "RETR":
                room = retr_limit - self.tot_bytes_sent
                if room <= 0:
                    self._resp = ("426 Connection closed; transfer aborted.",
                                  logging.debug)
                    self.close()
                    return 0
                data = data[:room]
            return super().send(data)

    class Handler(FTPHandler):
        dtp_handler = Data
        use_sendfile = retr_limit is None
        permit_foreign_addresses = False

        def handle(self):
            if "silent" in rules:
                return
            super().handle()

        def pre_process_command(self, line, cmd, arg):
            if cmd in silent_cmds:
                return None
            if cmd in long_cmds:
                self.respond("257 \"/" + "x" * 4000 + "\" is the current directory.")
                return None
            if cmd in close_cmds:
                self.push("257-Here comes\r\n")
                self.close_when_done()
                return None
            if "refuse-port" in rules and cmd in ("PORT", "EPRT"):
                self.respond("500 Active mode refused here.")
                return None
            if "refuse-pasv" in rules and cmd in ("PASV", "EPSV"):
                self.respond("500 Passive mode refused here.")
                return None
            if raw_list is not None and cmd == "LIST":
                with open(raw_list, "rb") as f:
                    listing = f.read()
                self.push_dtp_data(listing, isproducer=False, cmd="LIST")
                return None
            return super().pre_process_command(line, cmd, arg)

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")
    Handler.authorizer = authorizer
    server = FTPServer(("127.0.0.1", 0), Handler)
    sys.stdout.write("PORT %d\n" % server.address[1])
    sys.stdout.flush()

    def watch_stdin():
        try:
            sys.stdin.read()
        finally:
            os._exit(0)

    threading.Thread(target=watch_stdin, daemon=True).start()
    server.serve_forever()


if __name__ == "__main__":
    main()
