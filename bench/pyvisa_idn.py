#!/usr/bin/python3
"""Rate of "*IDN?" round trips PyVISA (pyvisa-py backend) reaches on one resource, for comparison
with bench_visasocket. Run with Debian's /usr/bin/python3 (python3-pyvisa-py).

usage: pyvisa_idn.py RESOURCE [--seconds S] [--nodelay] [--command-first]
  --nodelay        force TCP_NODELAY on PyVISA's socket
  --command-first  send "*CLS" before each query (a command without answer, then a query)
Prints one line: mode, queries per second, microseconds per query.
"""
import argparse
import socket
import sys
import time

import pyvisa
from pyvisa import constants


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("resource")
    parser.add_argument("--seconds", type=float, default=2.0)
    parser.add_argument("--nodelay", action="store_true")
    parser.add_argument("--command-first", action="store_true")
    args = parser.parse_args()

    manager = pyvisa.ResourceManager("@py")
    instrument = manager.open_resource(args.resource, read_termination="\n", write_termination="\n",
                                       timeout=2000)
    if args.nodelay:
        # This pyvisa-py only reads VI_ATTR_TCPIP_NODELAY, so set the option on its socket itself.
        session = manager.visalib.sessions[instrument.session]
        session.interface.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    nodelay = instrument.get_visa_attribute(constants.VI_ATTR_TCPIP_NODELAY)

    for _ in range(50):  # warm-up
        instrument.query("*IDN?")
    count = 0
    start = time.perf_counter()
    deadline = start + args.seconds
    while True:
        if args.command_first:
            instrument.write("*CLS")
        instrument.query("*IDN?")
        count += 1
        now = time.perf_counter()
        if now >= deadline:
            break
    elapsed = now - start
    mode = ("cmd+query" if args.command_first else "query") + (" nodelay=" + ("on" if nodelay else "off"))
    print(f"pyvisa {mode}: {count / elapsed:.0f} queries/s, {elapsed / count * 1e6:.1f} us/query")
    instrument.close()
    manager.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
