#include "production/SerialStamp.h"

#include "link/WireFormat.h"

#include <QObject>

namespace tavrin {

namespace {

// The largest number `digits` decimal digits hold; all of quint64 from 20 digits on.
quint64 largestWithDigits(int digits) {
    quint64 largest = 0;
    for (int i = 0; i < digits && largest <= (~quint64(0) - 9) / 10; ++i)
        largest = largest * 10 + 9;
    return digits >= 20 ? ~quint64(0) : largest;
}

} // namespace

std::optional<SerialStamp::Format> SerialStamp::parseFormat(const QString& name) {
    if (name == u"be")
        return Format::BigEndian;
    if (name == u"le")
        return Format::LittleEndian;
    if (name == u"bcd")
        return Format::Bcd;
    if (name == u"ascii")
        return Format::Ascii;
    return std::nullopt;
}

SerialStamp::SerialStamp(int address, int width, Format format)
    : m_address(address)
    , m_width(width)
    , m_format(format) {}

QString SerialStamp::placementProblem() const {
    if (m_width < 1)
        return QObject::tr("--serial-width must be at least 1");
    if (m_address < 0 || m_address + m_width > Wire::EepromSize)
        return QObject::tr("cells %1..%2 go beyond cell %3")
            .arg(m_address)
            .arg(m_address + m_width - 1)
            .arg(Wire::EepromSize - 1);
    return {};
}

quint64 SerialStamp::largest() const {
    switch (m_format) {
    case Format::BigEndian:
    case Format::LittleEndian:
        return m_width >= 8 ? ~quint64(0) : (quint64(1) << (8 * m_width)) - 1;
    case Format::Bcd:
        return largestWithDigits(2 * m_width);
    case Format::Ascii:
        return largestWithDigits(m_width);
    }
    return 0;
}

QString SerialStamp::fitProblem(quint64 number) const {
    if (number <= largest())
        return {};
    QString form;
    switch (m_format) {
    case Format::BigEndian:
    case Format::LittleEndian:
        form = m_width == 1 ? QObject::tr("1 byte") : QObject::tr("%1 bytes").arg(m_width);
        break;
    case Format::Bcd:
        form = m_width == 1 ? QObject::tr("1 BCD byte") : QObject::tr("%1 BCD bytes").arg(m_width);
        break;
    case Format::Ascii:
        form = m_width == 1 ? QObject::tr("1 digit") : QObject::tr("%1 digits").arg(m_width);
        break;
    }
    return QObject::tr("serial number %1 does not fit in %2").arg(number).arg(form);
}

QByteArray SerialStamp::encode(quint64 number) const {
    QByteArray cells(m_width, '\0');
    switch (m_format) {
    case Format::BigEndian:
    case Format::LittleEndian:
        for (int i = 0; i < m_width; ++i) {
            const int shift = 8 * i;
            const char byte = shift < 64 ? char((number >> shift) & 0xFF) : '\0';
            cells[m_format == Format::LittleEndian ? i : m_width - 1 - i] = byte;
        }
        break;
    case Format::Bcd:
        for (int i = m_width - 1; i >= 0; --i) {
            const int low = int(number % 10);
            number /= 10;
            const int high = int(number % 10);
            number /= 10;
            cells[i] = char(high << 4 | low);
        }
        break;
    case Format::Ascii:
        cells = QByteArray::number(number).rightJustified(m_width, '0');
        break;
    }
    return cells;
}

QByteArray SerialStamp::apply(const QByteArray& image, quint64 number) const {
    QByteArray stamped = image;
    if (stamped.size() < m_address + m_width)
        stamped.append(QByteArray(m_address + m_width - stamped.size(), Wire::FillByte));
    stamped.replace(m_address, m_width, encode(number));
    return stamped;
}

} // namespace tavrin
