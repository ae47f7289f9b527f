"""The lxi tool (an independent VXI-11 client) against zep-instsim. lxi always asks the portmapper on
port 111, so the check needs that port. Usage: lxi_interop.py ZEP_INSTSIM BENCH_FILE"""
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from interop_support import Checks, Instsim, skip  # noqa: E402

lxi = shutil.which("lxi")
if not lxi:
    skip("the lxi tool is not installed; install lxi-tools")

program, bench = sys.argv[1], sys.argv[2]
server = Instsim(program, ["--config", bench, "--no-raw"], 4)
checks = Checks()
try:
    if server.portmap_port != 111:
        skip("zep-instsim could not bind the portmapper port 111 (%s); lxi asks the portmapper only there "
             "(its -p option applies to raw sockets), so it cannot find the VXI-11 instruments. Run as a user "
             "that may bind port 111 with the port free (no rpcbind)." % server.log.strip())

    def scpi(command):
        result = subprocess.run([lxi, "scpi", "-a", "127.0.0.1", "-t", "3", command],
                                capture_output=True, text=True, timeout=15)
        return result.returncode, result.stdout.strip()

    checks.equal("lxi *IDN? of the default device inst0", scpi("*IDN?"), (0, "Veltmark,SMG,100245/003,2.10.4"))
    checks.equal("lxi *OPC?", scpi(":SYST:PRES;*OPC?"), (0, "1"))
    checks.equal("lxi command then error queue", scpi("NO:SUCH:HEADER"), (0, ""))
    checks.equal("lxi error queue", scpi("SYST:ERR?"), (0, '-113,"Undefined header"'))
    checks.equal("lxi empty error queue", scpi("SYST:ERR?"), (0, '0,"No error"'))
finally:
    server.stop()
checks.finish()
