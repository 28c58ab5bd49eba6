#include "image/ImageComparison.h"

#include <QObject>

namespace tavrin {

namespace {

QString hex(int value) {
    return QStringLiteral("%1").arg(value, 2, 16, QChar(u'0')).toUpper();
}

} // namespace

QList<CellDifference> ImageComparison::differences(const QByteArray& image,
                                                   const QByteArray& cells) {
    QList<CellDifference> found;
    for (qsizetype i = 0; i < image.size(); ++i) {
        if (i >= cells.size())
            found.append({int(i), quint8(image.at(i)), std::nullopt});
        else if (image.at(i) != cells.at(i))
            found.append({int(i), quint8(image.at(i)), quint8(cells.at(i))});
    }
    return found;
}

QStringList ImageComparison::describe(const QList<CellDifference>& differences) {
    QStringList lines;
    for (const CellDifference& cell : differences) {
        lines << (cell.device ? QObject::tr("Address %1: file %2, device %3")
                                    .arg(hex(cell.address), hex(cell.file), hex(*cell.device))
                              : QObject::tr("Address %1: file %2, no byte from the device")
                                    .arg(hex(cell.address), hex(cell.file)));
    }
    return lines;
}

} // namespace tavrin
