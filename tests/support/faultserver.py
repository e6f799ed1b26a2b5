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


class FaultServer(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("protocol", choices=["http", "ftp"])
    parser.add_argument("scenarios")
    parser.add_argument("root")
    args = parser.parse_args()

    side = faulthttp if args.protocol == "http" else faultftp
    server = FaultServer(("127.0.0.1", 0), faulthttp.HttpFaults if side is faulthttp else faultftp.FtpFaults)
    server.scenarios = Scenarios(args.scenarios, side.SCENARIOS)
    server.scenario_text = args.scenarios
    server.root = os.path.realpath(args.root)
    print(server.server_address[1], flush=True)
    os.dup2(2, 1)
    log("%s fault server on port %d: %s" % (args.protocol, server.server_address[1], args.scenarios))
    server.serve_forever()


if __name__ == "__main__":
    main()
