#pragma once

#include <chrono>

namespace tavrin {

// The window system's message queue as the waits see it.
class MessagePump {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr Clock::time_point Never = Clock::time_point::max();

    virtual ~MessagePump() = default;

    // Dispatches everything pending (ticks, clicks, repaints, serial input, close) and returns.
    virtual void processPending() = 0;
    // Sleeps until at least one more event has arrived, or `deadline` has passed, and dispatches
    // what came; costs no processor time while nothing happens.
    virtual void waitForMore(Clock::time_point deadline = Never) = 0;
    virtual Clock::time_point now() const = 0;
};

} // namespace tavrin
