#include "FakeHost.h"

#include <algorithm>

namespace zep::test {

int FakeHost::MessageBox(std::string_view text, int style, std::string_view title) {
    boxes.push_back({std::string(text), style, std::string(title)});
    if (answers.empty()) return MsgAnswer::Ok;
    const int answer = answers.front();
    answers.pop_front();
    return answer;
}

std::optional<std::string> FakeHost::InputBox(std::string_view prompt, std::string_view title,
                                              std::string_view defaultAnswer) {
    inputs.push_back({std::string(prompt), std::string(title), std::string(defaultAnswer)});
    if (inputAnswers.empty()) return std::nullopt;
    auto answer = std::move(inputAnswers.front());
    inputAnswers.pop_front();
    return answer;
}

void FakeHost::ProcessEvents() {
    ++rounds;
    const bool acted = !events.empty();
    if (acted) {
        auto event = std::move(events.front());
        events.pop_front();
        event();
    }
    if (timers_.FireDue(now_) > 0 || acted || !autoAdvance) return;
    const auto next = timers_.NextDue();
    now_ = next ? std::max(now_, *next) : now_ + idleStep;
    timers_.FireDue(now_);
}

void FakeHost::Pause(HostTime duration) {
    ++pauses;
    if (!events.empty()) {
        auto event = std::move(events.front());
        events.pop_front();
        event();
    }
    Advance(duration);
}

TimerId FakeHost::StartTimer(HostTime delay, TimerCallback callback) {
    return timers_.Start(now_, delay, std::move(callback));
}

void FakeHost::Advance(HostTime delay) {
    const HostTime end = now_ + delay;
    while (true) {
        const auto next = timers_.NextDue();
        if (!next || *next > end) break;
        now_ = std::max(now_, *next);
        timers_.FireDue(now_);
    }
    now_ = end;
}

void FakeHost::BlockStatus(int blockIndex, std::string_view state) {
    viewLog.push_back("BlockStatus " + std::to_string(blockIndex) + " " + std::string(state));
}
void FakeHost::MarkCommand(int lineIndex) {
    viewLog.push_back("MarkCommand " + std::to_string(lineIndex));
}
void FakeHost::NextStep(std::string_view text) {
    viewLog.push_back("NextStep " + std::string(text));
}
void FakeHost::ClearScanLines() {
    viewLog.push_back("ClearScanLines");
}
void FakeHost::ScanLine(std::string_view text) {
    viewLog.push_back("ScanLine " + std::string(text));
}
void FakeHost::Indicator(std::string_view name, bool on) {
    viewLog.push_back("Indicator " + std::string(name) + (on ? " on" : " off"));
}
void FakeHost::Progress(std::string_view what, int done, int total) {
    viewLog.push_back("Progress " + std::string(what) + " " + std::to_string(done) + "/" +
                      std::to_string(total));
}

} // namespace zep::test
