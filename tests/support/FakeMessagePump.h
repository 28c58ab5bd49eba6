#pragma once

#include "VirtualTime.h"
#include "platform/MessagePump.h"

#include <functional>
#include <stdexcept>

namespace tavrin::test {

// Thrown when the program would wait for ever: nothing more will ever happen.
struct Stalled : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The message pump in virtual time. Waiting for more jumps straight to the next event. A wait
// with nothing left to happen, or beyond the horizon, calls the stall handler, which may end the
// wait (by closing, say); without one it throws Stalled.
class FakeMessagePump : public MessagePump {
public:
    explicit FakeMessagePump(VirtualTime& time);

    void processPending() override;
    void waitForMore(Clock::time_point deadline = Never) override;
    Clock::time_point now() const override { return Clock::time_point(m_time.now()); }

    void setStallHandler(std::function<void()> handler) { m_onStall = std::move(handler); }
    void setHorizon(VirtualTime::Duration horizon) { m_horizon = horizon; }
    // Runs before each pass over pending events, for a test to act inside a wait.
    void setBeforePass(std::function<void()> hook) { m_beforePass = std::move(hook); }

    int passes() const { return m_passes; }
    int stalls() const { return m_stalls; }

private:
    VirtualTime& m_time;
    std::function<void()> m_onStall;
    std::function<void()> m_beforePass;
    VirtualTime::Duration m_horizon = std::chrono::minutes(10);
    int m_passes = 0;
    int m_stalls = 0;
};

} // namespace tavrin::test
