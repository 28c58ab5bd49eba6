#pragma once

#include <QByteArray>
#include <QString>

namespace tavrin {

// An EEPROM image file: raw bytes, one per cell, nothing else; or, where the name ends in .hex,
// .eep or .ihex (any case), Intel HEX.
class ImageFile {
public:
    struct ReadResult {
        QByteArray bytes;
        QString error; // for the operator, naming the file; empty on success
        bool ok() const { return error.isEmpty(); }
    };

    // Refuses a path that does not exist or is not a regular file; creates nothing.
    static ReadResult read(const QString& path);
    // Replaces the file atomically: on failure the file that was there is left as it was, and no
    // temporary file remains. Where the folder cannot take a temporary file, an existing writable
    // file is written in place. Refuses anything but an ordinary file (or a link to one) and a new
    // name. Returns the error for the operator, empty on success.
    static QString write(const QString& path, const QByteArray& bytes);
};

} // namespace tavrin
