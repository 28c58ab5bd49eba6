#pragma once

#include "commands/CommandEnd.h"
#include "image/ImageComparison.h"
#include "platform/SerialControl.h"

#include <QByteArray>
#include <QString>

namespace tavrin {

// What a command did.
struct CommandResult {
    CommandEnd end = CommandEnd::NotStarted;
    // What the device's last reply held, as far as it announced.
    QByteArray cells;
    // What the last verify found; empty when the device holds the image.
    QList<CellDifference> differences;
    // The image as the last write pass sent it.
    QByteArray image;
    int writePasses = 0;
    // The device behind the port, empty when there was none.
    QString device;
    // Why the port failed, when the command ended with PortFailed.
    PortError::Kind portFailure = PortError::Kind::None;
};

} // namespace tavrin
