#pragma once

#include "platform/MessagePump.h"

namespace tavrin {

// Pumps the Qt event loop of the calling thread.
class QtMessagePump : public MessagePump {
public:
    void processPending() override;
    void waitForMore() override;
};

} // namespace tavrin
