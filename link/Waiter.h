#pragma once

#include "link/Outcome.h"
#include "platform/MessagePump.h"

#include <functional>

namespace tavrin {

// Owns all event pumping of the program's waits, and ends every wait once the program closes.
class Waiter {
public:
    explicit Waiter(MessagePump& pump);

    // One pass over the pending events.
    void pumpOnce();
    // Pumps, then tests, until the test holds; sleeps between passes. The pump always runs before
    // the first test. Ends with Closing as soon as the program is closing, and with TimedOut once
    // the deadline has passed.
    Outcome waitUntil(const std::function<bool()>& done,
                      MessagePump::Clock::time_point deadline = MessagePump::Never);
    MessagePump::Clock::time_point now() const { return m_pump.now(); }

    void close();
    bool isClosing() const { return m_closing; }

private:
    MessagePump& m_pump;
    bool m_closing = false;
};

} // namespace tavrin
