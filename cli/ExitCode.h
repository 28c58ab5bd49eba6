#pragma once

namespace tavrin {

// What the command line's exit status tells a script.
enum class ExitCode {
    Done = 0,
    Differences = 1, // the verify found differences (after the retries)
    Usage = 2,       // unknown command or option, missing or bad argument
    NoReply = 3,     // the device did not answer within the timeout
    PortError = 4,   // absent, held by another program, no permission, lost during the command
    FileError = 5,   // missing, unreadable, cannot be saved
    ShortReply = 6,  // read: the device sent fewer than 64 cells; those that came were saved
    TimerFailed = 7, // the system's timer stopped ticking: nothing more could be timed
    Stopped = 8,     // the program was ending before the command ended
};

} // namespace tavrin
