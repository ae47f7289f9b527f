// Timers in due order on the virtual clock of the scripted host, and a timer-driven sequence that
// the fake host runs the same way every time.
#include "FakeHost.h"
#include "host/TimerQueue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zep {
namespace {

using namespace std::chrono_literals;

TEST(TimerQueue, FiresByDueTimeThenStartOrderAndSkipsCancelled) {
    TimerQueue queue;
    std::vector<std::string> fired;
    queue.Start(0ms, 30ms, [&] { fired.push_back("c"); });
    queue.Start(0ms, 10ms, [&] { fired.push_back("a"); });
    const TimerId cancelled = queue.Start(0ms, 10ms, [&] { fired.push_back("cancelled"); });
    queue.Start(0ms, 10ms, [&] { fired.push_back("b"); });
    queue.Cancel(cancelled);
    queue.Cancel(cancelled); // twice is harmless
    EXPECT_EQ(queue.FireDue(9ms), 0U);
    EXPECT_EQ(queue.FireDue(10ms), 2U);
    EXPECT_EQ(fired, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(queue.NextDue(), 30ms);
    EXPECT_EQ(queue.FireDue(1h), 1U);
    EXPECT_TRUE(queue.Empty());
    EXPECT_EQ(queue.NextDue(), std::nullopt);
}

TEST(TimerQueue, ATimerStartedByACallbackWaitsForTheNextRound) {
    TimerQueue queue;
    int runs = 0;
    std::function<void()> again = [&] {
        ++runs;
        queue.Start(5ms, 0ms, again); // restarts itself at once, forever
    };
    queue.Start(0ms, 5ms, again);
    // A callback may also cancel a timer that is due in the same round.
    TimerId victim = 0;
    queue.Start(0ms, 5ms, [&] { queue.Cancel(victim); });
    victim = queue.Start(0ms, 5ms, [&] { ADD_FAILURE() << "cancelled timer fired"; });
    EXPECT_EQ(queue.FireDue(5ms), 2U);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(queue.FireDue(5ms), 1U);
    EXPECT_EQ(runs, 2);
    EXPECT_EQ(queue.Size(), 1U);
}

// An instrument command that completes after a delay, polled every 100 ms, with a time-out: the
// shape of the simulated operation-complete wait.
struct PolledCompletion {
    explicit PolledCompletion(Host& h) : host(h) {}

    Host& host;
    std::vector<std::string> log;
    bool complete = false;
    bool finished = false;
    TimerId completion = 0;
    TimerId timeout = 0;
    TimerId poll = 0;

    void Start(HostTime completesAfter, HostTime timeoutAfter) {
        const HostTime start = host.Now();
        auto stamp = [this, start](const std::string& what) {
            log.push_back(
                std::to_string(
                    std::chrono::duration_cast<std::chrono::milliseconds>(host.Now() - start).count()) +
                " " + what);
        };
        completion = host.StartTimer(completesAfter, [this, stamp] {
            complete = true;
            stamp("complete");
        });
        timeout = host.StartTimer(timeoutAfter, [this, stamp] {
            stamp("timed out");
            host.CancelTimer(poll);
            host.CancelTimer(completion);
            finished = true;
        });
        Poll(stamp);
    }

    template <typename Stamp> void Poll(Stamp stamp) {
        poll = host.StartTimer(100ms, [this, stamp] {
            stamp(complete ? "poll: done" : "poll: busy");
            if (!complete) return Poll(stamp);
            host.CancelTimer(timeout);
            finished = true;
        });
    }
};

std::vector<std::string> RunCompletion(HostTime completesAfter, HostTime timeoutAfter, size_t& rounds) {
    test::FakeHost host;
    host.Advance(12345ms); // whatever the clock says when the run starts
    PolledCompletion run{host};
    run.Start(completesAfter, timeoutAfter);
    while (!run.finished)
        host.ProcessEvents();
    rounds = host.rounds;
    EXPECT_EQ(host.PendingTimers(), 0U);
    return run.log;
}

TEST(FakeHost, DrivesATimerSequenceTheSameWayEveryTime) {
    size_t rounds = 0;
    const auto log = RunCompletion(250ms, 1000ms, rounds);
    EXPECT_EQ(log, (std::vector<std::string>{"100 poll: busy", "200 poll: busy", "250 complete",
                                             "300 poll: done"}));
    EXPECT_EQ(rounds, 4U); // one round per timer: the clock runs on to the next one
    size_t again = 0;
    EXPECT_EQ(RunCompletion(250ms, 1000ms, again), log);
    EXPECT_EQ(again, rounds);

    // A completion after the time-out: the time-out ends the wait and the poll stops.
    const auto late = RunCompletion(250ms, 150ms, rounds);
    EXPECT_EQ(late, (std::vector<std::string>{"100 poll: busy", "150 timed out"}));
}

TEST(FakeHost, ScriptedEventsRunFirstAndAWaitWithoutTimersStillEnds) {
    test::FakeHost host;
    bool stopPressed = false;
    host.events.push_back([] {});
    host.events.push_back([&] { stopPressed = true; });
    int rounds = 0;
    while (!stopPressed) {
        host.ProcessEvents();
        ++rounds;
    }
    EXPECT_EQ(rounds, 2);
    EXPECT_EQ(host.Now(), 0ms); // scripted rounds do not move the clock

    // Nothing scheduled: each round moves the clock by the idle step, so a time-out is reached.
    const HostTime start = host.Now();
    while (host.Now() - start < 50ms)
        host.ProcessEvents();
    EXPECT_EQ(host.rounds, 52U);
}

TEST(FakeHost, APauseFiresEachTimerAtItsOwnTime) {
    test::FakeHost host;
    std::vector<long> firedAt;
    auto stamp = [&] { firedAt.push_back(static_cast<long>(host.Now().count())); };
    host.StartTimer(1500us, stamp);
    host.StartTimer(3ms, [&] {
        stamp();
        host.StartTimer(1ms, stamp); // due within the same pause
    });
    host.StartTimer(20ms, stamp);
    host.Pause(10ms);
    EXPECT_EQ(firedAt, (std::vector<long>{1500, 3000, 4000}));
    EXPECT_EQ(host.Now(), 10ms);
    EXPECT_EQ(host.PendingTimers(), 1U);
}

TEST(FakeHost, BoxesAnswerFromTheScript) {
    test::FakeHost host;
    host.answers = {MsgAnswer::No};
    host.inputAnswers = {std::string("-12.5")};
    Host& asHost = host;
    EXPECT_EQ(asHost.MessageBox("Testcase file was changed. Reload?", MsgStyle::YesNo | MsgStyle::Question,
                                "RELOAD?"),
              MsgAnswer::No);
    EXPECT_EQ(asHost.MessageBox("done", MsgStyle::Information, "INFO"), MsgAnswer::Ok);
    EXPECT_EQ(asHost.InputBox("Answer to MEAS?", "INPUT", ""), "-12.5");
    EXPECT_EQ(asHost.InputBox("Answer to MEAS?", "INPUT", ""), std::nullopt); // cancelled
    ASSERT_EQ(host.boxes.size(), 2U);
    EXPECT_EQ(host.boxes[0].title, "RELOAD?");
    ASSERT_EQ(host.inputs.size(), 2U);
    EXPECT_EQ(host.inputs[1].prompt, "Answer to MEAS?");
    asHost.View().BlockStatus(2, "running");
    asHost.View().Progress("scan", 1, 4);
    EXPECT_EQ(host.viewLog, (std::vector<std::string>{"BlockStatus 2 running", "Progress scan 1/4"}));
}

} // namespace
} // namespace zep
