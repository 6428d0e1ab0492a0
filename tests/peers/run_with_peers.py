#!/usr/bin/python3
"""Runs a command next to real SMTP servers on 127.0.0.1 and stops them after.

    run_with_peers.py COMMAND...

Makes a CA and server certificates with openssl in a temporary folder, starts
these aiosmtpd servers on 127.0.0.1 and runs COMMAND beside them:

    open        no AUTH needed
    plain       AUTH PLAIN required
    cram        AUTH CRAM-MD5 required
    starttls    STARTTLS required (good certificate), then AUTH PLAIN
    implicit    TLS from the first byte on port 465 of implicit_host, AUTH PLAIN
    wronghost, expired, selfsigned, nochain
                STARTTLS with a certificate for another name, an expired one,
                a self-signed one, one whose intermediate CA is not sent

The command's environment gets:

    SSL_CERT_FILE      the CA certificate (PEM)
    VARNALIS_PEERS     a file of name=value lines: NAME=PORT for each server,
                       implicit_host=..., mailbox=FOLDER, user=..., password=...
    VARNALIS_PEER_USER, VARNALIS_PEER_PASSWORD   the account the servers accept

Every message a server accepts lands in the mailbox folder as PEER-N.eml plus
PEER-N.txt, a summary: name=value lines (backslash, CR and LF escaped as \\\\,
\\r, \\n; repeated names for lists), an empty line, then the decoded body text.
For a Windows program (COMMAND names a .exe or Wine) every path is given as a
Wine path (Z:\\...). The command's exit code is the runner's.
"""
import asyncio
import ctypes
import email
import email.policy
import hashlib
import hmac
import logging
import os
import random
import secrets
import shutil
import signal
import socket
import ssl
import subprocess
import sys
import tempfile
import warnings

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword

USER = "varnalis"
PASSWORD = "Pa55 w0rd!"


def openssl(*args, cwd):
    subprocess.run(["openssl", *args], cwd=cwd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def make_certificates(folder, implicit_ip):
    """CA, an intermediate and server certificates; returns the file names by kind."""
    def ext_file(name, text):
        with open(os.path.join(folder, name), "w") as f:
            f.write(text)

    good_ips = sorted({"127.0.0.1", implicit_ip})
    ext_file("good.ext", "subjectAltName=DNS:localhost," + ",".join("IP:" + ip for ip in good_ips) + "\n")
    ext_file("other.ext", "subjectAltName=DNS:other.invalid\n")
    ext_file("ca.ext", "basicConstraints=critical,CA:TRUE\nkeyUsage=critical,keyCertSign,cRLSign\n"
                       "subjectKeyIdentifier=hash\n")
    ext_file("leaf.ext", "basicConstraints=CA:FALSE\nsubjectAltName=DNS:localhost,IP:127.0.0.1\n")
    ext_file("openssl.cnf", "[ca]\ndefault_ca=test\n[test]\ndatabase=index.txt\nnew_certs_dir=.\n"
                            "serial=serial\ndefault_md=sha256\npolicy=any\ncopy_extensions=copy\n"
                            "[any]\ncommonName=supplied\n")
    open(os.path.join(folder, "index.txt"), "w").close()
    ext_file("serial", "1000\n")

    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out", "ca.pem", "-days", "30",
            "-subj", "/CN=Varnalis Test CA", "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign", cwd=folder)
    # One key serves every server certificate: key generation is the slow part.
    openssl("genrsa", "-out", "server.key", "2048", cwd=folder)
    openssl("req", "-new", "-key", "server.key", "-out", "server.csr", "-subj", "/CN=localhost", cwd=folder)

    def sign(out, ext, issuer="ca", extra=()):
        openssl("x509", "-req", "-in", "server.csr", "-CA", issuer + ".pem", "-CAkey", issuer + ".key",
                "-CAcreateserial", "-out", out, "-days", "30", "-extfile", ext, *extra, cwd=folder)

    sign("good.pem", "good.ext")
    sign("other.pem", "other.ext")
    # An intermediate the server does not send: the chain cannot be completed.
    openssl("req", "-new", "-newkey", "rsa:2048", "-nodes", "-keyout", "inter.key", "-out", "inter.csr",
            "-subj", "/CN=Varnalis Test Intermediate", cwd=folder)
    openssl("x509", "-req", "-in", "inter.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
            "-out", "inter.pem", "-days", "30", "-extfile", "ca.ext", cwd=folder)
    sign("nochain.pem", "leaf.ext", issuer="inter")
    # Expired: only "openssl ca" takes dates in the past.
    openssl("ca", "-batch", "-config", "openssl.cnf", "-in", "server.csr", "-cert", "ca.pem", "-keyfile", "ca.key",
            "-startdate", "20200101000000Z", "-enddate", "20200201000000Z", "-extfile", "leaf.ext",
            "-out", "expired.pem", "-notext", cwd=folder)
    openssl("req", "-x509", "-key", "server.key", "-out", "selfsigned.pem", "-days", "30", "-subj", "/CN=localhost",
            "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1", cwd=folder)


def server_context(folder, cert):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(folder, cert), os.path.join(folder, "server.key"))
    return context


def escape(value):
    return str(value).replace("\\", "\\\\").replace("\r", "\\r").replace("\n", "\\n")


def summarize(peer, envelope):
    msg = email.message_from_bytes(envelope.original_content or envelope.content, policy=email.policy.default)
    lines = [("peer", peer), ("envelope_from", envelope.mail_from)]
    lines += [("rcpt", r) for r in envelope.rcpt_tos]
    lines.append(("from", msg.get("from", "")))
    to = msg.get("to")
    if to is not None:
        lines += [("to", str(a)) for a in to.addresses]
    lines.append(("subject", msg.get("subject", "")))
    lines.append(("content_type", msg.get_content_type()))
    part = msg.get_body(preferencelist=("plain", "html")) or msg
    lines.append(("charset", part.get_content_charset() or ""))
    lines.append(("transfer_encoding", str(part.get("content-transfer-encoding", "")).strip().lower()))
    for defect in list(msg.defects) + list(part.defects):
        lines.append(("defect", type(defect).__name__))
    try:
        body = part.get_content() if part.get_content_maintype() == "text" else ""
    except Exception as error:  # a body that does not decode is itself the finding
        lines.append(("defect", "body: %s" % error))
        body = ""
    text = "".join("%s=%s\n" % (name, escape(value)) for name, value in lines) + "\n" + body
    return text.encode("utf-8", "surrogateescape")


class Mailbox:
    def __init__(self, folder):
        self.folder = folder
        self.counts = {}

    def store(self, peer, envelope):
        n = self.counts.get(peer, 0) + 1
        self.counts[peer] = n
        base = os.path.join(self.folder, "%s-%d" % (peer, n))
        with open(base + ".eml", "wb") as f:
            f.write(envelope.original_content or envelope.content)
        with open(base + ".tmp", "wb") as f:
            f.write(summarize(peer, envelope))
        os.replace(base + ".tmp", base + ".txt")  # a reader never sees half a summary


class Handler:
    def __init__(self, peer, mailbox):
        self.peer = peer
        self.mailbox = mailbox

    async def handle_DATA(self, server, session, envelope):
        self.mailbox.store(self.peer, envelope)
        return "250 OK"

    # RFC 2195, server side.
    async def auth_CRAM__MD5(self, server, args):
        if len(args) != 1:
            await server.push("501 5.5.4 No initial response allowed")
            return AuthResult(success=False, handled=True)
        challenge = ("<%s.%d@varnalis.test>" % (secrets.token_hex(8), os.getpid())).encode()
        response = await server.challenge_auth(challenge)
        if not isinstance(response, bytes):
            return AuthResult(success=False, handled=True)  # "*" or bad Base64, already answered
        user, _, digest = response.partition(b" ")
        expected = hmac.new(PASSWORD.encode(), challenge, hashlib.md5).hexdigest().encode()
        ok = user == USER.encode() and hmac.compare_digest(digest, expected)
        return AuthResult(success=ok, handled=False, auth_data=LoginPassword(user, b""))


def authenticator(server, session, envelope, mechanism, auth_data):
    ok = isinstance(auth_data, LoginPassword) and auth_data.login == USER.encode() \
        and auth_data.password == PASSWORD.encode()
    return AuthResult(success=ok, handled=False)


def smtp_factory(peer, mailbox, auth=None, starttls=None, implicit=False):
    """auth: None (no AUTH), "PLAIN" or "CRAM-MD5"."""
    excluded = ["LOGIN", "PLAIN", "CRAM-MD5"]
    if auth:
        excluded.remove(auth)

    def make():
        return SMTP(Handler(peer, mailbox), hostname="peer.varnalis.test", ident="Varnalis test peer",
                    tls_context=starttls, require_starttls=starttls is not None,
                    auth_required=auth is not None, auth_require_tls=starttls is not None,
                    auth_exclude_mechanism=excluded if auth else None,
                    authenticator=authenticator if auth else None)
    return make


def bind_implicit_port():
    """Port 465 on 127.0.0.1, or on another loopback address when a parallel run holds it.

    Returns the bound socket, or None (without root, say)."""
    candidates = ["127.0.0.1"] + ["127.%d.%d.%d" % (random.randint(1, 254), random.randint(0, 254),
                                                    random.randint(1, 254)) for _ in range(20)]
    for host in candidates:
        sock = socket.socket()
        try:
            sock.bind((host, 465))
            return sock
        except OSError:
            sock.close()
    return None


def die_with_parent():
    # A runner killed outright (a test time-out) must not leave the command behind.
    ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG


def wine_path(path):
    return "Z:" + path.replace("/", "\\")


def is_windows_command(command):
    names = [os.path.basename(a).lower() for a in command]
    return any(n.endswith(".exe") for n in names) or names[0] in ("wine", "wine64", "wine-run")


async def run(command):
    loop = asyncio.get_running_loop()
    child = None
    stopped = []

    def stop(signum):
        # Forwarded to the command; before it runs, the runner just ends (and cleans up).
        stopped.append(signum)
        if child is not None and child.returncode is None:
            child.send_signal(signum)
    for signum in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        loop.add_signal_handler(signum, stop, signum)

    folder = tempfile.mkdtemp(prefix="varnalis-peers-")
    try:
        implicit_sock = bind_implicit_port()
        implicit_host = implicit_sock.getsockname()[0] if implicit_sock else None
        make_certificates(folder, implicit_host or "127.0.0.1")
        mailbox_dir = os.path.join(folder, "mailbox")
        os.mkdir(mailbox_dir)
        mailbox = Mailbox(mailbox_dir)
        good = server_context(folder, "good.pem")

        servers = {}
        factories = {
            "open": smtp_factory("open", mailbox),
            "plain": smtp_factory("plain", mailbox, auth="PLAIN"),
            "cram": smtp_factory("cram", mailbox, auth="CRAM-MD5"),
            "starttls": smtp_factory("starttls", mailbox, auth="PLAIN", starttls=good),
            "wronghost": smtp_factory("wronghost", mailbox, starttls=server_context(folder, "other.pem")),
            "expired": smtp_factory("expired", mailbox, starttls=server_context(folder, "expired.pem")),
            "selfsigned": smtp_factory("selfsigned", mailbox, starttls=server_context(folder, "selfsigned.pem")),
            "nochain": smtp_factory("nochain", mailbox, starttls=server_context(folder, "nochain.pem")),
        }
        for name, factory in factories.items():
            servers[name] = await loop.create_server(factory, "127.0.0.1", 0)
        implicit_name = None
        if implicit_host:
            factory = smtp_factory("implicit", mailbox, auth="PLAIN")
            servers["implicit"] = await loop.create_server(factory, sock=implicit_sock, ssl=good)
            implicit_name = "localhost" if implicit_host == "127.0.0.1" else implicit_host
        else:
            print("run_with_peers: port 465 is not available; no implicit-TLS peer", file=sys.stderr)

        windows = is_windows_command(command)
        shown = wine_path if windows else (lambda p: p)
        peers_file = os.path.join(folder, "peers.txt")
        with open(peers_file, "w") as f:
            for name, server in servers.items():
                f.write("%s=%d\n" % (name, server.sockets[0].getsockname()[1]))
            if implicit_name:
                f.write("implicit_host=%s\n" % implicit_name)
            f.write("mailbox=%s\nuser=%s\npassword=%s\n" % (shown(mailbox_dir), USER, PASSWORD))

        env = dict(os.environ)
        env.update(SSL_CERT_FILE=shown(os.path.join(folder, "ca.pem")), VARNALIS_PEERS=shown(peers_file),
                   VARNALIS_PEER_USER=USER, VARNALIS_PEER_PASSWORD=PASSWORD)
        if stopped:
            return 128 + stopped[0]
        child = await asyncio.create_subprocess_exec(*command, env=env, preexec_fn=die_with_parent)
        code = await child.wait()
        for server in servers.values():
            server.close()
        return code if code >= 0 else 128 - code
    finally:
        if os.environ.get("VARNALIS_KEEP_PEERS"):
            print("run_with_peers: kept " + folder, file=sys.stderr)
        else:
            shutil.rmtree(folder, ignore_errors=True)


def main():
    if len(sys.argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    # The handshakes refused on purpose would otherwise fill the test output.
    logging.basicConfig(level=logging.CRITICAL)
    warnings.filterwarnings("ignore")  # AUTH without TLS is what the plain peers are for
    logging.getLogger("mail.log").setLevel(logging.CRITICAL)
    return asyncio.run(run(sys.argv[1:]))


if __name__ == "__main__":
    sys.exit(main())
