// Resource strings read as a VISA library reads them.
#include "instio/VisaResource.h"

#include <gtest/gtest.h>

namespace zep {
namespace {

struct ParseCase {
    const char* text;
    const char* canonical; // nullptr: not a resource string
};

TEST(VisaResource, ParsesTheFormsTheSystemUses) {
    const ParseCase cases[] = {
        {"TCPIP::192.168.1.5::INSTR", "TCPIP0::192.168.1.5::inst0::INSTR"},
        {"tcpip0::scope7::inst1::instr", "TCPIP0::scope7::inst1::INSTR"},
        {"TCPIP3::host::gpib0,5::INSTR", "TCPIP3::host::gpib0,5::INSTR"},
        {"TCPIP::host", "TCPIP0::host::inst0::INSTR"},
        {"TCPIP::localhost::5025::SOCKET", "TCPIP0::localhost::5025::SOCKET"},
        {"Tcpip1::127.0.0.1::5025::socket", "TCPIP1::127.0.0.1::5025::SOCKET"},
        {"TCPIP::[::1]::5025::SOCKET", "TCPIP0::[::1]::5025::SOCKET"},
        {"GPIB0::20::INSTR", "GPIB0::20::INSTR"},
        {"gpib::7", "GPIB0::7::INSTR"},
        {"GPIB1::3::96::INSTR", "GPIB1::3::96::INSTR"},
        {"GPIB0::INTFC", "GPIB0::INTFC"},
        {"VMIB::10.0.0.2::INSTR", "VMIB0::10.0.0.2::INSTR"},
        {"visa://lab7/GPIB0::5::INSTR", "visa://lab7/GPIB0::5::INSTR"},
        {"VISA://lab7:3537/TCPIP::h::INSTR", "visa://lab7:3537/TCPIP0::h::inst0::INSTR"},
        {"GPIB-VXI0::8::INSTR", "GPIB-VXI0::8::INSTR"},
        {"USB0::0x1234::0x5678::SN42::INSTR", "USB0::0x1234::0x5678::SN42::INSTR"},
        {"ASRL1::INSTR", "ASRL1::INSTR"},
        // Not resource strings:
        {"", nullptr},
        {"LAN::10.0.0.2::INSTR", nullptr},
        {"GPIB0::?*::INSTR", nullptr},
        {"GPIB0::::INSTR", nullptr},
        {"GPIB0::31::INSTR", nullptr},
        {"TCPIP::host::0::SOCKET", nullptr},
        {"TCPIP::host::70000::SOCKET", nullptr},
        {"TCPIP::host::SOCKET", nullptr},
        {"TCPIP::::INSTR", nullptr},
        {"TCPIPX::host::INSTR", nullptr},
        {"visa:///GPIB0::5::INSTR", nullptr},
    };
    for (const auto& c : cases) {
        const auto parsed = ParseVisaResource(c.text);
        if (c.canonical == nullptr) {
            EXPECT_FALSE(parsed.has_value()) << c.text;
        } else {
            ASSERT_TRUE(parsed.has_value()) << c.text;
            EXPECT_EQ(CanonicalResourceName(*parsed), c.canonical) << c.text;
        }
    }
}

TEST(VisaResource, KeepsHostPortAndServerApart) {
    const auto socket = ParseVisaResource("TCPIP2::[fe80::1]::5025::SOCKET");
    ASSERT_TRUE(socket);
    EXPECT_EQ(socket->board, 2);
    EXPECT_EQ(socket->host, "fe80::1");
    EXPECT_EQ(socket->port, 5025);

    const auto remote = ParseVisaResource("visa://lab7/TCPIP::10.1.2.3::INSTR");
    ASSERT_TRUE(remote);
    EXPECT_EQ(remote->remoteServer, "lab7");
    EXPECT_EQ(remote->host, "10.1.2.3");
    EXPECT_EQ(remote->lanDevice, "inst0");
}

} // namespace
} // namespace zep
