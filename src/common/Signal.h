// Listeners of one event. Subscribing returns a Subscription that unsubscribes when it ends, so a
// closing view cannot leave a callback behind. A listener may subscribe or unsubscribe listeners
// (itself included) while they are being called: a removed one is not called again, an added one is
// first called by the next emit. A Subscription may outlive its Signal.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace zep {

class Subscription {
  public:
    Subscription() = default;
    Subscription(std::function<void()> unsubscribe) : unsubscribe_(std::move(unsubscribe)) {}
    Subscription(Subscription&& other) noexcept : unsubscribe_(std::exchange(other.unsubscribe_, {})) {}
    Subscription& operator=(Subscription&& other) noexcept {
        if (this != &other) {
            Reset();
            unsubscribe_ = std::exchange(other.unsubscribe_, {});
        }
        return *this;
    }
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;
    ~Subscription() { Reset(); }

    void Reset() {
        if (auto unsubscribe = std::exchange(unsubscribe_, {})) unsubscribe();
    }
    explicit operator bool() const { return static_cast<bool>(unsubscribe_); }

  private:
    std::function<void()> unsubscribe_;
};

template <typename... Args> class Signal {
  public:
    using Listener = std::function<void(Args...)>;

    Signal() = default;
    Signal(const Signal&) = delete;
    Signal& operator=(const Signal&) = delete;
    // The listeners go with the signal (and its owner); the moved-from one starts empty.
    Signal(Signal&& other) : state_(std::exchange(other.state_, std::make_shared<State>())) {}
    Signal& operator=(Signal&& other) {
        if (this != &other) state_ = std::exchange(other.state_, std::make_shared<State>());
        return *this;
    }

    [[nodiscard]] Subscription Subscribe(Listener listener) {
        const std::uint64_t id = state_->nextId++;
        state_->entries.push_back({id, std::make_shared<Listener>(std::move(listener))});
        return Subscription([weak = std::weak_ptr<State>(state_), id] {
            if (auto state = weak.lock()) state->Remove(id);
        });
    }

    void Emit(Args... args) const {
        if (state_->entries.empty()) return;
        // The ids present now are the ones called; each is looked up again before its call, so a
        // listener removed by an earlier one is skipped. The shared_ptr keeps a listener alive
        // while it runs, even if it removes itself.
        const auto state = state_;
        const std::uint64_t end = state->nextId;
        std::uint64_t next = 0;
        while (true) {
            const auto found =
                std::lower_bound(state->entries.begin(), state->entries.end(), next,
                                 [](const Entry& entry, std::uint64_t id) { return entry.id < id; });
            if (found == state->entries.end() || found->id >= end) return;
            const std::shared_ptr<Listener> listener = found->listener;
            next = found->id + 1;
            (*listener)(args...);
        }
    }

    bool Empty() const { return state_->entries.empty(); }
    size_t Size() const { return state_->entries.size(); }

  private:
    struct Entry {
        std::uint64_t id;
        std::shared_ptr<Listener> listener;
    };
    struct State {
        std::vector<Entry> entries; // in order of subscribing, so by id
        std::uint64_t nextId = 0;
        void Remove(std::uint64_t id) {
            std::erase_if(entries, [id](const Entry& entry) { return entry.id == id; });
        }
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

} // namespace zep
