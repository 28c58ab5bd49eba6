#pragma once

#include "commands/CommandEnd.h"
#include "link/Outcome.h"

namespace tavrin {

class CommandReporter;
class DeviceProtocol;
class ImageDialog;
class OperatorQuestions;
class PacingTimer;
class SerialLink;
class Waiter;

// What the commands work with: the device link, the image dialog, the reporter, and the operator
// to ask when there is one.
class CommandContext {
public:
    CommandContext(SerialLink& link, DeviceProtocol& protocol, PacingTimer& pacing, Waiter& waiter,
                   ImageDialog& dialog, CommandReporter& reporter, OperatorQuestions* questions);

    // How a command ends after a step that ended so; Closing whenever the program is closing.
    CommandEnd endFor(Outcome outcome) const;

    SerialLink& link;
    DeviceProtocol& protocol;
    PacingTimer& pacing;
    Waiter& waiter;
    ImageDialog& dialog;
    CommandReporter& reporter;
    OperatorQuestions* questions; // none: nobody to ask
};

} // namespace tavrin
