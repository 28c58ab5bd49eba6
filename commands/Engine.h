#pragma once

#include "commands/CommandContext.h"
#include "commands/CommandReporter.h"
#include "commands/CommandRunner.h"
#include "image/ImageDialog.h"
#include "link/DeviceProtocol.h"
#include "link/PacingTimer.h"
#include "link/SerialLink.h"
#include "link/Waiter.h"

namespace tavrin {

class FileDialog;
class MessagePump;
class OperatorQuestions;
class SerialControl;
class TickSource;

// The device link and the commands, wired once from the platform's parts. The window, the command
// line, the tests and the benchmark each run on one.
class Engine {
public:
    struct Platform {
        MessagePump& pump;
        TickSource& timer1;
        SerialControl& comm;
        FileDialog& files;
        // Who answers a command's questions; none: nobody, so none is asked.
        OperatorQuestions* questions = nullptr;
    };

    explicit Engine(const Platform& platform);
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    Waiter& waiter() { return m_waiter; }
    PacingTimer& pacing() { return m_pacing; }
    SerialLink& link() { return m_link; }
    DeviceProtocol& protocol() { return m_protocol; }
    CommandReporter& reporter() { return m_reporter; }
    CommandContext& context() { return m_context; }
    CommandRunner& runner() { return m_runner; }

private:
    Waiter m_waiter;
    PacingTimer m_pacing;
    SerialLink m_link;
    DeviceProtocol m_protocol;
    ImageDialog m_dialog;
    CommandReporter m_reporter;
    CommandContext m_context;
    CommandRunner m_runner;
};

} // namespace tavrin
