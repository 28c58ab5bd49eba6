#include "FakeMessagePump.h"

namespace tavrin::test {

FakeMessagePump::FakeMessagePump(VirtualTime& time)
    : m_time(time) {}

void FakeMessagePump::processPending() {
    ++m_passes;
    if (m_beforePass)
        m_beforePass();
    m_time.runDue();
}

void FakeMessagePump::waitForMore(Clock::time_point deadline) {
    const bool bounded = deadline != Never;
    const VirtualTime::Duration until =
        bounded ? std::chrono::ceil<VirtualTime::Duration>(deadline.time_since_epoch())
                : VirtualTime::Duration::max();
    if (m_time.hasEvents() && m_time.nextDue() <= m_horizon && m_time.nextDue() <= until) {
        m_time.advance();
        return;
    }
    if (bounded) {
        m_time.advanceTo(until);
        return;
    }
    if (++m_stalls > 3 || !m_onStall)
        throw Stalled("the program waits for something that will never happen");
    m_onStall();
}

} // namespace tavrin::test
