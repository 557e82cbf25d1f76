#!/usr/bin/python3
"""A local FTP server for the tests and the demo, on 127.0.0.1 with an OS-chosen port.

Prints "PORT <n>" on its first output line once it listens, then serves until its standard
input closes (so it never outlives the test that started it). A line "share" on standard input
makes everything below ROOT readable and writable by the server's user and is answered "OK".
With --control-port N the same lines go over a TCP connection to 127.0.0.1:N instead of the
standard streams (a Windows test under Wine cannot hand its pipes to a host program).

  serve_ftp.py ROOT [--user U --password P] [--misbehave RULE ...] [--passive yes|no]
                    [--rate BYTES_PER_SECOND]   pace every data connection, as a slower link
  serve_ftp.py ROOT --server vsftpd [--passive yes|no]   vsftpd, anonymous, our own config
  serve_ftp.py --can-start pyftpdlib|vsftpd               prints YES or NO

Misbehaviour rules, each for one fault the client must survive:
  retr-limit=N       drop the data connection of a RETR after N bytes (426)
  silent             accept connections but never greet
  silent-cmd=CMD     never answer CMD
  long-reply=CMD     answer CMD with a 4000-byte reply line
  close-mid-reply=CMD  start a multi-line answer to CMD, then close the control connection
  refuse-port        refuse PORT and EPRT (500)
  refuse-cmd=CMD     answer CMD with 550
  refuse-pasv        refuse PASV and EPSV (500)
  list-raw=PATH      answer LIST with the bytes of PATH instead of a real listing
  cp949              names cross the wire in CP949, and FEAT does not offer UTF8
"""
import argparse
import logging
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

VSFTPD = "/usr/sbin/vsftpd"


def can_start(kind):
    if kind == "vsftpd":
        return os.geteuid() == 0 and os.access(VSFTPD, os.X_OK)
    try:
        import pyftpdlib  # noqa: F401
        return True
    except ImportError:
        return False


def make_shared(root):
    """Readable and writable for the server's user; the root itself stays unwritable for
    others (vsftpd refuses a writable chroot folder)."""
    os.chmod(root, 0o755)
    for folder, dirs, files in os.walk(root):
        for d in dirs:
            os.chmod(os.path.join(folder, d), 0o777)
        for f in files:
            os.chmod(os.path.join(folder, f), 0o666)


class Channel:
    """The lines to and from the test: standard streams, or a TCP connection."""
    incoming = sys.stdin
    outgoing = sys.stdout

    @classmethod
    def connect(cls, port):
        connection = socket.create_connection(("127.0.0.1", port), timeout=30)
        connection.settimeout(None)
        cls.incoming = connection.makefile("r")
        cls.outgoing = connection.makefile("w")
        cls.connection = connection

    @classmethod
    def say(cls, text):
        cls.outgoing.write(text + "\n")
        cls.outgoing.flush()


def serve_commands(root, on_exit):
    """Answers "share" lines until the test's side closes, then ends the process."""
    try:
        for line in Channel.incoming:
            if line.strip() == "share":
                make_shared(root)
                Channel.say("OK")
    finally:
        on_exit()
        os._exit(0)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for_greeting(port, seconds):
    deadline = time.time() + seconds
    while time.time() < deadline:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=2) as s:
                if s.recv(100):
                    return True
        except OSError:
            time.sleep(0.05)
    return False


def run_vsftpd(args):
    work = tempfile.mkdtemp(prefix="quillmend-vsftpd.")
    empty = os.path.join(work, "empty")
    os.mkdir(empty, 0o755)
    make_shared(args.root)
    port = free_port()
    config = os.path.join(work, "vsftpd.conf")
    with open(config, "w") as f:
        f.write("\n".join([
            "listen=YES", "listen_ipv6=NO", "listen_address=127.0.0.1",
            "listen_port=%d" % port, "background=NO", "seccomp_sandbox=NO",
            "pasv_enable=%s" % ("YES" if args.passive == "yes" else "NO"),
            "pasv_address=127.0.0.1", "port_enable=YES", "connect_from_port_20=NO",
            "anonymous_enable=YES", "no_anon_password=YES", "anon_root=" + args.root,
            "ftp_username=ftp", "local_enable=NO", "write_enable=YES",
            "anon_upload_enable=YES", "anon_mkdir_write_enable=YES",
            "anon_other_write_enable=YES", "anon_world_readable_only=NO", "anon_umask=000",
            "secure_chroot_dir=" + empty, "utf8_filesystem=YES", "use_localtime=NO",
            "xferlog_enable=NO", "idle_session_timeout=600",
            "data_connection_timeout=120", ""]))
    child = subprocess.Popen([VSFTPD, config], stdin=subprocess.DEVNULL,
                             stdout=subprocess.DEVNULL, start_new_session=True)

    def stop():
        try:
            os.killpg(child.pid, signal.SIGTERM)
        except OSError:
            pass
        child.wait()
        shutil.rmtree(work, ignore_errors=True)

    if not wait_for_greeting(port, 10):
        stop()
        Channel.say("FAILED vsftpd did not greet")
        return 1
    Channel.say("PORT %d" % port)
    serve_commands(args.root, stop)
    return 0


def parse_rules(rules):
    parsed = {}
    for rule in rules:
        key, _, value = rule.partition("=")
        parsed.setdefault(key, []).append(value)
    return parsed


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("root", nargs="?")
    parser.add_argument("--server", default="pyftpdlib")
    parser.add_argument("--can-start")
    parser.add_argument("--user", default="quill")
    parser.add_argument("--password", default="mend-pw")
    parser.add_argument("--passive", default="yes")
    parser.add_argument("--misbehave", action="append", default=[])
    parser.add_argument("--rate", type=int, default=0)
    parser.add_argument("--control-port", type=int)
    args = parser.parse_args()
    if args.control_port:
        Channel.connect(args.control_port)
    if args.can_start:
        Channel.say("YES" if can_start(args.can_start) else "NO")
        return 0
    if args.server == "vsftpd":
        return run_vsftpd(args)
    return run_pyftpdlib(args)


def run_pyftpdlib(args):
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import DTPHandler, FTPHandler
    from pyftpdlib.servers import FTPServer

    rules = parse_rules(args.misbehave)
    if args.passive != "yes":
        rules["refuse-pasv"] = [""]
    logging.basicConfig(level=logging.CRITICAL)

    retr_limit = int(rules["retr-limit"][0]) if "retr-limit" in rules else None
    silent_cmds = {c.upper() for c in rules.get("silent-cmd", [])}
    long_cmds = {c.upper() for c in rules.get("long-reply", [])}
    close_cmds = {c.upper() for c in rules.get("close-mid-reply", [])}
    refused_cmds = {c.upper() for c in rules.get("refuse-cmd", [])}
    raw_list = rules.get("list-raw", [None])[0]
    wire_encoding = "cp949" if "cp949" in rules else "utf8"

    rate = args.rate
    # At most this much leaves in one send while paced, so the pace is smooth, not bursty.
    paced_chunk = 64 * 1024

    class Data(DTPHandler):
        paced_bytes = 0
        paced_since = None
        pause = None

        def send(self, data):
            # A file being sent is a RETR (its command name is set only after the first send).
            if retr_limit is not None and not self.receive and \
                    self.file_obj is not None:
                room = retr_limit - self.tot_bytes_sent
                if room <= 0:
                    self._resp = ("426 Connection closed; transfer aborted.",
                                  logging.debug)
                    self.close()
                    return 0
                data = data[:room]
            if rate:
                data = data[:paced_chunk]
            sent = super().send(data)
            if rate and sent:
                self.keep_pace(sent)
            return sent

        def keep_pace(self, sent):
            """Stops writing until the bytes sent so far are due at the rate."""
            if self.paced_since is None:
                self.paced_since = time.monotonic()
            self.paced_bytes += sent
            ahead = self.paced_bytes / rate - (time.monotonic() - self.paced_since)
            if ahead <= 0.001:
                return
            self.del_channel()

            def resume():
                self.pause = None
                if self.connected:
                    self.add_channel(events=self.ioloop.WRITE)
            self.pause = self.ioloop.call_later(ahead, resume, _errback=self.handle_error)

        def close(self):
            if self.pause is not None and not self.pause.cancelled:
                self.pause.cancel()
            super().close()

    class Handler(FTPHandler):
        dtp_handler = Data
        use_sendfile = retr_limit is None and not rate
        permit_foreign_addresses = False

        def decode(self, data):
            return data.decode(wire_encoding, self.unicode_errors)

        def push(self, s):
            if isinstance(s, str):
                s = s.encode(wire_encoding, "replace")
            super(FTPHandler, self).push(s)

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
            if cmd in refused_cmds:
                self.respond("550 Refused here.")
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
            if wire_encoding != "utf8" and cmd == "FEAT":
                self.respond("211 No features.")
                return None
            if wire_encoding != "utf8" and cmd == "LIST":
                folder = self.fs.ftp2fs(self.fs.cwd)
                names = sorted(self.fs.listdir(folder))
                listing = b"".join(line.decode("utf8").encode(wire_encoding)
                                   for line in self.fs.format_list(folder, names))
                self.push_dtp_data(listing, isproducer=False, cmd="LIST")
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
    Channel.say("PORT %d" % server.address[1])

    threading.Thread(target=serve_commands, args=(args.root, lambda: None),
                     daemon=True).start()
    server.serve_forever()
    return 0


if __name__ == "__main__":
    sys.exit(main())
