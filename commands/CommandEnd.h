#pragma once

namespace tavrin {

// How a command ended, sorted by what the operator can do about it.
enum class CommandEnd {
    Done,        // ran to its end; the status label has its verdict
    NotStarted,  // no port open, or another command was running
    Cancelled,   // the operator cancelled the file dialog
    PortFailed,  // the port failed or could not be reopened; the operator was told
    FileFailed,  // the image file could not be read or saved; the operator was told
    TimedOut,    // the device did not answer within the reply timeout
    TimerFailed, // the system's timer stopped ticking; the operator was told
    Closing,     // the program is closing
};

} // namespace tavrin
