"""A small HTTP or FTP server that misbehaves on purpose, for the tests.

    faultserver.py {http|ftp} SCENARIOS ROOT

SCENARIOS: comma-separated names from the SCENARIOS of faulthttp.py or
faultftp.py, some with a value ("status=404", "chunked,split-header"). It
serves ROOT on a 127.0.0.1 port of the kernel's choosing, prints the port as
its first line and logs to stderr; the tests' launcher stops it. Standard
library only.
"""
import argparse
import os
import socketserver

import faultftp
import faulthttp
from faultsockets import Scenarios, log


# Each protocol's request handler and the scenarios it knows.
SIDES = {"http": (faulthttp.HttpFaults, faulthttp.SCENARIOS), "ftp": (faultftp.FtpFaults, faultftp.SCENARIOS)}


class FaultServer(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("protocol", choices=SIDES)
    parser.add_argument("scenarios")
    parser.add_argument("root")
    args = parser.parse_args()

    handler, known = SIDES[args.protocol]
    server = FaultServer(("127.0.0.1", 0), handler)
    server.scenarios = Scenarios(args.scenarios, known)
    server.scenario_text = args.scenarios
    server.root = os.path.realpath(args.root)
    print(server.server_address[1], flush=True)
    os.dup2(2, 1)
    log("%s fault server on port %d: %s" % (args.protocol, server.server_address[1], args.scenarios))
    server.serve_forever()


if __name__ == "__main__":
    main()
