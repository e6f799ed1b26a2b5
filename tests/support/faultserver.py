"""A small HTTP or FTP server that misbehaves on purpose, for the tests.

    faultserver.py {http|ftp} SCENARIOS ROOT

SCENARIOS: comma-separated names from HTTP_SCENARIOS or FTP_SCENARIOS, some
with a value ("status=404", "chunked,split-header"). It serves ROOT on a
127.0.0.1 port of the kernel's choosing, prints the port as its first line
and logs to stderr; the tests' launcher stops it. Standard library only. Every HTTP response closes its connection; FTP greets with
several lines and takes any login.
"""
import argparse
import email.utils
import http.client
import os
import posixpath
import socket
import socketserver
import sys
import time
import urllib.parse

HTTP_SCENARIOS = {
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

FTP_SCENARIOS = {
    "plain": "USER PASS TYPE PWD CWD LIST REST RETR PASV PORT; EPSV and the rest 502",
    "multiline": "every reply multi-line, with a continuation line that carries no code",
    "split-replies": "replies written 3 bytes at a time, 5 ms apart",
    "refuse-login": "530 to PASS",
    "refuse-rest": "502 to REST",
    "ignore-rest": "350 to REST, but RETR sends from byte 0",
    "rest-other": "=SHIFT: 350 to REST r, RETR sends from max(0, r + SHIFT) when r > 0 (default -1000)",
    "close-every": "=KIB: after KIB KiB of each RETR, 421 and both connections closed",
    "silent-data": "=N: RETR sends N bytes, then holds the data connection open without a byte or a reply",
    "no-226": "transfers end without the final 226 (later commands are answered)",
    "pasv-foreign": "PASV names 10.255.255.1 with the real port",
    "pasv-refuse": "=CODE: PASV and PORT answered with CODE (default 421; 421 closes the control connection)",
    "lf-only": "every reply line ends with LF alone",
    "epsv-port": "=N: EPSV answered 229 naming port N (default 0), nothing listening",
    "endless-reply": "USER answered by a 331- reply whose lines never end, for 30 s, then close",
    "empty-list": "LIST sends no lines",
    "slow": "=BYTES per second per data connection (default 100000)",
}

ENDLESS_SECONDS = 30
SILENT_SECONDS = 60
DATA_ACCEPT_SECONDS = 30
IDLE_SECONDS = 300
MAX_REQUEST_BYTES = 65536
CHUNK_SIZES = [1, 10, 100, 1000, 4096, 65536, 7, 333, 20000]

def log(*parts):
    print(time.strftime("%H:%M:%S"), *parts, file=sys.stderr, flush=True)


class Scenarios(dict):
    """Each scenario's value ("" when it takes none), from "name[=value],..."."""

    def __init__(self, text, known):
        super().__init__(item.partition("=")[::2] for item in filter(None, text.split(",")))
        for name in set(self) - set(known):
            raise SystemExit("unknown scenario %r; known: %s" % (name, ", ".join(known)))

    def number(self, name, default):
        return int(self.get(name) or default)


def send_paced(sock, data, rate):
    """Sends data, at most `rate` bytes per second when rate > 0."""
    step = max(1, min(1 << 16, rate // 20)) if rate > 0 else 1 << 16
    started = time.monotonic()
    for offset in range(0, len(data), step):
        sock.sendall(data[offset:offset + step])
        ahead = (offset + step) / rate - (time.monotonic() - started) if rate > 0 else 0
        if ahead > 0:
            time.sleep(ahead)


def flood(sock, line):
    """Sends line % 0, line % 1, ... as fast as the peer reads, for ENDLESS_SECONDS.

    64 KiB or a few hundred lines arrive within milliseconds, so a client's
    limit, not the pace, decides the end.
    """
    deadline = time.monotonic() + ENDLESS_SECONDS
    number = 0
    while time.monotonic() < deadline:
        try:
            sock.sendall(b"".join(line % (number + n) for n in range(64)))
        except OSError:
            break
        number += 64


def close_gently(sock, drain=True):
    """FIN rather than RST, so the peer reads every byte sent before the close.

    A data connection carries nothing from the client: no need to drain it.
    """
    try:
        sock.shutdown(socket.SHUT_WR)
        sock.settimeout(1)
        while drain and sock.recv(4096):
            pass
    except OSError:
        pass
    sock.close()


def stay_silent(sock, peek=False):
    """Holds the connection open without sending until the peer closes it.

    With peek the request stays unread, as from a server that never got to it.
    """
    deadline = time.monotonic() + SILENT_SECONDS
    sock.settimeout(0.2)
    while time.monotonic() < deadline:
        try:
            data = sock.recv(4096, socket.MSG_PEEK if peek else 0)
        except socket.timeout:
            continue
        except OSError:
            break
        if not data:
            break
        if peek:
            time.sleep(0.2)
    sock.close()


def resolve(root, virtual):
    """The real path of a virtual absolute path, or None if it leaves root."""
    real = os.path.realpath(os.path.join(root, virtual.lstrip("/")))
    if real != root and not real.startswith(root + os.sep):
        return None
    return real


class HttpFaults(socketserver.BaseRequestHandler):
    def handle(self):
        sock = self.request
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        sc = self.server.scenarios
        if "hang" in sc:
            return stay_silent(sock, peek=True)
        sock.settimeout(60)
        request = self.read_request(sock)
        if request is None:
            return
        method, target, headers = request
        log("http", method, target, headers.get("range", ""), headers.get("host", ""))
        path = urllib.parse.unquote(urllib.parse.urlsplit(target).path) or "/"
        try:
            self.respond(sock, sc, path, headers)
        except OSError as error:
            log("http send failed:", error)
            sock.close()

    def read_request(self, sock):
        data = b""
        while b"\r\n\r\n" not in data:
            try:
                piece = sock.recv(4096)
            except OSError:
                piece = b""
            if not piece or len(data) > MAX_REQUEST_BYTES:
                sock.close()
                return None
            data += piece
        lines = data.split(b"\r\n\r\n", 1)[0].decode("latin-1").split("\r\n")
        parts = lines[0].split()
        if len(parts) < 2:
            sock.close()
            return None
        headers = {}
        for line in lines[1:]:
            name, _, value = line.partition(":")
            headers[name.strip().lower()] = value.strip()
        return parts[0].upper(), parts[1], headers

    def respond(self, sock, sc, path, headers):
        if "status" in sc:
            code = sc.number("status", 500)
            extra = [("Retry-After", str(sc.number("retry-after", 0)))] if "retry-after" in sc else []
            return self.send(sock, sc, code, extra, b"%d from the fault server\n" % code)
        if "redirect-loop" in sc:
            return self.send(sock, sc, 302, [("Location", path)], b"")
        redirect = self.redirect_for(sc, path)
        if redirect:
            return self.send(sock, sc, redirect[0], redirect[1], b"")
        if "endless-header" in sc:
            return self.endless_header(sock)

        real = resolve(self.server.root, path)
        if real is None or not os.path.isfile(real):
            return self.send(sock, sc, 404, [], b"not found\n")
        with open(real, "rb") as file:
            content = file.read()
        size = len(content)
        first = None if "norange" in sc or "nolength" in sc else parse_range(headers.get("range", ""))
        if first is None:
            honours = "norange" not in sc and "nolength" not in sc
            return self.send(sock, sc, 200, [("Accept-Ranges", "bytes" if honours else "none")], content)
        if first >= size:
            return self.send(sock, sc, 416, [("Content-Range", "bytes */%d" % size)], b"")
        if "wrong-range" in sc:
            first = 0 if first > 0 else min(1, size - 1)
        extra = [("Accept-Ranges", "bytes"), ("Content-Range", "bytes %d-%d/%d" % (first, size - 1, size))]
        return self.send(sock, sc, 206, extra, content[first:])

    def redirect_for(self, sc, path):
        if not path.startswith("/redirect/"):
            return None
        rest = path[len("/redirect/"):]
        port = self.server.server_address[1]
        if "redirect-absolute" in sc:
            return 301, [("Location", "http://127.0.0.1:%d/%s" % (port, rest))]
        if "redirect-scheme" in sc:
            scheme = sc["redirect-scheme"] or "ftp"
            return 302, [("Location", "%s://127.0.0.1:%d/%s" % (scheme, port, rest))]
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

    def endless_header(self, sock):
        sock.sendall(b"HTTP/1.1 200 OK\r\n")
        flood(sock, b"X-Filler-%d: " + b"f" * 100 + b"\r\n")
        sock.close()

    def send(self, sock, sc, code, extra, body):
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
        head += "".join("%s: %s" % field + eol for field in fields) + eol
        head = head.encode("latin-1")
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
        if chunked and "bad-chunk" in sc:
            body = bad_chunked(body)
        elif chunked:
            body = chunk(body, last=not cut)
        sock.sendall(body)
        if "silent-body" in sc and content:
            stay_silent(sock)
        elif cut or "bad-chunk" in sc:
            sock.close()
        else:
            close_gently(sock)


def parse_range(value):
    """N for 'bytes=N-', the only form the client sends, else None."""
    if not value.startswith("bytes=") or not value.endswith("-"):
        return None
    try:
        return int(value[len("bytes="):-1])
    except ValueError:
        return None


def chunk(body, last):
    out = []
    offset = 0
    index = 0
    while offset < len(body):
        size = CHUNK_SIZES[index % len(CHUNK_SIZES)]
        piece = body[offset:offset + size]
        extension = ";piece=%d" % index if index % 3 == 1 else ""
        out.append(b"%x%s\r\n%s\r\n" % (len(piece), extension.encode(), piece))
        offset += len(piece)
        index += 1
    if last:
        out.append(b"0\r\nX-Trailer: done\r\n\r\n")
    return b"".join(out)


def bad_chunked(body):
    """One good chunk, so a check on the first size alone is not enough, then a bad size."""
    good = body[:1000]
    return b"%x\r\n%s\r\nzz\r\n%s" % (len(good), good, body[1000:5000])


class FtpFaults(socketserver.StreamRequestHandler):
    def handle(self):
        self.sc = self.server.scenarios
        self.cwd = "/"
        self.logged_in = False
        self.rest = 0
        self.passive = None
        self.active = None
        self.request.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.request.settimeout(IDLE_SECONDS)
        self.reply(220, "Skylark fault server ready", ["Skylark fault server", "scenarios: " + self.server.scenario_text])
        try:
            while True:
                line = self.rfile.readline(4096)
                if not line:
                    break
                command, _, argument = line.decode("latin-1").rstrip("\r\n").partition(" ")
                command = command.upper()
                log("ftp >", "PASS ****" if command == "PASS" else line.decode("latin-1").rstrip())
                handler = getattr(self, "ftp_" + command, None)
                if handler is None:
                    self.reply(502, "Command not implemented")
                elif not self.logged_in and command not in ("USER", "PASS"):
                    self.reply(530, "Please login with USER and PASS")
                elif handler(argument) == "close":
                    break
        except OSError as error:
            log("ftp control:", error)
        finally:
            self.close_data()

    def reply(self, code, text, lines=None):
        if "multiline" in self.sc and not lines:
            # The continuation line carries no code and no blank in fourth place.
            lines = ["Reply follows", "  continuation-without-code", "second line"]
        eol = "\n" if "lf-only" in self.sc else "\r\n"
        if lines:
            wire = "".join(("%d-%s" % (code, line) if line[:1] != " " else line) + eol for line in lines)
            wire += "%d %s" % (code, text) + eol
        else:
            wire = "%d %s" % (code, text) + eol
        log("ftp <", wire.rstrip().replace(eol, " | "))
        data = wire.encode("latin-1")
        if "split-replies" in self.sc:
            for offset in range(0, len(data), 3):
                self.request.sendall(data[offset:offset + 3])
                time.sleep(0.005)
        else:
            self.request.sendall(data)

    def path_of(self, argument):
        virtual = posixpath.normpath(posixpath.join(self.cwd, argument or "."))
        virtual = "/" + virtual.lstrip("/")
        return virtual, resolve(self.server.root, virtual)

    def ftp_USER(self, argument):
        self.logged_in = False
        if "endless-reply" in self.sc:
            log("ftp < 331- lines without end")
            flood(self.request, b"331-Filler line %d " + b"f" * 60 + b"\r\n")
            return "close"
        self.reply(331, "Password required for " + argument)

    def ftp_PASS(self, argument):
        if "refuse-login" in self.sc:
            return self.reply(530, "Login incorrect")
        self.logged_in = True
        self.reply(230, "Login successful")

    def ftp_TYPE(self, argument):
        self.reply(200, "Type set to " + argument.upper())

    def ftp_PWD(self, argument):
        self.reply(257, '"%s" is the current directory' % self.cwd)

    def ftp_CWD(self, argument):
        virtual, real = self.path_of(argument)
        if real is None or not os.path.isdir(real):
            return self.reply(550, "Failed to change directory")
        self.cwd = virtual
        self.reply(250, "Directory successfully changed")

    def ftp_REST(self, argument):
        if "refuse-rest" in self.sc:
            return self.reply(502, "REST not implemented")
        try:
            self.rest = int(argument)
        except ValueError:
            return self.reply(501, "Bad restart offset")
        self.reply(350, "Restart position accepted (%d)" % self.rest)

    def refuse_data(self):
        """The reply for pasv-refuse, or None; 421 also means the control connection closes."""
        if "pasv-refuse" not in self.sc:
            return None
        code = self.sc.number("pasv-refuse", 421)
        self.reply(code, "Service not available, closing control connection" if code == 421 else "Local error")
        return "close" if code == 421 else "refused"

    def ftp_PASV(self, argument):
        refused = self.refuse_data()
        if refused:
            return refused
        self.close_data()
        self.passive = socket.socket()
        self.passive.bind(("127.0.0.1", 0))
        self.passive.listen(1)
        port = self.passive.getsockname()[1]
        host = "10,255,255,1" if "pasv-foreign" in self.sc else "127,0,0,1"
        address = "%s,%d,%d" % (host, port >> 8, port & 255)
        self.reply(227, "Entering Passive Mode (%s)" % address)

    def ftp_EPSV(self, argument):
        if "epsv-port" not in self.sc:
            return self.reply(502, "Command not implemented")
        self.reply(229, "Entering Extended Passive Mode (|||%d|)" % self.sc.number("epsv-port", 0))

    def ftp_PORT(self, argument):
        refused = self.refuse_data()
        if refused:
            return refused
        numbers = argument.split(",")
        if len(numbers) != 6 or ".".join(numbers[:4]) != "127.0.0.1":
            return self.reply(501, "PORT must name 127.0.0.1")
        self.close_data()
        self.active = ("127.0.0.1", int(numbers[4]) * 256 + int(numbers[5]))
        self.reply(200, "PORT command successful")

    def ftp_RETR(self, argument):
        _, real = self.path_of(argument)
        offset, self.rest = self.rest, 0
        if real is None or not os.path.isfile(real):
            return self.reply(550, "Failed to open file")
        if "ignore-rest" in self.sc:
            offset = 0
        if "rest-other" in self.sc and offset > 0:
            offset = max(0, offset + self.sc.number("rest-other", -1000))
        with open(real, "rb") as file:
            file.seek(offset)
            content = file.read()
        opening = "Opening BINARY mode data connection for %s (%d bytes)" % (argument, len(content))
        kib = self.sc.number("close-every", 64)
        if "close-every" in self.sc and kib * 1024 < len(content):
            return self.send_data(opening, content[:kib * 1024], self.drop_control)
        if "silent-data" in self.sc:
            return self.send_data(opening, content[:self.sc.number("silent-data", 65536)], self.hold_data)
        self.send_data(opening, content)

    def ftp_LIST(self, argument):
        target = " ".join(word for word in argument.split() if not word.startswith("-"))
        _, real = self.path_of(target)
        if real is None or not os.path.exists(real):
            return self.reply(550, "No such file or directory")
        entries = []
        if "empty-list" not in self.sc:
            names = sorted(os.listdir(real)) if os.path.isdir(real) else [os.path.basename(real)]
            folder = real if os.path.isdir(real) else os.path.dirname(real)
            entries = [(name, os.stat(os.path.join(folder, name))) for name in names]
        lines = "".join(listing_line(name, info) + "\r\n" for name, info in entries)
        self.send_data("Here comes the directory listing", lines.encode("utf-8", "replace"))

    def send_data(self, opening, payload, end=None):
        """150, the payload on the data connection, then `end` or a close and 226."""
        self.reply(150, opening)
        data = self.open_data()
        if data is None:
            return self.reply(425, "Failed to establish connection")
        try:
            send_paced(data, payload, self.sc.number("slow", 100000) if "slow" in self.sc else 0)
        except OSError:
            data.close()
            return self.reply(426, "Connection closed; transfer aborted")
        if end:
            return end(data)
        close_gently(data, drain=False)
        if "no-226" in self.sc:
            return log("ftp < (226 withheld)")
        self.reply(226, "Transfer complete")

    def drop_control(self, data):
        self.reply(421, "Timeout, closing control connection")
        close_gently(data, drain=False)
        return "close"

    def hold_data(self, data):
        log("ftp < (data held open, no reply)")
        stay_silent(data)

    def open_data(self):
        try:
            if self.passive is not None:
                self.passive.settimeout(DATA_ACCEPT_SECONDS)
                connection, _ = self.passive.accept()
            elif self.active is not None:
                connection = socket.create_connection(self.active, timeout=DATA_ACCEPT_SECONDS)
            else:
                return None
        except OSError as error:
            log("ftp data connection failed:", error)
            return None
        finally:
            self.close_data()
        connection.settimeout(60)
        return connection

    def close_data(self):
        if self.passive is not None:
            self.passive.close()
        self.passive = None
        self.active = None


def listing_line(name, info):
    kind = "d" if (info.st_mode & 0o170000) == 0o040000 else "-"
    mode = kind + ("rwxr-xr-x" if kind == "d" else "rw-r--r--")
    stamp = time.strftime("%b %d %H:%M", time.localtime(info.st_mtime))  # the tests' files are new
    return "%s %3d %-8s %-8s %12d %s %s" % (mode, info.st_nlink, "ftp", "ftp", info.st_size, stamp, name)


class FaultServer(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("protocol", choices=["http", "ftp"])
    parser.add_argument("scenarios")
    parser.add_argument("root")
    args = parser.parse_args()

    known = HTTP_SCENARIOS if args.protocol == "http" else FTP_SCENARIOS
    scenarios = Scenarios(args.scenarios, known)
    server = FaultServer(("127.0.0.1", 0), HttpFaults if args.protocol == "http" else FtpFaults)
    server.scenarios = scenarios
    server.scenario_text = args.scenarios
    server.root = os.path.realpath(args.root)
    print(server.server_address[1], flush=True)
    os.dup2(2, 1)
    log("%s fault server on port %d: %s" % (args.protocol, server.server_address[1], args.scenarios))
    server.serve_forever()


if __name__ == "__main__":
    main()
