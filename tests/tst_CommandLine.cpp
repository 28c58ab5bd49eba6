// The command line end to end: the real program against tavrin-devsim on a pseudo-terminal, with
// no display (and the xcb platform asked for, so any use of a window system would fail).

#include "FileContents.h"
#include "RandomImage.h"
#include "SimulatorProcess.h"

#include "image/ImageFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using namespace tavrin;
using namespace tavrin::test;

namespace {

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
    qint64 ms = 0;
};

QProcessEnvironment withoutDisplay() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DISPLAY");
    environment.remove("WAYLAND_DISPLAY");
    environment.insert("QT_QPA_PLATFORM", "xcb");
    return environment;
}

// Runs tavrin to its end; a hang fails the test after a minute.
Run runTavrin(const QStringList& arguments, QProcessEnvironment environment = withoutDisplay()) {
    QProcess process;
    process.setProcessEnvironment(environment);
    QElapsedTimer clock;
    clock.start();
    process.start(TAVRIN_PROGRAM_PATH, arguments);
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAllStandardOutput()),
            QString::fromLocal8Bit(process.readAllStandardError()), clock.elapsed()};
}

// A simulated device whose cells start as `cells`.
struct Device {
    explicit Device(const QByteArray& cells, QStringList options = {}) {
        QVERIFY(ImageFile::write(dir.filePath("device.bin"), cells).isEmpty());
        sim =
            std::make_unique<SimulatorProcess>(options << "--image" << dir.filePath("device.bin"));
    }
    QString port() const { return sim->devicePath(); }
    // Takes the unit off the line until a batch has seen it gone, then puts the next unit on. Of
    // three openings of the port after the unplugging, the second is a probe that ran with no unit
    // on the line from start to end: the third comes after it.
    bool swapUnit(const std::function<void()>& whileOff = {}) {
        if (!sim->unplug())
            return false;
        auto openingsSince = [this] {
            const QStringList events = sim->events();
            return events.mid(events.lastIndexOf("unplugged")).filter("connected ").size();
        };
        QElapsedTimer clock;
        clock.start();
        while (openingsSince() < 3 && clock.elapsed() < 30000) {
            if (whileOff)
                whileOff();
            QTest::qWait(20);
        }
        return sim->plugIn();
    }
    QByteArray cells() const { return fileContents(dir.filePath("device.bin")); }
    QString file(const QString& name) const { return dir.filePath(name); }

    QTemporaryDir dir;
    std::unique_ptr<SimulatorProcess> sim;
};

// The image of a production batch, and the cells it leaves with serial number `serial` at 0x3C.
const QByteArray ProductionImage(16, 'p');
QByteArray stamped(quint32 serial) {
    QByteArray cells = ProductionImage + QByteArray(64 - 16, char(0xFF));
    for (int i = 0; i < 4; ++i)
        cells[0x3C + i] = char(serial >> (24 - 8 * i));
    return cells;
}

// tavrin write --each on `device`, counting from 1000, with backups and a log in its folder.
struct Batch {
    explicit Batch(const Device& device, const QStringList& options = {},
                   const QProcessEnvironment& environment = withoutDisplay()) {
        QVERIFY(ImageFile::write(device.file("image.bin"), ProductionImage).isEmpty());
        process.setProcessEnvironment(environment);
        process.start(TAVRIN_PROGRAM_PATH,
                      QStringList{"write", "--port", device.port(), device.file("image.bin"),
                                  "--serial-at", "0x3C", "--serial-file", device.file("serial.txt"),
                                  "--serial-start", "1000", "--backup", device.file("backups"),
                                  "--log", device.file("units.jsonl"), "--each"} +
                          options);
    }
    bool waitForOutput(const QString& text) {
        QElapsedTimer clock;
        clock.start();
        while (!out.contains(text) && clock.elapsed() < 30000 &&
               process.state() != QProcess::NotRunning) {
            process.waitForReadyRead(100);
            out += QString::fromLocal8Bit(process.readAllStandardOutput());
        }
        return out.contains(text);
    }
    QProcess process;
    QString out;
};

// The log's lines, none while there is no log; a line that is not a JSON object comes as an empty
// one.
QList<QJsonObject> logLines(const QString& path) {
    QList<QJsonObject> lines;
    if (!QFile::exists(path))
        return lines;
    for (const QByteArray& line : fileContents(path).split('\n'))
        if (!line.isEmpty())
            lines << QJsonDocument::fromJson(line).object();
    return lines;
}

// The log's outcome lines: without the lines that put a unit's number on record before its write.
QList<QJsonObject> outcomes(const QList<QJsonObject>& lines) {
    QList<QJsonObject> kept;
    for (const QJsonObject& line : lines)
        if (line["result"].toString() != "started")
            kept << line;
    return kept;
}

QByteArray pattern() {
    QByteArray bytes;
    for (int i = 0; i < 64; ++i)
        bytes += char(i * 7 + 1);
    return bytes;
}

} // namespace

class tst_CommandLine : public QObject {
    Q_OBJECT

private slots:
    void readSavesTheCells();
    void writeAtTheDevicesPaceAndVerify();
    void stuckCellIsWrittenAgainThenReported();
    void verifyWritesNothing();
    void intelHexReadAndWrittenBack();
    void silentDeviceEndsAfterTheTimeout();
    void missingImageSendsNothing();
    void portHeldByAnotherProcess();
    void portsNamesTheMapping();
    void usageErrors_data();
    void usageErrors();
    void productionRefusals_data();
    void productionRefusals();
    void batchOfThreeUnits();
    void killedBatchNeverRepeatsANumber();
    void oneCounterByAnyName_data();
    void oneCounterByAnyName();
    void fixtureBelongsToOneBatch();
    void shortReply_data();
    void shortReply();
    void restOfAKilledReplyIsNotTheAnswer();
    void recordCheckedBeforeTheUnit_data();
    void recordCheckedBeforeTheUnit();
    void signalsFinishTheUnit_data();
    void signalsFinishTheUnit();
    void lostPortInOurWords();
    void killsNeverLoseANumber();
    void secondTavrinNeverWritesTheUnit();
    void fullFilesystem_data();
    void fullFilesystem();
    void quietBatchSaysOnlyWhatFailed();
    void numbersReadOneWay_data();
    void numbersReadOneWay();
    void brokenPipeFinishesTheUnit();
};

void tst_CommandLine::readSavesTheCells() {
    Device device(pattern());
    const QString saved = device.file("saved.bin");

    const Run run = runTavrin({"read", "--port", device.port(), saved});

    QCOMPARE(run.exitCode, 0);
    QCOMPARE(fileContents(saved).toHex(), pattern().toHex());
    QVERIFY2(run.out.contains("read 64 bytes from " + device.port()), qPrintable(run.out));
    // The port cycle after the read: the device sees a second opening.
    QVERIFY(device.sim->waitForEvent("connected 2"));
}

void tst_CommandLine::writeAtTheDevicesPaceAndVerify() {
    Device device(QByteArray(64, char(0xFF)), {"--timestamps"});
    const QString image = device.file("image.bin");
    const QByteArray bytes = writeRandomImage(image);

    const Run run = runTavrin({"write", "--port", device.port(), image});

    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.out.contains("verified"), qPrintable(run.out));
    QVERIFY(device.sim->waitForEvent("connected 2"));
    QCOMPARE(device.cells().toHex(), bytes.toHex());
    QVERIFY(device.sim->events().contains("written lost=0"));
    // 64 data bytes, one a tick: the first to the last arrive at least 63 ticks apart.
    const QStringList arrivals =
        device.sim->events().filter("arrivals ").constFirst().mid(9).split(' ');
    QCOMPARE(arrivals.size(), 64);
    const double spanMs =
        (arrivals.constLast().toLongLong() - arrivals.constFirst().toLongLong()) / 1e3;
    QVERIFY2(spanMs >= 627 && spanMs < 1000, qPrintable(QString::number(spanMs)));
}

void tst_CommandLine::stuckCellIsWrittenAgainThenReported() {
    Device device(QByteArray(64, 0), {"--stuck-cell", "5"});
    const QString image = device.file("image.bin");
    QVERIFY(ImageFile::write(image, pattern()).isEmpty());

    const Run run = runTavrin({"write", "--port", device.port(), image, "--retries", "1"});

    QCOMPARE(run.exitCode, 1);
    QTRY_COMPARE(device.sim->events().count("written lost=0"), 2);
    QCOMPARE(run.out, QStringLiteral("Address 05: file 24, device 00\n"));
}

void tst_CommandLine::verifyWritesNothing() {
    Device device(pattern());
    const QString same = device.file("same.bin");
    const QString other = device.file("other.bin");
    QVERIFY(ImageFile::write(same, pattern()).isEmpty());
    QByteArray changed = pattern();
    changed[0x3F] = char(0x3F);
    QVERIFY(ImageFile::write(other, changed).isEmpty());

    const Run equal = runTavrin({"verify", "--port", device.port(), same});
    const Run different = runTavrin({"verify", "--port", device.port(), other});

    QCOMPARE(equal.exitCode, 0);
    QCOMPARE(different.exitCode, 1);
    QCOMPARE(different.out, QStringLiteral("Address 3F: file 3F, device BA\n"));
    QTRY_COMPARE(device.sim->events().count("read"), 2);
    QVERIFY(device.sim->events().filter("written").isEmpty());
    QCOMPARE(device.cells().toHex(), pattern().toHex());
}

// A read saved as .hex and written back as .eep puts the same 64 cells into another device.
void tst_CommandLine::intelHexReadAndWrittenBack() {
    Device source(pattern());
    Device target(QByteArray(64, char(0xFF)));
    const QString hex = source.file("saved.hex");
    QCOMPARE(runTavrin({"read", "--port", source.port(), hex}).exitCode, 0);
    QVERIFY(fileContents(hex).startsWith(":10000000"));
    const QString eep = target.file("copy.EEP");
    QVERIFY(QFile::copy(hex, eep));

    const Run run = runTavrin({"write", "--port", target.port(), eep});

    QCOMPARE(run.exitCode, 0);
    QVERIFY(target.sim->waitForEvent("connected 2"));
    QCOMPARE(target.cells().toHex(), pattern().toHex());
}

void tst_CommandLine::silentDeviceEndsAfterTheTimeout() {
    Device device(pattern(), {"--silent"});

    const Run run =
        runTavrin({"read", "--port", device.port(), "--timeout", "1", device.file("never.bin")});

    QCOMPARE(run.exitCode, 3);
    QVERIFY2(run.ms >= 1000 && run.ms < 5000, qPrintable(QString::number(run.ms)));
    QVERIFY2(run.err.contains("no reply") && run.err.contains(device.port()), qPrintable(run.err));
    QVERIFY(!QFile::exists(device.file("never.bin")));
}

void tst_CommandLine::missingImageSendsNothing() {
    Device device(pattern());
    const QString missing = device.file("no such image.bin");

    const Run run = runTavrin({"write", "--port", device.port(), missing});

    QCOMPARE(run.exitCode, 5);
    QVERIFY2(run.err.contains(missing), qPrintable(run.err));
    QVERIFY(!QFile::exists(missing));
    // Not even opened: the opening before the next command's read is the device's first.
    QCOMPARE(runTavrin({"read", "--port", device.port(), device.file("saved.bin")}).exitCode, 0);
    QVERIFY(device.sim->waitForEvent("read"));
    const QStringList events = device.sim->events();
    QCOMPARE(events.at(events.indexOf("read") - 1), "connected 1");
}

// Several benches run one process per port; a second process on a port in use is refused and the
// first goes on undisturbed.
void tst_CommandLine::portHeldByAnotherProcess() {
    Device device(pattern(), {"--split", "2", "--split-gap", "1500"});
    QProcess first;
    first.setProcessEnvironment(withoutDisplay());
    first.start(TAVRIN_PROGRAM_PATH, {"read", "--port", device.port(), device.file("first.bin")});
    QVERIFY(device.sim->waitForEvent("read"));

    const QString image = device.file("image.bin");
    QVERIFY(ImageFile::write(image, pattern()).isEmpty());
    const Run second = runTavrin({"verify", "--port", device.port(), image});

    QCOMPARE(second.exitCode, 4);
    QVERIFY2(second.err.contains(
                 QStringLiteral("in use by another tavrin (process %1)").arg(first.processId())),
             qPrintable(second.err));
    QVERIFY(first.waitForFinished(10000));
    QCOMPARE(first.exitCode(), 0);
    QCOMPARE(fileContents(device.file("first.bin")).toHex(), pattern().toHex());
}

void tst_CommandLine::portsNamesTheMapping() {
    Device device(pattern());
    QProcessEnvironment environment = withoutDisplay();
    environment.insert("TAVRIN_COM3", device.port());

    const Run run = runTavrin({"ports"}, environment);

    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.out.contains("Com3  " + device.port() + "  (TAVRIN_COM3)"), qPrintable(run.out));
    QVERIFY(run.out.contains("serial port"));
    // Listed, never opened: the opening before the next command's read is the device's first.
    QCOMPARE(runTavrin({"read", "--port", "3", device.file("saved.bin")}, environment).exitCode, 0);
    QVERIFY(device.sim->waitForEvent("read"));
    const QStringList events = device.sim->events();
    QCOMPARE(events.at(events.indexOf("read") - 1), "connected 1");
}

void tst_CommandLine::usageErrors_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("help") << QStringList{"--help"} << 0;
    QTest::newRow("unknown command") << QStringList{"erase"} << 2;
    QTest::newRow("unknown option") << QStringList{"read", "--port", "1", "--fast", "x.bin"} << 2;
    QTest::newRow("an option for no command") << QStringList{"--frobnicate"} << 2;
    QTest::newRow("no port") << QStringList{"read", "x.bin"} << 2;
    QTest::newRow("no file") << QStringList{"write", "--port", "1"} << 2;
    QTest::newRow("port out of range") << QStringList{"read", "--port", "5", "x.bin"} << 2;
    QTest::newRow("retries not a count")
        << QStringList{"write", "--port", "1", "--retries", "x", "x.bin"} << 2;
    QTest::newRow("timeout not seconds")
        << QStringList{"read", "--port", "1", "--timeout", "-1", "x.bin"} << 2;
}

void tst_CommandLine::usageErrors() {
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);

    const Run run = runTavrin(arguments);

    QCOMPARE(run.exitCode, exitCode);
    const QString text = exitCode == 0 ? run.out : run.err;
    for (const char* command : {"read", "write", "verify", "ports"})
        QVERIFY2(text.contains(QStringLiteral("tavrin %1").arg(command)), qPrintable(text));
}

// Refused with exit 2 before the port is opened: the port does not exist, so opening it would
// end with 4. The counter file is left as it was.
void tst_CommandLine::productionRefusals_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArray>("counter"); // null: no counter file
    QTest::addColumn<QString>("said");
    const QStringList at0{"--serial-at", "0"};
    QTest::newRow("too big for 1 byte") << at0 + QStringList{"--serial-width", "1"}
                                        << QByteArray("256\n") << "does not fit in 1 byte";
    QTest::newRow("too big for BCD")
        << at0 + QStringList{"--serial-width", "1", "--serial-format", "bcd"} << QByteArray("100")
        << "does not fit in 1 BCD byte";
    QTest::newRow("too big for 2 digits")
        << at0 + QStringList{"--serial-width", "2", "--serial-format", "ascii"} << QByteArray("100")
        << "does not fit in 2 digits";
    QTest::newRow("cells beyond 63")
        << QStringList{"--serial-at", "62"} << QByteArray("1") << "cells 62..65 go beyond cell 63";
    QTest::newRow("hex address beyond 63")
        << QStringList{"--serial-at", "0x40", "--serial-width", "1"} << QByteArray("1")
        << "cells 64..64";
    QTest::newRow("no counter file") << at0 << QByteArray() << "--serial-start N creates it";
    QTest::newRow("not a number") << at0 << QByteArray("12ab\n") << "does not hold a serial number";
    QTest::newRow("negative") << at0 << QByteArray("-5") << "does not hold a serial number";
    QTest::newRow("in use by another process") << at0 << QByteArray("7") << "in use by another";
    QTest::newRow("unknown format")
        << at0 + QStringList{"--serial-format", "hex"} << QByteArray("7") << "be, le, bcd or ascii";
    QTest::newRow("half of the pair") << QStringList{} << QByteArray("7") << "need both";
}

void tst_CommandLine::productionRefusals() {
    QFETCH(QStringList, options);
    QFETCH(QByteArray, counter);
    QFETCH(QString, said);
    QTemporaryDir dir;
    const QString image = dir.filePath("image.bin");
    const QString serials = dir.filePath("serial.txt");
    QVERIFY(ImageFile::write(image, pattern()).isEmpty());
    if (!counter.isNull())
        QVERIFY(ImageFile::write(serials, counter).isEmpty());
    QLockFile held(serials + ".lock");
    if (QByteArray(QTest::currentDataTag()) == "in use by another process")
        QVERIFY(held.tryLock(0));

    const Run run = runTavrin(QStringList{"write", "--port", dir.filePath("no-such-port"), image,
                                          "--serial-file", serials} +
                              options);

    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(said), qPrintable(run.err));
    QCOMPARE(QFile::exists(serials) ? fileContents(serials) : QByteArray(), counter);
}

// Three units in a row on one port, the second with a stuck cell, stopped by SIGTERM.
void tst_CommandLine::batchOfThreeUnits() {
    Device device(QByteArray(64, 0), {"--stuck-cell", "61", "--stuck-unit", "2"});
    Batch batch(device);
    for (int unit = 1; unit <= 3; ++unit) {
        QVERIFY2(batch.waitForOutput(QStringLiteral("unit %1,").arg(unit)),
                 qPrintable(batch.out + batch.process.readAllStandardError() +
                            device.sim->events().join(' ')));
        if (unit < 3)
            QVERIFY(device.swapUnit());
    }
    batch.process.terminate();
    QVERIFY(batch.waitForOutput("3 units: 2 done, 1 failed; serial numbers 1000-1002"));
    QVERIFY(batch.process.waitForFinished(10000));
    QCOMPARE(batch.process.exitCode(), 1);
    qInfo("%s", qPrintable(batch.out.trimmed()));

    QCOMPARE(fileContents(device.file("serial.txt")), "1003\n");
    QCOMPARE(device.cells().toHex(), stamped(1002).toHex());
    const QStringList backups = QDir(device.file("backups")).entryList(QDir::Files, QDir::Name);
    QCOMPARE(backups.size(), 3);
    QCOMPARE(fileContents(device.file("backups/" + backups.at(0))), QByteArray(64, 0));
    const QList<QJsonObject> log = outcomes(logLines(device.file("units.jsonl")));
    QCOMPARE(log.size(), 3);
    for (int i = 0; i < 3; ++i) {
        QVERIFY2(backups.at(i).endsWith(QStringLiteral("-%1.bin").arg(1000 + i)),
                 qPrintable(backups.at(i)));
        QCOMPARE(log[i]["serial"].toInteger(), 1000 + i);
        QCOMPARE(log[i]["port"].toString(), device.port());
        QCOMPARE(log[i]["result"].toString(), i == 1 ? "differences" : "done");
        QCOMPARE(log[i]["image_sha256"].toString(),
                 QCryptographicHash::hash(stamped(1000 + i), QCryptographicHash::Sha256).toHex());
    }
    QCOMPARE(log[2]["after_sha256"], log[2]["image_sha256"]);
    QCOMPARE(log[1]["differences"][0]["address"].toInt(), 61);
}

// Killed once unit 2 has taken its number: the log holds whole lines, and the next run takes the
// number after unit 2's.
void tst_CommandLine::killedBatchNeverRepeatsANumber() {
    Device device(QByteArray(64, 0));
    {
        Batch batch(device);
        QVERIFY(batch.waitForOutput("unit 1,"));
        QVERIFY(device.swapUnit());
        QTRY_COMPARE_WITH_TIMEOUT(fileContents(device.file("serial.txt")), "1002\n", 30000);
        batch.process.kill();
        QVERIFY(batch.process.waitForFinished(10000));
    }
    const Run again = runTavrin({"write", "--port", device.port(), device.file("image.bin"),
                                 "--serial-at", "0x3C", "--serial-file", device.file("serial.txt"),
                                 "--log", device.file("units.jsonl")});

    QCOMPARE(again.exitCode, 0);
    QCOMPARE(device.cells().toHex(), stamped(1002).toHex());
    QCOMPARE(fileContents(device.file("serial.txt")), "1003\n");
    const QList<QJsonObject> log = logLines(device.file("units.jsonl"));
    QVERIFY(log.size() >= 2);
    for (const QJsonObject& line : log)
        QVERIFY(line.contains("result"));
    QCOMPARE(log.constFirst()["serial"].toInteger(), 1000);
    QCOMPARE(log.constLast()["serial"].toInteger(), 1002);
}

void tst_CommandLine::oneCounterByAnyName_data() {
    QTest::addColumn<QString>("other"); // how the second process names the counter
    QTest::newRow("a symbolic link") << "link";
    QTest::newRow("a relative path") << "relative";
    QTest::newRow("a hard link") << "hard";
}

// Two benches that reach one counter by two names never hand out one number: the second waits
// its turn (is refused) or, for a name the lock cannot follow, is refused outright.
void tst_CommandLine::oneCounterByAnyName() {
    QFETCH(QString, other);
    Device a(pattern()), b(pattern());
    QVERIFY(QDir(a.dir.path()).mkdir("real"));
    const QString counter = a.file("real/ctr.txt");
    QVERIFY(ImageFile::write(counter, "700\n").isEmpty());
    QVERIFY(ImageFile::write(a.file("image.bin"), ProductionImage).isEmpty());
    QString second = counter;
    QString workingFolder;
    if (other == "link")
        QVERIFY(QFile::link(counter, second = a.file("link.txt")));
    else if (other == "hard")
        QCOMPARE(::link(QFile::encodeName(counter), QFile::encodeName(second = a.file("hard.txt"))),
                 0);
    else
        second = "real/ctr.txt", workingFolder = a.dir.path();

    for (int round = 0; round < 4; ++round) {
        QProcess first, next;
        for (QProcess* process : {&first, &next}) {
            process->setProcessEnvironment(withoutDisplay());
            process->setWorkingDirectory(workingFolder.isEmpty() ? a.dir.path() : workingFolder);
        }
        first.start(TAVRIN_PROGRAM_PATH, {"write", "--port", a.port(), a.file("image.bin"),
                                          "--serial-at", "0x3C", "--serial-file", counter});
        next.start(TAVRIN_PROGRAM_PATH, {"write", "--port", b.port(), a.file("image.bin"),
                                         "--serial-at", "0x3C", "--serial-file", second});
        QVERIFY(first.waitForFinished(30000) && next.waitForFinished(30000));
        const int done = (first.exitCode() == 0) + (next.exitCode() == 0);
        const QString nextSaid = QString::fromLocal8Bit(next.readAllStandardError());
        for (QProcess* process : {&first, &next})
            QVERIFY(process->exitCode() == 0 || process->exitCode() == 2);
        QVERIFY2(fileContents(counter).trimmed().toInt() == 700 + done,
                 qPrintable(QStringLiteral("round %1").arg(round)));
        if (first.exitCode() == 0 && next.exitCode() == 0)
            QVERIFY(a.cells() != b.cells()); // two numbers, one each
        if (other == "hard") {
            QCOMPARE(next.exitCode(), 2);
            QVERIFY2(nextSaid.contains("more than one name"), qPrintable(nextSaid));
        }
        QVERIFY(ImageFile::write(counter, "700\n").isEmpty());
        if (other == "hard") // the rewrite gave the counter a new file; the name must meet it again
            QCOMPARE(QFile::remove(second) &&
                         ::link(QFile::encodeName(counter), QFile::encodeName(second)) == 0,
                     true);
    }
}

// While a batch serves a port, also between units and through the port cycle, any other tavrin
// on it ends with status 4, names the batch, and sends nothing.
void tst_CommandLine::fixtureBelongsToOneBatch() {
    Device device(QByteArray(64, 0));
    Batch batch(device);
    QVERIFY(batch.waitForOutput("unit 1,"));
    QVERIFY(ImageFile::write(device.file("other.bin"), pattern()).isEmpty());
    for (int attempt = 0; attempt < 6; ++attempt) {
        const int openings = device.sim->events().filter("connected ").size();
        const Run second = runTavrin(
            {"write", "--port", device.port(), device.file("other.bin"), "--serial-at", "0",
             "--serial-file", device.file("other-serial.txt"), "--serial-start", "900", "--each"});
        QCOMPARE(second.exitCode, 4);
        QVERIFY2(second.err.contains(QStringLiteral("in use by another tavrin (process %1)")
                                         .arg(batch.process.processId())),
                 qPrintable(second.err));
        // Every opening since is the batch's own probing, at most two a second.
        QVERIFY(device.sim->events().filter("connected ").size() - openings <= 2 + second.ms / 400);
        QTest::qWait(150);
    }
    QVERIFY(!QFile::exists(device.file("other-serial.txt")));
    QCOMPARE(device.cells().toHex(), stamped(1000).toHex());
    batch.process.terminate();
    QVERIFY(batch.process.waitForFinished(10000));
}

void tst_CommandLine::shortReply_data() {
    QTest::addColumn<QStringList>("simulator");
    QTest::newRow("announces 5") << QStringList{"--announce", "5"};
    QTest::newRow("announces none") << QStringList{"--announce", "0"};
}

// A reply with fewer than 64 cells: read saves what came and says so with a status of its own; a
// write with a backup writes nothing, since such a backup could not undo it.
void tst_CommandLine::shortReply() {
    QFETCH(QStringList, simulator);
    const int cells = simulator.at(1).toInt();
    Device device(pattern(), simulator);

    const Run read = runTavrin({"read", "--port", device.port(), device.file("read.bin")});
    QCOMPARE(read.exitCode, 6);
    QVERIFY2(read.err.contains(QStringLiteral("answered with %1 of the 64 cells").arg(cells)),
             qPrintable(read.err));
    QCOMPARE(fileContents(device.file("read.bin")).toHex(), pattern().left(cells).toHex());

    QVERIFY(ImageFile::write(device.file("image.bin"), ProductionImage).isEmpty());
    const Run write =
        runTavrin({"write", "--port", device.port(), device.file("image.bin"), "--backup",
                   device.file("backups"), "--log", device.file("units.jsonl")});
    QVERIFY(write.exitCode != 0);
    QVERIFY2(write.err.contains(QStringLiteral("%1 of the 64 cells").arg(cells)),
             qPrintable(write.err));
    QCOMPARE(device.cells().toHex(), pattern().toHex());
    QVERIFY(device.sim->events().filter("written").isEmpty());
    QVERIFY(QDir(device.file("backups")).entryList(QDir::Files).isEmpty());
    QCOMPARE(outcomes(logLines(device.file("units.jsonl"))).size(), 1);
}

// A read killed in the middle of the reply leaves the rest of it on the line; the next command
// must not take it for its own answer.
void tst_CommandLine::restOfAKilledReplyIsNotTheAnswer() {
    Device device(pattern(), {"--split", "4", "--split-gap", "300"});
    for (int round = 0; round < 4; ++round) {
        QProcess killed;
        killed.setProcessEnvironment(withoutDisplay());
        killed.start(TAVRIN_PROGRAM_PATH, {"read", "--port", device.port(), device.file("x.bin")});
        QVERIFY(device.sim->waitForEvent("read"));
        QTest::qWait(350 + 100 * round);
        killed.kill();
        QVERIFY(killed.waitForFinished(10000));

        const Run read = runTavrin({"read", "--port", device.port(), device.file("read.bin")});
        QCOMPARE(read.exitCode, 0);
        QCOMPARE(fileContents(device.file("read.bin")).toHex(), pattern().toHex());
    }
}

void tst_CommandLine::recordCheckedBeforeTheUnit_data() {
    QTest::addColumn<QString>("log");     // relative to the test's folder, or absolute
    QTest::addColumn<QString>("counter"); // what the counter is, "" for a file holding 500
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("said");
    const QStringList none;
    QTest::newRow("log in a missing folder") << "missing/units.jsonl"
                                             << "" << none << 2 << "does not exist";
    QTest::newRow("log is a folder") << "folder"
                                     << "" << none << 2 << "not a regular file";
    QTest::newRow("log is a FIFO") << "fifo"
                                   << "" << none << 2 << "not a regular file";
    QTest::newRow("log is a device") << "/dev/full"
                                     << "" << none << 2 << "not a regular file";
    QTest::newRow("counter is a FIFO") << "units.jsonl"
                                       << "fifo" << none << 2 << "not a regular file";
    QTest::newRow("counter used up")
        << "units.jsonl"
        << "18446744073709551615" << QStringList{"--serial-width", "8"} << 2 << "used up";
    QTest::newRow("counter beyond 2^64")
        << "units.jsonl"
        << "18446744073709551616" << QStringList{"--serial-width", "8"} << 2
        << "beyond the largest serial number, 18446744073709551615";
    QTest::newRow("missing counter too big to start")
        << "units.jsonl"
        << "missing" << QStringList{"--serial-start", "300", "--serial-width", "1"} << 2
        << "does not fit in 1 byte";
    QTest::newRow("backup folder under a file")
        << "units.jsonl"
        << "" << QStringList{"--backup", "image.bin/backups"} << 2 << "is not a folder";
    QTest::newRow("backup folder in /proc")
        << "units.jsonl"
        << "" << QStringList{"--backup", "/proc/tavrin-backups"} << 2 << "cannot be made: ";
    QTest::newRow("backup folder in /sys")
        << "units.jsonl"
        << "" << QStringList{"--backup", "/sys/tavrin-backups"} << 2 << "cannot be made: ";
    QTest::newRow("backup folder's name too long")
        << "units.jsonl"
        << "" << QStringList{"--backup", "./new/" + QString(300, 'b')} << 2
        << "cannot be made: File name too long";
    QTest::newRow("log is the counter") << "serial.txt"
                                        << "" << none << 2 << "are the same file";
    QTest::newRow("log reaches the counter by a link") << "counter-link"
                                                       << "" << none << 2 << "are the same file";
    QTest::newRow("log is the counter's lock") << "serial.txt.lock"
                                               << "" << none << 2 << "are the same file";
    QTest::newRow("log is the image") << "image.bin"
                                      << "" << none << 2 << "are the same file";
    QTest::newRow("immutable counter")
        << "units.jsonl"
        << "immutable" << none << 2 << "serial.txt cannot be changed: Operation not permitted";
    QTest::newRow("absent port") << "units.jsonl"
                                 << "" << QStringList{"--absent"} << 4 << "";
}

// Everything the unit's record needs is checked before the unit hears a byte: the counter keeps
// its number, nothing is created, and every command given a usable log logs its end once.
void tst_CommandLine::recordCheckedBeforeTheUnit() {
    QFETCH(QString, log);
    QFETCH(QString, counter);
    QFETCH(QStringList, options);
    QFETCH(int, status);
    QFETCH(QString, said);
    Device device(pattern());
    QVERIFY(QDir(device.dir.path()).mkdir("folder"));
    QCOMPARE(::mkfifo(QFile::encodeName(device.file("fifo")), 0644), 0);
    QVERIFY(ImageFile::write(device.file("image.bin"), ProductionImage).isEmpty());
    const QString counterFile = counter == "fifo" ? device.file("fifo") : device.file("serial.txt");
    QVERIFY(QFile::link(device.file("serial.txt"), device.file("counter-link")));
    if (counter.isEmpty() || counter == "immutable")
        QVERIFY(ImageFile::write(counterFile, "500\n").isEmpty());
    else if (counter != "fifo" && counter != "missing")
        QVERIFY(ImageFile::write(counterFile, counter.toLatin1()).isEmpty());
    const auto changeable = qScopeGuard([&] {
        if (counter == "immutable")
            QProcess::execute("chattr", {"-i", counterFile});
    });
    if (counter == "immutable" && QProcess::execute("chattr", {"+i", counterFile}) != 0)
        QSKIP("chattr +i needs root and a filesystem that keeps the flag");
    const QString port =
        options.removeAll("--absent") ? device.file("no-such-port") : device.port();
    for (QString& option : options)
        if (option.startsWith("image.bin/") || option.startsWith("./"))
            option = device.file(option);
    const qsizetype backup = options.indexOf("--backup");
    const QString logPath = log.startsWith('/') ? log : device.file(log);
    const QStringList before =
        QDir(device.dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);

    const Run run =
        runTavrin(QStringList{"write", "--port", port, device.file("image.bin"), "--serial-at",
                              "0x30", "--serial-file", counterFile, "--log", logPath} +
                  options);

    QCOMPARE(run.exitCode, status);
    QVERIFY2(run.err.contains(said), qPrintable(run.err));
    QVERIFY2(!run.err.contains("QIODevice") && !run.err.contains("Unknown error"),
             qPrintable(run.err));
    QVERIFY(device.sim->events().filter("connected").isEmpty());
    if (counter.isEmpty() || counter == "immutable")
        QCOMPARE(fileContents(counterFile), "500\n");
    if (backup >= 0)
        QVERIFY(!QFileInfo::exists(options.at(backup + 1)));
    QStringList after = QDir(device.dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    after.removeAll("units.jsonl");
    QCOMPARE(after, before);
    if (log == "units.jsonl") {
        const QList<QJsonObject> lines = logLines(logPath);
        QCOMPARE(lines.size(), 1);
        QCOMPARE(lines[0]["result"].toString(), status == 4 ? "port-absent" : "refused");
    }
}

void tst_CommandLine::signalsFinishTheUnit_data() {
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("batch");
    QTest::newRow("SIGTERM") << int(SIGTERM) << false;
    QTest::newRow("SIGHUP") << int(SIGHUP) << false;
    QTest::newRow("SIGINT") << int(SIGINT) << false;
    QTest::newRow("SIGHUP to a batch") << int(SIGHUP) << true;
}

// A timeout, a service stopping or a dropped session in the middle of a write: the unit is
// finished first, whole.
void tst_CommandLine::signalsFinishTheUnit() {
    QFETCH(int, signal);
    QFETCH(bool, batch);
    Device device(QByteArray(64, 0));
    QVERIFY(ImageFile::write(device.file("image.bin"), pattern()).isEmpty());
    QProcess write;
    write.setProcessEnvironment(withoutDisplay());
    QStringList arguments{"write", "--port", device.port(), device.file("image.bin")};
    if (batch)
        arguments << "--serial-at"
                  << "0x3C"
                  << "--serial-file" << device.file("serial.txt") << "--serial-start"
                  << "1000"
                  << "--each";
    write.start(TAVRIN_PROGRAM_PATH, arguments);
    QVERIFY(device.sim->waitForEvent(batch ? "read" : "connected 1"));
    QTest::qWait(450);
    ::kill(pid_t(write.processId()), signal);
    QVERIFY(write.waitForFinished(20000));

    QCOMPARE(write.exitStatus(), QProcess::NormalExit);
    QCOMPARE(write.exitCode(), 0);
    QVERIFY(device.sim->waitForEvent("written lost=0"));
    QByteArray expected = pattern();
    if (batch)
        expected.replace(0x3C, 4, QByteArray::fromHex("000003e8")); // serial number 1000
    QCOMPARE(device.cells().toHex(), expected.toHex());
}

// A simulator that is killed in the middle of a write: the reason is ours, not a stale system
// error, and the log says the port was lost.
void tst_CommandLine::lostPortInOurWords() {
    Device device(QByteArray(64, 0), {"--hang-up-after", "20"});
    QVERIFY(ImageFile::write(device.file("image.bin"), pattern()).isEmpty());
    const Run run = runTavrin({"write", "--port", device.port(), device.file("image.bin"), "--log",
                               device.file("units.jsonl")});
    QCOMPARE(run.exitCode, 4);
    QVERIFY2(run.err.contains("stopped working: "), qPrintable(run.err));
    QVERIFY2(!run.err.contains("File exists") && !run.err.contains(".."), qPrintable(run.err));
    QCOMPARE(outcomes(logLines(device.file("units.jsonl")))[0]["result"].toString(), "port-lost");
}

// Kills at random moments of a batch, with a second bench racing for the same counter through a
// link: no number in two units, every number found in a unit on record, no cells misread.
void tst_CommandLine::killsNeverLoseANumber() {
    const int kills = qEnvironmentVariableIntValue("TAVRIN_KILL_DRILL") > 0
                          ? qEnvironmentVariableIntValue("TAVRIN_KILL_DRILL")
                          : 8;
    Device device(QByteArray(64, 0)), other(QByteArray(64, 0));
    QVERIFY(ImageFile::write(device.file("image.bin"), ProductionImage).isEmpty());
    QVERIFY(QFile::link(device.file("serial.txt"), device.file("link.txt")));
    QVERIFY(ImageFile::write(device.file("serial.txt"), "1000\n").isEmpty());
    QMap<quint32, QString> stampedInto; // number → which unit carries it
    int numbered = 0;                   // kills that hit a unit of the bench that had got a number
    auto benchNumbers = [&] {
        int started = 0;
        for (const QJsonObject& line : logLines(device.file("units.jsonl")))
            started += line["result"] == "started" && line["port"] == device.port();
        return started;
    };
    QRandomGenerator random(20261208);
    auto numberIn = [](const QByteArray& cells) {
        quint32 number = 0;
        for (int i = 0; i < 4; ++i)
            number = number << 8 | quint8(cells.at(0x3C + i));
        return number;
    };
    for (int kill = 0; kill < kills; ++kill) {
        const int numbersBefore = benchNumbers();
        QProcess bench, racer;
        for (QProcess* process : {&bench, &racer})
            process->setProcessEnvironment(withoutDisplay());
        bench.start(TAVRIN_PROGRAM_PATH,
                    {"write", "--port", device.port(), device.file("image.bin"), "--serial-at",
                     "0x3C", "--serial-file", device.file("serial.txt"), "--backup",
                     device.file("backups"), "--log", device.file("units.jsonl")});
        auto startRacer = [&] {
            racer.start(TAVRIN_PROGRAM_PATH,
                        {"write", "--port", other.port(), device.file("image.bin"), "--serial-at",
                         "0x3C", "--serial-file", device.file("link.txt"), "--log",
                         device.file("units.jsonl")});
        };
        // Every other kill lets the bench take its number first and then waits for it, so that
        // neither a slow start nor a lost race for the counter leaves the drill killing only
        // units that had nothing to lose; the other kills race from the start.
        if (kill % 2 == 0) {
            QTRY_VERIFY_WITH_TIMEOUT(
                benchNumbers() > numbersBefore || bench.state() == QProcess::NotRunning, 30000);
            QVERIFY2(bench.state() != QProcess::NotRunning,
                     bench.readAllStandardError().constData());
        }
        startRacer();
        QTest::qWait(int(random.bounded(kill % 2 == 0 ? 900 : 2600)));
        bench.kill();
        for (QProcess* process : {&bench, &racer})
            QVERIFY(process->state() == QProcess::NotRunning || process->waitForFinished(30000));
        numbered += benchNumbers() > numbersBefore;
        for (const auto& [sim, name] : {std::pair{&device, "bench"}, std::pair{&other, "racer"}}) {
            const QByteArray cells = sim->cells();
            if (cells.mid(0, 16) != ProductionImage)
                continue;
            const quint32 number = numberIn(cells);
            QVERIFY2(!stampedInto.contains(number) || stampedInto[number] == name,
                     qPrintable(QStringLiteral("%1 is in both units").arg(number)));
            stampedInto[number] = name;
        }
    }
    QSet<qint64> logged;
    for (const QJsonObject& line : logLines(device.file("units.jsonl"))) {
        QVERIFY2(line.contains("result"), "a line that is not whole");
        if (line.contains("serial"))
            logged << line["serial"].toInteger();
    }
    for (quint32 number : stampedInto.keys())
        QVERIFY2(logged.contains(number),
                 qPrintable(QStringLiteral("%1 is not in the log").arg(number)));
    // Every backup is a whole unit.
    for (const QString& name : QDir(device.file("backups")).entryList(QDir::Files))
        QCOMPARE(fileContents(device.file("backups/" + name)).size(), 64);
    qInfo("%d kills, %d of them after the unit got a number, %d numbers stamped into units, %d on "
          "record",
          kills, numbered, int(stampedInto.size()), int(logged.size()));
    // The drill did its work: at least half of the kills hit a unit that had got a number.
    QVERIFY2(
        numbered >= (kills + 1) / 2,
        qPrintable(
            QStringLiteral("only %1 of %2 kills hit a numbered unit").arg(numbered).arg(kills)));
}

// Two tavrins with temporary folders of their own, as a service with a private /tmp and a
// technician's shell have: the second never writes a unit of the first one's batch, neither
// during a unit and its port cycle nor between units.
void tst_CommandLine::secondTavrinNeverWritesTheUnit() {
    const int rounds = qEnvironmentVariableIntValue("TAVRIN_CLAIM_DRILL") > 0
                           ? qEnvironmentVariableIntValue("TAVRIN_CLAIM_DRILL")
                           : 20;
    Device device(QByteArray(64, 0));
    QTemporaryDir ownTemp, otherTemp;
    QProcessEnvironment own = withoutDisplay(), other = withoutDisplay();
    own.insert("TMPDIR", ownTemp.path());
    other.insert("TMPDIR", otherTemp.path());
    QVERIFY(ImageFile::write(device.file("other.bin"), pattern()).isEmpty());
    Batch batch(device, {}, own);
    QVERIFY(batch.waitForOutput("waiting for units"));

    QProcess racer;
    racer.setProcessEnvironment(other);
    int attempts = 0, claimed = 0, wrote = 0, badCells = 0;
    QStringList otherEnds;
    QElapsedTimer sinceStart;
    // Starts the other tavrin again once it has ended, at most ten times a second.
    auto race = [&] {
        if (racer.state() != QProcess::NotRunning || (attempts > 0 && sinceStart.elapsed() < 100))
            return;
        if (attempts > 0) {
            const QString err = QString::fromLocal8Bit(racer.readAllStandardError());
            if (racer.exitStatus() == QProcess::NormalExit && racer.exitCode() == 0)
                ++wrote;
            else if (racer.exitCode() == 4 && err.contains("is in use by another tavrin"))
                ++claimed;
            else
                otherEnds << err.trimmed();
        }
        racer.start(TAVRIN_PROGRAM_PATH,
                    {"write", "--port", device.port(), device.file("other.bin")});
        sinceStart.start();
        ++attempts;
    };
    for (int round = 0; round < rounds; ++round) {
        const int before = attempts;
        QElapsedTimer clock;
        clock.start();
        const QString line = QStringLiteral("unit %1,").arg(round + 1);
        while (!batch.out.contains(line) && clock.elapsed() < 30000 &&
               batch.process.state() != QProcess::NotRunning) {
            race();
            QTest::qWait(20);
            batch.out += QString::fromLocal8Bit(batch.process.readAllStandardOutput());
        }
        QVERIFY2(batch.out.contains(line),
                 qPrintable(batch.out + batch.process.readAllStandardError()));
        const int duringUnit = attempts - before;
        QVERIFY(device.swapUnit([&] {
            race();
            badCells += device.cells() != stamped(quint32(1000 + round));
        }));
        QVERIFY2(duringUnit >= 1 && attempts - before - duringUnit >= 1,
                 qPrintable(QStringLiteral("round %1: %2 tries during the unit, %3 between units")
                                .arg(round)
                                .arg(duringUnit)
                                .arg(attempts - before - duringUnit)));
    }
    QVERIFY(racer.state() == QProcess::NotRunning || racer.waitForFinished(30000));
    batch.process.terminate();
    QVERIFY(batch.process.waitForFinished(30000));
    qInfo("%d rounds, %d tries by a second tavrin: %d refused as claimed, %d wrote", rounds,
          attempts, claimed, wrote);
    QCOMPARE(wrote, 0);
    QCOMPARE(badCells, 0);
    QCOMPARE(otherEnds, QStringList());
    QCOMPARE(device.sim->events().filter("written").size(), rounds);
    const QList<QJsonObject> log = outcomes(logLines(device.file("units.jsonl")));
    QCOMPARE(log.size(), rounds);
    for (const QJsonObject& unit : log)
        QCOMPARE(unit["result"].toString(), "done");
}

void tst_CommandLine::fullFilesystem_data() {
    QTest::addColumn<QString>("fill"); // a shell script run in the full filesystem
    QTest::addColumn<bool>("logThere");
    QTest::addColumn<QString>("said");
    QTest::addColumn<QString>("left"); // what the filesystem holds after
    QTest::addColumn<QByteArray>("counter");
    const QString space = "head -c 1048576 /dev/zero > fill 2>/dev/null; true";
    QTest::newRow("backup folder where no byte is free") << space << false << "cannot take a file: "
                                                         << "fill" << QByteArray("500\n");
    QTest::newRow("backup folder where one inode is free")
        << "i=0; while (: > f$i) 2>/dev/null; do i=$((i+1)); done; rm f0" << false
        << "cannot take a file: "
        << "" << QByteArray("500\n");
    QTest::newRow("log where no byte is free")
        << ": > units.jsonl; " + space << true
        << "serial number 500 was taken from the counter and is on record nowhere else"
        << "fill units.jsonl" << QByteArray("501\n");
}

// A backup folder or a log on a filesystem that is full: found before the unit hears a byte, or,
// for a log that fills up, before its first written byte; the number taken is named, never lost
// from sight. Each filesystem is a tmpfs in a mount namespace of the command's own.
void tst_CommandLine::fullFilesystem() {
    QFETCH(QString, fill);
    QFETCH(bool, logThere);
    QFETCH(QString, said);
    QFETCH(QString, left);
    QFETCH(QByteArray, counter);
    if (QProcess::execute("unshare", {"-m", "true"}) != 0)
        QSKIP("a mount namespace of its own needs root");
    Device device(pattern());
    QVERIFY(ImageFile::write(device.file("image.bin"), ProductionImage).isEmpty());
    QVERIFY(ImageFile::write(device.file("serial.txt"), "500\n").isEmpty());
    QVERIFY(QDir(device.dir.path()).mkdir("full"));
    const QString full = device.file("full");
    const QString script =
        "m=$1; left=$2; fill=$3; shift 3; "
        "mount -t tmpfs -o size=256k,nr_inodes=16 tavrin-test \"$m\" || exit 99; "
        "(cd \"$m\" && eval \"$fill\"); \"$@\"; status=$?; "
        "ls -A \"$m\" > \"$left\"; exit $status";
    QProcess bench;
    bench.setProcessEnvironment(withoutDisplay());
    bench.start("unshare",
                QStringList{"-m", "sh", "-c", script, "sh", full, device.file("left.txt"), fill,
                            TAVRIN_PROGRAM_PATH, "write", "--port", device.port(),
                            device.file("image.bin"), "--serial-at", "0x30", "--serial-file",
                            device.file("serial.txt"), "--log",
                            logThere ? full + "/units.jsonl" : device.file("units.jsonl")} +
                    (logThere ? QStringList{} : QStringList{"--backup", full + "/backups"}));
    QVERIFY(bench.waitForFinished(60000));
    const QString err = QString::fromLocal8Bit(bench.readAllStandardError());

    QCOMPARE(bench.exitCode(), 2);
    QVERIFY2(err.contains(said), qPrintable(err));
    QCOMPARE(err.count("tavrin: "), 1);
    QVERIFY2(!err.contains("Existing file") && !err.contains("QIODevice"), qPrintable(err));
    QCOMPARE(fileContents(device.file("serial.txt")), counter);
    // The files made to fill it aside, nothing is left: no folder, no probe.
    QStringList there = QString::fromLocal8Bit(fileContents(device.file("left.txt"))).split('\n');
    there.removeIf([](const QString& name) {
        return name.isEmpty() || QRegularExpression("^f\\d+$").match(name).hasMatch();
    });
    QCOMPARE(there.join(' '), left);
    QVERIFY(device.sim->events().filter("written").isEmpty());
    QVERIFY(device.sim->events().filter("read").isEmpty());
    QCOMPARE(device.cells(), pattern());
}

// Quiet, a batch prints nothing for the units that were done: the unit that failed, and the
// summary because one failed.
void tst_CommandLine::quietBatchSaysOnlyWhatFailed() {
    Device device(QByteArray(64, 0), {"--stuck-cell", "61", "--stuck-unit", "2"});
    Batch batch(device, {"--quiet"});
    auto units = [&] { return outcomes(logLines(device.file("units.jsonl"))).size(); };
    QTRY_COMPARE_WITH_TIMEOUT(units(), 1, 30000);
    // The unit is taken off once the port cycle after it has opened the port again.
    const qsizetype openings = device.sim->events().filter("connected ").size();
    QTRY_VERIFY_WITH_TIMEOUT(device.sim->events().filter("connected ").size() > openings, 30000);
    QVERIFY(device.swapUnit());
    QTRY_COMPARE_WITH_TIMEOUT(units(), 2, 30000);
    batch.process.terminate();
    QVERIFY(batch.process.waitForFinished(30000));

    QCOMPARE(batch.process.exitCode(), 1);
    const QString out = QString::fromLocal8Bit(batch.process.readAllStandardOutput());
    QVERIFY2(out.startsWith("unit 2, serial 1001: differences (1 cell), "),
             qPrintable(out + device.sim->events().join(' ')));
    QVERIFY2(out.endsWith("\n2 units: 1 done, 1 failed; serial numbers 1000-1001\n"),
             qPrintable(out));
    QCOMPARE(out.count('\n'), 2);
    QCOMPARE(batch.process.readAllStandardError(), QByteArray());
}

void tst_CommandLine::numbersReadOneWay_data() {
    QTest::addColumn<QString>("start");      // --serial-start, "" for none
    QTest::addColumn<QByteArray>("counter"); // the counter file, null for none
    QTest::addColumn<int>("stamped");        // -1: refused
    QTest::newRow("start with a space after") << "5 " << QByteArray() << 5;
    QTest::newRow("start with a space before") << " 5" << QByteArray() << 5;
    QTest::newRow("start in hexadecimal") << "0x10" << QByteArray() << 16;
    QTest::newRow("counter in hexadecimal") << "" << QByteArray("0x10\n") << 16;
    QTest::newRow("counter with spaces around") << "" << QByteArray(" 7 \n") << 7;
    QTest::newRow("start with a sign") << "+5" << QByteArray() << -1;
    QTest::newRow("counter with a space inside") << "" << QByteArray("1 2\n") << -1;
    QTest::newRow("counter with hex digits but no 0x") << "" << QByteArray("1f\n") << -1;
}

// One reading of a number for the options and the counter file.
void tst_CommandLine::numbersReadOneWay() {
    QFETCH(QString, start);
    QFETCH(QByteArray, counter);
    QFETCH(int, stamped);
    Device device(QByteArray(64, 0));
    QVERIFY(ImageFile::write(device.file("image.bin"), ProductionImage).isEmpty());
    if (!counter.isNull())
        QVERIFY(ImageFile::write(device.file("serial.txt"), counter).isEmpty());
    QStringList arguments{"write",          "--port",
                          device.port(),    device.file("image.bin"),
                          "--serial-at",    "0x30",
                          "--serial-width", "1",
                          "--serial-file",  device.file("serial.txt")};
    if (!start.isEmpty())
        arguments << "--serial-start" << start;

    const Run run = runTavrin(arguments);

    QCOMPARE(run.exitCode, stamped < 0 ? 2 : 0);
    if (stamped < 0) {
        QVERIFY(device.sim->events().filter("connected").isEmpty());
        return;
    }
    QCOMPARE(quint8(device.cells().at(0x30)), quint8(stamped));
    QCOMPARE(fileContents(device.file("serial.txt")), QByteArray::number(stamped + 1) + "\n");
}

// A reader of the output that has gone does not end the unit: it is written whole, and the status
// says so.
void tst_CommandLine::brokenPipeFinishesTheUnit() {
    Device device(QByteArray(64, 0));
    QVERIFY(ImageFile::write(device.file("image.bin"), pattern()).isEmpty());
    QProcess shell;
    shell.setProcessEnvironment(withoutDisplay());
    shell.start("bash", {"-c", "\"$@\" | true; exit ${PIPESTATUS[0]}", "bash", TAVRIN_PROGRAM_PATH,
                         "write", "--port", device.port(), device.file("image.bin")});
    QVERIFY(shell.waitForFinished(60000));

    QCOMPARE(shell.exitCode(), 0);
    QCOMPARE(device.cells().toHex(), pattern().toHex());
}

QTEST_GUILESS_MAIN(tst_CommandLine)
#include "tst_CommandLine.moc"
