// The IEEE 488.2 / SCPI engine of one simulated instrument: the device state shared by all its clients
// (status registers, error queue, settings, operations in progress) and the per-client session
// (input parser, output queue, service-request latch).
#pragma once

#include "Definition.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace zep::instsim {

namespace esr {
inline constexpr std::uint8_t OPC = 1, RQC = 2, QYE = 4, DDE = 8, EXE = 16, CME = 32, URQ = 64, PON = 128;
}
namespace stb {
inline constexpr std::uint8_t EAV = 4, MAV = 16, ESB = 32, MSS = 64;
}

class Device {
  public:
    Device(InstrumentDefinition definition, std::uint32_t seed);

    const InstrumentDefinition& Definition() const { return definition_; }
    // How measuring answers find the instrument whose signal they measure.
    void SetPeers(std::function<const Device*(std::string_view name)> peers) { peers_ = std::move(peers); }
    // Level in dBm that a receiver tuned to the frequency (nothing: broadband) sees of this instrument's
    // signal; nothing when it emits none there.
    std::optional<double> SignalLevel(std::optional<double> tunedFrequency) const;
    double ParamNumber(std::size_t index) const;
    const std::string& Name() const { return definition_.name; }

    // Fires the operation-complete events that are due.
    void Advance(SimTime now);
    SimTime NextEvent() const;

    // Status model.
    std::uint8_t EventStatus() const { return esr_; }
    std::uint8_t EventEnable() const { return ese_; }
    std::uint8_t ServiceEnable() const { return sre_; }
    void SetEvent(std::uint8_t bits) { esr_ |= bits; }
    void QueueError(int code, std::string text);
    bool HasErrors() const { return !errors_.empty(); }
    std::size_t ErrorCount() const { return errors_.size(); }
    SimTime BusyUntil() const { return busyUntil_; }

  private:
    friend class Session;

    std::uint8_t TakeEventStatus();
    ErrorEntry PopError();
    void ClearStatus();
    void Reset(SimTime now, bool neverComplete);
    void StartOperation(SimTime now, SimTime duration, bool neverComplete);
    void WatchOperationComplete(int sessionId);
    void CancelWatchers(int sessionId);
    double Noise(double amplitude);
    std::string Garbage();

    struct OpcWatcher {
        int sessionId;
        SimTime at;
    };

    InstrumentDefinition definition_;
    std::function<const Device*(std::string_view)> peers_;
    std::vector<std::string> values_; // current value of each PARAM, indexed like the commands
    std::uint8_t esr_ = esr::PON;
    std::uint8_t ese_ = 0;
    std::uint8_t sre_ = 0;
    std::deque<ErrorEntry> errors_;
    SimTime busyUntil_ = 0;
    std::vector<OpcWatcher> watchers_;
    std::mt19937 random_;
};

class Session {
  public:
    // interruptUnreadOutput: a new message discards an unread answer and queues -410 (VXI-11, where the
    // client reads explicitly); off for raw sockets, whose answers go out as soon as they are ready.
    Session(Device& device, int id, bool interruptUnreadOutput);

    Device& Dev() { return device_; }

    // One terminated program message. Returns false when the drop-after fault says the connection ends
    // now instead (the message is not executed).
    bool Receive(std::string_view message, SimTime now);
    void Advance(SimTime now);
    SimTime NextEvent(SimTime now) const;

    // Output queue.
    bool OutputReady(SimTime now) const;
    // True when an answer is queued, being produced, or will come from input not yet parsed.
    bool AnswerPending() const;
    // Bytes held for this client: units not yet executed, answers being assembled and unread output.
    std::size_t BufferedBytes() const { return bufferedBytes_; }
    // Up to maxBytes of the ready answer, stopping after termChar when it is 0..255; end is set when the
    // chunk finishes the answer.
    std::string TakeOutput(SimTime now, std::size_t maxBytes, int termChar, bool& end);
    // A read found nothing to answer: queues -420.
    void QueryUnterminated();

    std::uint8_t StatusByte(SimTime now) const; // with MSS in bit 6, as *STB? reports it
    std::uint8_t SerialPoll(SimTime now);       // with RQS in bit 6, which the poll clears
    void DeviceClear();                         // clears input and output, cancels pending *OPC/*OPC?
    long long MessagesReceived() const { return messages_; }

  private:
    struct Unit {
        std::string text;
        bool endsMessage = false;
    };
    struct Part {
        std::string text;
        SimTime readyAt = 0;
    };
    struct Response {
        std::string data;
        SimTime readyAt = 0;
        std::size_t offset = 0;
    };

    void ProcessInput(SimTime now);
    void ExecuteUnit(const std::string& unit, SimTime now);
    void ExecuteCommon(const ReceivedHeader& header, const std::string& params, SimTime now);
    bool ExecuteBuiltin(const std::vector<std::string>& mnemonics, bool query, const std::string& params,
                        SimTime now);
    void ExecuteDefined(std::size_t index, bool query, const std::string& params, SimTime now);
    void Answer(std::string text, SimTime readyAt);
    bool FaultApplies(const FaultSpec& fault) const;
    bool NeverCompletes() const;
    void FinishMessage();
    void UpdateServiceRequest(SimTime now);
    bool ParseRegisterValue(const std::string& params, std::uint8_t& value);

    Device& device_;
    int id_;
    bool interruptUnreadOutput_;
    std::deque<Unit> input_;
    SimTime waitUntil_ = 0;                  // *WAI: no unit runs before this
    std::vector<std::string> path_;          // current header path for relative headers
    std::vector<std::string> unitMnemonics_; // header of the unit being executed, resolved
    std::string unitCommon_;
    std::vector<Part> parts_; // answers of the message being parsed
    std::deque<Response> output_;
    long long messages_ = 0;
    std::size_t bufferedBytes_ = 0;
    std::size_t partsBytes_ = 0;
    bool lastSummary_ = false;
    bool rqs_ = false;
};

} // namespace zep::instsim
