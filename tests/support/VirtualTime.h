#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <unordered_map>

namespace tavrin::test {

// A scheduler in virtual time: events run only when the fake message pump dispatches them.
class VirtualTime {
public:
    using Duration = std::chrono::microseconds;

    Duration now() const { return m_now; }
    int schedule(Duration at, std::function<void()> action);
    int scheduleIn(Duration delay, std::function<void()> action) {
        return schedule(m_now + delay, std::move(action));
    }
    void cancel(int id);
    bool hasEvents() const { return !m_events.empty(); }
    Duration nextDue() const;

    // Runs everything due by now, including events those schedule for now.
    void runDue();
    // Moves time to the next event and runs what is due then; false when nothing is scheduled.
    bool advance();
    // Moves time to `at` (when later) and runs what is due by then.
    void advanceTo(Duration at);

private:
    using Key = std::pair<Duration, int>;
    Duration m_now{0};
    int m_nextId = 1;
    std::map<Key, std::function<void()>> m_events;
    std::unordered_map<int, Duration> m_dueOf;
};

} // namespace tavrin::test
