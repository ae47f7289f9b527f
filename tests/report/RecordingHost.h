// A report host that records what the report asks of it and answers message boxes from a script.
#pragma once

#include "report/ReportHost.h"

#include <deque>
#include <string>
#include <vector>

namespace zep::testing {

struct RecordingHost : ReportHost {
    struct Box {
        std::string text;
        int style;
        std::string title;
    };
    std::vector<Box> boxes;
    std::vector<std::string> remote;
    std::deque<int> answers; // empty: every box answers Ok
    bool connected = false;
    std::string clipboardRtf;
    std::string clipboardText;

    int MessageBox(std::string_view text, int style, std::string_view title) override {
        boxes.push_back({std::string(text), style, std::string(title)});
        if (answers.empty()) return MsgAnswer::Ok;
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    bool RemoteConnected() const override { return connected; }
    void SendRemote(std::string_view message) override { remote.emplace_back(message); }
    void SetClipboardRtf(std::string_view rtf) override { clipboardRtf = rtf; }
    void SetClipboardText(std::string_view text) override { clipboardText = text; }
};

} // namespace zep::testing
