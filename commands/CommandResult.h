#pragma once

#include "commands/CommandEnd.h"
#include "image/FileProblem.h"
#include "image/ImageComparison.h"
#include "platform/SerialControl.h"

#include <QByteArray>
#include <QString>

namespace tavrin {

// What a command did, and every way it can have failed, for the front ends to word.
struct CommandResult {
    // How the port cycle after a command's work went.
    enum class PortCycle {
        NotRun,
        Reopened,
        NotReopened, // the port is closed now: portFailure or timerFailure says why
    };

    CommandEnd end = CommandEnd::NotStarted;
    // What the device's last reply held, as far as it announced.
    QByteArray cells;
    // What the last verify found; empty when the device holds the image.
    QList<CellDifference> differences;
    // The image as the last write pass sent it.
    QByteArray image;
    int writePasses = 0;
    // The port: its number (0 for a port chosen by its device) and the device behind it, empty
    // when there was none.
    int port = 0;
    QString device;
    PortCycle portCycle = PortCycle::NotRun;
    // With PortFailed, what went wrong with the port; after a port cycle NotReopened, why it could
    // not be opened again (None when the timer failed). Lost also when the port stopped working
    // after the command's last exchange.
    PortError portFailure;
    // With TimerFailed, or a port cycle NotReopened for want of ticks: what the system said.
    QString timerFailure;
    // With FileFailed: which file, and why.
    FileProblem fileFailure;
};

} // namespace tavrin
