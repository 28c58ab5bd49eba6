#pragma once

#include <QByteArray>
#include <QString>

namespace tavrin {

// EEPROM images as Intel HEX text, as firmware toolchains hand them out (.hex, .eep, .ihex).
class IntelHex {
public:
    struct Parsed {
        QByteArray cells;
        int errorLine = 0; // 1-based line of the fault; 0 when the whole text is at fault
        QString error;     // empty when the text is a good image
        bool ok() const { return error.isEmpty(); }
    };

    // Cells by address from the data records; cells no record covers below the highest address
    // are FF, and the image ends at the highest address. Refuses bad checksums, characters that
    // are not hexadecimal, records longer or shorter than their line, data beyond the cells, two
    // values for one cell, unknown record types and a missing end-of-file record.
    static Parsed parse(const QByteArray& text);
    // 16 data bytes a record, addresses from 0, then the end-of-file record.
    static QByteArray format(const QByteArray& cells);
    // Whether a file of this name holds Intel HEX rather than raw bytes.
    static bool isHexName(const QString& path);
};

} // namespace tavrin
