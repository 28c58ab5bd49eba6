#pragma once

#include <QString>

#include <chrono>
#include <functional>

namespace tavrin {

// A periodic tick delivered through the message queue, only while enabled.
class TickSource {
public:
    virtual ~TickSource() = default;

    virtual void setInterval(std::chrono::milliseconds interval) = 0;
    virtual void enable() = 0;
    virtual void disable() = 0;
    virtual bool isEnabled() const = 0;
    virtual void setTickHandler(std::function<void()> handler) = 0;
    // Empty while the ticks come; once the system's timer has failed, what the system said. No
    // tick comes after that.
    virtual QString failure() const = 0;
};

} // namespace tavrin
