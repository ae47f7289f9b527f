// The one seam between the core and the user: message and input boxes, event processing, the clock
// and timers, the clipboard and the views that a run updates. The desktop application implements
// it with windows, zep-cli on the terminal, the tests with a scripted fake on a virtual clock.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace zep {

// Message box styles and answers, with the values of the Windows message-box flags.
namespace MsgStyle {
constexpr int Ok = 0;
constexpr int YesNo = 4;
constexpr int Critical = 16;
constexpr int Question = 32;
constexpr int Exclamation = 48;
constexpr int Information = 64;
} // namespace MsgStyle

namespace MsgAnswer {
constexpr int None = 0;
constexpr int Ok = 1;
constexpr int Cancel = 2;
constexpr int Yes = 6;
constexpr int No = 7;
} // namespace MsgAnswer

// Microseconds on a monotonic clock (stopwatches time instrument commands with it); only
// differences mean anything. Durations in milliseconds convert to it as they are.
using HostTime = std::chrono::microseconds;
using TimerId = std::uint64_t;
using TimerCallback = std::function<void()>;

// What a run shows while it goes. Every call has an empty default, so a host shows only what it
// has room for.
class HostView {
  public:
    virtual ~HostView() = default;

    // A block's state text in the block list ("running", "done", "aborted", ...).
    virtual void BlockStatus(int /*blockIndex*/, std::string_view /*state*/) {}
    // The command-list row being worked on; -1 removes the mark.
    virtual void MarkCommand(int /*lineIndex*/) {}
    // The next-step window of a stepped run; an empty text closes it.
    virtual void NextStep(std::string_view /*text*/) {}
    // The scan window: emptied when a scan starts, then one line per step.
    virtual void ClearScanLines() {}
    virtual void ScanLine(std::string_view /*text*/) {}
    // A named indicator (simulation, remote, running) switched on or off.
    virtual void Indicator(std::string_view /*name*/, bool /*on*/) {}
    // Progress of a long operation: done of total (total 0 ends it).
    virtual void Progress(std::string_view /*what*/, int /*done*/, int /*total*/) {}
};

class Host {
  public:
    virtual ~Host() = default;

    // Shows a message box and returns the pressed button (MsgAnswer).
    virtual int MessageBox(std::string_view text, int style, std::string_view title) = 0;
    // Asks for a line of text; nothing when the box was cancelled.
    virtual std::optional<std::string> InputBox(std::string_view prompt, std::string_view title,
                                                std::string_view defaultAnswer) = 0;

    // One round of pending events: repaint, the stop button, remote messages, due timers.
    virtual void ProcessEvents() = 0;
    // Lets events run, timers fire on time, for the whole duration; the caller looks at what they
    // changed (a stop, a completion) afterwards. Sleeps rather than spins where it can.
    virtual void Pause(HostTime duration) = 0;

    virtual HostTime Now() const = 0;
    // Calls callback once, from event processing, when delay has passed. Ids are never reused.
    virtual TimerId StartTimer(HostTime delay, TimerCallback callback) = 0;
    // Cancelling a timer that fired or was cancelled does nothing.
    virtual void CancelTimer(TimerId id) = 0;

    // Empties the clipboard and puts the RTF document, or the plain text, on it.
    virtual void SetClipboardRtf(std::string_view rtf) = 0;
    virtual void SetClipboardText(std::string_view text) = 0;

    virtual HostView& View() = 0;
};

} // namespace zep
