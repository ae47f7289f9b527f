// zep-cli's host: message boxes are lines "[TITLE] text" on standard error that do not wait, input
// boxes read the next line of standard input (end of input cancels), timers run on the steady
// clock from ProcessEvents, and the clipboard is kept in memory. On a terminal, progress shows on
// standard error and nothing from files reaches the screen raw.
#pragma once

#include "host/Host.h"
#include "host/TimerQueue.h"

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace zep::cli {

class TerminalHost final : public Host, public HostView {
  public:
    TerminalHost(std::FILE* in = stdin, std::FILE* out = stdout, std::FILE* err = stderr);

    // Ok; No for a yes/no question, as a box nobody answers must not delete or reload anything.
    int MessageBox(std::string_view text, int style, std::string_view title) override;
    std::optional<std::string> InputBox(std::string_view prompt, std::string_view title,
                                        std::string_view defaultAnswer) override;
    void ProcessEvents() override;
    void Pause(HostTime duration) override;
    HostTime Now() const override;
    TimerId StartTimer(HostTime delay, TimerCallback callback) override;
    void CancelTimer(TimerId id) override { timers_.Cancel(id); }
    void SetClipboardRtf(std::string_view rtf) override { clipboardRtf_ = rtf; }
    void SetClipboardText(std::string_view text) override { clipboardText_ = text; }
    HostView& View() override { return *this; }

    // The scan window's lines go to standard output as they happen (unless switched off, where
    // standard output holds something else).
    void ScanLine(std::string_view text) override;
    void ShowScanLines(bool show) { showScanLines_ = show; }
    // Step mode: the next line is shown as "[NEXT] text" on standard error and a line of standard
    // input presses Next (end of input too).
    void NextStep(std::string_view text) override;
    void SetNextHandler(std::function<void()> next) { next_ = std::move(next); }
    void Progress(std::string_view what, int done, int total) override;

    // SIGINT and SIGTERM from now on call handler from event processing (within a pause of at most
    // the time to the next timer), instead of ending the program.
    void SetInterruptHandler(std::function<void()> handler);
    // Called on every round of events (a remote-control socket polled for commands).
    void AddEventSource(std::function<void()> source) { sources_.push_back(std::move(source)); }
    // Input boxes answer at once with nothing, as a cancelled box (no one is at the terminal).
    void AnswerInputsEmpty(bool empty) { inputsEmpty_ = empty; }

    const std::string& ClipboardText() const { return clipboardText_; }
    const std::string& ClipboardRtf() const { return clipboardRtf_; }

  private:
    std::FILE* in_;
    std::FILE* out_;
    std::FILE* err_;
    bool inTerminal_;
    bool outTerminal_;
    bool errTerminal_;
    bool progressShown_ = false;
    bool showScanLines_ = true;
    TimerQueue timers_;
    std::string clipboardRtf_;
    std::string clipboardText_;

    void EndProgressLine();
    void CheckInterrupt();
    std::function<void()> interrupt_;
    std::function<void()> next_;
    std::vector<std::function<void()>> sources_;
    bool inputsEmpty_ = false;
};

// Text for a stream: made safe for the screen when the stream is a terminal, exact otherwise.
std::string ForStream(std::FILE* stream, std::string_view text);
// Writes text to standard output that way.
void WriteOut(std::string_view text);

} // namespace zep::cli
