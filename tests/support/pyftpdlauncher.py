"""Runs pyftpdlib on a free 127.0.0.1 (or ::1) port for the tests and prints the port.

Anonymous users may read the root; "tester" / "secret" may also write. The
passive ports are a range the caller found free (pyftpdlib falls back to a
kernel-chosen port if one is taken later). Log lines go to stderr.
"""
import argparse
import logging
import os
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--host", default="127.0.0.1", help="the loopback address to listen on")
    parser.add_argument("--passive", required=True, help="FIRST-LAST, the passive ports")
    parser.add_argument("--rate", type=int, default=0, help="bytes per second per data connection (0: no limit)")
    args = parser.parse_args()

    logging.basicConfig(stream=sys.stderr, level=logging.INFO, format="%(asctime)s %(message)s")

    authorizer = DummyAuthorizer()
    authorizer.add_anonymous(args.root, perm="elr")
    authorizer.add_user("tester", "secret", args.root, perm="elradfmwMT")

    handler = FTPHandler
    handler.authorizer = authorizer
    first, last = map(int, args.passive.split("-"))
    handler.passive_ports = range(first, last + 1)
    if args.rate > 0:
        # The benchmarks' slow server: each data connection at a fixed rate.
        ThrottledDTPHandler.read_limit = args.rate
        ThrottledDTPHandler.write_limit = args.rate
        handler.dtp_handler = ThrottledDTPHandler

    server = FTPServer((args.host, 0), handler)
    print(server.address[1], flush=True)
    # Nothing else goes to stdout: the reader closes the pipe after the port.
    os.dup2(2, 1)
    server.serve_forever()


if __name__ == "__main__":
    main()
