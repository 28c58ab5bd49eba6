#pragma once

namespace tavrin {

// How a step that waits or talks to the device ended.
enum class Outcome {
    Completed,
    PortLost,    // the port is not open (it failed, could not be reopened, or was never chosen)
    TimedOut,    // the device did not answer in the time given
    Closing,     // the program is closing: do nothing more
    TimerFailed, // the system's timer stopped ticking: nothing more can be timed
};

} // namespace tavrin
