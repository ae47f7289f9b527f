// Pending timers in the order they fall due; the hosts fire them from their event processing.
#pragma once

#include "host/Host.h"

#include <map>
#include <optional>
#include <utility>

namespace zep {

class TimerQueue {
  public:
    TimerId Start(HostTime now, HostTime delay, TimerCallback callback);
    void Cancel(TimerId id);

    // Fires, in order of due time (then of starting), every timer due at now that was pending when
    // the call began; timers that callbacks start wait for the next call, so a timer that restarts
    // itself with no delay cannot keep one round of events from ending. Returns how many fired.
    size_t FireDue(HostTime now);

    std::optional<HostTime> NextDue() const;
    bool Empty() const { return pending_.empty(); }
    size_t Size() const { return pending_.size(); }

  private:
    // Keyed by (due time, id): ids grow, so equal due times keep the order of starting.
    std::map<std::pair<HostTime, TimerId>, TimerCallback> pending_;
    std::map<TimerId, HostTime> dueOf_;
    TimerId nextId_ = 1;
};

} // namespace zep
