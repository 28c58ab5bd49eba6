#pragma once

#include "platform/MessagePump.h"

#include <QTimer>

namespace tavrin {

// Pumps the Qt event loop of the calling thread.
class QtMessagePump : public MessagePump {
public:
    // Call before the application object exists: picks the event dispatcher the waits rely on.
    static void prepareApplication();

    QtMessagePump();

    void processPending() override;
    void waitForMore(Clock::time_point deadline = Never) override;
    Clock::time_point now() const override { return Clock::now(); }

private:
    QTimer m_wake; // ends a sleep at its deadline
};

} // namespace tavrin
