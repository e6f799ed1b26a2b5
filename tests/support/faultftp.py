"""The fault server's FTP side: a multi-line greeting, and any login taken."""
import os
import posixpath
import socket
import socketserver
import time

from faultsockets import close_gently, flood, log, resolve, send_paced, stay_silent

SCENARIOS = {
    "plain": "USER PASS TYPE PWD CWD LIST REST RETR PASV PORT; EPSV and the rest 502",
    "multiline": "every reply multi-line, with a continuation line that carries no code",
    "split-replies": "replies written 3 bytes at a time, 5 ms apart",
    "refuse-login": "530 to PASS",
    "refuse-rest": "502 to REST",
    "ignore-rest": "350 to REST, but RETR sends from byte 0",
    "rest-other": "=SHIFT: 350 to REST r, RETR sends from max(0, r + SHIFT) when r > 0 (default -1000)",
    "close-every": "=KIB: each RETR longer than KIB KiB: 421 and the control connection closed, "
                   "and only then KIB KiB on the data connection and its close",
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

DATA_ACCEPT_SECONDS = 30
IDLE_SECONDS = 300


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
        wire = "".join(("%d-%s" % (code, line) if line[:1] != " " else line) + eol for line in lines or [])
        wire += "%d %s" % (code, text) + eol
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
            return self.send_after_close(opening, content[:kib * 1024])
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

    def announce_data(self, opening):
        """150 and the data connection, or 425 and None."""
        self.reply(150, opening)
        data = self.open_data()
        if data is None:
            self.reply(425, "Failed to establish connection")
        return data

    def send_data(self, opening, payload, end=None):
        """150, the payload on the data connection, then `end` or a close and 226."""
        data = self.announce_data(opening)
        if data is None:
            return None
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

    def send_after_close(self, opening, payload):
        """150, 421 and the control connection closed, and only then the payload.

        The two connections keep no order between them: the client sees the
        end of the control one first and must still keep what the data brings.
        """
        data = self.announce_data(opening)
        if data is None:
            return None
        self.reply(421, "Timeout, closing control connection")
        self.request.shutdown(socket.SHUT_WR)
        time.sleep(0.1)
        try:
            send_paced(data, payload, 0)
        except OSError as error:
            log("ftp data:", error)
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


