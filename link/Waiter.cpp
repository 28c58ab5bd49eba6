#include "link/Waiter.h"

#include "platform/MessagePump.h"

namespace tavrin {

Waiter::Waiter(MessagePump& pump)
    : m_pump(pump) {}

void Waiter::pumpOnce() {
    m_pump.processPending();
}

Outcome Waiter::waitUntil(const std::function<bool()>& done,
                          MessagePump::Clock::time_point deadline) {
    for (;;) {
        m_pump.processPending();
        if (m_closing)
            return Outcome::Closing;
        if (done())
            return Outcome::Completed;
        if (m_pump.now() >= deadline)
            return Outcome::TimedOut;
        m_pump.waitForMore(deadline);
    }
}

void Waiter::close() {
    m_closing = true;
}

} // namespace tavrin
