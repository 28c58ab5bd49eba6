#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>

#include <optional>

namespace tavrin {

// A cell whose byte in the image file is not what the device holds.
struct CellDifference {
    int address = 0;
    quint8 file = 0;
    std::optional<quint8> device; // none: the device's reply ended before this cell

    friend bool operator==(const CellDifference&, const CellDifference&) = default;
};

// Compares an image with the cells read from the device, for writing and for verifying alike.
class ImageComparison {
public:
    // Every cell of the image that the device does not hold, in address order.
    static QList<CellDifference> differences(const QByteArray& image, const QByteArray& cells);
    // One line per difference: its address, the file's value and the device's.
    static QStringList describe(const QList<CellDifference>& differences);
};

} // namespace tavrin
