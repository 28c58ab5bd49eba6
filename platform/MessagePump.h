#pragma once

namespace tavrin {

// The window system's message queue as the waits see it.
class MessagePump {
public:
    virtual ~MessagePump() = default;

    // Dispatches everything pending (ticks, clicks, repaints, serial input, close) and returns.
    virtual void processPending() = 0;
    // Sleeps until at least one more event has arrived and dispatches it; costs no processor time
    // while nothing happens.
    virtual void waitForMore() = 0;
};

} // namespace tavrin
