#!/usr/bin/python3
"""A throwaway FTP server for the tests (plain, explicit or implicit FTPS), with faults to order,
and optionally an HTTP server over the same directory.

Run with the system Python (it needs python3-pyftpdlib, and python3-openssl for TLS):

    /usr/bin/python3 ftpserver.py --root DIR --user USER --password PW
                                  [--tls explicit|implicit --cert FILE --key FILE] [--http]
                                  [--cleanup DIR]

Serves DIR as the home of USER (all permissions) on 127.0.0.1, on a port the system picks, in
passive and active mode, and prints `PORT <n>` once listening. With --http it also serves DIR
read-only over HTTP (GET and HEAD) on a port of its own and then prints `HTTP <n>`.

--tls explicit: AUTH TLS is offered and required, both for the login and for the data (PROT P).
--tls implicit: TLS from the first byte of the control connection; the data connections are TLS
too from the start (PBSZ and PROT are accepted, PROT C leaves no way to open a data connection).

Control lines on stdin, each answered by one line on stdout, `OK` or `ERR <why>`. N counts the
commands or transfers the fault applies to, -1 for all of them; faults hold until `reset`:
    refuse-connections       close the listening socket (`reset` listens again on the same port)
    refuse-login             every PASS gets 530, whatever the password
    refuse-mkd N             MKD gets `550 Cannot create directory.`
    refuse-stor N            STOR gets `553 Could not store file.` (no file is made)
    refuse-stor-name NAME    every STOR of a file called NAME gets 553
    drop-stor N              keeps half of the first block of data that arrives, then resets the
                             data and the control connection without a reply (the partial file
                             stays; an empty upload is cut at its end)
    truncate-stor N          keeps only the first half of the data, replies 226 all the same
    disk-full N              takes the data, then replies `452 Insufficient storage space.` and
                             keeps no file
    count-logins             answers `OK <successful logins so far>` (not cleared by reset)
    reset                    clears all faults

Stops on stdin EOF (so it ends with the process that started it) or SIGTERM; with --cleanup, DIR
goes once the server stops regularly. Passwords are never printed.
"""

import argparse
import functools
import logging
import os
import queue
import shutil
import signal
import socket
import struct
import sys
import threading
import time
from http.server import SimpleHTTPRequestHandler, ThreadingHTTPServer

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler
from pyftpdlib.ioloop import IOLoop
from pyftpdlib.log import config_logging
from pyftpdlib.servers import FTPServer

HOST = "127.0.0.1"
POLL_SECONDS = 0.02  # how long a control line may wait for the FTP loop


class Faults:
    COUNTED = ("refuse_mkd", "refuse_stor", "drop_stor", "truncate_stor", "disk_full")

    def __init__(self):
        self.refuse_login = False
        self.refused_names = set()
        for name in self.COUNTED:
            setattr(self, name, 0)

    def take(self, name):
        """Whether the counted fault applies now; counts it down."""
        left = getattr(self, name)
        if left == 0:
            return False
        if left > 0:
            setattr(self, name, left - 1)
        return True


class State:
    faults = Faults()
    logins = 0


def abort_session(session):
    """Resets the data and the control connection: no reply, no TLS close, RST on the wire."""
    linger = struct.pack("ii", 1, 0)
    data = session.data_channel
    for channel in (data, session):
        if channel is None:
            continue
        channel._error = True  # the TLS classes then close without a shutdown
        try:
            channel.socket.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, linger)
        except (OSError, AttributeError):
            pass
    if data is not None:
        data._resp = ()
    session.close()


class Upload:
    """The file a faulty STOR writes to: drops, truncates or discards what arrives."""

    def __init__(self, file, fault, session):
        self.file = file
        self.fault = fault
        self.session = session
        self.name = file.name
        self.dropped = False

    @property
    def closed(self):
        return self.file.closed

    def write(self, data):
        if self.fault == "disk_full" or self.dropped:
            return len(data)
        if self.fault == "drop_stor":
            self.dropped = True
            self.file.write(data[:len(data) // 2])
            self.file.close()
            abort_session(self.session)
            return len(data)
        return self.file.write(data)

    def close(self):
        if self.file.closed:
            return
        if self.fault == "truncate_stor":
            self.file.truncate(self.file.tell() // 2)
        self.file.close()
        if self.fault == "disk_full":
            try:
                os.remove(self.name)
            except OSError:
                pass


class FaultyData:
    """Data connection mixin: how a faulty upload ends instead of with 226."""

    def close(self):
        fault = getattr(self.file_obj, "fault", None)
        if fault is not None and self._resp and self._resp[0].startswith("226"):
            if fault == "disk_full":
                self._resp = ("452 Insufficient storage space.", self._resp[1])
            elif fault == "drop_stor" and not self.file_obj.dropped:  # no data came at all
                self.file_obj.dropped = True
                abort_session(self.cmd_channel)
        super().close()


class FaultySession:
    """Control connection mixin: counts logins and plays the faults."""

    banner = "Merrowind test FTP server ready."
    auth_failed_timeout = 0  # no pause after a wrong password

    def on_login(self, username):
        State.logins += 1

    def ftp_PASS(self, line):
        if State.faults.refuse_login and self.username and not self.authenticated:
            self.handle_auth_failed("Authentication failed.", line)
            return
        super().ftp_PASS(line)

    def ftp_MKD(self, path):
        if State.faults.take("refuse_mkd"):
            self.respond("550 Cannot create directory.")
            return None
        return super().ftp_MKD(path)

    def ftp_STOR(self, file, mode="w"):
        if "a" in mode:  # APPE
            return super().ftp_STOR(file, mode)
        faults = State.faults
        if os.path.basename(file) in faults.refused_names or faults.take("refuse_stor"):
            self.respond("553 Could not store file.")
            return None
        stored = super().ftp_STOR(file, mode)
        if stored is not None:
            fault = next((name for name in ("drop_stor", "truncate_stor", "disk_full")
                          if faults.take(name)), None)
            if fault is not None:
                self.wrap_upload(fault)
        return stored

    def wrap_upload(self, fault):
        if self._in_dtp_queue is not None:
            file, cmd = self._in_dtp_queue
            self._in_dtp_queue = (Upload(file, fault, self), cmd)
        elif self.data_channel is not None and self.data_channel.file_obj is not None:
            self.data_channel.file_obj = Upload(self.data_channel.file_obj, fault, self)


def handler_class(args):
    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")

    if not args.tls:
        class Data(FaultyData, DTPHandler):
            pass

        class Session(FaultySession, FTPHandler):
            pass
    else:
        from pyftpdlib.handlers import TLS_DTPHandler, TLS_FTPHandler

        class Data(FaultyData, TLS_DTPHandler):
            def readable(self):
                # A client may start the handshake before its STOR or RETR; pyftpdlib would
                # take that for a closed idle connection.
                return self._ssl_accepting or super().readable()

        implicit = args.tls == "implicit"

        class Session(FaultySession, TLS_FTPHandler):
            certfile = args.cert
            keyfile = args.key
            tls_control_required = True
            tls_data_required = True

            def handle(self):
                if not implicit:
                    return super().handle()
                # TLS from the first byte: the greeting follows the handshake.
                self._greeted = False
                self.secure_connection(self.ssl_context)
                self.protect_data()

            def handle_ssl_established(self):
                if implicit and not self._greeted:
                    self._greeted = True
                    FTPHandler.handle(self)

            def flush_account(self):
                super().flush_account()
                if implicit:
                    self.protect_data()

            def protect_data(self):
                self._pbsz = True
                self._prot = True

    Session.authorizer = authorizer
    Session.dtp_handler = Data
    return Session


class QuietHttpHandler(SimpleHTTPRequestHandler):
    def log_message(self, format, *args):
        sys.stderr.write("http: %s - %s\n" % (self.address_string(), format % args))


class Server:
    def __init__(self, args):
        self.args = args
        self.handler = handler_class(args)
        self.ioloop = IOLoop.instance()
        self.ftp = None
        self.port = 0
        self.http = None

    def listen(self):
        self.ftp = FTPServer((HOST, self.port), self.handler, ioloop=self.ioloop)
        self.port = self.ftp.address[1]

    def stop_listening(self):
        if self.ftp is not None:
            self.ftp.close()
            self.ftp = None

    def start_http(self):
        handler = functools.partial(QuietHttpHandler, directory=self.args.root)
        self.http = ThreadingHTTPServer((HOST, 0), handler)
        threading.Thread(target=self.http.serve_forever, name="http", daemon=True).start()
        return self.http.server_address[1]

    def control(self, line):
        name, _, rest = line.strip().partition(" ")
        rest = rest.strip()
        faults = State.faults
        if name == "reset" and not rest:
            State.faults = Faults()
            if self.ftp is None:
                self.listen()
            return "OK"
        if name == "count-logins" and not rest:
            return f"OK {State.logins}"
        if name == "refuse-connections" and not rest:
            self.stop_listening()
            return "OK"
        if name == "refuse-login" and not rest:
            faults.refuse_login = True
            return "OK"
        if name == "refuse-stor-name" and rest:
            faults.refused_names.add(rest)
            return "OK"
        counted = name.replace("-", "_")
        if counted in Faults.COUNTED:
            try:
                n = int(rest)
            except ValueError:
                n = None
            if n is not None and n >= -1:
                setattr(faults, counted, n)
                return "OK"
        return "ERR unknown command: " + line.strip()

    def run(self):
        stopping = threading.Event()
        for sig in (signal.SIGTERM, signal.SIGINT):
            signal.signal(sig, lambda *_: stopping.set())

        self.listen()
        say(f"PORT {self.port}")
        if self.args.http:
            say(f"HTTP {self.start_http()}")

        lines = queue.Queue()

        def read_control():
            for line in sys.stdin:
                lines.put(line)
            lines.put(None)

        threading.Thread(target=read_control, name="control", daemon=True).start()
        try:
            while not stopping.is_set():
                if self.ioloop.socket_map:
                    self.ioloop.poll(POLL_SECONDS)
                else:
                    time.sleep(POLL_SECONDS)
                self.ioloop.sched.poll()
                while not lines.empty():
                    line = lines.get()
                    if line is None:
                        stopping.set()
                        break
                    try:
                        answer = self.control(line)
                    except Exception as error:  # a bind failure on reset, say
                        answer = f"ERR {type(error).__name__}: {error}"
                    if not say(answer):
                        stopping.set()  # whoever started the server is gone
                        break
        finally:
            self.stop_listening()
            self.ioloop.close()
            if self.http is not None:
                self.http.shutdown()
                self.http.server_close()


def say(line):
    try:
        sys.stdout.write(line + "\n")
        sys.stdout.flush()
        return True
    except BrokenPipeError:
        # Nobody reads any more: quiet the final flush at exit.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return False


def main():
    parser = argparse.ArgumentParser(description="FTP server for the tests")
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--tls", choices=["explicit", "implicit"])
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--http", action="store_true")
    parser.add_argument("--cleanup", metavar="DIR", help="remove DIR after a regular stop")
    args = parser.parse_args()
    if args.tls and not (args.cert and args.key):
        parser.error("--tls needs --cert and --key")
    args.root = os.path.realpath(args.root)

    config_logging(level=logging.INFO)  # stderr; PASS is logged as ******
    Server(args).run()
    # Only after a regular stop: a failure leaves its traces for whoever started the server.
    if args.cleanup:
        shutil.rmtree(args.cleanup, ignore_errors=True)


if __name__ == "__main__":
    main()
