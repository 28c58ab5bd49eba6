#pragma once

#include "platform/TickSource.h"

#include <QTimer>

namespace tavrin {

// A precise QTimer: ticks never come early, and they come through the event loop.
class QtTickSource : public TickSource {
public:
    QtTickSource();

    void setInterval(std::chrono::milliseconds interval) override;
    void enable() override;
    void disable() override;
    bool isEnabled() const override;
    void setTickHandler(std::function<void()> handler) override;

private:
    QTimer m_timer;
    std::function<void()> m_handler;
};

} // namespace tavrin
