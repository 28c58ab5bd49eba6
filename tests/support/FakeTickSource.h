#pragma once

#include "VirtualTime.h"
#include "platform/TickSource.h"

namespace tavrin::test {

// A periodic tick in virtual time, counting its ticks.
class FakeTickSource : public TickSource {
public:
    explicit FakeTickSource(VirtualTime& time);

    void setInterval(std::chrono::milliseconds interval) override { m_interval = interval; }
    void enable() override;
    void disable() override;
    bool isEnabled() const override { return m_event != 0; }
    void setTickHandler(std::function<void()> handler) override { m_handler = std::move(handler); }
    QString failure() const override { return m_failure; }
    // The timer stops for good, as when the system's wait fails.
    void fail(const QString& failure);

    std::chrono::milliseconds interval() const { return m_interval; }
    int ticks() const { return m_ticks; }

private:
    void scheduleNext();

    VirtualTime& m_time;
    std::chrono::milliseconds m_interval{0};
    std::function<void()> m_handler;
    int m_event = 0;
    int m_ticks = 0;
    QString m_failure;
};

} // namespace tavrin::test
