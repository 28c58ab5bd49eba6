#include "link/PacingTimer.h"

#include "link/Waiter.h"
#include "platform/TickSource.h"

namespace tavrin {

PacingTimer::PacingTimer(TickSource& timer1, Waiter& waiter)
    : m_timer1(timer1)
    , m_waiter(waiter) {
    m_timer1.setInterval(TickInterval);
    m_timer1.disable();
    m_timer1.setTickHandler([this] { Timer1_Timer(); });
}

Outcome PacingTimer::Pause(int sec) {
    m_timerB = 0;
    m_timer1.enable();
    const Outcome outcome =
        m_waiter.waitUntil([&] { return m_timerB >= sec || !m_timer1.failure().isEmpty(); });
    m_timer1.disable();
    if (outcome == Outcome::Completed && m_timerB < sec)
        return Outcome::TimerFailed;
    return outcome;
}

QString PacingTimer::failure() const {
    return m_timer1.failure();
}

void PacingTimer::Timer1_Timer() {
    m_timerB = static_cast<qint16>(m_timerB + UnitsPerTick);
}

} // namespace tavrin
