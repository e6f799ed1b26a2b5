"""The fault server's HTTP side. Every response closes its connection."""
import email.utils
import http.client
import os
import socket
import socketserver
import time
import urllib.parse

from faultsockets import close_gently, flood, log, resolve, stay_silent

SCENARIOS = {
    "plain": "206 + Content-Range for bytes=N-, 416 'bytes */SIZE' when N >= size, else 200; 404 if missing",
    "norange": "200 and the whole file, whatever Range asks",
    "nolength": "200 and the whole file without Content-Length; the close ends the body",
    "chunked": "Transfer-Encoding: chunked, chunks of 1 to 65536 bytes, ';piece=N' on some, a trailer (206 too)",
    "redirect-relative": "/redirect/F -> 302 'via/F' -> 302 '../../F' (both relative) -> F",
    "redirect-absolute": "/redirect/F -> 301 http://127.0.0.1:PORT/F",
    "redirect-loop": "every request -> 302 to its own path",
    "query-redirect": "/redirect/F -> 302 '/F?next=http://127.0.0.1:9/x'; /F is served whatever its query",
    "redirect-scheme": "=NAME: /redirect/F -> 302 NAME://127.0.0.1:PORT/F (default ftp)",
    "content-location": "/redirect/F -> 302 with 'Content-Location: /elsewhere/F' before 'Location: /F'",
    "split-header": "the response header in 1-byte writes, =MS apart (default 2)",
    "endless-header": "200, then 100-byte header lines without end, as fast as the peer reads, for 30 s, then close",
    "lf-only": "status and header lines end with LF alone",
    "cut-every": "=N: announces the full length (Range honoured), closes after N body bytes, every time",
    "chunked-cut": "=N: chunked, the connection closed after N bytes of content, every time",
    "bad-chunk": "chunked, one good chunk, then the size 'zz'",
    "silent-body": "=N: the header and N body bytes, then the connection held open without a byte (60 s)",
    "wrong-range": "206 whose Content-Range starts elsewhere: byte 0 when asked N > 0, byte 1 when asked 0",
    "status": "=CODE: every request answered with that status (default 500) and a short body",
    "retry-after": "=SECONDS: a Retry-After field on the answers of status=CODE",
    "hang": "accepts, never reads, never answers (60 s, or until the client closes)",
}

MAX_REQUEST_BYTES = 65536
CHUNK_SIZES = [1, 10, 100, 1000, 4096, 65536, 7, 333, 20000]


class HttpFaults(socketserver.BaseRequestHandler):
    def handle(self):
        sock = self.request
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        if "hang" in self.server.scenarios:
            return stay_silent(sock, peek=True)
        sock.settimeout(60)
        try:
            request = read_request(sock)
            if request:
                self.respond(sock, self.server.scenarios, *request)
        except OSError as error:
            log("http failed:", error)

    def respond(self, sock, sc, method, target, headers):
        log("http", method, target, headers.get("range", ""), headers.get("host", ""))
        path = urllib.parse.unquote(urllib.parse.urlsplit(target).path) or "/"
        if "status" in sc:
            code = sc.number("status", 500)
            extra = [("Retry-After", str(sc.number("retry-after", 0)))] if "retry-after" in sc else []
            return send(sock, sc, code, extra, b"%d from the fault server\n" % code)
        if "redirect-loop" in sc:
            return send(sock, sc, 302, [("Location", path)], b"")
        redirect = self.redirect_for(sc, path)
        if redirect:
            return send(sock, sc, redirect[0], redirect[1], b"")
        if "endless-header" in sc:
            sock.sendall(b"HTTP/1.1 200 OK\r\n")
            return flood(sock, b"X-Filler-%d: " + b"f" * 100 + b"\r\n")

        real = resolve(self.server.root, path)
        if real is None or not os.path.isfile(real):
            return send(sock, sc, 404, [], b"not found\n")
        with open(real, "rb") as file:
            content = file.read()
        size = len(content)
        honours = "norange" not in sc and "nolength" not in sc
        first = parse_range(headers.get("range", "")) if honours else None
        if first is None:
            return send(sock, sc, 200, [("Accept-Ranges", "bytes" if honours else "none")], content)
        if first >= size:
            return send(sock, sc, 416, [("Content-Range", "bytes */%d" % size)], b"")
        if "wrong-range" in sc:
            first = 0 if first > 0 else min(1, size - 1)
        extra = [("Accept-Ranges", "bytes"), ("Content-Range", "bytes %d-%d/%d" % (first, size - 1, size))]
        return send(sock, sc, 206, extra, content[first:])

    def redirect_for(self, sc, path):
        """(status, fields) of the redirect the scenarios make of path, or None."""
        if not path.startswith("/redirect/"):
            return None
        rest = path[len("/redirect/"):]
        port = self.server.server_address[1]
        if "redirect-absolute" in sc:
            return 301, [("Location", "http://127.0.0.1:%d/%s" % (port, rest))]
        if "redirect-scheme" in sc:
            return 302, [("Location", "%s://127.0.0.1:%d/%s" % (sc["redirect-scheme"] or "ftp", port, rest))]
        if "query-redirect" in sc:
            # Port 9 (discard) is closed on loopback: a client steered by the
            # query fails instead of fetching the right file by luck.
            return 302, [("Location", "/%s?next=http://127.0.0.1:9/x" % rest)]
        if "content-location" in sc:
            return 302, [("Content-Location", "/elsewhere/" + rest), ("Location", "/" + rest)]
        if "redirect-relative" in sc:
            # First hop goes down into "via/", the second climbs out with "../",
            # so one download exercises both kinds of relative reference.
            if rest.startswith("via/"):
                real = rest[len("via/"):]
                return 302, [("Location", "../" * (real.count("/") + 2) + real)]
            return 302, [("Location", "../" * rest.count("/") + "via/" + rest)]
        return None


def read_request(sock):
    """(method, target, headers by lowercase name), or None for no whole request."""
    data = b""
    while b"\r\n\r\n" not in data:
        piece = sock.recv(4096) if len(data) <= MAX_REQUEST_BYTES else b""
        if not piece:
            return None
        data += piece
    lines = data.split(b"\r\n\r\n", 1)[0].decode("latin-1").split("\r\n")
    parts = lines[0].split()
    if len(parts) < 2:
        return None
    fields = (line.partition(":") for line in lines[1:])
    return parts[0].upper(), parts[1], {name.strip().lower(): value.strip() for name, _, value in fields}


def send(sock, sc, code, extra, body):
    """The response, shaped and cut as the scenarios say, then the close."""
    content = code in (200, 206)
    chunked = content and ("chunked" in sc or "chunked-cut" in sc or "bad-chunk" in sc)
    fields = [("Date", email.utils.formatdate(usegmt=True)), ("Server", "skylark-faultserver"),
              ("Content-Type", "application/octet-stream")] + extra
    if chunked:
        fields.append(("Transfer-Encoding", "chunked"))
    elif "nolength" not in sc or code != 200:
        fields.append(("Content-Length", str(len(body))))
    fields.append(("Connection", "close"))
    eol = "\n" if "lf-only" in sc else "\r\n"
    head = "HTTP/1.1 %d %s" % (code, http.client.responses.get(code, "Status")) + eol
    head = (head + "".join("%s: %s" % field + eol for field in fields) + eol).encode("latin-1")
    if "split-header" in sc:
        pause = sc.number("split-header", 2) / 1000.0
        for index in range(len(head)):
            sock.sendall(head[index:index + 1])
            time.sleep(pause)
    else:
        sock.sendall(head)
    limits = [sc.number(name, 65536) for name in ("cut-every", "chunked-cut", "silent-body") if name in sc]
    cut = content and bool(limits) and limits[0] < len(body)
    if cut:
        body = body[:limits[0]]
    if chunked:
        body = bad_chunked(body) if "bad-chunk" in sc else chunk(body, last=not cut)
    sock.sendall(body)
    if "silent-body" in sc and content:
        stay_silent(sock)
    elif cut or "bad-chunk" in sc:
        sock.close()
    else:
        close_gently(sock)


def parse_range(value):
    """N for 'bytes=N-', the only form the client sends, else None."""
    number = value[len("bytes="):-1] if value.startswith("bytes=") and value.endswith("-") else ""
    return int(number) if number.isascii() and number.isdigit() else None


def chunk(body, last):
    """Chunks of CHUNK_SIZES in turn, an extension on some, and a trailer when last."""
    out, offset, index = [], 0, 0
    while offset < len(body):
        piece = body[offset:offset + CHUNK_SIZES[index % len(CHUNK_SIZES)]]
        extension = b";piece=%d" % index if index % 3 == 1 else b""
        out.append(b"%x%s\r\n%s\r\n" % (len(piece), extension, piece))
        offset, index = offset + len(piece), index + 1
    if last:
        out.append(b"0\r\nX-Trailer: done\r\n\r\n")
    return b"".join(out)


def bad_chunked(body):
    """One good chunk, so a check on the first size alone is not enough, then a bad size."""
    good = body[:1000]
    return b"%x\r\n%s\r\nzz\r\n%s" % (len(good), good, body[1000:5000])
