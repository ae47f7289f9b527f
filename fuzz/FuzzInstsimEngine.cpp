// Fuzzes the simulator: the input's first part (up to "\n====\n") is an instrument definition, the
// rest SCPI program messages sent to it, with the clock moving between them; an RPC header parse of
// the raw bytes rides along. Nothing may crash, hang or grow without bound.
#include "Definition.h"
#include "Instrument.h"
#include "Rpc.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

constexpr std::string_view kFallbackDefinition =
    "IDN|Veltmark,SMG,1,1\nOPT|B1\nPARAM|:FREQuency[:CW]|1e9 1..6e9|5|\nCOMMAND|:INIT|20|\n"
    "QUERY|:READ?|number -10 0.1|3|\nQUERY|:TRACe?|block 40|0|\nQUERY|:LIST?|list 1,2,3|0|\n";

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    zep::instsim::RpcCall call;
    (void)zep::instsim::ParseRpcCall(input, call);

    const size_t cut = input.find("\n====\n");
    std::string_view messages = input;
    auto loaded =
        zep::instsim::ParseDefinition(cut == std::string_view::npos ? "" : input.substr(0, cut), "fuzz");
    if (cut != std::string_view::npos) messages = input.substr(cut + 6);
    if (!loaded.error.empty() || loaded.instruments.empty())
        loaded = zep::instsim::ParseDefinition(kFallbackDefinition, "fallback");
    if (loaded.instruments.empty()) return 0;

    zep::instsim::Device device(loaded.instruments.front(), 1);
    zep::instsim::Session session(device, 1, (size & 1) != 0);
    zep::instsim::SimTime now = 0;
    size_t start = 0;
    while (start <= messages.size()) {
        const size_t end = messages.find('\n', start);
        const std::string_view message =
            messages.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (!session.Receive(message, now)) break;
        now += static_cast<zep::instsim::SimTime>(message.size() % 50);
        session.Advance(now);
        (void)session.StatusByte(now);
        bool endOfAnswer = false;
        for (int reads = 0; reads < 64 && session.OutputReady(now); ++reads)
            (void)session.TakeOutput(now, 256, reads % 3 == 0 ? '\n' : -1, endOfAnswer);
        if (message.size() % 7 == 0) (void)session.SerialPoll(now);
        if (message.size() % 13 == 0) session.DeviceClear();
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return 0;
}
