#pragma once

#include "platform/MessagePump.h"

namespace tavrin {

// Pumps the Qt event loop of the calling thread.
class QtMessagePump : public MessagePump {
public:
    // Call before the application object exists: picks the event dispatcher the waits rely on.
    static void prepareApplication();

    void processPending() override;
    void waitForMore() override;
};

} // namespace tavrin
