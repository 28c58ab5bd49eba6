#pragma once

#include "link/Outcome.h"

#include <QString>

#include <chrono>

namespace tavrin {

class TickSource;
class Waiter;

// Timed waits counted in ticks: each tick of Timer1 adds 20 units to TimerB.
class PacingTimer {
public:
    static constexpr std::chrono::milliseconds TickInterval{10};
    static constexpr qint16 UnitsPerTick = 20;

    PacingTimer(TickSource& timer1, Waiter& waiter);

    // Waits until TimerB, counted from 0, reaches sec units: Pause(5) lasts one tick, Pause(2000)
    // one hundred. Ends early only when the program is closing.
    Outcome Pause(int sec);
    void Timer1_Timer();

    qint16 TimerB() const { return m_timerB; }
    // Empty while the ticks come; what the system said once its timer failed.
    QString failure() const;

private:
    TickSource& m_timer1;
    Waiter& m_waiter;
    qint16 m_timerB = 0;
};

} // namespace tavrin
