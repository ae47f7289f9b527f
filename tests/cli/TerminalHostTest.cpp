// zep-cli's host through real pipes: box lines on the error stream, answers from the input stream,
// timers from event processing.
#include "cli/TerminalHost.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <string>
#include <unistd.h>

namespace zep {
namespace {

using namespace std::chrono_literals;

struct File {
    std::FILE* f = std::tmpfile();
    ~File() { std::fclose(f); }
    std::string Text() const {
        std::fflush(f);
        std::rewind(f);
        std::string text;
        for (int c; (c = std::fgetc(f)) != EOF;)
            text += static_cast<char>(c);
        return text;
    }
};

TEST(TerminalHost, BoxesAreLinesThatDoNotWaitAndInputComesLineByLine) {
    File in, out, err;
    std::fputs("first answer\r\n\nlast without line end", in.f);
    std::rewind(in.f);
    cli::TerminalHost host(in.f, out.f, err.f);
    EXPECT_EQ(host.MessageBox("Option B21 missing\r\nsequence is not executed!", MsgStyle::Critical, "ERROR"),
              MsgAnswer::Ok);
    // A question nobody answers keeps things as they are.
    EXPECT_EQ(host.MessageBox("Delete measurement report?", MsgStyle::YesNo | MsgStyle::Question, "CONFIRM"),
              MsgAnswer::No);
    EXPECT_EQ(err.Text(), "[ERROR] Option B21 missing\nsequence is not executed!\n"
                          "[CONFIRM] Delete measurement report?\n");
    EXPECT_EQ(host.InputBox("Answer to MEAS?", "INPUT", ""), "first answer");
    EXPECT_EQ(host.InputBox("Answer to MEAS?", "INPUT", ""), "");
    EXPECT_EQ(host.InputBox("Answer to MEAS?", "INPUT", ""), "last without line end");
    EXPECT_EQ(host.InputBox("Answer to MEAS?", "INPUT", ""), std::nullopt); // end of input: cancelled
    // Not a terminal: no prompts, no progress, scan lines exact on the output stream.
    host.View().Progress("scan", 1, 3);
    host.View().ScanLine(" >> \x1b[31m");
    EXPECT_EQ(out.Text(), " >> \x1b[31m\n");
    EXPECT_EQ(err.Text(), "[ERROR] Option B21 missing\nsequence is not executed!\n"
                          "[CONFIRM] Delete measurement report?\n");
}

TEST(TerminalHost, TimersFireFromEventProcessingOnceDue) {
    cli::TerminalHost host(stdin, stdout, stderr);
    int fired = 0;
    host.StartTimer(0ms, [&] { ++fired; });
    const TimerId later = host.StartTimer(1h, [&] { fired += 100; });
    EXPECT_EQ(fired, 0); // nothing runs outside event processing
    host.ProcessEvents();
    EXPECT_EQ(fired, 1);
    host.CancelTimer(later);
    host.ProcessEvents();
    EXPECT_EQ(fired, 1);

    // A pause lets a timer that falls due inside it fire, and lasts at least as long as asked.
    int pausedFired = 0;
    host.StartTimer(2ms, [&] { ++pausedFired; });
    const HostTime start = host.Now();
    host.Pause(10ms);
    EXPECT_EQ(pausedFired, 1);
    EXPECT_GE(host.Now() - start, 10ms);
}

TEST(TerminalHost, OnlyATerminalGetsEscapedText) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    std::FILE* terminal = std::fopen(::ptsname(master), "w");
    ASSERT_NE(terminal, nullptr);
    const std::string fromFile = "Level\x1b]0;pwned\x07 \xfc";
    EXPECT_EQ(cli::ForStream(terminal, fromFile), "Level\\x1B]0;pwned\\x07 \xc3\xbc");
    File file;
    EXPECT_EQ(cli::ForStream(file.f, fromFile), fromFile);
    std::fclose(terminal);
    ::close(master);
}

} // namespace
} // namespace zep
