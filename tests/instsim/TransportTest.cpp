// zep-instsim as a process, reached through real loopback sockets: raw sockets, VXI-11, portmapper.
#include "InstsimClient.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <random>
#include <thread>

namespace zep::test {
namespace {

const std::string Bench = std::string(ZEP_EXAMPLES_DIR) + "/instsim/RFBench.ZEP_BENCH";

std::vector<std::string> Args(std::vector<std::string> extra) {
    std::vector<std::string> args = {"--max-seconds", "60", "--portmap-port", "0"};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

std::string WriteTemp(const std::string& name, const std::string& text) {
    std::string path = testing::TempDir() + "/" + name;
    std::ofstream(path) << text;
    return path;
}

class InstsimBench : public testing::Test {
  protected:
    static void SetUpTestSuite() { server = new InstsimProcess(Args({"--config", Bench}), 8); }
    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
    }
    static InstsimProcess* server;
};
InstsimProcess* InstsimBench::server = nullptr;

TEST_F(InstsimBench, PrintsReadyAndOneLinePerResource) {
    ASSERT_TRUE(server->Ready());
    const auto& lines = server->Resources();
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[1], "TCPIP0::127.0.0.1::inst0::INSTR\tVeltmark,SMG,100245/003,2.10.4");
    EXPECT_EQ(lines[0], "TCPIP0::127.0.0.1::" + std::to_string(server->RawPort(0)) +
                            "::SOCKET\tVeltmark,SMG,100245/003,2.10.4");
    EXPECT_EQ(lines[3], "TCPIP0::127.0.0.1::inst1::INSTR\tVeltmark,FSA,101877/012,4.30.1");
    EXPECT_GT(server->CorePort(), 0);
    EXPECT_GT(server->PortmapPort(), 0);
}

TEST_F(InstsimBench, RawSocketAnswersLineByLine) {
    TcpClient client(server->RawPort(1));
    ASSERT_TRUE(client.Connected());
    client.Send("*IDN?\n*OPT?\r\n:SENS:FREQ:SPAN 2e6;SPAN?\n");
    EXPECT_EQ(client.ReadLine(), "Veltmark,FSA,101877/012,4.30.1\n");
    EXPECT_EQ(client.ReadLine(), "B4,B25,K7\n");
    EXPECT_EQ(client.ReadLine(), "2000000\n");
    client.Send(":TRAC:DATA:BLOC?\n");
    EXPECT_EQ(client.ReadBytes(6), "#41001");
    auto data = client.ReadBytes(1002);
    ASSERT_TRUE(data);
    EXPECT_EQ(static_cast<unsigned char>((*data)[255]), 255);
    EXPECT_EQ(data->back(), '\n');
}

TEST_F(InstsimBench, RawSocketServiceRequestAfterOpc) {
    TcpClient client(server->RawPort(2));
    client.Send("*CLS\n*ESE 1\n*SRE 32\n:INIT;*OPC\n*STB?\n");
    EXPECT_EQ(client.ReadLine(), "0\n") << ":INIT of the power sensor takes 40 ms";
    std::string stb;
    for (int i = 0; i < 200 && stb != "96\n"; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        client.Send("*STB?\n");
        stb = client.ReadLine().value_or("");
    }
    EXPECT_EQ(stb, "96\n");
    client.Send("*ESR?;*STB?\n");
    EXPECT_EQ(client.ReadLine(), "1;0\n");
}

TEST_F(InstsimBench, DemoBenchReceiversMeasureTheGenerator) {
    TcpClient generator(server->RawPort(0)), analyser(server->RawPort(1)), sensor(server->RawPort(2));
    generator.Send(":FREQ 1000000000;:POW -10;:OUTP ON;*OPC?\n");
    EXPECT_EQ(generator.ReadLine(), "1\n");
    sensor.Send(":READ?\n");
    EXPECT_NEAR(std::stod(sensor.ReadLine().value_or("0")), -10.05, 0.021);
    analyser.Send(":FREQ:CENT 1000000000;:INIT;*WAI;:CALC:MARK:MAX;:CALC:MARK:Y?\n");
    EXPECT_NEAR(std::stod(analyser.ReadLine().value_or("0")), -10.8, 0.051);
    analyser.Send(":FREQ:CENT 2000000000;:INIT;*WAI;:CALC:MARK:MAX;:CALC:MARK:Y?\n");
    EXPECT_NEAR(std::stod(analyser.ReadLine().value_or("0")), -52.8, 0.051);
    generator.Send(":OUTP OFF;*OPC?\n");
    EXPECT_EQ(generator.ReadLine(), "1\n");
    sensor.Send(":READ?\n");
    EXPECT_NEAR(std::stod(sensor.ReadLine().value_or("0")), -95, 0.021);
}

TEST_F(InstsimBench, ClientThatReadsNothingDoesNotHoldUpOthers) {
    TcpClient hog(server->RawPort(1));
    std::string flood;
    for (int i = 0; i < 2000; ++i)
        flood += ":TRAC:DATA:BLOC?\n";
    hog.Send(flood); // 2 MB of answers it never reads
    TcpClient other(server->RawPort(1));
    other.Send("*IDN?\n");
    EXPECT_EQ(other.ReadLine(), "Veltmark,FSA,101877/012,4.30.1\n");
}

TEST_F(InstsimBench, ManyClientsAtOnce) {
    std::vector<std::unique_ptr<TcpClient>> raw;
    std::vector<std::unique_ptr<Vxi11Client>> vxi;
    std::vector<std::uint32_t> links(40);
    for (int i = 0; i < 40; ++i) {
        raw.push_back(std::make_unique<TcpClient>(server->RawPort(static_cast<std::size_t>(i % 4))));
        vxi.push_back(std::make_unique<Vxi11Client>(server->CorePort()));
        ASSERT_EQ(vxi.back()->CreateLink("inst" + std::to_string(i % 4), links[static_cast<std::size_t>(i)]),
                  0u);
    }
    for (auto& client : raw)
        client->Send("*OPT?\n");
    for (int i = 0; i < 40; ++i)
        vxi[static_cast<std::size_t>(i)]->Write(links[static_cast<std::size_t>(i)], "*OPT?\n");
    const char* options[] = {"B1,B22\n", "B4,B25,K7\n", "0\n", "0\n"};
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(raw[static_cast<std::size_t>(i)]->ReadLine(), options[i % 4]);
        EXPECT_EQ(vxi[static_cast<std::size_t>(i)]->Read(links[static_cast<std::size_t>(i)]).data,
                  options[i % 4]);
    }
}

TEST_F(InstsimBench, Vxi11LinksByIndexAndByName) {
    Vxi11Client client(server->CorePort());
    std::uint32_t link = 0;
    ASSERT_EQ(client.CreateLink("inst0", link), 0u);
    EXPECT_EQ(client.Query(link, "*IDN?"), "Veltmark,SMG,100245/003,2.10.4\n");
    ASSERT_EQ(client.CreateLink("PWS", link), 0u);
    EXPECT_EQ(client.Query(link, "*IDN?"), "Veltmark,PWS-Z11,103311/004,1.05\n");
    EXPECT_EQ(client.CreateLink("inst9", link), 3u) << "device not accessible";
    EXPECT_EQ(client.CreateLink("nothere", link), 3u);
}

TEST_F(InstsimBench, Vxi11ReadHonoursRequestSizeAndTermChar) {
    Vxi11Client client(server->CorePort());
    std::uint32_t link = 0;
    ASSERT_EQ(client.CreateLink("fsa", link), 0u);
    ASSERT_EQ(client.Write(link, "*IDN?;*OPT?", true), 0u) << "END ends the message without a line feed";
    Vxi11Read first = client.Read(link, 10);
    EXPECT_EQ(first.error, 0u);
    EXPECT_EQ(first.reason, 1u) << "request count reached";
    EXPECT_EQ(first.data, "Veltmark,F");
    Vxi11Read rest = client.Read(link, 1000, 2000, ';');
    EXPECT_EQ(rest.reason, 2u) << "stopped at the term character";
    EXPECT_EQ(rest.data, "SA,101877/012,4.30.1;");
    Vxi11Read last = client.Read(link, 1000);
    EXPECT_EQ(last.reason, 4u);
    EXPECT_EQ(last.data, "B4,B25,K7\n");
}

TEST_F(InstsimBench, Vxi11ReadWithNothingToAnswerTimesOutAndQueuesMinus420) {
    Vxi11Client client(server->CorePort());
    std::uint32_t link = 0;
    ASSERT_EQ(client.CreateLink("inst3", link), 0u);
    Vxi11Read read = client.Read(link, 100, 500);
    EXPECT_EQ(read.error, 15u);
    EXPECT_EQ(client.Query(link, "SYST:ERR?"), "-420,\"Query UNTERMINATED\"\n");
    // A query still being measured is waited for within the I/O timeout.
    client.Write(link, ":READ?\n");
    Vxi11Read measured = client.Read(link, 100, 2000);
    EXPECT_EQ(measured.error, 0u);
    EXPECT_EQ(measured.reason, 4u);
    EXPECT_NEAR(std::stod(measured.data), 4.9987, 0.0004001);
}

TEST_F(InstsimBench, Vxi11ServiceRequestAndDeviceClear) {
    Vxi11Client client(server->CorePort());
    std::uint32_t link = 0;
    ASSERT_EQ(client.CreateLink("smg", link), 0u);
    client.Write(link, "*CLS\n");
    client.Write(link, "*ESE 1\n");
    client.Write(link, "*SRE 32\n");
    client.Write(link, "*CLS\n");
    client.Write(link, ":SYST:PRES;*OPC\n"); // takes 50 ms
    std::uint32_t stb = 0;
    for (int i = 0; i < 400 && stb == 0; ++i) {
        ASSERT_EQ(client.ReadStb(link, stb), 0u);
        if (stb == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(stb, 96u);
    ASSERT_EQ(client.ReadStb(link, stb), 0u);
    EXPECT_EQ(stb, 32u) << "the poll cleared RQS";
    client.Write(link, "*IDN?\n");
    ASSERT_EQ(client.ReadStb(link, stb), 0u);
    EXPECT_EQ(stb & 16u, 16u) << "MAV";
    EXPECT_EQ(client.Generic(15, link), 0u); // device_clear
    EXPECT_EQ(client.Read(link, 100, 200).error, 15u) << "the answer was cleared";
    EXPECT_EQ(client.Generic(16, link), 0u); // device_remote
    EXPECT_EQ(client.Generic(17, link), 0u); // device_local
    EXPECT_EQ(client.DestroyLink(link), 0u);
    EXPECT_EQ(client.Write(link, "*IDN?\n"), 4u) << "invalid link identifier";
}

TEST_F(InstsimBench, Vxi11LockKeepsOtherLinksOut) {
    Vxi11Client owner(server->CorePort()), other(server->CorePort());
    std::uint32_t ownerLink = 0, otherLink = 0;
    ASSERT_EQ(owner.CreateLink("inst2", ownerLink, true), 0u);
    EXPECT_EQ(other.CreateLink("inst2", otherLink, true), 11u);
    ASSERT_EQ(other.CreateLink("inst2", otherLink), 0u);
    EXPECT_EQ(other.Write(otherLink, "*IDN?\n"), 11u);
    owner.Rpc().Tcp().Close(); // the lock goes with the owner's connection
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(other.Query(otherLink, "*IDN?"), "Veltmark,PWS-Z11,103311/004,1.05\n");
}

TEST_F(InstsimBench, PortmapperAnswersOverTcpAndUdp) {
    for (bool udp : {false, true}) {
        EXPECT_EQ(PortmapGetPort(server->PortmapPort(), udp, 0x0607AF, 1),
                  static_cast<std::uint32_t>(server->CorePort()))
            << (udp ? "UDP" : "TCP");
        EXPECT_EQ(PortmapGetPort(server->PortmapPort(), udp, 0x0607AF, 2), 0u) << "no such version";
        EXPECT_EQ(PortmapGetPort(server->PortmapPort(), udp, 100003, 3), 0u) << "no such program";
    }
    // rpcbind version 3 GETADDR answers a universal address, as the C library's RPC clients ask first.
    RpcClient rpcbind(server->PortmapPort());
    auto results = rpcbind.Call(
        100000, 3, 3, XdrU32(0x0607AF) + XdrU32(1) + XdrOpaque("tcp") + XdrOpaque("") + XdrOpaque(""));
    ASSERT_TRUE(results);
    std::size_t pos = 0;
    int port = server->CorePort();
    EXPECT_EQ(ReadOpaque(*results, pos),
              "127.0.0.1." + std::to_string(port >> 8) + "." + std::to_string(port & 0xFF));
}

TEST_F(InstsimBench, MalformedRpcAndVanishingClientsAreDroppedNotFatal) {
    {
        TcpClient garbage(server->CorePort());
        garbage.Send(std::string("\x80\x00\x00\x08garbage!", 12));
        EXPECT_TRUE(garbage.ClosedByPeer());
    }
    {
        TcpClient huge(server->CorePort());
        huge.Send(std::string("\xff\xff\xff\xff", 4)); // a 2 GB record
        EXPECT_TRUE(huge.ClosedByPeer());
    }
    {
        RpcClient unknown(server->CorePort());
        EXPECT_FALSE(unknown.Call(0x0607AF, 1, 99, "")) << "procedure unavailable";
        EXPECT_FALSE(unknown.Call(123456, 1, 0, "")) << "program unavailable";
        EXPECT_TRUE(unknown.Call(0x0607AF, 1, 0, "")) << "the connection survives both";
    }
    {
        TcpClient vanishing(server->CorePort());
        vanishing.Send(std::string("\x80\x00\x01\x00half", 8)); // then gone mid-record
    }
    {
        Vxi11Client parked(server->CorePort());
        std::uint32_t link = 0;
        parked.CreateLink("inst0", link);
        parked.Write(link, "*OPC?\n");
        parked.Rpc().Tcp().Close();
    }
    Vxi11Client client(server->CorePort());
    std::uint32_t link = 0;
    ASSERT_EQ(client.CreateLink("inst0", link), 0u);
    EXPECT_EQ(client.Query(link, "*IDN?"), "Veltmark,SMG,100245/003,2.10.4\n");
    EXPECT_TRUE(server->Running());
    EXPECT_NE(server->Stderr().find("malformed RPC"), std::string::npos);
}

TEST_F(InstsimBench, RandomRpcCallsNeverStopTheServer) {
    std::mt19937 random(11);
    std::uniform_int_distribution<int> byte(0, 255), length(0, 64), procedure(0, 30);
    std::uint32_t link = 0;
    {
        Vxi11Client vxi(server->CorePort());
        RpcClient& client = vxi.Rpc();
        ASSERT_EQ(vxi.CreateLink("inst0", link), 0u);
        int replies = 0;
        for (int i = 0; i < 300; ++i) {
            std::string args = XdrU32(byte(random) < 200 ? link : static_cast<std::uint32_t>(byte(random)));
            for (int n = length(random); n > 0; --n)
                args += static_cast<char>(byte(random));
            // device_read would wait out a random I/O timeout and device_lock keep the next client out.
            std::uint32_t proc = static_cast<std::uint32_t>(procedure(random));
            if (proc == 12 || proc == 18) proc = 11;
            // Garbage arguments in a well-formed call are refused with a reply, never with a drop.
            replies += client.Call(0x0607AF, 1, proc, args, 2000).has_value();
        }
        EXPECT_GT(replies, 50);
        EXPECT_TRUE(client.Call(0x0607AF, 1, 0, "")) << "the connection survived every call";
    }
    Vxi11Client after(server->CorePort());
    ASSERT_EQ(after.CreateLink("inst0", link), 0u);
    EXPECT_EQ(after.Query(link, "*IDN?"), "Veltmark,SMG,100245/003,2.10.4\n");
}

TEST(InstsimFaultInjection, DropAfterClosesBothTransports) {
    InstsimProcess server(Args({"--drop-after", "2"}), 2);
    ASSERT_TRUE(server.Ready());
    TcpClient raw(server.RawPort(0));
    raw.Send("*IDN?\n*IDN?\n");
    EXPECT_TRUE(raw.ReadLine());
    EXPECT_TRUE(raw.ReadLine());
    raw.Send("*IDN?\n");
    EXPECT_TRUE(raw.ClosedByPeer());

    Vxi11Client vxi(server.CorePort());
    std::uint32_t link = 0;
    ASSERT_EQ(vxi.CreateLink("inst0", link), 0u);
    EXPECT_EQ(vxi.Write(link, "*CLS\n"), 0u);
    EXPECT_EQ(vxi.Write(link, "*CLS\n"), 0u);
    EXPECT_EQ(vxi.Write(link, "*CLS\n"), 0xFFFFFFFFu) << "no reply: the connection is gone";
    EXPECT_NE(server.Stderr().find("drop-after"), std::string::npos);
}

TEST(InstsimFaultInjection, StallHoldsOnlyTheNamedAnswerBack) {
    InstsimProcess server(Args({"--stall", "400", "--fault-header", ":READ?"}), 2);
    TcpClient client(server.RawPort(0));
    client.Send("*IDN?\n");
    EXPECT_EQ(client.ReadLine(), "ZEP,INSTSIM,000000,0.1\n");
    client.Send(":READ?\n");
    EXPECT_FALSE(client.ReadLine(250)) << "held back 400 ms";
    auto answer = client.ReadLine(3000);
    ASSERT_TRUE(answer);
    EXPECT_NEAR(std::stod(*answer), -10, 0.01001);
}

TEST(InstsimFaultInjection, GarbageAnswersOnOneInstrumentOnly) {
    std::string bench =
        WriteTemp("garbage.ZEP_BENCH", "INSTRUMENT|" + std::string(ZEP_EXAMPLES_DIR) +
                                           "/instsim/SMG.ZEP_INST\nINSTRUMENT|" +
                                           std::string(ZEP_EXAMPLES_DIR) + "/instsim/PWS.ZEP_INST\n");
    InstsimProcess server(Args({"--config", bench, "--garbage", "--fault-instrument", "pws"}), 4);
    TcpClient good(server.RawPort(0)), bad(server.RawPort(1));
    good.Send("*IDN?\n");
    bad.Send("*IDN?\n");
    EXPECT_EQ(good.ReadLine(), "Veltmark,SMG,100245/003,2.10.4\n");
    auto junk = bad.ReadLine();
    ASSERT_TRUE(junk);
    EXPECT_EQ(junk->find("Veltmark"), std::string::npos);
    EXPECT_EQ(junk->back(), '\n');
}

TEST(InstsimFaultInjection, NeverCompleteLeavesTheStatusByteAtZero) {
    InstsimProcess server(Args({"--never-complete"}), 2);
    Vxi11Client client(server.CorePort());
    std::uint32_t link = 0;
    ASSERT_EQ(client.CreateLink("inst0", link), 0u);
    client.Write(link, "*CLS;*ESE 1;*SRE 32\n");
    client.Write(link, ":FREQ 2e9;*OPC\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    std::uint32_t stb = 99;
    ASSERT_EQ(client.ReadStb(link, stb), 0u);
    EXPECT_EQ(stb, 0u);
    client.Write(link, "*OPC?\n");
    EXPECT_EQ(client.Read(link, 100, 300).error, 15u) << "*OPC? never answers";
}

TEST(InstsimFaultInjection, AbortChannelEndsAReadThatWaits) {
    InstsimProcess server(Args({"--never-complete"}), 2);
    Vxi11Client client(server.CorePort());
    std::uint32_t link = 0;
    ASSERT_EQ(client.CreateLink("inst0", link), 0u);
    client.Write(link, "*OPC?\n");
    std::uint32_t xid = client.Rpc().SendCall(
        0x0607AF, 1, 12, XdrU32(link) + XdrU32(100) + XdrU32(60000) + XdrU32(0) + XdrU32(0) + XdrU32(0));
    RpcClient abort(server.CorePort()); // the abort port create_link reports
    auto aborted = abort.Call(0x0607B0, 1, 1, XdrU32(link));
    ASSERT_TRUE(aborted);
    EXPECT_EQ(*aborted, XdrU32(0));
    auto read = client.Rpc().ReceiveReply(xid);
    ASSERT_TRUE(read);
    std::size_t pos = 0;
    EXPECT_EQ(ReadU32(*read, pos), 23u) << "the waiting read ends with the abort error";
    std::uint32_t stb = 0;
    EXPECT_EQ(client.ReadStb(link, stb), 0u) << "the link goes on serving";
}

TEST(InstsimCommandLine, TraceLogsMessagesAndAnswers) {
    InstsimProcess server(Args({"--trace"}), 2);
    TcpClient raw(server.RawPort(0));
    raw.Send("*IDN?\n");
    ASSERT_TRUE(raw.ReadLine());
    Vxi11Client vxi(server.CorePort());
    std::uint32_t link = 0;
    ASSERT_EQ(vxi.CreateLink("inst0", link), 0u);
    vxi.Query(link, ":DATA?");
    std::string log = server.Stderr();
    EXPECT_NE(log.find(" <- *IDN?\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" -> ZEP,INSTSIM,000000,0.1\\x0A\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" -> #264\\x00\\x01"), std::string::npos) << log;
}

TEST(InstsimCommandLine, UsageAndConfigurationErrors) {
    RunResult help = RunInstsim({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("usage: zep-instsim"), std::string::npos);

    RunResult unknown = RunInstsim({"--frobnicate"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_EQ(unknown.out, "");
    EXPECT_EQ(unknown.err, "zep-instsim: unknown option \"--frobnicate\" (see --help)\n");

    std::string broken = WriteTemp("broken.ZEP_INST", "IDN|x\nQUERY|:READ?|nonsense\n");
    RunResult bad = RunInstsim({"--config", broken});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_EQ(
        bad.err,
        "zep-instsim: " + broken +
            ":2: answer must start with text, number, list, block, blocktext or measure, not \"nonsense\"\n");

    RunResult missing = RunInstsim({"--config", "/nonexistent/x.ZEP_INST"});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_EQ(missing.err, "zep-instsim: /nonexistent/x.ZEP_INST: cannot read the file\n");

    RunResult bounded = RunInstsim({"--max-seconds", "1", "--portmap-port", "0", "--no-vxi11"});
    EXPECT_EQ(bounded.exitCode, 0);
    EXPECT_EQ(bounded.out.substr(0, 6), "READY\n");
}

} // namespace
} // namespace zep::test
