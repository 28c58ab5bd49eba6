#pragma once

#include "platform/TickSource.h"

#include <QTimer>

#include <chrono>
#include <memory>

namespace tavrin {

// Ticks through the event loop that never come early and hardly ever late. Qt's own timers wake in
// whole milliseconds on Linux (stretching every 10 ms pause by about half a millisecond) and, on
// Windows, catch up after a late tick; so the ticks come from a timerfd on Linux and from a
// high-resolution waitable timer on Windows, and a tick that would end a wait early is dropped.
class QtTickSource : public TickSource {
public:
    QtTickSource();
    ~QtTickSource() override;
    QtTickSource(const QtTickSource&) = delete;
    QtTickSource& operator=(const QtTickSource&) = delete;

    void setInterval(std::chrono::milliseconds interval) override;
    void enable() override;
    void disable() override;
    bool isEnabled() const override;
    void setTickHandler(std::function<void()> handler) override;
    QString failure() const override { return m_failure; }
    // Ticks delivered since construction, for the benchmark.
    int ticks() const { return m_ticks; }

private:
    // The system's own timer: a timerfd on Linux, a high-resolution waitable timer on Windows.
    class SystemTimer;

    void deliver();
    void fail(const QString& failure);

    std::chrono::milliseconds m_interval{0};
    bool m_enabled = false;
    std::function<void()> m_handler;
    int m_ticks = 0;
    // Since the last enabling: the n-th tick is due n intervals after it, never sooner.
    std::chrono::steady_clock::time_point m_enabledAt;
    int m_ticksSinceEnabled = 0;
    QString m_failure;
    std::unique_ptr<SystemTimer> m_system;
    QTimer m_fallback; // where the system's timer cannot be had
};

} // namespace tavrin
