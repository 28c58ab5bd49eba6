// Serial numbers, backups, the log and a batch of units, in virtual time against the device model.

#include "FileContents.h"
#include "LinkRig.h"

#include "image/ImageFile.h"
#include "production/NumberText.h"
#include "production/ProductionRun.h"
#include "production/SerialCounter.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace tavrin;
using namespace tavrin::test;
using namespace std::chrono_literals;

namespace {

// The engine on fakes with an image, a counter at 1000 and a folder for backups and the log.
struct ProductionRig : LinkRig {
    explicit ProductionRig(DeviceFaults faults = {})
        : LinkRig(std::move(faults)) {
        if (!ImageFile::write(path("image.bin"), QByteArray(16, 'i')).isEmpty() ||
            !counter.open(1000).isEmpty())
            qFatal("cannot set up the production rig");
        files.chooseAlways(path("image.bin"));
    }
    QString path(const QString& name) const { return dir.filePath(name); }
    ProductionRun::Options options() {
        return {SerialStamp(0x3C, 4, SerialStamp::Format::BigEndian),
                &counter,
                path("backups"),
                path("units.jsonl"),
                0,
                PortChoice{1, {}}};
    }
    QList<QJsonObject> logged() const {
        QList<QJsonObject> lines;
        if (!QFile::exists(path("units.jsonl")))
            return lines;
        for (const QByteArray& line : fileContents(path("units.jsonl")).split('\n'))
            if (!line.isEmpty())
                lines << QJsonDocument::fromJson(line).object();
        return lines;
    }

    QTemporaryDir dir;
    SerialCounter counter{dir.filePath("serial.txt")};
};

QByteArray stamped(quint32 serial) {
    QByteArray cells = QByteArray(16, 'i') + QByteArray(64 - 16, char(0xFF));
    for (int i = 0; i < 4; ++i)
        cells[0x3C + i] = char(serial >> (24 - 8 * i));
    return cells;
}

} // namespace

class tst_ProductionRun : public QObject {
    Q_OBJECT

private slots:
    void stamps_data();
    void stamps();
    void numbersReadOneWay_data();
    void numbersReadOneWay();
    void numberIsSpentBeforeTheFirstByte();
    void batchOfThreeUnits();
    void shortReplyIsNoBackup_data();
    void shortReplyIsNoBackup();
    void unitNotWrittenWithoutItsRecord_data();
    void unitNotWrittenWithoutItsRecord();
};

void tst_ProductionRun::stamps_data() {
    QTest::addColumn<SerialStamp::Format>("format");
    QTest::addColumn<int>("width");
    QTest::addColumn<quint64>("number");
    QTest::addColumn<QByteArray>("cells"); // empty: does not fit
    using F = SerialStamp::Format;
    QTest::newRow("be") << F::BigEndian << 4 << quint64(0x01020304)
                        << QByteArray::fromHex("01020304");
    QTest::newRow("le") << F::LittleEndian << 3 << quint64(0x010203)
                        << QByteArray::fromHex("030201");
    QTest::newRow("be too big") << F::BigEndian << 2 << quint64(0x10000) << QByteArray();
    QTest::newRow("be 8 bytes") << F::BigEndian << 8 << ~quint64(0) << QByteArray(8, char(0xFF));
    QTest::newRow("bcd") << F::Bcd << 3 << quint64(12345) << QByteArray::fromHex("012345");
    QTest::newRow("bcd too big") << F::Bcd << 2 << quint64(10000) << QByteArray();
    QTest::newRow("ascii") << F::Ascii << 6 << quint64(1234) << QByteArray("001234");
    QTest::newRow("ascii too big") << F::Ascii << 3 << quint64(1000) << QByteArray();
}

void tst_ProductionRun::stamps() {
    QFETCH(SerialStamp::Format, format);
    QFETCH(int, width);
    QFETCH(quint64, number);
    QFETCH(QByteArray, cells);
    const SerialStamp stamp(2, width, format);
    QCOMPARE(stamp.fitProblem(number).isEmpty(), !cells.isEmpty());
    if (!cells.isEmpty())
        QCOMPARE(stamp.apply("ab", number).toHex(), ("ab" + cells).toHex());
}

void tst_ProductionRun::numbersReadOneWay_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<NumberText::Problem>("problem");
    QTest::addColumn<quint64>("value");
    using P = NumberText::Problem;
    QTest::newRow("decimal") << "1000" << P::None << quint64(1000);
    QTest::newRow("white space around") << " \t12 \n" << P::None << quint64(12);
    QTest::newRow("hexadecimal") << "0x3E8" << P::None << quint64(1000);
    QTest::newRow("hexadecimal, 0X and small letters") << "0X3e8" << P::None << quint64(1000);
    QTest::newRow("the largest") << "18446744073709551615" << P::None << ~quint64(0);
    QTest::newRow("the largest in hexadecimal") << "0xFFFFFFFFFFFFFFFF" << P::None << ~quint64(0);
    QTest::newRow("one beyond") << "18446744073709551616" << P::TooBig << quint64(0);
    QTest::newRow("17 hexadecimal digits") << "0x10000000000000000" << P::TooBig << quint64(0);
    QTest::newRow("nothing") << "" << P::NotANumber << quint64(0);
    QTest::newRow("0x alone") << "0x" << P::NotANumber << quint64(0);
    QTest::newRow("a sign") << "+5" << P::NotANumber << quint64(0);
    QTest::newRow("negative") << "-5" << P::NotANumber << quint64(0);
    QTest::newRow("a space inside") << "1 2" << P::NotANumber << quint64(0);
    QTest::newRow("hexadecimal digits without 0x") << "1f" << P::NotANumber << quint64(0);
    QTest::newRow("something after") << "5x" << P::NotANumber << quint64(0);
    QTest::newRow("digits of another script")
        << QString::fromUtf8("\u0661\u0662") << P::NotANumber << quint64(0);
}

void tst_ProductionRun::numbersReadOneWay() {
    QFETCH(QString, text);
    QFETCH(NumberText::Problem, problem);
    QFETCH(quint64, value);
    const NumberText::Parsed parsed = NumberText::parse(text);
    QCOMPARE(parsed.problem, problem);
    QCOMPARE(parsed.number().value_or(0), value);
}

// The unit is read and backed up before it has a number; the counter file holds the next number,
// and the log the unit's, before the first byte is written.
void tst_ProductionRun::numberIsSpentBeforeTheFirstByte() {
    ProductionRig rig;
    rig.engine.runner().choosePort(1);
    const qsizetype wake = rig.comm.sentBytes().size();
    std::optional<QByteArray> counterAtFirstByte, counterAtFirstWrite;
    QList<QJsonObject> logAtFirstByte, logAtFirstWrite, logAtPortCycle;
    bool written = false;
    rig.pump.setBeforePass([&] {
        if (!counterAtFirstByte && rig.comm.sentBytes().size() > wake) {
            counterAtFirstByte = fileContents(rig.path("serial.txt"));
            logAtFirstByte = rig.logged();
        }
        written = written || rig.comm.sentBytes().contains(Wire::WriteAll);
        if (written && !counterAtFirstWrite) {
            counterAtFirstWrite = fileContents(rig.path("serial.txt"));
            logAtFirstWrite = rig.logged();
        }
        if (written && !rig.comm.isOpen() && logAtPortCycle.isEmpty())
            logAtPortCycle = rig.logged();
    });
    ProductionRun run(rig.engine, rig.options());

    const ProductionRun::Unit unit = run.programUnit();

    // The backup's read comes first, with no number spent.
    QCOMPARE(counterAtFirstByte.value_or("none"), "<unreadable>"); // not made yet
    QVERIFY(logAtFirstByte.isEmpty());
    QCOMPARE(counterAtFirstWrite.value_or("none"), "1001\n");
    QCOMPARE(logAtFirstWrite.size(), 1);
    QCOMPARE(logAtFirstWrite[0]["result"].toString(), "started");
    QCOMPARE(logAtFirstWrite[0]["serial"].toInteger(), 1000);
    QCOMPARE(logAtFirstWrite[0]["port"].toString(), "/dev/ttyFAKE1");
    // The outcome is on record before the port cycle begins: a kill in its second loses nothing.
    QCOMPARE(logAtPortCycle.size(), 2);
    QCOMPARE(logAtPortCycle[1]["result"].toString(), "done");
    QVERIFY(rig.comm.isOpen());
    QCOMPARE(unit.serial, 1000u);
    QCOMPARE(unit.result.end, CommandEnd::Done);
    QCOMPARE(rig.device.cells().toHex(), stamped(1000).toHex());
    const QStringList backups = QDir(rig.path("backups")).entryList(QDir::Files);
    QCOMPARE(backups.size(), 1);
    QVERIFY2(backups.constFirst().endsWith("-ttyFAKE1-1000.bin"), qPrintable(backups.constFirst()));
    QCOMPARE(fileContents(rig.path("backups/" + backups.constFirst())), QByteArray(64, char(0xFF)));

    // The numbers outgrow their cells: the next unit is refused before anything is sent.
    ProductionRun::Options narrow = rig.options();
    narrow.stamp = SerialStamp(0, 1, SerialStamp::Format::Ascii);
    const qsizetype sent = rig.comm.sentBytes().size();
    const ProductionRun::Unit refused = ProductionRun(rig.engine, narrow).programUnit();
    QVERIFY2(refused.problem.contains("does not fit"), qPrintable(refused.problem));
    QCOMPARE(rig.comm.sentBytes().size(), sent);
    QCOMPARE(fileContents(rig.path("serial.txt")), "1001\n");
    QCOMPARE(rig.logged().constLast()["result"].toString(), "file");
}

// Units are put on and taken off the line; the second has a stuck cell.
void tst_ProductionRun::batchOfThreeUnits() {
    DeviceFaults faults;
    faults.stuckCell = 0x3D;
    faults.stuckUnit = 2;
    ProductionRig rig(faults);
    for (const auto at : {3s, 8s, 13s})
        rig.time.scheduleIn(at, [&] { rig.device.unplug(); });
    for (const auto at : {5s, 10s})
        rig.time.scheduleIn(at, [&] { rig.device.plugIn(); });
    ProductionRun run(rig.engine, rig.options());

    QList<ProductionRun::Unit> units;
    QList<int> numbers;
    connect(&run, &ProductionRun::unitEnded, this,
            [&](int number, const ProductionRun::Unit& unit) {
                numbers << number;
                units << unit;
            });
    const ProductionRun::Summary summary =
        run.runBatch([&] { return rig.device.unit() == 3 && !rig.device.pluggedIn(); });

    QCOMPARE(numbers, QList<int>({1, 2, 3}));
    QCOMPARE(summary.units, 3);
    QCOMPARE(summary.done, 2);
    QCOMPARE(summary.firstSerial, 1000u);
    QCOMPARE(summary.lastSerial, 1002u);
    QVERIFY(units[0].done() && !units[1].done() && units[2].done());
    QCOMPARE(units[1].serial, 1001u);
    QCOMPARE(units[1].result.differences.size(), 1);
    for (const ProductionRun::Unit& unit : units)
        QCOMPARE(unit.result.portCycle, CommandResult::PortCycle::Reopened);
    QCOMPARE(fileContents(rig.path("serial.txt")), "1003\n");
    QCOMPARE(rig.device.cells().toHex(), stamped(1002).toHex());
    QCOMPARE(QDir(rig.path("backups")).entryList(QDir::Files).size(), 3);
    // Each unit's number on record before its first byte, then its outcome.
    const QList<QJsonObject> lines = rig.logged();
    QCOMPARE(lines.size(), 6);
    QList<QJsonObject> log;
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(lines[2 * i]["result"].toString(), "started");
        QCOMPARE(lines[2 * i]["serial"].toInteger(), 1000 + i);
        log << lines[2 * i + 1];
        QCOMPARE(log[i]["serial"].toInteger(), 1000 + i);
        QCOMPARE(log[i]["result"].toString(), i == 1 ? "differences" : "done");
        QCOMPARE(log[i]["port"].toString(), "/dev/ttyFAKE1");
    }
    QCOMPARE(log[1]["write_passes"].toInt(), 1);
    QCOMPARE(log[1]["differences"][0]["address"].toInt(), 0x3D);
    // While the line is empty (3 s to 5 s), a probe at most every half second.
    int probes = 0;
    for (const FakeSerialControl::Sent& sent : rig.comm.outputs())
        probes += sent.bytes == Wire::ReadAll && sent.at >= 3s && sent.at < 5s;
    QVERIFY2(probes >= 2 && probes <= 5, qPrintable(QString::number(probes)));
}

void tst_ProductionRun::shortReplyIsNoBackup_data() {
    QTest::addColumn<int>("announced");
    QTest::addColumn<int>("replyBytes"); // -1: all it announces
    QTest::newRow("announces 5") << 5 << -1;
    QTest::newRow("announces none") << 0 << -1;
    QTest::newRow("announces 64, cut after 40") << 64 << 41;
}

// A backup that is not the whole unit could not undo the write: no backup, no write.
void tst_ProductionRun::shortReplyIsNoBackup() {
    QFETCH(int, announced);
    QFETCH(int, replyBytes);
    DeviceFaults faults;
    faults.announcedCount = announced;
    faults.replyBytes = replyBytes;
    ProductionRig rig(faults);
    rig.protocol.setReplyTimeout(2s);
    rig.engine.runner().choosePort(1);
    const QByteArray before = rig.device.cells();
    ProductionRun run(rig.engine, rig.options());

    const ProductionRun::Unit unit = run.programUnit();

    QVERIFY(!rig.comm.sentBytes().contains(Wire::WriteAll));
    QCOMPARE(rig.device.cells(), before);
    QVERIFY(QDir(rig.path("backups")).entryList(QDir::Files).isEmpty());
    QVERIFY(unit.result.end != CommandEnd::Done);
    // No number is spent on a unit that could not be backed up; its outcome is on record.
    QCOMPARE(rig.counter.next(), 1000u);
    QVERIFY(!unit.serial);
    const QList<QJsonObject> log = rig.logged();
    QCOMPARE(log.size(), 1);
    QVERIFY(!log[0].contains("serial"));
    QVERIFY(log[0]["result"].toString() != "done");
    if (replyBytes < 0) {
        QCOMPARE(unit.obstacle, ProductionRun::Obstacle::Backup);
        QVERIFY2(unit.problem.contains(QStringLiteral("%1 of the 64 cells").arg(announced)),
                 qPrintable(unit.problem));
        QCOMPARE(log[0]["problem"].toString(), unit.problem);
    }
}

void tst_ProductionRun::unitNotWrittenWithoutItsRecord_data() {
    QTest::addColumn<QString>("broken"); // "backups" or "log"
    QTest::addColumn<ProductionRun::Obstacle>("obstacle");
    QTest::addColumn<QByteArray>("counter"); // the counter file after the unit (not made: none)
    QTest::newRow("backup cannot be saved")
        << "backups" << ProductionRun::Obstacle::Backup << QByteArray("<unreadable>");
    QTest::newRow("number cannot go on record")
        << "log" << ProductionRun::Obstacle::StartLine << QByteArray("1001\n");
}

// A unit whose backup or "started" line cannot be written hears no write. A failed backup
// spends no number; a number whose line failed is spent, and the unit says which.
void tst_ProductionRun::unitNotWrittenWithoutItsRecord() {
    QFETCH(QString, broken);
    QFETCH(ProductionRun::Obstacle, obstacle);
    QFETCH(QByteArray, counter);
    ProductionRig rig;
    rig.engine.runner().choosePort(1);
    const QByteArray before = rig.device.cells();
    ProductionRun::Options options = rig.options();
    if (broken == "backups")
        QVERIFY(ImageFile::write(options.backupFolder, "a file").isEmpty());
    else
        options.logPath = rig.path("missing/units.jsonl");
    ProductionRun run(rig.engine, options);

    const ProductionRun::Unit unit = run.programUnit();

    QVERIFY(!rig.comm.sentBytes().contains(Wire::WriteAll));
    QCOMPARE(rig.device.cells(), before);
    QCOMPARE(unit.obstacle, obstacle);
    QVERIFY(!unit.problem.isEmpty());
    QVERIFY(!unit.done());
    QCOMPARE(fileContents(rig.path("serial.txt")), counter);
    if (obstacle == ProductionRun::Obstacle::StartLine) {
        QCOMPARE(unit.serial, 1000u);
        // The backup is kept, under the number it was given.
        const QStringList backups = QDir(rig.path("backups")).entryList(QDir::Files);
        QCOMPARE(backups.size(), 1);
        QVERIFY2(backups.constFirst().endsWith("-1000.bin"), qPrintable(backups.constFirst()));
    } else {
        QVERIFY(!unit.serial);
        const QList<QJsonObject> log = rig.logged();
        QCOMPARE(log.size(), 1);
        QVERIFY(!log[0].contains("serial"));
        QCOMPARE(log[0]["problem"].toString(), unit.problem);
    }
}

QTEST_GUILESS_MAIN(tst_ProductionRun)
#include "tst_ProductionRun.moc"
