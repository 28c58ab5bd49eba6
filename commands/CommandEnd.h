#pragma once

namespace tavrin {

// How a command ended.
enum class CommandEnd {
    Done,       // ran to its end; the status label has its verdict
    NotStarted, // no port open, or another command was running
    Cancelled,  // the operator cancelled the file dialog
    Abandoned,  // the port failed or the image file could not be used; the operator was told
    Closing,    // the program is closing
};

} // namespace tavrin
