// The remote-control protocol.
#include "remote/WinMsgRec.h"

#include "common/StringOp.h"
#include "sequencer/BlockRun.h"
#include "sequencer/VariableSubstitution.h"

#include <charconv>
#include <vector>

namespace zep {

WinMsgRec::WinMsgRec(Session& session, Transport transport)
    : session_(session), transport_(std::move(transport)) {}

void WinMsgRec::Hook() {
    session_.Remote().Connected = false;
    verbose_ = false;
    // Errors that would open a box go to the peer while it is connected (the session words them).
    session_.Remote().Send = [this](std::string_view message) {
        SendToPeer(message);
        // Also kept locally: the peer may have gone.
        if (errorLog_) errorLog_(message);
    };
    echo_ = session_.Report().OnAppend([this](const ReportGroup& group) {
        if (Connected() && verbose_) SendToPeer("EXECUTION::VERBOSE::" + group.text);
    });
}

void WinMsgRec::Unhook() {
    echo_.Reset();
    session_.Remote().Send = nullptr;
    session_.Remote().Connected = false;
}

void WinMsgRec::SendToPeer(std::string_view text) const {
    if (transport_) transport_(peer_, text);
}

void WinMsgRec::ProcessRemoteCommand(std::string_view received) {
    const std::string text = StripText(received);
    const size_t separator = text.find("::");
    if (separator == std::string::npos) return; // a bare word is no command
    const std::string command = text.substr(0, separator);
    const std::string argument = text.substr(separator + 2);
    if (command != "MSGTARGET") SendToPeer(command + "::STARTED");

    const TestModel& model = session_.Model();
    if (command == "MSGTARGET") {
        // Plain decimal digits within 32 bits, as a window handle is; anything else is no number.
        std::uint32_t handle = 0;
        const bool digits =
            !argument.empty() && argument.find_first_not_of("0123456789") == std::string::npos;
        const auto [end, ec] = std::from_chars(argument.data(), argument.data() + argument.size(), handle);
        if (digits && ec == std::errc() && end == argument.data() + argument.size()) {
            peer_ = handle;
            session_.Remote().Target = argument;
        }
    } else if (command == "CONNECT") {
        session_.Remote().Connected = true;
        session_.GetHost().View().Indicator("remote colours", true);
        SendToPeer("CONNECT::OK");
    } else if (command == "RELEASE") {
        session_.Remote().Connected = false;
        session_.GetHost().View().Indicator("remote colours", false);
        SendToPeer("RELEASE::OK");
    } else if (command == "EXECUTE") {
        Execute(argument);
    } else if (command == "RUN") {
        session_.RunAllBlocks();
    } else if ((command == "SELGROUP" || command == "SELTEST" || command == "SELTESTFILE") &&
               !session_.BlocksEnabled()) {
        // A selection would reload the test case under the running block.
        SendToPeer(command + "::ERROR::A block is running");
    } else if (command == "SELGROUP") {
        if (argument.empty()) {
            SendToPeer("SELGROUP::ERROR::No group passed");
        } else {
            size_t g = 0;
            while (g < model.Groups.size() && model.Groups[g] != argument)
                ++g;
            if (g < model.Groups.size()) {
                group_ = g;
                SendToPeer("SELGROUP::OK");
            } else {
                SendToPeer("SELGROUP::ERROR::Unknown group");
            }
        }
    } else if (command == "SELTEST" || command == "SELTESTFILE") {
        const bool byFile = command == "SELTESTFILE";
        if (argument.empty()) {
            SendToPeer(byFile ? "SELTESTFILE::ERROR::No test file name passed"
                              : "SELTEST::ERROR::No test name passed");
        } else {
            bool found = false;
            if (group_ < model.Groups.size()) {
                for (const auto& entry : session_.Loader().TestListAt(group_)) {
                    if (byFile ? entry.Key != argument : !LikeMatch(entry.Text, argument)) continue;
                    session_.SelectTest(entry);
                    found = true;
                    break;
                }
            }
            if (found)
                SendToPeer(command + "::OK");
            else
                SendToPeer(byFile ? "SELTESTFILE::ERROR::Test file not found"
                                  : "SELTEST::ERROR::Test not found");
        }
    } else if (command == "VERBOSE") {
        if (!argument.empty()) {
            verbose_ = ToUpperAscii(argument) == "ON";
            SendToPeer(verbose_ ? "VERBOSE::ON" : "VERBOSE::OFF");
        }
    } else if (command == "GETREPORT") {
        SendToPeer("GETREPORT::REPORT::" + std::string(session_.Report().VisibleRtf()));
        SendToPeer("GETREPORT::DONE");
    } else if (command == "GETVARRAW") {
        ResultSpec spec;
        int source = 0;
        if (!argument.empty() && FindVariable(model, argument, spec, source)) {
            SendToPeer("GETVARRAW::VARRAW::" + spec.Value);
            SendToPeer("GETVARRAW::DONE");
        } else {
            SendToPeer("GETVARRAW::ERROR::Variable " + argument + " not found");
        }
    } else {
        SendToPeer(command + "::ERROR::Command unknown");
    }
    SendToPeer(command + "::FINISHED");
}

void WinMsgRec::Execute(const std::string& caption) {
    bool found = false;
    if (caption.empty()) {
        SendToPeer("EXECUTE::ERROR:No test block name passed");
    } else {
        // The matching blocks first: a run may reload the test case and rebuild the buttons.
        std::vector<int> matching;
        for (size_t b = 0; b < session_.Model().Blocks.size(); ++b)
            if (session_.BlocksEnabled() && session_.Model().Blocks[b].Caption == caption)
                matching.push_back(static_cast<int>(b));
        for (const int b : matching) {
            SendToPeer("EXECUTE::" + caption + "::STARTED");
            session_.ExecuteBlock(b, false);
            SendToPeer("EXECUTE::" + caption + "::FINISHED");
            found = true;
        }
        if (!found) SendToPeer("EXECUTE::ERROR:Unknown test block");
    }
    if (!found) SendToPeer("EXECUTE::ERROR::Test step not found");
    SendToPeer("EXECUTE::" + caption + "::FINISHED");
}

} // namespace zep
