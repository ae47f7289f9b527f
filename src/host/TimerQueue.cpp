#include "host/TimerQueue.h"

#include <algorithm>

namespace zep {

TimerId TimerQueue::Start(HostTime now, HostTime delay, TimerCallback callback) {
    const TimerId id = nextId_++;
    const HostTime due = now + std::max(delay, HostTime{0});
    pending_.emplace(std::pair{due, id}, std::move(callback));
    dueOf_.emplace(id, due);
    return id;
}

void TimerQueue::Cancel(TimerId id) {
    const auto found = dueOf_.find(id);
    if (found == dueOf_.end()) return;
    pending_.erase({found->second, id});
    dueOf_.erase(found);
}

size_t TimerQueue::FireDue(HostTime now) {
    const TimerId startedBefore = nextId_;
    size_t fired = 0;
    auto next = pending_.begin();
    while (next != pending_.end() && next->first.first <= now) {
        if (next->first.second >= startedBefore) {
            ++next;
            continue;
        }
        const auto key = next->first;
        TimerCallback callback = std::move(next->second);
        pending_.erase(next);
        dueOf_.erase(key.second);
        ++fired;
        callback(); // may start or cancel timers: look the next one up again
        next = pending_.upper_bound(key);
    }
    return fired;
}

std::optional<HostTime> TimerQueue::NextDue() const {
    if (pending_.empty()) return std::nullopt;
    return pending_.begin()->first.first;
}

} // namespace zep
