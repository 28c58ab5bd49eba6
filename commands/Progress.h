#pragma once

#include <QtGlobal>

namespace tavrin {

// How far a write or verify pass has come. A pass starts at zero bytes done; an image longer than
// the EEPROM is sent whole, so the count can pass the EEPROM's size.
struct Progress {
    enum class Pass { Write, Verify };

    Pass pass = Pass::Write;
    int bytesDone = 0;
    // How many bytes of a write pass come from the image; the rest are fill.
    int imageBytes = 0;
    // The byte just sent in a write pass.
    quint8 lastByte = 0;

    bool filling() const { return pass == Pass::Write && bytesDone > imageBytes; }
};

} // namespace tavrin
