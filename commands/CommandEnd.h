#pragma once

namespace tavrin {

// How a command ended, sorted by what the operator can do about it.
enum class CommandEnd {
    Done,        // ran to its end; the result has its verdict, and how the port cycle went
    NoPort,      // no port was open: nothing was sent
    NotStarted,  // another command was running, or the program is closing
    Cancelled,   // the operator cancelled the file dialog
    PortFailed,  // the port could not be opened or stopped working; the result says why
    FileFailed,  // the image file could not be opened or saved; the result says which and why
    TimedOut,    // the device did not answer within the reply timeout
    TimerFailed, // the system's timer stopped ticking; the result has what the system said
    Closing,     // the program is closing
};

} // namespace tavrin
