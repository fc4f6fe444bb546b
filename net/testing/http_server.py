#!/usr/bin/env python3
"""A scriptable HTTP/HTTPS server for the network tests (stdlib only).

    http_server.py start --dir DIR   certificates (once), daemon, DIR/server.env
    http_server.py stop --dir DIR    stops the daemon of DIR (exit 0 if gone)
    http_server.py serve --dir DIR   the daemon itself, in the foreground

The daemon listens on 127.0.0.1 on three ephemeral ports: plain HTTP, HTTPS
with a certificate for localhost signed by DIR/ca.pem, and HTTPS with a
self-signed ("untrusted") certificate for localhost. DIR/server.env holds
http=, https=, untrusted= and pid= lines once all three listen. The URL
language is documented in test_server.h; in short:

    /t/<tag>/<name>?status=&body=&size=&length=&cut=&chunk=&drip=&delay=
        &hang=&h=&bigheader=&raw=&auth=&authvalue=&proxyauth=&redirect=
        &loop=&setcookie=&lastmodified=&expires=&date=&type=&te=&ranges=&file=
    /log/<tag>?n=K   request K of the tag, raw     /count/<tag>   how many
    /file/<N>        N pattern bytes, fast
"""
import argparse
import base64
import binascii
import errno
import os
import signal
import socket
import socketserver
import ssl
import subprocess
import sys
import threading
import time
from email.utils import formatdate
from http import HTTPStatus
from urllib.parse import unquote_to_bytes

IDLE_EXIT_SECONDS = 900      # the daemon exits after this long without a request
SOCKET_TIMEOUT = 300         # reads of a connection; also the longest hang
START_TIMEOUT = 30

PATTERN_BLOCK = bytes(i % 251 for i in range(251 * 261))   # 65,511 bytes, whole periods


def pattern(offset, count):
    start = offset % 251
    out = bytearray()
    while len(out) < count:
        out += PATTERN_BLOCK[start:start + count - len(out)]
        start = 0
    return bytes(out)


# ---------------------------------------------------------------- certificates

def run_openssl(*args):
    subprocess.run(["openssl", *args], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def make_certificates(d):
    names = ["ca.pem", "ca.der", "ca.key", "server.pem", "server.key", "untrusted.pem", "untrusted.key"]
    if all(os.path.exists(os.path.join(d, n)) for n in names):
        return
    p = lambda n: os.path.join(d, n)
    ext = p("server.ext")
    with open(ext, "w") as f:
        f.write("basicConstraints=critical,CA:FALSE\n"
                "keyUsage=critical,digitalSignature,keyEncipherment\n"
                "extendedKeyUsage=serverAuth\n"
                "subjectAltName=DNS:localhost,IP:127.0.0.1\n")
    run_openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256", "-days", "3650",
                "-keyout", p("ca.key"), "-out", p("ca.pem"), "-subj", "/O=Quillet tests/CN=Quillet Test CA",
                "-addext", "basicConstraints=critical,CA:TRUE",
                "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    run_openssl("x509", "-in", p("ca.pem"), "-outform", "DER", "-out", p("ca.der"))
    run_openssl("req", "-newkey", "rsa:2048", "-nodes", "-sha256", "-keyout", p("server.key"),
                "-out", p("server.csr"), "-subj", "/O=Quillet tests/CN=localhost")
    run_openssl("x509", "-req", "-in", p("server.csr"), "-CA", p("ca.pem"), "-CAkey", p("ca.key"),
                "-set_serial", str(int.from_bytes(os.urandom(8), "big")), "-days", "825", "-sha256",
                "-extfile", ext, "-out", p("server.pem"))
    run_openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256", "-days", "825",
                "-keyout", p("untrusted.key"), "-out", p("untrusted.pem"),
                "-subj", "/O=Quillet tests/CN=localhost",
                "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1",
                "-addext", "extendedKeyUsage=serverAuth")
    for n in ("server.csr", "server.ext"):
        os.remove(p(n))


# ---------------------------------------------------------------- request log

class RequestLog:
    def __init__(self):
        self.lock = threading.Lock()
        self.by_tag = {}
        self.last_activity = time.monotonic()

    def touch(self):
        self.last_activity = time.monotonic()

    def add(self, tag, raw):
        with self.lock:
            self.by_tag.setdefault(tag, []).append(raw)

    def get(self, tag, n):
        with self.lock:
            entries = self.by_tag.get(tag, [])
            if n < 0:
                n += len(entries)
            return entries[n] if 0 <= n < len(entries) else None

    def count(self, tag):
        with self.lock:
            return len(self.by_tag.get(tag, []))


LOG = RequestLog()


def parse_query(q):
    """[(name, value bytes)], percent-decoded ('+' stays '+'), order kept."""
    out = []
    for part in q.split(b"&") if q else []:
        if not part:
            continue
        name, _, value = part.partition(b"=")
        out.append((unquote_to_bytes(name).decode("latin-1"), unquote_to_bytes(value)))
    return out


class Closed(Exception):
    pass


# ---------------------------------------------------------------- handler

class Handler(socketserver.StreamRequestHandler):
    rbufsize = 65536
    wbufsize = 0

    def setup(self):
        self.request.settimeout(SOCKET_TIMEOUT)
        ctx = self.server.ssl_context
        if ctx is not None:
            self.request = ctx.wrap_socket(self.request, server_side=True)
        super().setup()

    def handle(self):
        try:
            while self.handle_one():
                pass
        except (Closed, OSError, ssl.SSLError):
            pass

    def log(self, text):
        sys.stdout.write("%s %s %s\n" % (time.strftime("%H:%M:%S"), self.server.name, text))
        sys.stdout.flush()

    # -- reading

    def read_line(self, limit=1 << 20):
        line = self.rfile.readline(limit)
        if not line:
            raise Closed()
        return line

    def read_exact(self, n):
        data = self.rfile.read(n)
        if len(data) < n:
            raise Closed()
        return data

    def read_body(self, headers):
        """The request body as it came on the wire (chunked framing kept)."""
        te = headers.get("transfer-encoding", "").lower()
        if "chunked" in te:
            raw = bytearray()
            while True:
                size_line = self.read_line()
                raw += size_line
                size = int(size_line.split(b";")[0].strip() or b"0", 16)
                if size == 0:
                    while True:                       # trailers up to the blank line
                        t = self.read_line()
                        raw += t
                        if t in (b"\r\n", b"\n"):
                            return bytes(raw)
                raw += self.read_exact(size)
                raw += self.read_line()                # CRLF after the chunk
        n = int(headers.get("content-length", "0") or "0")
        return self.read_exact(n) if n > 0 else b""

    def handle_one(self):
        first = self.rfile.readline(1 << 20)
        while first in (b"\r\n", b"\n"):               # stray blank lines between requests
            first = self.rfile.readline(1 << 20)
        if not first:
            return False
        LOG.touch()
        raw = bytearray(first)
        headers = {}
        header_list = []
        while True:
            line = self.read_line()
            raw += line
            if line in (b"\r\n", b"\n"):
                break
            name, _, value = line.decode("latin-1").partition(":")
            name = name.strip()
            value = value.strip()
            header_list.append((name, value))
            key = name.lower()
            headers[key] = headers[key] + ", " + value if key in headers else value
        parts = first.decode("latin-1").split()
        if len(parts) < 2:
            self.send_simple(400, b"bad request line", close=True)
            return False
        method, target = parts[0], parts[1]
        version = parts[2] if len(parts) > 2 else "HTTP/0.9"
        if headers.get("expect", "").lower() == "100-continue":
            self.wfile.write(b"HTTP/1.1 100 Continue\r\n\r\n")
        body = self.read_body(headers)
        raw += body

        conn = headers.get("connection", "").lower()
        self.keep_alive = ("close" not in conn) and (version == "HTTP/1.1" or "keep-alive" in conn)
        self.method = method
        self.headers = headers
        self.version = version

        # Absolute-form targets (requests through a proxy): keep the path.
        if "://" in target.split("?")[0]:
            rest = target.split("://", 1)[1]
            slash = rest.find("/")
            target = rest[slash:] if slash >= 0 else "/"
        path, _, query = target.partition("?")
        self.target = target
        segments = path.split("/")
        self.log("%s %s" % (method, first.decode("latin-1").split()[1] if len(parts) > 1 else ""))

        if len(segments) >= 4 and segments[1] == "t" and segments[2]:
            LOG.add(segments[2], bytes(raw))
            return self.scripted(path, query.encode("latin-1"))
        if len(segments) == 3 and segments[1] == "log":
            n = -1
            for name, value in parse_query(query.encode("latin-1")):
                if name == "n":
                    n = int(value)
            entry = LOG.get(segments[2], n)
            if entry is None:
                return self.send_simple(404, b"no such request")
            return self.send_simple(200, entry)
        if len(segments) == 3 and segments[1] == "count":
            return self.send_simple(200, str(LOG.count(segments[2])).encode(), "text/plain")
        if len(segments) == 3 and segments[1] == "file" and segments[2].isdigit():
            return self.send_file(int(segments[2]))
        return self.send_simple(404, b"not found")

    # -- writing

    def status_line(self, status):
        try:
            reason = HTTPStatus(status).phrase
        except ValueError:
            reason = "Scripted"
        return ("HTTP/1.1 %d %s\r\n" % (status, reason)).encode("latin-1")

    def send_simple(self, status, body, ctype="application/octet-stream", close=False):
        close = close or not self.__dict__.get("keep_alive", False)
        head = self.status_line(status) + (
            "Date: %s\r\nServer: QuilletTestServer\r\nContent-Type: %s\r\nContent-Length: %d\r\n"
            "Connection: %s\r\n\r\n" % (formatdate(usegmt=True), ctype, len(body),
                                        "close" if close else "keep-alive")).encode("latin-1")
        self.wfile.write(head + (b"" if self.__dict__.get("method") == "HEAD" else body))
        return not close

    def send_file(self, n):
        head = self.status_line(200) + (
            "Date: %s\r\nServer: QuilletTestServer\r\nContent-Type: application/octet-stream\r\n"
            "Content-Length: %d\r\nConnection: %s\r\n\r\n"
            % (formatdate(usegmt=True), n, "keep-alive" if self.keep_alive else "close")).encode()
        self.wfile.write(head)
        if self.method == "HEAD":
            return self.keep_alive
        block = memoryview(PATTERN_BLOCK)
        send = self.connection.sendall
        left = n
        while left > 0:
            k = min(left, len(block))
            send(block[:k])
            left -= k
        return self.keep_alive

    def scripted(self, path, query):
        q = parse_query(query)
        opt = {}
        for name, value in q:
            opt[name] = value                        # last one wins for single options
        s = lambda name, default=None: opt[name].decode("latin-1") if name in opt else default
        i = lambda name, default=0: int(opt[name]) if name in opt and opt[name] else default

        if "delay" in opt:
            time.sleep(i("delay") / 1000.0)
        if s("hang") == "1":
            self.hang()
            return False
        if "raw" in opt:
            data = opt["raw"].strip()
            data = base64.urlsafe_b64decode(data + b"=" * (-len(data) % 4))
            self.wfile.write(data)
            return False

        status = i("status", 200)
        body = b""
        if "body" in opt:
            body = opt["body"]
        elif "file" in opt:
            try:
                with open(opt["file"].decode("utf-8"), "rb") as f:
                    body = f.read()
            except OSError:
                return self.send_simple(404, b"no such file")
        elif "size" in opt:
            body = pattern(0, i("size"))
        extra = []                                   # (name, value)
        ctype = s("type", "application/octet-stream")

        def basic_ok(header, cred):
            value = self.headers.get(header, "")
            scheme, _, token = value.partition(" ")
            if scheme.lower() != "basic":
                return False
            try:
                return base64.b64decode(token.strip(), validate=False) == cred
            except (binascii.Error, ValueError):
                return False

        if "proxyauth" in opt and not basic_ok("proxy-authorization", opt["proxyauth"]):
            status, body, ctype = 407, b"denied", "text/plain"
            extra.append(("Proxy-Authenticate", s("authvalue", 'Basic realm="Proxy"')))
        elif "auth" in opt and not basic_ok("authorization", opt["auth"]):
            status, body, ctype = 401, b"denied", "text/plain"
            extra.append(("WWW-Authenticate", s("authvalue", 'Basic realm="Files"')))
        elif s("loop") == "1" or "redirect" in opt:
            if s("loop") == "1":
                scheme = "https" if self.server.ssl_context else "http"
                host = self.headers.get("host", "127.0.0.1:%d" % self.server.server_address[1])
                location = "%s://%s%s" % (scheme, host, self.target)
            else:
                location = s("redirect")
            status, body, ctype = 302, b"redirect", "text/plain"
            extra.append(("Location", location))

        ranges = s("ranges") == "1"
        full_length = len(body)
        if ranges and status == 200 and "range" in self.headers:
            asked = self.headers["range"].strip()
            if asked.startswith("bytes=") and "," not in asked:
                a, _, b = asked[6:].partition("-")
                try:
                    if a == "":
                        first, last = max(0, full_length - int(b)), full_length - 1
                    else:
                        first, last = int(a), min(int(b) if b else full_length - 1, full_length - 1)
                    if first > last or first >= full_length:
                        status, body = 416, b""
                        extra.append(("Content-Range", "bytes */%d" % full_length))
                    else:
                        status, body = 206, body[first:last + 1]
                        extra.append(("Content-Range", "bytes %d-%d/%d" % (first, last, full_length)))
                except ValueError:
                    pass
        if ranges:
            extra.append(("Accept-Ranges", "bytes"))

        chunked = s("te") == "chunked"
        length = s("length", "auto")
        close = not self.keep_alive
        send_body = body
        if chunked:
            content_length = None
        elif length == "none":
            content_length, close = None, True
        elif length == "auto":
            content_length = len(body)
        else:
            content_length = int(length)
            if content_length > len(body):
                close = True
            send_body = body[:content_length]
        if "cut" in opt:
            send_body = send_body[:i("cut")]
            close = True
        if self.method == "HEAD" or status in (204, 304) or 100 <= status < 200:
            send_body = b""

        lines = []
        lines.append(("Date", s("date", formatdate(usegmt=True))))
        lines.append(("Server", "QuilletTestServer"))
        lines.append(("Content-Type", ctype))
        if content_length is not None:
            lines.append(("Content-Length", str(content_length)))
        if chunked:
            lines.append(("Transfer-Encoding", "chunked"))
        if "lastmodified" in opt:
            lines.append(("Last-Modified", s("lastmodified")))
        if "expires" in opt:
            lines.append(("Expires", s("expires")))
        if "setcookie" in opt:
            for name, value in q:
                if name == "setcookie":
                    lines.append(("Set-Cookie", value.decode("latin-1")))
        lines += extra
        for name, value in q:
            if name == "h":
                hname, _, hvalue = value.decode("latin-1").partition(":")
                lines.append((hname.strip(), hvalue.strip()))
        big = i("bigheader")
        k = 0
        while big > 0:
            filler = "x" * 980
            lines.append(("X-Filler-%d" % k, filler))
            big -= len(filler) + 16
            k += 1
        lines.append(("Connection", "close" if close else "keep-alive"))
        head = self.status_line(status) + "".join(
            "%s: %s\r\n" % nv for nv in lines).encode("latin-1") + b"\r\n"

        piece = i("chunk", 0)
        drip = i("drip", 0) / 1000.0
        if not piece:
            piece = 1 if drip and not chunked else max(len(send_body), 1)
        if chunked:
            out = [b"%x\r\n%s\r\n" % (len(send_body[o:o + piece]), send_body[o:o + piece])
                   for o in range(0, len(send_body), piece)]
            if "cut" not in opt:
                out.append(b"0\r\n\r\n")
        else:
            out = [send_body[o:o + piece] for o in range(0, len(send_body), piece)]
        if not drip:
            self.wfile.write(head + b"".join(out))
        else:
            self.wfile.write(head)
            for k, part in enumerate(out):
                if k:
                    time.sleep(drip)
                self.wfile.write(part)
        return not close

    def hang(self):
        """Never answers: keeps the socket until the client closes it (or the timeout)."""
        deadline = time.monotonic() + SOCKET_TIMEOUT
        try:
            while time.monotonic() < deadline:
                self.request.settimeout(max(1.0, deadline - time.monotonic()))
                if not self.request.recv(65536):
                    return
        except (OSError, ssl.SSLError):
            return


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 128
    block_on_close = False

    def __init__(self, name, ssl_context):
        self.name = name
        self.ssl_context = ssl_context
        super().__init__(("127.0.0.1", 0), Handler)

    def handle_error(self, request, client_address):
        sys.stdout.write("%s error: %s\n" % (self.name, sys.exc_info()[1]))
        sys.stdout.flush()


def tls_context(d, name):
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.minimum_version = ssl.TLSVersion.TLSv1_2
    ctx.load_cert_chain(os.path.join(d, name + ".pem"), os.path.join(d, name + ".key"))
    return ctx


def serve(d):
    servers = [Server("http", None), Server("https", tls_context(d, "server")),
               Server("untrusted", tls_context(d, "untrusted"))]
    for srv in servers:
        threading.Thread(target=srv.serve_forever, daemon=True).start()
    env = os.path.join(d, "server.env")
    with open(env + ".tmp", "w") as f:
        for srv in servers:
            f.write("%s=%d\n" % (srv.name, srv.server_address[1]))
        f.write("pid=%d\n" % os.getpid())
    os.replace(env + ".tmp", env)
    print("listening: " + ", ".join("%s=%d" % (s.name, s.server_address[1]) for s in servers), flush=True)
    signal.signal(signal.SIGTERM, lambda *a: os._exit(0))
    while time.monotonic() - LOG.last_activity < IDLE_EXIT_SECONDS:
        time.sleep(2)
    print("no request for %d s: exiting" % IDLE_EXIT_SECONDS, flush=True)
    os._exit(0)


# ---------------------------------------------------------------- start / stop

def read_env(d):
    try:
        with open(os.path.join(d, "server.env")) as f:
            return dict(line.strip().split("=", 1) for line in f if "=" in line)
    except OSError:
        return {}


def is_our_daemon(pid):
    try:
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            return b"http_server.py" in f.read()
    except OSError:
        return False


def stop(d):
    pid = int(read_env(d).get("pid", "0"))
    if pid > 0 and is_our_daemon(pid):
        try:
            os.kill(pid, signal.SIGTERM)
        except ProcessLookupError:
            pass
        deadline = time.monotonic() + 5
        while is_our_daemon(pid) and time.monotonic() < deadline:
            time.sleep(0.05)
        if is_our_daemon(pid):
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
    try:
        os.remove(os.path.join(d, "server.env"))
    except FileNotFoundError:
        pass
    return 0


def start(d):
    os.makedirs(d, exist_ok=True)
    stop(d)                                          # one daemon per directory
    make_certificates(d)
    script = os.path.abspath(__file__)
    pid = os.fork()
    if pid == 0:                                     # first child: new session, then the daemon
        try:
            os.setsid()
            if os.fork() != 0:
                os._exit(0)
            os.chdir("/")
            fd_in = os.open(os.devnull, os.O_RDONLY)
            fd_log = os.open(os.path.join(d, "server.log"), os.O_WRONLY | os.O_CREAT | os.O_APPEND, 0o644)
            os.dup2(fd_in, 0)
            os.dup2(fd_log, 1)
            os.dup2(fd_log, 2)
            os.closerange(3, 65536)
            os.execv(sys.executable, [sys.executable, script, "serve", "--dir", d])
        finally:
            os._exit(127)
    os.waitpid(pid, 0)
    deadline = time.monotonic() + START_TIMEOUT
    while time.monotonic() < deadline:
        env = read_env(d)
        if all(k in env for k in ("http", "https", "untrusted", "pid")):
            print("test server: " + " ".join("%s=%s" % kv for kv in sorted(env.items())) + " (" + d + ")")
            return 0
        time.sleep(0.05)
    sys.stderr.write("test server did not come up within %d s; see %s\n"
                     % (START_TIMEOUT, os.path.join(d, "server.log")))
    return 1


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("command", choices=["start", "stop", "serve"])
    ap.add_argument("--dir", required=True)
    a = ap.parse_args()
    d = os.path.abspath(a.dir)
    if a.command == "start":
        return start(d)
    if a.command == "stop":
        return stop(d)
    serve(d)
    return 0


if __name__ == "__main__":
    sys.exit(main())
