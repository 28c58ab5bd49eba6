#pragma once

#include "platform/TickSource.h"

#include <QTimer>

#include <memory>

class QSocketNotifier;

namespace tavrin {

// Ticks through the event loop that never come early and, on Linux, hardly ever late: Qt's own
// timers wake in whole milliseconds, which stretches every 10 ms pause by about half a
// millisecond, so there the ticks come from a timerfd watched by the event loop.
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
    // Ticks delivered since construction, for the benchmark.
    int ticks() const { return m_ticks; }

private:
    void deliver();

    std::chrono::milliseconds m_interval{0};
    bool m_enabled = false;
    std::function<void()> m_handler;
    int m_ticks = 0;
    int m_timerFd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QTimer m_fallback; // where there is no timerfd
};

} // namespace tavrin
