// The instrument command layer: prepares an instrument's status reporting, sends a command and
// waits until the instrument reports completion through its status byte, sends queries, times
// every operation, reads the error queue after each command and records the outcome in the command
// line being executed. In simulation nothing is sent: completion comes from a host timer after a
// random delay and answers are typed into input boxes.
#pragma once

#include "host/Host.h"
#include "instio/AvailableInstrument.h"
#include "instio/VISAWrap.h"
#include "report/ReportLines.h"
#include "testdef/TestModel.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zep {

struct IEEEOptions {
    bool Simulation = false;
    float SimMaxTime = 100.0F; // ms
    bool IEEEDisp = false;     // mark the finished line in the command list window
};

// A query's answer and how long it took.
struct QueryResult {
    std::string Answer;
    double Milliseconds = 0;
};

class IEEE {
  public:
    // The layer works on the session's instrument list and test model; error entries go to the
    // report through context (which also raises the block error when the settings say so); the
    // block-error flag ends every wait.
    IEEE(Host& host, std::vector<AvailableInstrument>& instruments, TestModel& model, ReportContext& context,
         bool& blockError);

    void SetOptions(const IEEEOptions& options) { options_ = options; }
    const IEEEOptions& Options() const { return options_; }
    // The access layer of real instruments; none in simulation.
    void SetWrap(VISAWrap* wrap) { wrap_ = wrap; }
    // r in [0, 1) for the simulated completion delays.
    void SetRandom(std::function<double()> random) { random_ = std::move(random); }

    void InitInstrument(size_t index);
    // Sends a command and waits for its completion (in simulation it returns at once and the
    // completion comes from a timer: wait until the entry is no longer Busy). lineIndex is the
    // command line being executed; the instrument's need records it.
    void SendCommand(size_t index, std::string_view command, int32_t lineIndex, bool longTimeout);
    QueryResult QueryCommand(size_t index, std::string_view command);
    // An IEEE 488.2 definite-length block, not cut or stripped.
    QueryResult QueryBlock(size_t index, std::string_view command);
    void SendAndWaitComplete(size_t index, std::string_view command);
    // The completion handler; returns the re-arm mask.
    int IEEENotify_Notify(size_t index);

    // At most this many answers are read from one error queue, so an instrument that reports an
    // error on every read cannot hold the layer.
    static constexpr int MaxErrorAnswers = 1000;
    // Every status-byte read of a wait is bounded by this time-out, so a silent instrument gives
    // the stop button its turn at least this often.
    static constexpr int PollTimeoutCode = 10; // 300 ms

  private:
    struct InstrumentState {
        HostTime started{0};
        TimerId simulationTimer = 0;
        ViUInt32 timeoutMs = 2000; // the session's time-out outside status-byte waits
        // A VISA failure during the command: "operation: status", reported by the completion.
        std::string visaFailure;
        // A read timed out: its answer may still come and must not be read as a status byte.
        bool answerOutstanding = false;
    };

    AvailableInstrument* Entry(size_t index);
    InstrumentState& State(size_t index);
    double ElapsedMs(size_t index) const;
    // Completion by status byte; false with the failure recorded when VISA failed meanwhile.
    bool WaitForServiceRequest(size_t index);
    // Error queue: result code (<0, 0, >0), the collected lines; false on a VISA failure.
    bool PollErrorQueue(size_t index, const std::string& query, int& code, std::string& lines);
    void FailVisa(size_t index, std::string_view operation, ViStatus status);
    void ReadEsr(size_t index);
    // Busy, the stopwatch and the answer: from the instrument through exchange, or in simulation
    // typed into an input box.
    QueryResult TimedQuery(size_t index, std::string_view command,
                           const std::function<std::string()>& exchange);
    // A query's write and read; notes an answer left outstanding by a read that timed out.
    ViStatus Query(size_t index, std::string_view command, std::string& buffer);
    CommandLine* RunningLine(size_t index);
    bool ClearCommandPrecedes(size_t index) const;

    Host& host_;
    std::vector<AvailableInstrument>& instruments_;
    TestModel& model_;
    ReportContext& context_;
    bool& blockError_;
    VISAWrap* wrap_ = nullptr;
    IEEEOptions options_;
    std::function<double()> random_;
    std::vector<InstrumentState> states_;
    std::string queryBuffer_;
};

} // namespace zep
