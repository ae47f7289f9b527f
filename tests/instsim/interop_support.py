"""Starts zep-instsim for the interoperability checks and reads what it announces."""
import re
import subprocess
import sys
import time

SKIP = 77  # ctest SKIP_RETURN_CODE


def skip(message):
    print("SKIPPED: " + message)
    sys.exit(SKIP)


class Instsim:
    def __init__(self, program, args, resource_lines):
        self.proc = subprocess.Popen([program, "--max-seconds", "60"] + args,
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        first = self.proc.stdout.readline()
        if first != "READY\n":
            raise RuntimeError("zep-instsim did not print READY: %r %s" % (first, self.proc.stderr.read()))
        self.resources = [self.proc.stdout.readline().rstrip("\n").split("\t") for _ in range(resource_lines)]
        self.portmap_port = 0
        self.log = self.proc.stderr.readline()
        match = re.search(r"portmapper on \S+ port (\d+)", self.log)
        if match:
            self.portmap_port = int(match.group(1))

    def resource(self, suffix):
        return next(r for r, _ in self.resources if r.endswith(suffix))

    def stop(self):
        self.proc.terminate()
        try:
            self.proc.wait(5)
        except subprocess.TimeoutExpired:
            self.proc.kill()
        if self.proc.returncode not in (0, -15):
            raise RuntimeError("zep-instsim ended with %s" % self.proc.returncode)


class Checks:
    def __init__(self):
        self.failures = 0

    def equal(self, what, actual, expected):
        if actual == expected:
            print("ok   %s: %r" % (what, actual))
        else:
            print("FAIL %s: got %r, expected %r" % (what, actual, expected))
            self.failures += 1

    def true(self, what, condition, detail=""):
        print(("ok   %s" if condition else "FAIL %s") % what + (": " + str(detail) if detail else ""))
        if not condition:
            self.failures += 1

    def finish(self):
        sys.exit(1 if self.failures else 0)


def wait_until(predicate, seconds=3.0, pause=0.005):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        value = predicate()
        if value:
            return value
        time.sleep(pause)
    return predicate()
