#include "image/IntelHex.h"

#include "link/WireFormat.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cctype>
#include <map>

namespace tavrin {

namespace {

enum RecordType : quint8 {
    Data = 0x00,
    EndOfFile = 0x01,
    ExtendedSegmentAddress = 0x02,
    StartSegmentAddress = 0x03,
    ExtendedLinearAddress = 0x04,
    StartLinearAddress = 0x05,
};

constexpr int BytesPerRecord = 16;

QString tr(const char* text) {
    return QCoreApplication::translate("tavrin::IntelHex", text);
}

QByteArray record(quint8 type, quint16 address, const QByteArray& data) {
    QByteArray bytes;
    bytes += char(data.size());
    bytes += char(address >> 8);
    bytes += char(address & 0xFF);
    bytes += char(type);
    bytes += data;
    quint8 sum = 0;
    for (char byte : bytes)
        sum = quint8(sum + quint8(byte));
    bytes += char(quint8(-sum));
    return ':' + bytes.toHex().toUpper() + '\n';
}

} // namespace

bool IntelHex::isHexName(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == u"hex" || suffix == u"eep" || suffix == u"ihex";
}

IntelHex::Parsed IntelHex::parse(const QByteArray& text) {
    std::map<qint64, char> cells;
    qint64 base = 0;
    bool ended = false;
    int number = 0;
    const auto fail = [&](const QString& why) { return Parsed{{}, number, why}; };

    for (QByteArray line : text.split('\n')) {
        ++number;
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.trimmed().isEmpty())
            continue;
        if (line.at(0) != ':')
            return fail(tr("a record must start with \":\""));
        const QByteArray digits = line.mid(1);
        for (char c : digits)
            if (!std::isxdigit(quint8(c)))
                return fail(tr("\"%1\" is not a hexadecimal digit").arg(QLatin1Char(c)));
        if (digits.size() % 2 != 0 || digits.size() < 10)
            return fail(tr("the record is cut short"));
        const QByteArray bytes = QByteArray::fromHex(digits);
        const int count = quint8(bytes.at(0));
        if (bytes.size() != count + 5)
            return fail(bytes.size() < count + 5 ? tr("the record is longer than its line")
                                                 : tr("the line is longer than its record"));
        quint8 sum = 0;
        for (char byte : bytes)
            sum = quint8(sum + quint8(byte));
        if (sum != 0)
            return fail(tr("the checksum is wrong"));
        const qint64 offset = (quint8(bytes.at(1)) << 8) | quint8(bytes.at(2));
        const QByteArray data = bytes.mid(4, count);

        switch (quint8(bytes.at(3))) {
        case Data:
            for (int i = 0; i < count; ++i) {
                const qint64 address = base + offset + i;
                if (address >= Wire::EepromSize)
                    return fail(tr("cell %1 is beyond the %2 cells of the EEPROM")
                                    .arg(address)
                                    .arg(Wire::EepromSize));
                const auto [cell, added] = cells.emplace(address, data.at(i));
                if (!added && cell->second != data.at(i))
                    return fail(tr("cell %1 is given two different values").arg(address));
            }
            break;
        case EndOfFile:
            ended = true;
            break;
        case ExtendedSegmentAddress:
        case ExtendedLinearAddress:
            if (count != 2)
                return fail(tr("an address record holds two bytes"));
            base = ((quint8(data.at(0)) << 8) | quint8(data.at(1)));
            base <<= quint8(bytes.at(3)) == ExtendedSegmentAddress ? 4 : 16;
            break;
        case StartSegmentAddress:
        case StartLinearAddress:
            break; // where a processor would start: nothing to do with the cells
        default:
            return fail(
                tr("record type %1 is unknown").arg(quint8(bytes.at(3)), 2, 16, QChar(u'0')));
        }
        if (ended)
            break;
    }
    number = 0;
    if (!ended)
        return fail(tr("the end-of-file record is missing"));

    QByteArray image;
    if (!cells.empty())
        image.fill(Wire::FillByte, cells.rbegin()->first + 1);
    for (const auto& [address, value] : cells)
        image[address] = value;
    return {image, 0, {}};
}

QByteArray IntelHex::format(const QByteArray& cells) {
    QByteArray text;
    for (qsizetype at = 0; at < cells.size(); at += BytesPerRecord)
        text += record(Data, quint16(at), cells.mid(at, BytesPerRecord));
    return text + record(EndOfFile, 0, {});
}

} // namespace tavrin
