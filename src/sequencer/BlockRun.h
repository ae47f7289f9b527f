// Running one block of the loaded test case: the pre-run check of the instruments, the passes over
// the block's lines (sequential or parallel), loops with their histories, every command kind, and
// the report's entries from the block's start to its execution times.
#pragma once

#include "host/Host.h"
#include "ieee/IEEE.h"
#include "instio/AvailableInstrument.h"
#include "report/ReportLines.h"
#include "report/Statistics.h"
#include "testdef/TestModel.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zep {

// What a run reads besides the model, the report options and the instrument list.
struct RunOptions {
    bool Simulation = false;
    // The scan that fills the instrument list when not simulating.
    std::function<void()> LoadInstruments;
};

class BlockRun {
  public:
    BlockRun(Host& host, TestModel& model, std::vector<AvailableInstrument>& instruments,
             ReportContext& context, ErrorNotifier& notifier, IEEE& ieee, bool& blockError);

    void SetOptions(RunOptions options) { options_ = std::move(options); }
    // The list is scanned again at the next run.
    void InvalidateInstruments() { instrumentsLoaded_ = false; }

    // Runs block blockIndex of the model: the outcome is in its RunState and ErrorFlag, the lines
    // and the report.
    void Go(int blockIndex);

    // Step mode: each line waits in the next-step window until Next is pressed or the mode ends.
    bool StepMode = false;
    void PressNext() { next_ = true; }

    // The histories of the last run, one per command line (for the statistics windows).
    const std::vector<LineHistory>& Histories() const { return histories_; }
    // Execution time of the last run in ms (per loop), in total and per instrument of the test case.
    double TotalMs() const { return totalMs_; }
    const std::vector<double>& InstrumentMs() const { return instrumentMs_; }

    // The pre-run check: assigns a device to every used instrument; false with the messages sent.
    bool CheckInstruments();
    void PrepareInstruments();

  private:
    bool CheckOnce(bool& anyCounted);
    void SetSendFlag(int blockIndex, size_t& labelWidth, int& linesToSend);
    bool CheckSend(size_t lineIndex) const;
    bool AllInstReady() const;
    void RunLine(size_t lineIndex, int loopCount, bool looping);
    void RunInstrumentLine(size_t lineIndex, int loopCount, bool looping);
    void RunKindLine(size_t lineIndex, int loopCount);
    void WaitForStep(size_t lineIndex);
    void WaitMilliseconds(double ms);
    std::string RunShellCommand(const std::string& command);
    // The device the line's instrument was assigned by the check; none for an unassigned one.
    const AvailableInstrument* DeviceOf(const CommandLine& line) const;

    Host& host_;
    TestModel& model_;
    std::vector<AvailableInstrument>& instruments_;
    ReportContext& context_;
    ErrorNotifier& notifier_;
    IEEE& ieee_;
    bool& blockError_;
    RunOptions options_;
    bool instrumentsLoaded_ = false;
    bool next_ = false;
    std::vector<LineHistory> histories_;
    double totalMs_ = 0;
    std::vector<double> instrumentMs_;
};

// A block's status field: "---" grey, "RUN" light yellow, "OK" light green, "STOP" red by its
// RunState; "ERR" in red, flashing, while its ErrorFlag is set.
struct BlockStatusField {
    std::string Text;
    int32_t BackColour = 0;
    bool Flashing = false;
};
BlockStatusField BlockStatus(const BlockDef& block);

// VB-style pattern match: "*" any text, "?" one character, "#" one digit, "[...]" one of a set.
bool LikeMatch(std::string_view text, std::string_view pattern);

} // namespace zep
