#!/usr/bin/python3
"""Runs a command next to real SMTP and HTTP servers on 127.0.0.1 and stops them after: run_with_peers.py COMMAND...

SMTP servers: open (no AUTH), plain (AUTH PLAIN), cram (AUTH CRAM-MD5), starttls (STARTTLS required, then AUTH
PLAIN), implicit (TLS from the first byte on port 465 of implicit_host, AUTH PLAIN), and STARTTLS with a bad
certificate: wronghost, expired, selfsigned, nochain (intermediate not sent). Each message accepted lands in the
mailbox as PEER-N.txt: name=value lines (\\, CR, LF escaped; names repeated for lists), an empty line, the decoded
body.

HTTP servers (web hooks): hook (HTTPS, the good certificate for localhost and 127.0.0.1), hook_wronghost (HTTPS, a
certificate for other.invalid), hook_selfsigned (HTTPS, self-signed), hook_plain (plain HTTP). Paths: /status/NNN
answers NNN (a 3xx with Location: /moved), /silent reads the request and never answers, /endless streams a 200
body forever, /huge answers 200 with 10 MB, anything else 200 "ok". Every request whose whole body arrived lands
in the mailbox as hook-N.txt (N counts across the hook servers): peer=, method=, path=, content_type= lines (escaped
as above), an empty line, the raw body. A request whose TLS handshake failed is never recorded.

The command gets SSL_CERT_FILE (the CA) and VARNALIS_PEERS, a UTF-8 file of NAME=PORT, implicit_host=, mailbox=,
user=, password= and wide_password= lines (the cram peer also takes wide_password, a non-ASCII one, as its UTF-8
bytes). A Windows command (a .exe, or Wine) gets Wine paths. The command's exit code is the runner's.
"""
import asyncio, ctypes, email, email.policy, hashlib, hmac, logging, os, random, secrets, shutil, signal, socket
import ssl, subprocess, sys, tempfile, warnings

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword

USER = "varnalis"
PASSWORD = "Pa55 w0rd!"
WIDE_PASSWORD = "p\u00e4ss w\u00f6rd\u20ac"  # the cram peer takes it too, as UTF-8 bytes


def make_certificates(folder, implicit_ip):
    """A CA, an intermediate and the server certificates, all for one server key."""
    def openssl(*args):
        subprocess.run(["openssl", *args], cwd=folder, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)

    ips = ",".join("IP:" + ip for ip in sorted({"127.0.0.1", implicit_ip}))
    for name, text in {
            "good.ext": "subjectAltName=DNS:localhost," + ips,
            "other.ext": "subjectAltName=DNS:other.invalid",
            "ca.ext": "basicConstraints=critical,CA:TRUE\nkeyUsage=critical,keyCertSign,cRLSign\n"
                      "subjectKeyIdentifier=hash",
            "leaf.ext": "basicConstraints=CA:FALSE\nsubjectAltName=DNS:localhost,IP:127.0.0.1",
            "openssl.cnf": "[ca]\ndefault_ca=test\n[test]\ndatabase=index.txt\nnew_certs_dir=.\nserial=serial\n"
                           "default_md=sha256\npolicy=any\ncopy_extensions=copy\n[any]\ncommonName=supplied",
            "index.txt": "", "serial": "1000"}.items():
        with open(os.path.join(folder, name), "w") as f:
            f.write(text + "\n" if text else "")

    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out", "ca.pem", "-days", "30",
            "-subj", "/CN=Varnalis Test CA", "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    # One key serves every server certificate: key generation is the slow part.
    openssl("genrsa", "-out", "server.key", "2048")
    openssl("req", "-new", "-key", "server.key", "-out", "server.csr", "-subj", "/CN=localhost")

    def sign(out, ext, issuer="ca", csr="server.csr"):
        openssl("x509", "-req", "-in", csr, "-CA", issuer + ".pem", "-CAkey", issuer + ".key", "-CAcreateserial",
                "-out", out, "-days", "30", "-extfile", ext)

    sign("good.pem", "good.ext")
    sign("other.pem", "other.ext")
    # An intermediate the server does not send: the chain cannot be completed.
    openssl("req", "-new", "-newkey", "rsa:2048", "-nodes", "-keyout", "inter.key", "-out", "inter.csr",
            "-subj", "/CN=Varnalis Test Intermediate")
    sign("inter.pem", "ca.ext", csr="inter.csr")
    sign("nochain.pem", "leaf.ext", issuer="inter")
    # Expired: only "openssl ca" takes dates in the past.
    openssl("ca", "-batch", "-config", "openssl.cnf", "-in", "server.csr", "-cert", "ca.pem", "-keyfile", "ca.key",
            "-startdate", "20200101000000Z", "-enddate", "20200201000000Z", "-extfile", "leaf.ext",
            "-out", "expired.pem", "-notext")
    openssl("req", "-x509", "-key", "server.key", "-out", "selfsigned.pem", "-days", "30", "-subj", "/CN=localhost",
            "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1")


def server_context(folder, cert):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(folder, cert), os.path.join(folder, "server.key"))
    return context


def summarize(peer, envelope):
    msg = email.message_from_bytes(envelope.original_content or envelope.content, policy=email.policy.default)
    part = msg.get_body(preferencelist=("plain", "html")) or msg
    to = msg.get("to")
    lines = [("peer", peer), ("envelope_from", envelope.mail_from)] + [("rcpt", r) for r in envelope.rcpt_tos]
    lines += [("from", msg.get("from", ""))] + [("to", str(a)) for a in (to.addresses if to is not None else ())]
    lines += [("subject", msg.get("subject", "")), ("content_type", msg.get_content_type()),
              ("charset", part.get_content_charset() or ""),
              ("transfer_encoding", str(part.get("content-transfer-encoding", "")).strip().lower())]
    lines += [("defect", type(d).__name__) for d in list(msg.defects) + list(part.defects)]
    try:
        body = part.get_content() if part.get_content_maintype() == "text" else ""
    except Exception as error:  # a body that does not decode is itself the finding
        lines.append(("defect", "body: %s" % error))
        body = ""
    text = "".join("%s=%s\n" % (name, escape(value)) for name, value in lines) + "\n" + body
    return text.encode("utf-8", "surrogateescape")


def escape(value):
    return str(value).replace("\\", "\\\\").replace("\r", "\\r").replace("\n", "\\n")


def save(base, data):
    with open(base + ".tmp", "wb") as f:
        f.write(data)
    os.replace(base + ".tmp", base + ".txt")  # a reader never sees half a file


class HookServer:
    """One HTTP/1.1 request per connection, answered by its path."""
    count = 0  # requests recorded by all hook servers
    BODY_LIMIT = 16 << 20

    def __init__(self, peer, mailbox):
        self.peer = peer
        self.mailbox = mailbox

    async def __call__(self, reader, writer):
        try:
            await self.serve(reader, writer)
        except (OSError, EOFError, ValueError, asyncio.IncompleteReadError, asyncio.LimitOverrunError, ssl.SSLError):
            pass  # a client that went away or sent garbage
        finally:
            writer.close()

    async def serve(self, reader, writer):
        head = (await reader.readuntil(b"\r\n\r\n")).decode("latin-1").split("\r\n")
        method, path, _ = head[0].split(" ", 2)
        headers = {}
        for line in head[1:]:
            name, _, value = line.partition(":")
            headers[name.strip().lower()] = value.strip()
        length = int(headers.get("content-length", "0"))
        if not 0 <= length <= self.BODY_LIMIT:
            raise ValueError("body too long")
        body = await reader.readexactly(length)
        HookServer.count += 1
        lines = [("peer", self.peer), ("method", method), ("path", path),
                 ("content_type", headers.get("content-type", ""))]
        text = "".join("%s=%s\n" % (n, escape(v)) for n, v in lines) + "\n"
        save(os.path.join(self.mailbox, "hook-%d" % HookServer.count),
             text.encode("utf-8", "surrogateescape") + body)

        route = path.split("?", 1)[0]
        if route == "/silent":
            while await reader.read(4096):
                pass
            return
        if route == "/endless":
            writer.write(b"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nConnection: close\r\n\r\n")
            chunk = b"x" * 16384
            # Over TLS, writes after the client left are dropped without a pause, so drain never yields: the
            # loop yields itself and ends when the connection is gone.
            while not reader.at_eof() and not writer.is_closing():
                writer.write(chunk)
                await writer.drain()
                await asyncio.sleep(0)
            return
        status, extra, answer = 200, "", b"ok"
        if route == "/huge":
            answer = b"y" * (10 << 20)
        elif route.startswith("/status/") and route[8:].isdigit():
            status, answer = int(route[8:]), b""
            if 300 <= status < 400:
                extra = "Location: /moved\r\n"
        writer.write(("HTTP/1.1 %d Peer\r\nContent-Type: text/plain\r\nContent-Length: %d\r\n%sConnection: close\r\n"
                      "\r\n" % (status, len(answer), extra)).encode() + answer)
        await writer.drain()


class Handler:
    counts = {}  # messages received by each peer

    def __init__(self, peer, mailbox):
        self.peer = peer
        self.mailbox = mailbox

    async def handle_DATA(self, server, session, envelope):
        n = Handler.counts[self.peer] = Handler.counts.get(self.peer, 0) + 1
        save(os.path.join(self.mailbox, "%s-%d" % (self.peer, n)), summarize(self.peer, envelope))
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
        ok = user == USER.encode() and any(
            hmac.compare_digest(digest, hmac.new(p.encode(), challenge, hashlib.md5).hexdigest().encode())
            for p in (PASSWORD, WIDE_PASSWORD))
        return AuthResult(success=ok, handled=False, auth_data=LoginPassword(user, b""))


def authenticator(server, session, envelope, mechanism, auth_data):
    ok = isinstance(auth_data, LoginPassword) and auth_data.login == USER.encode() \
        and auth_data.password == PASSWORD.encode()
    return AuthResult(success=ok, handled=False)


def smtp_factory(peer, mailbox, auth=None, starttls=None):  # auth: None, "PLAIN" or "CRAM-MD5"
    excluded = [m for m in ("LOGIN", "PLAIN", "CRAM-MD5") if m != auth]
    return lambda: SMTP(Handler(peer, mailbox), hostname="peer.varnalis.test", ident="Varnalis test peer",
                        tls_context=starttls, require_starttls=starttls is not None,
                        auth_required=auth is not None, auth_require_tls=starttls is not None,
                        auth_exclude_mechanism=excluded if auth else None,
                        authenticator=authenticator if auth else None)


def bind_implicit_port():
    """Port 465 on 127.0.0.1, or on another loopback address when a parallel run holds it; None without root."""
    hosts = ["127.%d.%d.%d" % (random.randint(1, 254), random.randint(0, 254), random.randint(1, 254))
             for _ in range(20)]
    for host in ["127.0.0.1"] + hosts:
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
        mailbox = os.path.join(folder, "mailbox")
        os.mkdir(mailbox)
        good = server_context(folder, "good.pem")
        peers = {"open": {}, "plain": {"auth": "PLAIN"}, "cram": {"auth": "CRAM-MD5"},
                 "starttls": {"auth": "PLAIN", "starttls": good}}
        for name, cert in (("wronghost", "other"), ("expired", "expired"), ("selfsigned", "selfsigned"),
                           ("nochain", "nochain")):
            peers[name] = {"starttls": server_context(folder, cert + ".pem")}
        servers = {name: await loop.create_server(smtp_factory(name, mailbox, **kw), "127.0.0.1", 0)
                   for name, kw in peers.items()}
        for name, cert in (("hook", "good"), ("hook_wronghost", "other"), ("hook_selfsigned", "selfsigned"),
                           ("hook_plain", None)):
            servers[name] = await asyncio.start_server(HookServer(name, mailbox), "127.0.0.1", 0,
                                                       ssl=cert and server_context(folder, cert + ".pem"))
        if implicit_host:
            servers["implicit"] = await loop.create_server(smtp_factory("implicit", mailbox, auth="PLAIN"),
                                                           sock=implicit_sock, ssl=good)
        else:
            print("run_with_peers: port 465 is not available; no implicit-TLS peer", file=sys.stderr)

        names = [os.path.basename(a).lower() for a in command]
        windows = any(n.endswith(".exe") for n in names) or names[0] in ("wine", "wine64", "wine-run")
        shown = (lambda path: "Z:" + path.replace("/", "\\")) if windows else (lambda path: path)
        peers_file = os.path.join(folder, "peers.txt")
        with open(peers_file, "w", encoding="utf-8") as f:
            for name, server in servers.items():
                f.write("%s=%d\n" % (name, server.sockets[0].getsockname()[1]))
            if implicit_host:
                f.write("implicit_host=%s\n" % ("localhost" if implicit_host == "127.0.0.1" else implicit_host))
            f.write("mailbox=%s\nuser=%s\npassword=%s\nwide_password=%s\n"
                    % (shown(mailbox), USER, PASSWORD, WIDE_PASSWORD))

        env = dict(os.environ, SSL_CERT_FILE=shown(os.path.join(folder, "ca.pem")), VARNALIS_PEERS=shown(peers_file))
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
        return __doc__
    # The handshakes refused on purpose would otherwise fill the test output.
    logging.basicConfig(level=logging.CRITICAL)
    logging.getLogger("mail.log").setLevel(logging.CRITICAL)
    warnings.filterwarnings("ignore")  # AUTH without TLS is what the plain peers are for
    return asyncio.run(run(sys.argv[1:]))


if __name__ == "__main__":
    sys.exit(main())
