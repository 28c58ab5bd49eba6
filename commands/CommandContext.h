#pragma once

#include "commands/CommandEnd.h"
#include "link/Outcome.h"

namespace tavrin {

class CommandReporter;
class DeviceProtocol;
class ImageDialog;
class MessageBox;
class PacingTimer;
class SerialLink;
class Waiter;

// What the commands work with: the device link, the image dialog, message boxes and the reporter.
class CommandContext {
public:
    CommandContext(SerialLink& link, DeviceProtocol& protocol, PacingTimer& pacing, Waiter& waiter,
                   ImageDialog& dialog, MessageBox& messages, CommandReporter& reporter);

    // False, after telling the operator to choose one, when no port is open.
    bool requirePort();
    // How a command ends after a step that ended so; Closing whenever the program is closing.
    CommandEnd endFor(Outcome outcome) const;

    SerialLink& link;
    DeviceProtocol& protocol;
    PacingTimer& pacing;
    Waiter& waiter;
    ImageDialog& dialog;
    MessageBox& messages;
    CommandReporter& reporter;
};

} // namespace tavrin
