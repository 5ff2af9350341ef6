#!/usr/bin/python3
"""A throwaway SMTP server for the tests, with faults to order.

Run with the system Python (it needs python3-aiosmtpd):

    /usr/bin/python3 smtpserver.py --dir DIR [--tls implicit|starttls] [--cert FILE --key FILE]
                                   [--auth USER:PASSWORD] [--require-tls] [--remove-dir]

Listens on 127.0.0.1 on a port the system picks and prints `PORT <n>` once listening. Every
accepted message is kept as DIR/<n>.eml (the bytes received) and then DIR/<n>.json (a summary);
both appear whole (written under a temporary name, then renamed). The summary's body_text has
LF line ends. With --remove-dir, DIR goes once the server stops regularly.

Control lines on stdin, each answered by one line on stdout, `OK` or `ERR <why>`. Faults apply to
the sessions that begin after them, until `reset`:
    greeting-silent          accept connections but never greet
    refuse-connections       close the listening socket (`reset` listens again on the same port)
    sender 451|550           refuse MAIL FROM with that code
    refuse-rcpt ADDRESS      refuse that recipient (may be given several times)
    drop-during-data N       cut the connection without a reply once N bytes of message content
                             have arrived (at the end of the content when it is shorter)
    size-limit N             advertise SIZE N and refuse larger messages with 552
    reset                    clear all faults
    count                    answer `OK <messages stored so far>`

Stops on stdin EOF (so it ends with the process that started it) or SIGTERM. Passwords are never
printed.
"""

import argparse
import asyncio
import email
import email.policy
import hashlib
import json
import logging
import os
import shutil
import signal
import ssl
import sys
import warnings

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword

HOST = "127.0.0.1"


class Faults:
    def __init__(self):
        self.silent_greeting = False
        self.sender_code = None
        self.refused_rcpts = set()
        self.drop_after = None
        self.size_limit = None

    def copy(self):
        other = Faults()
        other.__dict__.update(self.__dict__)
        other.refused_rcpts = set(self.refused_rcpts)
        return other


SENDER_REPLIES = {
    451: "451 4.3.0 Sender temporarily refused",
    550: "550 5.7.1 Sender refused",
}
SIZE_REPLY = "552 5.3.4 Message size exceeds fixed maximum message size"


def raw_text(value):
    """A header value as parsed (ASCII with surrogate escapes) back to readable text."""
    return value.encode("ascii", "surrogateescape").decode("utf-8", "replace")


def part_text(part):
    try:
        return part.get_content()
    except Exception:  # unknown charset and the like: the bytes, as far as they read
        payload = part.get_payload(decode=True) or b""
        return payload.decode("utf-8", "replace")


def summarize(content, envelope, tls, auth_user):
    msg = email.message_from_bytes(content, policy=email.policy.default)

    def header(name):
        value = msg[name]
        return None if value is None else str(value)

    body_part = None
    attachments = []
    for part in msg.walk():
        if part.is_multipart():
            continue
        filename = part.get_filename()
        if (body_part is None and not part.is_attachment() and filename is None
                and part.get_content_type() in ("text/plain", "text/html")):
            body_part = part
            continue
        if part.is_attachment() or filename is not None:
            payload = part.get_payload(decode=True) or b""
            attachments.append({
                "filename": filename,
                "sha256": hashlib.sha256(payload).hexdigest(),
                "size": len(payload),
            })
    body_text = None if body_part is None else part_text(body_part).replace("\r\n", "\n")

    # After decoding: bad base64 and the like are noted on the part as it is decoded.
    defects = []
    for part in msg.walk():
        found = list(part.defects)
        for name in part.keys():
            for value in part.get_all(name, []):
                found.extend(getattr(value, "defects", ()))
        for defect in found:
            if type(defect).__name__ not in defects:
                defects.append(type(defect).__name__)

    raw_headers = [[name, raw_text(value)] for name, value in msg.raw_items()]
    lines = content.split(b"\n")
    if lines and lines[-1] == b"":
        lines.pop()
    max_line = max((len(line[:-1] if line.endswith(b"\r") else line) for line in lines), default=0)

    return {
        "mail_from": envelope.mail_from,
        "rcpt_tos": list(envelope.rcpt_tos),
        "mail_options": list(envelope.mail_options),
        "subject": header("subject"),
        "from": header("from"),
        "to": header("to"),
        "date": next((value for name, value in raw_headers if name.lower() == "date"), None),
        "headers": raw_headers,
        "body_text": body_text,
        "body_type": None if body_part is None else body_part.get_content_subtype(),
        "attachments": attachments,
        "defects": defects,
        "max_line_length": max_line,
        "tls": tls,
        "auth_user": auth_user,
    }


def write_whole(path, data):
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data)
    os.rename(tmp, path)


class Store:
    def __init__(self, directory):
        self.directory = directory
        self.count = 0

    def keep(self, content, envelope, tls, auth_user):
        try:
            summary = summarize(content, envelope, tls, auth_user)
        except Exception as error:  # the message is kept all the same; the summary says why it is short
            summary = {"mail_from": envelope.mail_from, "rcpt_tos": list(envelope.rcpt_tos),
                       "tls": tls, "auth_user": auth_user,
                       "summary_error": f"{type(error).__name__}: {error}"}
        n = self.count + 1
        base = os.path.join(self.directory, str(n))
        write_whole(base + ".eml", content)
        write_whole(base + ".json", json.dumps(summary, indent=1).encode("utf-8"))
        self.count = n


class Hooks:
    """aiosmtpd handler: the fault replies of one session."""

    def __init__(self, faults, offers_auth):
        self.faults = faults
        self.offers_auth = offers_auth

    async def handle_EHLO(self, server, session, envelope, hostname, responses):
        session.host_name = hostname
        if not self.offers_auth:
            responses = [r for r in responses if not r[4:].startswith("AUTH")]
        return responses

    async def handle_MAIL(self, server, session, envelope, address, mail_options):
        if self.faults.sender_code is not None:
            return SENDER_REPLIES[self.faults.sender_code]
        envelope.mail_from = address
        envelope.mail_options.extend(mail_options)
        return "250 OK"

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address.lower() in self.faults.refused_rcpts:
            return f"550 5.1.1 <{address}>: Recipient address rejected"
        envelope.rcpt_tos.append(address)
        envelope.rcpt_options.extend(rcpt_options)
        return "250 OK"


class Session(SMTP):
    # Message lines of any length reach the store, which reports the longest one.
    line_length_limit = 1 << 24

    def __init__(self, faults, store, implicit_tls, **kwargs):
        super().__init__(Hooks(faults, kwargs.get("authenticator") is not None),
                         data_size_limit=faults.size_limit, hostname="localhost",
                         ident="Merrowind test server", **kwargs)
        self.faults = faults
        self.store = store
        self.implicit_tls = implicit_tls

    async def _handle_client(self):
        if not self.faults.silent_greeting:
            return await super()._handle_client()
        try:
            await asyncio.get_running_loop().create_future()  # until the client goes away
        finally:
            if self.transport is not None:
                self.transport.close()

    async def smtp_MAIL(self, arg):
        if await self.check_helo_needed() or await self.check_auth_needed("MAIL"):
            return
        limit = self.faults.size_limit
        if limit is not None and arg:
            for param in arg.split()[1:]:
                key, _, value = param.partition("=")
                if key.upper() == "SIZE" and value.isdigit() and int(value) > limit:
                    return await self.push(SIZE_REPLY)
        await super().smtp_MAIL(arg)

    async def smtp_DATA(self, arg):
        if await self.check_helo_needed() or await self.check_auth_needed("DATA"):
            return
        if not self.envelope.rcpt_tos:
            return await self.push("503 Error: need RCPT command")
        if arg:
            return await self.push("501 Syntax: DATA")
        await self.push("354 End data with <CR><LF>.<CR><LF>")

        drop_after = self.faults.drop_after
        lines = []
        size = 0
        while True:
            if drop_after is not None and size >= drop_after:
                break
            line = await self._reader.readuntil(b"\r\n")
            if line == b".\r\n":
                break
            if line.startswith(b"."):
                line = line[1:]
            lines.append(line)
            size += len(line)
        if drop_after is not None:
            # Cut without a reply, also when the message was shorter than the limit.
            self.transport.abort()
            return

        content = b"".join(lines)
        envelope = self.envelope
        self._set_post_data_state()
        if self.faults.size_limit is not None and len(content) > self.faults.size_limit:
            return await self.push(SIZE_REPLY)
        tls = self.implicit_tls or self._tls_protocol is not None
        login = self.session.login_data
        auth_user = None if login is None else login.decode("utf-8", "replace")
        self.store.keep(content, envelope, tls, auth_user)
        await self.push("250 2.0.0 OK: queued as %d" % self.store.count)


class Server:
    def __init__(self, args):
        self.args = args
        self.store = Store(args.dir)
        self.faults = Faults()
        self.listener = None
        self.port = 0
        self.tls_context = None
        if args.tls:
            self.tls_context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            self.tls_context.load_cert_chain(args.cert, args.key)
        self.authenticator = None
        if args.auth:
            user, _, password = args.auth.partition(":")
            wanted = LoginPassword(user.encode("utf-8"), password.encode("utf-8"))

            def authenticate(server, session, envelope, mechanism, auth_data):
                ok = auth_data == wanted
                return AuthResult(success=ok, handled=False, auth_data=auth_data if ok else None)

            self.authenticator = authenticate

    def session(self):
        kwargs = {
            "auth_require_tls": False,
            "auth_required": self.authenticator is not None,
            "authenticator": self.authenticator,
        }
        if self.args.tls == "starttls":
            kwargs["tls_context"] = self.tls_context
            kwargs["require_starttls"] = self.args.require_tls
        return Session(self.faults.copy(), self.store, self.args.tls == "implicit", **kwargs)

    async def listen(self):
        ssl_context = self.tls_context if self.args.tls == "implicit" else None
        self.listener = await asyncio.get_running_loop().create_server(
            self.session, HOST, self.port, ssl=ssl_context)
        self.port = self.listener.sockets[0].getsockname()[1]

    def stop_listening(self):
        if self.listener is not None:
            self.listener.close()
            self.listener = None

    async def control(self, line):
        words = line.split()
        if not words:
            return "ERR empty command"
        name, rest = words[0], words[1:]
        faults = self.faults
        if name == "count" and not rest:
            return f"OK {self.store.count}"
        if name == "reset" and not rest:
            self.faults = Faults()
            if self.listener is None:
                await self.listen()
            return "OK"
        if name == "greeting-silent" and not rest:
            faults.silent_greeting = True
            return "OK"
        if name == "refuse-connections" and not rest:
            self.stop_listening()
            return "OK"
        if name == "sender" and len(rest) == 1 and rest[0].isdigit() and int(rest[0]) in SENDER_REPLIES:
            faults.sender_code = int(rest[0])
            return "OK"
        if name == "refuse-rcpt" and len(rest) == 1:
            faults.refused_rcpts.add(rest[0].strip("<>").lower())
            return "OK"
        if name in ("drop-during-data", "size-limit") and len(rest) == 1 and rest[0].isdigit():
            if name == "drop-during-data":
                faults.drop_after = int(rest[0])
            else:
                faults.size_limit = int(rest[0])
            return "OK"
        return "ERR unknown command: " + line

    async def run(self):
        loop = asyncio.get_running_loop()
        stopped = loop.create_future()
        for sig in (signal.SIGTERM, signal.SIGINT):
            loop.add_signal_handler(sig, lambda: stopped.done() or stopped.set_result(None))

        await self.listen()
        say(f"PORT {self.port}")

        reader = asyncio.StreamReader()
        await loop.connect_read_pipe(lambda: asyncio.StreamReaderProtocol(reader), sys.stdin)
        lines = asyncio.ensure_future(self.read_control(reader))
        await asyncio.wait([lines, stopped], return_when=asyncio.FIRST_COMPLETED)
        lines.cancel()
        self.stop_listening()

    async def read_control(self, reader):
        while True:
            line = await reader.readline()
            if not line:
                return
            try:
                answer = await self.control(line.decode("utf-8", "replace").strip())
            except Exception as error:  # a bind failure on reset, say
                answer = f"ERR {type(error).__name__}: {error}"
            say(answer)


def say(line):
    sys.stdout.write(line + "\n")
    sys.stdout.flush()


def quiet_loop_errors(loop, context):
    # Failed TLS handshakes and dropped clients are what the tests provoke; one line is enough.
    error = context.get("exception")
    sys.stderr.write(f"smtpserver: {context.get('message')}: {error!r}\n")


def main():
    parser = argparse.ArgumentParser(description="SMTP server for the tests")
    parser.add_argument("--dir", required=True)
    parser.add_argument("--tls", choices=["implicit", "starttls"])
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--auth", metavar="USER:PASSWORD")
    parser.add_argument("--require-tls", action="store_true")
    parser.add_argument("--remove-dir", action="store_true", help="remove DIR after a regular stop")
    args = parser.parse_args()
    if args.tls and not (args.cert and args.key):
        parser.error("--tls needs --cert and --key")
    if args.require_tls and args.tls != "starttls":
        parser.error("--require-tls goes with --tls starttls")

    # aiosmtpd warns about AUTH without TLS, which is what the tests ask for.
    warnings.simplefilter("ignore")
    logging.getLogger("mail.log").setLevel(logging.CRITICAL)

    loop = asyncio.new_event_loop()
    loop.set_exception_handler(quiet_loop_errors)
    try:
        loop.run_until_complete(Server(args).run())
    finally:
        loop.close()
    # Only after a regular stop: a failure leaves its traces for whoever started the server.
    if args.remove_dir:
        shutil.rmtree(args.dir, ignore_errors=True)


if __name__ == "__main__":
    main()
