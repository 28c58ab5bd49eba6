#include "FileContents.h"

#include "image/ImageFile.h"
#include "image/IntelHex.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace tavrin;
using tavrin::test::fileContents;

namespace {

QByteArray cells(int count) {
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes += char(0xA0 ^ (i * 13));
    return bytes;
}

} // namespace

class tst_IntelHex : public QObject {
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void asToolchainsWriteIt();
    void refusals_data();
    void refusals();
    void fileNamesChooseTheFormat();
};

void tst_IntelHex::roundTrip_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("name");
    for (int count : {0, 10, 64})
        for (const char* name : {"image.hex", "IMAGE.EEP", "image.ihex"})
            QTest::addRow("%d cells, %s", count, name) << count << QString(name);
}

// Raw to HEX to raw, through the files as the window and the command line save and open them.
void tst_IntelHex::roundTrip() {
    QFETCH(int, count);
    QFETCH(QString, name);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);

    QVERIFY(ImageFile::write(path, cells(count)).isEmpty());

    const QByteArray text = fileContents(path);
    QVERIFY(text.endsWith(":00000001FF\n"));
    QCOMPARE(text.count('\n'), (count + 15) / 16 + 1);
    const ImageFile::ReadResult read = ImageFile::read(path);
    QVERIFY(read.ok());
    QCOMPARE(read.bytes.toHex(), cells(count).toHex());
}

// CRLF, records out of order and with gaps, a zero extended address and a start address.
void tst_IntelHex::asToolchainsWriteIt() {
    const QByteArray text = ":020000040000FA\r\n"
                            ":0400080001020304EA\r\n"
                            ":020000001122CB\r\n"
                            ":0400000500000000F7\r\n"
                            ":00000001FF\r\n";
    const IntelHex::Parsed parsed = IntelHex::parse(text);
    QCOMPARE(parsed.error, QString());
    QCOMPARE(parsed.cells.toHex(), QByteArray("1122ffffffffffff01020304"));
    // A segment base of 16 keeps cells 16.. within the EEPROM.
    const IntelHex::Parsed segment =
        IntelHex::parse(":020000020001FB\n:01000000AA55\n:00000001FF\n");
    QCOMPARE(segment.error, QString());
    QCOMPARE(segment.cells.size(), 17);
    QCOMPARE(quint8(segment.cells.at(16)), quint8(0xAA));
}

void tst_IntelHex::refusals_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("why");
    QTest::newRow("bad checksum") << QByteArray(":0100000011EF\n:00000001FF\n") << 1 << "checksum";
    QTest::newRow("not hexadecimal")
        << QByteArray(":00000001FF\n").prepend(":01000000G1EE\n") << 1 << "not a hexadecimal digit";
    QTest::newRow("record longer than its line")
        << QByteArray(":0200000011EE\n:00000001FF\n") << 1 << "longer than its line";
    QTest::newRow("data beyond cell 63")
        << QByteArray(":0100400011AE\n:00000001FF\n") << 1 << "cell 64 is beyond";
    QTest::newRow("address record beyond the cells")
        << QByteArray(":020000040001F9\n:0100000011EE\n:00000001FF\n") << 2 << "beyond";
    QTest::newRow("one cell, two values")
        << QByteArray(":0100050011E9\n:0100050022D8\n:00000001FF\n") << 2 << "two different";
    QTest::newRow("no end-of-file record")
        << QByteArray(":0100000011EE\n") << 0 << "end-of-file record is missing";
    QTest::newRow("no colon") << QByteArray("0100000011EE\n:00000001FF\n") << 1 << "start with";
    QTest::newRow("unknown record type")
        << QByteArray(":00000006FA\n:00000001FF\n") << 1 << "unknown";
}

// Each refusal names the file and the line; nothing of the image is taken.
void tst_IntelHex::refusals() {
    QFETCH(QByteArray, text);
    QFETCH(int, line);
    QFETCH(QString, why);
    QTemporaryDir dir;
    const QString path = dir.filePath("bad.eep");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
    file.close();

    const ImageFile::ReadResult read = ImageFile::read(path);

    QCOMPARE(read.problem.kind, FileProblem::Kind::NotHex);
    QCOMPARE(read.problem.path, path);
    QVERIFY2(read.problem.reason.contains(why), qPrintable(read.problem.reason));
    QCOMPARE(read.problem.line, line);
    QVERIFY(read.bytes.isEmpty());
}

void tst_IntelHex::fileNamesChooseTheFormat() {
    for (const char* name : {"a.hex", "a.HEX", "a.Eep", "b.ihex", "dir.hex/c.IHEX"})
        QVERIFY2(IntelHex::isHexName(name), name);
    for (const char* name : {"a.bin", "a", "hex", "a.hex.bin", "a.hexa", ".hex/a"})
        QVERIFY2(!IntelHex::isHexName(name), name);
}

QTEST_GUILESS_MAIN(tst_IntelHex)
#include "tst_IntelHex.moc"
