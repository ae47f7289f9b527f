"""PyVISA with the pyvisa-py backend, an independent VISA implementation, against zep-instsim over raw
sockets and VXI-11. Usage: pyvisa_interop.py ZEP_INSTSIM BENCH_FILE"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from interop_support import Checks, Instsim, skip, wait_until  # noqa: E402

try:
    import pyvisa
    import pyvisa_py.protocols.rpc as pyvisa_rpc
except ImportError as error:
    skip("pyvisa with the pyvisa-py backend is not installed for %s (%s); install python3-pyvisa-py"
         % (sys.executable, error))

program, bench = sys.argv[1], sys.argv[2]
server = Instsim(program, ["--config", bench], 8)
checks = Checks()
if server.portmap_port != 111:
    # pyvisa-py asks the portmapper on port 111; point its own portmapper client at ours instead.
    print("note: port 111 was not available to zep-instsim; pyvisa-py is pointed at its portmapper on port %d"
          % server.portmap_port)
    pyvisa_rpc.PMAP_PORT = server.portmap_port

rm = pyvisa.ResourceManager("@py")
try:
    socket_resource = server.resource("::SOCKET")
    sock = rm.open_resource(socket_resource, read_termination="\n", write_termination="\n", timeout=3000)
    checks.equal("SOCKET *IDN?", sock.query("*IDN?"), "Veltmark,SMG,100245/003,2.10.4")
    checks.equal("SOCKET *OPC?", sock.query(":SYST:PRES;*OPC?"), "1")
    sock.write("*CLS;*ESE 1;*SRE 32")
    sock.write(":SYST:PRES;*OPC")
    checks.equal("SOCKET *STB? shows ESB and MSS after *OPC",
                 wait_until(lambda: sock.query("*STB?") == "96" and "96"), "96")
    sock.write(":NO:SUCH:HEADER")
    checks.equal("SOCKET error queue", sock.query("SYST:ERR?"), '-113,"Undefined header"')
    checks.equal("SOCKET empty error queue", sock.query("SYSTem:ERRor:NEXT?"), '0,"No error"')
    sock.close()

    for resource, idn in (("TCPIP::127.0.0.1::INSTR", "Veltmark,SMG,100245/003,2.10.4"),
                          ("TCPIP0::127.0.0.1::inst1::INSTR", "Veltmark,FSA,101877/012,4.30.1"),
                          ("TCPIP0::127.0.0.1::pws::INSTR", "Veltmark,PWS-Z11,103311/004,1.05")):
        inst = rm.open_resource(resource, read_termination="\n", write_termination="\n", timeout=3000)
        checks.equal(resource + " *IDN?", inst.query("*IDN?"), idn)
        checks.equal(resource + " *OPC?", inst.query(":INIT:CONT OFF;*OPC?" if "inst1" in resource else "*OPC?"), "1")
        inst.write("*CLS")
        inst.write("*ESE 1")
        inst.write("*SRE 32")
        inst.write("*RST;*OPC")
        stb = wait_until(lambda: inst.read_stb())
        checks.equal(resource + " read_stb after *OPC", stb, 96)
        checks.equal(resource + " read_stb again (RQS cleared)", inst.read_stb(), 32)
        inst.write("*CLS")
        checks.equal(resource + " read_stb after *CLS", inst.read_stb(), 0)
        inst.write("NO:SUCH:HEADER")
        checks.equal(resource + " error queue", inst.query("SYST:ERR?"), '-113,"Undefined header"')
        checks.equal(resource + " empty error queue", inst.query("SYST:ERR?"), '0,"No error"')
        inst.close()

    analyser = rm.open_resource("TCPIP0::127.0.0.1::fsa::INSTR", timeout=3000)
    data = analyser.query_binary_values(":TRAC:DATA:BLOC?", datatype="B", container=bytes)
    checks.equal("definite-length block", (len(data), data[:4]), (1001, bytes([0, 1, 2, 3])))
    analyser.timeout = 300
    try:
        analyser.read()
        checks.true("read with nothing to answer times out", False)
    except pyvisa.errors.VisaIOError as error:
        checks.equal("read with nothing to answer times out", error.error_code,
                     pyvisa.constants.StatusCode.error_timeout)
    analyser.timeout = 3000
    analyser.read_termination = "\n"
    checks.equal("-420 queued by that read", analyser.query("SYST:ERR?"), '-420,"Query UNTERMINATED"')
    analyser.write("*IDN?")
    analyser.clear()
    analyser.timeout = 300
    try:
        analyser.read()
        checks.true("device clear discards the answer", False)
    except pyvisa.errors.VisaIOError:
        checks.true("device clear discards the answer", True)
    analyser.close()
finally:
    rm.close()
    server.stop()
checks.finish()
