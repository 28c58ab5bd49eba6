#pragma once

#include "link/Outcome.h"

namespace tavrin {

class DeviceProtocol;
class ImageDialog;
class MessageBox;
class PacingTimer;
class SerialLink;
class StatusPanel;
class Waiter;

// What the commands work with: the device link, the image dialog, message boxes and the status.
class CommandContext {
public:
    CommandContext(SerialLink& link, DeviceProtocol& protocol, PacingTimer& pacing, Waiter& waiter,
                   ImageDialog& dialog, MessageBox& messages, StatusPanel& panel);

    // False, after telling the operator to choose one, when no port is open.
    bool requirePort();
    // Whether a step that did not complete ended because the program is closing.
    bool closing(Outcome outcome) const;

    SerialLink& link;
    DeviceProtocol& protocol;
    PacingTimer& pacing;
    Waiter& waiter;
    ImageDialog& dialog;
    MessageBox& messages;
    StatusPanel& panel;
};

} // namespace tavrin
