#pragma once

namespace tavrin {

// A point a command has reached, as its front end may show it.
enum class Stage {
    ReadStarted,
    ReadFinished,
    ReadAborted,
    WriteStarted,
    WritePassEnded, // every byte of a write pass sent
    WriteFinished,  // the write pass is over; its verify read starts
    VerifyStarted,
    VerifyEnded, // the last verify pass is over; the port cycle follows
    VerifyCompleted,
    VerifyFailed,
    WriteAborted,
};

} // namespace tavrin
