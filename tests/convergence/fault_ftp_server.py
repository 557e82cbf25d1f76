#!/usr/bin/python3
"""An FTP server whose faults can be switched while it runs, for the convergence suite.

  fault_ftp_server.py ROOT --user U --password P

pyftpdlib on 127.0.0.1 with a port the system chooses. Prints "PORT <n>" once it listens,
then reads one command a line on standard input and answers each with "OK" (or "ERROR <why>")
once it has taken effect. It ends when its standard input closes.

  stop                 close the listening socket and every open connection (refused)
  start                listen again on the same port
  silent on|off        new sessions get no greeting; open sessions get no answers
  stall NAME SECONDS   a RETR of a file whose path ends in NAME (e.g. 7.6.0/program/a.cab)
                       pauses SECONDS after its first 64 KiB (once per command)
  cut NAME BYTES       a RETR of NAME drops its data connection after BYTES (426)
  short NAME BYTES     NAME is served as its first BYTES, the transfer ends normally (226)
  damage NAME          NAME is served with one byte changed in its middle, same size
  clear                no stall, cut, short or damage rule; not silent (stop stays stopped)
"""
import argparse
import io
import logging
import os
import sys
import threading
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import DTPHandler, FTPHandler
from pyftpdlib.servers import FTPServer


class Faults:
    """The switches, set by the command thread and read by the server's loop."""
    lock = threading.Lock()
    silent = False
    stalls = {}   # name suffix -> seconds (removed once used)
    cuts = {}     # name suffix -> bytes
    shorts = {}   # name suffix -> bytes
    damaged = set()

    @classmethod
    def rule_for(cls, rules, path):
        name = path.lower()
        for suffix, value in list(rules.items()):
            if name.endswith(suffix):
                return suffix, value
        return None, None

    @classmethod
    def clear(cls):
        with cls.lock:
            cls.silent = False
            cls.stalls = {}
            cls.cuts = {}
            cls.shorts = {}
            cls.damaged = set()


class FaultyFS(AbstractedFS):
    def open(self, filename, mode):
        with Faults.lock:
            _, short = Faults.rule_for(Faults.shorts, filename)
            damaged = any(filename.lower().endswith(s) for s in Faults.damaged)
        if short is None and not damaged:
            return super().open(filename, mode)
        with open(filename, "rb") as f:
            data = bytearray(f.read())
        if damaged and data:
            data[len(data) // 2] ^= 0x5A
        if short is not None:
            data = data[:short]
        served = io.BytesIO(bytes(data))
        served.name = filename
        return served


class Data(DTPHandler):
    sent_bytes = 0
    pause = None

    def send(self, data):
        path = getattr(self.file_obj, "name", "") if self.file_obj is not None else ""
        if path and not self.receive:
            with Faults.lock:
                _, cut = Faults.rule_for(Faults.cuts, path)
                stall_key, stall = Faults.rule_for(Faults.stalls, path)
            if cut is not None:
                room = cut - self.sent_bytes
                if room <= 0:
                    self._resp = ("426 Connection closed; transfer aborted.", logging.debug)
                    self.close()
                    return 0
                data = data[:room]
            if stall is not None and self.sent_bytes >= 65536:
                with Faults.lock:
                    Faults.stalls.pop(stall_key, None)
                self.del_channel()

                def resume():
                    self.pause = None
                    if self.connected:
                        self.add_channel(events=self.ioloop.WRITE)
                self.pause = self.ioloop.call_later(stall, resume, _errback=self.handle_error)
                return 0
            data = data[:65536]
        sent = super().send(data)
        if sent:
            self.sent_bytes += sent
        return sent

    def close(self):
        if self.pause is not None and not self.pause.cancelled:
            self.pause.cancel()
        super().close()


class Handler(FTPHandler):
    dtp_handler = Data
    abstracted_fs = FaultyFS
    use_sendfile = False
    permit_foreign_addresses = False

    def handle(self):
        if Faults.silent:
            return
        super().handle()

    def pre_process_command(self, line, cmd, arg):
        if Faults.silent:
            return None
        return super().pre_process_command(line, cmd, arg)


class Server:
    def __init__(self, root, user, password):
        authorizer = DummyAuthorizer()
        authorizer.add_user(user, password, root, perm="elr")
        Handler.authorizer = authorizer
        self.server = FTPServer(("127.0.0.1", 0), Handler)
        self.ioloop = self.server.ioloop
        self.port = self.server.address[1]

    def in_loop(self, action):
        """Runs action on the server's loop and waits for it."""
        done = threading.Event()
        failure = []

        def run():
            try:
                action()
            except Exception as e:  # reported to the suite, which fails the seed
                failure.append(str(e))
            done.set()
        self.ioloop.call_later(0, run)
        if not done.wait(10):
            return "the server's loop did not answer"
        return failure[0] if failure else None

    def stop(self):
        def close_everything():
            if self.server is not None:
                self.server.close()
                self.server = None
            for handler in list(self.ioloop.socket_map.values()):
                try:
                    handler.close()
                except Exception:
                    pass
        return self.in_loop(close_everything)

    def start(self):
        def listen():
            if self.server is None:
                self.server = FTPServer(("127.0.0.1", self.port), Handler, ioloop=self.ioloop)
        return self.in_loop(listen)


def serve_commands(server):
    for line in sys.stdin:
        words = line.split()
        if not words:
            continue
        command, args = words[0], words[1:]
        error = None
        try:
            if command == "stop":
                error = server.stop()
            elif command == "start":
                error = server.start()
            elif command == "silent":
                with Faults.lock:
                    Faults.silent = args[0] == "on"
            elif command == "stall":
                with Faults.lock:
                    Faults.stalls[args[0].lower()] = float(args[1])
            elif command == "cut":
                with Faults.lock:
                    Faults.cuts[args[0].lower()] = int(args[1])
            elif command == "short":
                with Faults.lock:
                    Faults.shorts[args[0].lower()] = int(args[1])
            elif command == "damage":
                with Faults.lock:
                    Faults.damaged.add(args[0].lower())
            elif command == "clear":
                Faults.clear()
            else:
                error = "unknown command " + command
        except (IndexError, ValueError) as e:
            error = "bad arguments: %s" % e
        sys.stdout.write(("ERROR " + error if error else "OK") + "\n")
        sys.stdout.flush()
    os._exit(0)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("root")
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    args = parser.parse_args()
    logging.basicConfig(level=logging.CRITICAL)
    server = Server(args.root, args.user, args.password)
    sys.stdout.write("PORT %d\n" % server.port)
    sys.stdout.flush()
    threading.Thread(target=serve_commands, args=(server,), daemon=True).start()
    while True:
        server.ioloop.loop(timeout=0.05, blocking=False)
        if not server.ioloop.socket_map:
            time.sleep(0.05)  # stopped: only the commands' scheduled calls are left to run


if __name__ == "__main__":
    sys.exit(main())
