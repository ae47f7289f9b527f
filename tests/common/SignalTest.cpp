// Listeners that come and go while they are being called, and subscriptions that outlive the signal.
#include "common/Signal.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zep {
namespace {

TEST(Signal, ASubscriptionListensUntilItEnds) {
    Signal<int> signal;
    std::vector<int> got;
    {
        Subscription listening = signal.Subscribe([&](int value) { got.push_back(value); });
        signal.Emit(1);
        Subscription moved = std::move(listening);
        EXPECT_FALSE(listening);
        signal.Emit(2);
        EXPECT_EQ(signal.Size(), 1U);
    }
    signal.Emit(3);
    EXPECT_EQ(got, (std::vector<int>{1, 2}));
    EXPECT_TRUE(signal.Empty());
}

TEST(Signal, ListenersMayComeAndGoWhileTheyAreCalled) {
    Signal<> signal;
    std::vector<std::string> calls;
    std::optional<Subscription> first, second, third, added;
    first = signal.Subscribe([&] {
        calls.push_back("first");
        third.reset(); // removed before its turn: not called
        added = signal.Subscribe([&] { calls.push_back("added"); });
    });
    second = signal.Subscribe([&] {
        calls.push_back("second");
        second.reset(); // removes itself while running
    });
    third = signal.Subscribe([&] { calls.push_back("third"); });
    signal.Emit();
    EXPECT_EQ(calls, (std::vector<std::string>{"first", "second"}));
    calls.clear();
    first.reset();
    signal.Emit();
    EXPECT_EQ(calls, std::vector<std::string>{"added"}); // added last round, called from the next
}

TEST(Signal, ASubscriptionMayOutliveItsSignal) {
    Subscription listening;
    {
        Signal<> signal;
        listening = signal.Subscribe([] {});
        EXPECT_TRUE(listening);
    }
    listening.Reset(); // the signal is gone: nothing to undo, and nothing dangles
    EXPECT_FALSE(listening);
}

} // namespace
} // namespace zep
