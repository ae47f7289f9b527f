#!/usr/bin/env python3
"""Remote control of a ZEP executor (zep-cli serve) over its local socket, standard library only.

As a module:

    from zep_remote_client import Executor
    with Executor("/run/user/1000/zep-remote.sock") as zep:
        zep.command("SELGROUP::Transmitter path")
        zep.command("SELTESTFILE::GeneratorLevel")
        zep.command("VERBOSE::ON")
        replies = zep.command("EXECUTE::Measure level")   # every reply, the report echo included
        print(zep.variable("Sensor"), zep.report()[:40])

As a script:

    zep_remote_client.py [--socket PATH] GROUP TESTFILE BLOCK [VARIABLE]

selects the test, runs the block with the echo on, prints the echo, the variable and the report's
size. Frames are those of the window message the protocol was made for: 4-byte little-endian
dwData, 4-byte little-endian cbData, then the text and one NUL.
"""
import argparse
import os
import socket
import struct
import sys

TEXT = 3
HANDLE = 0


def default_socket():
    if os.environ.get("ZEP_REMOTE_SOCKET"):
        return os.environ["ZEP_REMOTE_SOCKET"]
    runtime = os.environ.get("XDG_RUNTIME_DIR", "")
    if runtime.startswith("/"):
        return os.path.join(runtime, "zep-remote.sock")
    return "/tmp/zep-remote-%d.sock" % os.getuid()


class Executor:
    def __init__(self, path=None, timeout=60.0):
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.settimeout(timeout)
        self.sock.connect(path or default_socket())
        self.pending = b""
        data, handle = self._frame()
        while data != HANDLE:
            data, handle = self._frame()
        self.handle = handle
        self.command("MSGTARGET::" + handle)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def close(self):
        self.sock.close()

    def _frame(self):
        while True:
            if len(self.pending) >= 8:
                data, size = struct.unpack("<II", self.pending[:8])
                if len(self.pending) >= 8 + size:
                    text = self.pending[8:8 + size - 1]
                    self.pending = self.pending[8 + size:]
                    return data, text.decode("utf-8", "replace")
            chunk = self.sock.recv(65536)
            if not chunk:
                raise ConnectionError("the executor closed the connection")
            self.pending += chunk

    def command(self, text):
        """Sends COMMAND::ARGUMENT and returns every reply up to COMMAND::FINISHED."""
        body = text.encode("utf-8") + b"\0"
        self.sock.sendall(struct.pack("<II", TEXT, len(body)) + body)
        finished = text.strip().split("::", 1)[0] + "::FINISHED"
        replies = []
        while True:
            data, reply = self._frame()
            if data != TEXT:
                continue
            replies.append(reply)
            if reply == finished:
                return replies

    def variable(self, name):
        for reply in self.command("GETVARRAW::" + name):
            if reply.startswith("GETVARRAW::VARRAW::"):
                return reply[len("GETVARRAW::VARRAW::"):]
        return None

    def report(self):
        for reply in self.command("GETREPORT::"):
            if reply.startswith("GETREPORT::REPORT::"):
                return reply[len("GETREPORT::REPORT::"):]
        return ""


def main():
    parser = argparse.ArgumentParser(description="Select a test, run a block, fetch a variable and the report.")
    parser.add_argument("--socket", default=None)
    parser.add_argument("group")
    parser.add_argument("testfile")
    parser.add_argument("block")
    parser.add_argument("variable", nargs="?")
    args = parser.parse_args()
    try:
        zep = Executor(args.socket)
    except OSError as error:
        print("zep_remote_client: cannot reach the executor: %s" % error, file=sys.stderr)
        return 2
    with zep:
        for text in ("SELGROUP::" + args.group, "SELTESTFILE::" + args.testfile, "CONNECT::", "VERBOSE::ON"):
            replies = zep.command(text)
            errors = [r for r in replies if "::ERROR" in r]
            if errors:
                print(errors[0], file=sys.stderr)
                return 1
        for reply in zep.command("EXECUTE::" + args.block):
            if reply.startswith("EXECUTION::"):
                print(reply.split("::", 2)[2])
        if args.variable:
            print("%s = %s" % (args.variable, zep.variable(args.variable)))
        print("report: %d bytes of RTF" % len(zep.report()))
        zep.command("RELEASE::")
    return 0


if __name__ == "__main__":
    sys.exit(main())
