"""What the fault servers' HTTP and FTP sides share: scenarios, pacing, closes."""
import os
import socket
import sys
import time

ENDLESS_SECONDS = 30
SILENT_SECONDS = 60


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
