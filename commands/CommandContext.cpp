#include "commands/CommandContext.h"

#include "link/Waiter.h"

namespace tavrin {

CommandContext::CommandContext(SerialLink& link, DeviceProtocol& protocol, PacingTimer& pacing,
                               Waiter& waiter, ImageDialog& dialog, CommandReporter& reporter,
                               OperatorQuestions* questions)
    : link(link)
    , protocol(protocol)
    , pacing(pacing)
    , waiter(waiter)
    , dialog(dialog)
    , reporter(reporter)
    , questions(questions) {}

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
        return CommandEnd::TimerFailed;
    case Outcome::PortLost:
        return CommandEnd::PortFailed;
    }
    return CommandEnd::PortFailed;
}

} // namespace tavrin
