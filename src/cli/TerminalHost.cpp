#include "cli/TerminalHost.h"

#include "common/Utf8.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <thread>
#include <unistd.h>

namespace zep::cli {

namespace {

volatile std::sig_atomic_t interrupted = 0;

extern "C" void NoteInterrupt(int) {
    interrupted = 1;
}

bool IsTerminal(std::FILE* stream) {
    return stream != nullptr && ::isatty(::fileno(stream)) == 1;
}

// Box texts join their lines with CR LF; a terminal line ends with LF alone.
std::string LinesOf(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i];
    }
    return out;
}

} // namespace

std::string ForStream(std::FILE* stream, std::string_view text) {
    return IsTerminal(stream) ? utf8::ForTerminal(text) : std::string(text);
}

void WriteOut(std::string_view text) {
    const std::string out = ForStream(stdout, text);
    std::fwrite(out.data(), 1, out.size(), stdout);
}

TerminalHost::TerminalHost(std::FILE* in, std::FILE* out, std::FILE* err)
    : in_(in), out_(out), err_(err), inTerminal_(IsTerminal(in)), outTerminal_(IsTerminal(out)),
      errTerminal_(IsTerminal(err)) {}

int TerminalHost::MessageBox(std::string_view text, int style, std::string_view title) {
    EndProgressLine();
    std::string line = "[" + std::string(title) + "] " + LinesOf(text);
    if (errTerminal_) line = utf8::ForTerminal(line);
    std::fprintf(err_, "%s\n", line.c_str());
    std::fflush(err_);
    const int buttons = style & 0xF;
    return buttons == MsgStyle::YesNo || buttons == 3 ? MsgAnswer::No : MsgAnswer::Ok; // 3: yes, no, cancel
}

std::optional<std::string> TerminalHost::InputBox(std::string_view prompt, std::string_view title,
                                                  std::string_view defaultAnswer) {
    EndProgressLine();
    if (inputsEmpty_) return std::nullopt;
    if (inTerminal_ && errTerminal_) {
        std::string ask = "[" + std::string(title) + "] " + LinesOf(prompt);
        if (!defaultAnswer.empty()) ask += " [" + std::string(defaultAnswer) + "]";
        std::fprintf(err_, "%s: ", utf8::ForTerminal(ask).c_str());
        std::fflush(err_);
    }
    std::string answer;
    int c = 0;
    while ((c = std::fgetc(in_)) != EOF && c != '\n')
        answer += static_cast<char>(c);
    if (c == EOF && answer.empty()) return std::nullopt;
    if (!answer.empty() && answer.back() == '\r') answer.pop_back();
    return answer;
}

void TerminalHost::SetInterruptHandler(std::function<void()> handler) {
    interrupt_ = std::move(handler);
    std::signal(SIGINT, NoteInterrupt);
    std::signal(SIGTERM, NoteInterrupt);
}

void TerminalHost::CheckInterrupt() {
    if (!interrupted || !interrupt_) return;
    interrupted = 0;
    interrupt_();
}

void TerminalHost::ProcessEvents() {
    CheckInterrupt();
    timers_.FireDue(Now());
    for (size_t i = 0; i < sources_.size(); ++i)
        sources_[i]();
}

void TerminalHost::Pause(HostTime duration) {
    const HostTime end = Now() + duration;
    while (true) {
        ProcessEvents();
        const HostTime now = Now();
        if (now >= end) return;
        // Short sleeps, so a signal is noticed soon whatever the pause.
        HostTime wake = std::min(end, now + std::chrono::milliseconds(10));
        if (const auto due = timers_.NextDue()) wake = std::min(wake, std::max(*due, now));
        std::this_thread::sleep_for(wake - now);
    }
}

HostTime TerminalHost::Now() const {
    return std::chrono::duration_cast<HostTime>(std::chrono::steady_clock::now().time_since_epoch());
}

TimerId TerminalHost::StartTimer(HostTime delay, TimerCallback callback) {
    return timers_.Start(Now(), delay, std::move(callback));
}

void TerminalHost::ScanLine(std::string_view text) {
    if (!showScanLines_) return;
    EndProgressLine();
    const std::string line = outTerminal_ ? utf8::ForTerminal(text) : std::string(text);
    std::fprintf(out_, "%s\n", line.c_str());
    std::fflush(out_);
}

void TerminalHost::NextStep(std::string_view text) {
    if (text.empty() || !next_) return;
    EndProgressLine();
    const std::string line = "[NEXT] " + LinesOf(text);
    std::fprintf(err_, "%s\n", errTerminal_ ? utf8::ForTerminal(line).c_str() : line.c_str());
    std::fflush(err_);
    for (int c = 0; (c = std::fgetc(in_)) != EOF && c != '\n';) {
    }
    next_();
}

void TerminalHost::Progress(std::string_view what, int done, int total) {
    if (!errTerminal_) return;
    if (total <= 0) {
        EndProgressLine();
        return;
    }
    std::fprintf(err_, "\r\033[K%s %d of %d", utf8::ForTerminal(what).c_str(), done, total);
    std::fflush(err_);
    progressShown_ = true;
}

void TerminalHost::EndProgressLine() {
    if (!progressShown_) return;
    std::fprintf(err_, "\r\033[K");
    progressShown_ = false;
}

} // namespace zep::cli
