#pragma once

#include <QString>

namespace tavrin {

// Why an image file could not be opened or saved: what the front ends word for the operator.
struct FileProblem {
    enum class Action { Open, Save };
    enum class Kind {
        None,
        Missing,     // nothing by that name
        Folder,      // a folder by that name
        NotOrdinary, // a device, pipe or socket
        DeviceName,  // a name the system keeps for one of its devices, such as nul.bin
        NotOpened,   // the system would not open it
        NotRead,     // reading it failed
        NotHex,      // a .hex name, but not usable Intel HEX
        NotCreated,  // a save: the file could not be created
        NotSaved,    // a save: writing or committing it failed
    };

    Kind kind = Kind::None;
    Action action = Action::Open;
    QString path;
    QString reason; // the system's own words, or what the Intel HEX reader found
    int line = 0;   // the Intel HEX line at fault; 0 when the fault is not on one line

    bool isEmpty() const { return kind == Kind::None; }
};

} // namespace tavrin
