#include "commands/CommandContext.h"

#include "link/SerialLink.h"
#include "link/Waiter.h"
#include "platform/MessageBox.h"

#include <QCoreApplication>

namespace tavrin {

CommandContext::CommandContext(SerialLink& link, DeviceProtocol& protocol, PacingTimer& pacing,
                               Waiter& waiter, ImageDialog& dialog, MessageBox& messages,
                               StatusPanel& panel)
    : link(link)
    , protocol(protocol)
    , pacing(pacing)
    , waiter(waiter)
    , dialog(dialog)
    , messages(messages)
    , panel(panel) {}

bool CommandContext::requirePort() {
    if (link.PortOpen())
        return true;
    messages.tell(QStringLiteral("Please select COM port!"),
                  QStringLiteral("No COM port selected"));
    return false;
}

bool CommandContext::closing(Outcome outcome) const {
    return outcome == Outcome::Closing || waiter.isClosing();
}

} // namespace tavrin
