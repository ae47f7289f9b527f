// A scripted host for tests: message and input boxes answer from queues and are recorded, the
// clock is virtual and timers fire in order of due time, and the views record what they were told.
#pragma once

#include "host/Host.h"
#include "host/TimerQueue.h"

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zep::test {

class FakeHost : public Host, public HostView {
  public:
    struct Box {
        std::string text;
        int style;
        std::string title;
    };
    struct Input {
        std::string prompt;
        std::string title;
        std::string defaultAnswer;
    };

    std::vector<Box> boxes;
    std::deque<int> answers; // empty: every box answers Ok
    std::vector<Input> inputs;
    std::deque<std::optional<std::string>> inputAnswers; // empty: every input box is cancelled
    std::string clipboardRtf;
    std::string clipboardText;
    // What the views were told, one line per call ("BlockStatus 2 running", "Progress scan 1/4").
    std::vector<std::string> viewLog;
    // User actions: each round of ProcessEvents first runs the next one (the stop button, ...).
    std::deque<std::function<void()>> events;
    size_t rounds = 0; // ProcessEvents calls so far
    size_t pauses = 0; // Pause calls so far

    // In a round where no scripted action ran and no timer was due, the round of events lets the virtual
    // clock run on to the next timer, or by IdleStep when none is pending, so a loop that waits for a timer
    // or a time-out ends after a finite number of rounds.
    bool autoAdvance = true;
    HostTime idleStep = std::chrono::milliseconds(1);

    int MessageBox(std::string_view text, int style, std::string_view title) override;
    std::optional<std::string> InputBox(std::string_view prompt, std::string_view title,
                                        std::string_view defaultAnswer) override;
    void ProcessEvents() override;
    // The virtual clock moves on by duration, each timer firing at its own due time (see Advance).
    void Pause(HostTime duration) override;
    HostTime Now() const override { return now_; }
    TimerId StartTimer(HostTime delay, TimerCallback callback) override;
    void CancelTimer(TimerId id) override { timers_.Cancel(id); }
    void SetClipboardRtf(std::string_view rtf) override { clipboardRtf = rtf; }
    void SetClipboardText(std::string_view text) override { clipboardText = text; }
    HostView& View() override { return *this; }

    void BlockStatus(int blockIndex, std::string_view state) override;
    void MarkCommand(int lineIndex) override;
    void NextStep(std::string_view text) override;
    void ClearScanLines() override;
    void ScanLine(std::string_view text) override;
    void Indicator(std::string_view name, bool on) override;
    void Progress(std::string_view what, int done, int total) override;

    // Moves the clock on by delay, firing each timer at its own due time on the way.
    void Advance(HostTime delay);
    size_t PendingTimers() const { return timers_.Size(); }

  private:
    HostTime now_{0};
    TimerQueue timers_;
};

} // namespace zep::test
