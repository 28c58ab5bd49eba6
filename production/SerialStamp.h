#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace tavrin {

// Where and how a unit's serial number goes into the image's cells.
class SerialStamp {
public:
    enum class Format { BigEndian, LittleEndian, Bcd, Ascii };

    static std::optional<Format> parseFormat(const QString& name);

    SerialStamp(int address, int width, Format format);

    // Why the cells do not fit the EEPROM; empty when they do.
    QString placementProblem() const;
    // The largest number the cells hold.
    quint64 largest() const;
    // Why `number` does not fit the cells; empty when it does.
    QString fitProblem(quint64 number) const;
    // The image with `number` in its cells; a shorter image is filled up to them as the write
    // fills it.
    QByteArray apply(const QByteArray& image, quint64 number) const;
    QByteArray encode(quint64 number) const;

private:
    int m_address;
    int m_width;
    Format m_format;
};

} // namespace tavrin
