// Fuzzes what an instrument may send back: a loopback server answers each connection with the
// input's bytes, and the built-in VISA reads them as a text answer, a definite-length block and a
// status byte over SOCKET, or (first byte odd) as ONC RPC reply records of the VXI-11 client.
// Nothing may crash, hang past the time-outs or allocate without bound.
#include "instio/VISAWrap.h"
#include "instio/VisaFactory.h"
#include "instio/VisaResource.h"
#include "instio/visa_builtin/OncRpc.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace {

std::mutex payloadMutex;
std::string payload;

// Serves connections one after the other: reads what the client sent, answers the payload, closes.
uint16_t StartServer() {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 16) != 0)
        std::abort();
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    std::thread([listener] {
        while (true) {
            const int client = ::accept(listener, nullptr, nullptr);
            if (client < 0) continue;
            timeval wait{0, 20000};
            ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
            char request[512];
            (void)::recv(client, request, sizeof request, 0);
            std::string answer;
            {
                std::lock_guard lock(payloadMutex);
                answer = payload;
            }
            (void)::send(client, answer.data(), answer.size(), MSG_NOSIGNAL);
            ::shutdown(client, SHUT_WR);
            while (::recv(client, request, sizeof request, 0) > 0) {
            }
            ::close(client);
        }
    }).detach();
    return ntohs(address.sin_port);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const uint16_t port = StartServer();
    static std::string error;
    static const auto visa = zep::MakeVisa("builtin", error);
    if (size == 0 || !visa) return 0;
    {
        std::lock_guard lock(payloadMutex);
        payload.assign(reinterpret_cast<const char*>(data) + 1, size - 1);
    }
    // The resource parser sees the same bytes as a resource string.
    (void)zep::ParseVisaResource(std::string_view(reinterpret_cast<const char*>(data), size));

    if (data[0] & 1) {
        zep::RpcClient client(0x0607AF, 1);
        if (client.Connect("127.0.0.1", port, zep::DeadlineAfter(500)) != zep::NetResult::Ok) return 0;
        std::string results;
        (void)client.Call(11, std::string(16, '\0'), zep::DeadlineAfter(200), results);
        (void)client.Call(12, std::string(16, '\0'), zep::DeadlineAfter(50), results);
        return 0;
    }
    // One resource manager for the whole run; the access layer does the reading.
    static zep::ViSession manager = [] {
        zep::ViSession rm = 0;
        (void)visa->viOpenDefaultRM(rm);
        return rm;
    }();
    const std::string resource = "TCPIP0::127.0.0.1::" + std::to_string(port) + "::SOCKET";
    zep::ViSession session = 0;
    if (visa->viOpen(manager, resource, 0, 200, session) < 0) return 0;
    (void)visa->viSetAttribute(session, zep::VI_ATTR_TMO_VALUE, 200);
    zep::VISAWrap wrap(*visa);
    std::string buffer(200, ' ');
    (void)wrap.QueryText(session, "*IDN?\n", buffer);
    (void)wrap.ReadDefiniteBlock(session);
    zep::ViUInt16 statusByte = 0;
    (void)wrap.ReadStatusByte(session, statusByte);
    (void)visa->viClose(session);
    return 0;
}
