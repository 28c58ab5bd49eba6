#include "commands/CommandContext.h"

#include "link/SerialLink.h"
#include "link/Waiter.h"
#include "platform/MessageBox.h"

#include <QCoreApplication>

namespace tavrin {

CommandContext::CommandContext(SerialLink& link, DeviceProtocol& protocol, PacingTimer& pacing,
                               Waiter& waiter, ImageDialog& dialog, MessageBox& messages,
                               CommandReporter& reporter)
    : link(link)
    , protocol(protocol)
    , pacing(pacing)
    , waiter(waiter)
    , dialog(dialog)
    , messages(messages)
    , reporter(reporter) {}

bool CommandContext::requirePort() {
    if (link.PortOpen())
        return true;
    messages.tell(QStringLiteral("Please select COM port!"),
                  QStringLiteral("No COM port selected"));
    return false;
}

CommandEnd CommandContext::endFor(Outcome outcome) const {
    if (waiter.isClosing())
        return CommandEnd::Closing;
    switch (outcome) {
    case Outcome::Completed:
        return CommandEnd::Done;
    case Outcome::TimedOut:
        return CommandEnd::TimedOut;
    case Outcome::Closing:
        return CommandEnd::Closing;
    case Outcome::TimerFailed:
        link.reportTimerFailure();
        return CommandEnd::TimerFailed;
    case Outcome::PortLost:
        break;
    }
    return CommandEnd::PortFailed;
}

} // namespace tavrin
