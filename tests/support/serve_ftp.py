#!/usr/bin/python3
"""A local FTP server for the tests and the demo, on 127.0.0.1 with an OS-chosen port.

Prints "PORT <n>" on its first output line once it listens, then serves until its standard
input closes (so it never outlives the test that started it). A line "share" on standard input
makes everything below ROOT readable and writable by the server's user and is answered "OK".
With --control-port N the same lines go over a TCP connection to 127.0.0.1:N instead of the
standard streams (a Windows test under Wine cannot hand its pipes to a host program).

  serve_ftp.py ROOT [--user U --password P] [--misbehave RULE ...] [--passive yes|no]
                    [--rate BYTES_PER_SECOND]   pace every data connection, as a slower link
  serve_ftp.py ROOT --server vsftpd [--passive yes|no] [--utf8-feat yes|no]
                    vsftpd, anonymous, from vsftpd.conf beside this script
  serve_ftp.py ROOT --server proftpd|pure-ftpd [--user U --password P] [--utf8-feat yes|no]
                    from proftpd.conf / pure-ftpd.conf beside this script; --utf8-feat no
                    turns off proftpd's language engine (UTF8 no longer in FEAT)
  serve_ftp.py --can-start pyftpdlib|vsftpd|proftpd|pure-ftpd   prints YES or NO

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
import pwd
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
VSFTPD = "/usr/sbin/vsftpd"
# proftpd and pure-ftpd are unpacked here by scripts/bootstrap (their packages conflict with
# vsftpd's, so they are not installed).
UNPACKED = os.environ.get("QUILLMEND_FTP_SERVERS", "/opt/quillmend-ftp-servers")
PROFTPD = UNPACKED + "/usr/sbin/proftpd"
PURE_FTPD = UNPACKED + "/usr/sbin/pure-ftpd"
PURE_PW = UNPACKED + "/usr/bin/pure-pw"
DAEMONS = {"vsftpd": [VSFTPD], "proftpd": [PROFTPD], "pure-ftpd": [PURE_FTPD, PURE_PW]}


def can_start(kind):
    if kind in DAEMONS:
        return os.geteuid() == 0 and all(os.access(p, os.X_OK) for p in DAEMONS[kind])
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


def fill_template(name, values):
    """The server's configuration from tests/support/NAME with each @KEY@ replaced."""
    with open(os.path.join(HERE, name)) as f:
        text = f.read()
    for key, value in values.items():
        text = text.replace("@%s@" % key, value)
    return text


def password_line(user, password, home, pure_ftpd):
    """One account of a passwd-style user file (proftpd's AuthUserFile, pure-ftpd's
    pure-pw file), owned by the system's ftp user."""
    import warnings
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        import crypt
    hashed = crypt.crypt(password, crypt.mksalt(crypt.METHOD_SHA512))
    ftp = pwd.getpwnam("ftp")
    if pure_ftpd:  # home "/./" marks the chroot; the remaining fields stay empty
        return "%s:%s:%d:%d::%s/./::::::::::::\n" % (user, hashed, ftp.pw_uid, ftp.pw_gid, home)
    return "%s:%s:%d:%d::%s:/bin/sh\n" % (user, hashed, ftp.pw_uid, ftp.pw_gid, home)


def daemon_command(args, work, port):
    """Writes the configuration of args.server into work and returns its command line."""
    values = {"PORT": str(port), "ROOT": args.root, "WORK": work,
              "PASSIVE": "YES" if args.passive == "yes" else "NO"}
    if args.server == "vsftpd":
        os.mkdir(os.path.join(work, "empty"), 0o755)
        values["UTF8"] = "utf8_filesystem=YES" if args.utf8_feat == "yes" else ""
        config = os.path.join(work, "vsftpd.conf")
        command = [VSFTPD, config]
        text = fill_template("vsftpd.conf", values)
    elif args.server == "proftpd":
        values["UTF8"] = "on" if args.utf8_feat == "yes" else "off"
        users = os.path.join(work, "passwd")
        with open(users, "w") as f:
            f.write(password_line(args.user, args.password, args.root, False))
        os.chmod(users, 0o600)  # proftpd refuses a readable user file
        config = os.path.join(work, "proftpd.conf")
        command = [PROFTPD, "-n", "-q", "-c", config]
        text = fill_template("proftpd.conf", values)
    else:
        users = os.path.join(work, "pureftpd.passwd")
        with open(users, "w") as f:
            f.write(password_line(args.user, args.password, args.root, True))
        subprocess.run([PURE_PW, "mkdb", os.path.join(work, "pureftpd.pdb"), "-f", users],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        config = os.path.join(work, "pure-ftpd.conf")
        command = [PURE_FTPD, config]
        text = fill_template("pure-ftpd.conf", values)
    with open(config, "w") as f:
        f.write(text)
    return command


def run_daemon(args):
    """vsftpd, proftpd or pure-ftpd from a configuration of our own, until stdin closes."""
    work = tempfile.mkdtemp(prefix="quillmend-%s." % args.server)
    os.chmod(work, 0o755)
    make_shared(args.root)
    port = free_port()
    child = subprocess.Popen(daemon_command(args, work, port), stdin=subprocess.DEVNULL,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                             start_new_session=True)

    def stop():
        try:
            os.killpg(child.pid, signal.SIGTERM)
        except OSError:
            pass
        child.wait()
        shutil.rmtree(work, ignore_errors=True)

    if not wait_for_greeting(port, 10):
        stop()
        Channel.say("FAILED %s did not greet" % args.server)
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
    parser.add_argument("--utf8-feat", default="yes")
    parser.add_argument("--misbehave", action="append", default=[])
    parser.add_argument("--rate", type=int, default=0)
    parser.add_argument("--control-port", type=int)
    args = parser.parse_args()
    if args.control_port:
        Channel.connect(args.control_port)
    if args.can_start:
        Channel.say("YES" if can_start(args.can_start) else "NO")
        return 0
    if args.server in DAEMONS:
        return run_daemon(args)
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
