#pragma once

#include "image/FileProblem.h"

#include <QByteArray>
#include <QString>

namespace tavrin {

// An EEPROM image file: raw bytes, one per cell, nothing else; or, where the name ends in .hex,
// .eep or .ihex (any case), Intel HEX.
class ImageFile {
public:
    struct ReadResult {
        QByteArray bytes;
        FileProblem problem; // empty on success
        bool ok() const { return problem.isEmpty(); }
    };

    // Refuses a path that does not exist or is not a regular file; creates nothing.
    static ReadResult read(const QString& path);
    // Replaces the file atomically: on failure the file that was there is left as it was, and no
    // temporary file remains. Where the folder cannot take a temporary file, an existing writable
    // file is written in place. Refuses anything but an ordinary file (or a link to one) and a new
    // name. The problem, empty on success.
    static FileProblem write(const QString& path, const QByteArray& bytes);
};

} // namespace tavrin
