// The write-and-verify command in virtual time against the device model.

#include "CommandRig.h"

#include "commands/WriteAndVerify.h"
#include "image/ImageComparison.h"
#include "image/ImageFile.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <string_view>
#ifdef Q_OS_WIN
#include <windows.h>
#undef MessageBox // the operator's message boxes here are our own
#else
#include <unistd.h>
#endif

using namespace tavrin;
using namespace tavrin::test;
using namespace std::chrono_literals;

namespace {

QByteArray pattern(int size) {
    QByteArray bytes;
    for (int i = 0; i < size; ++i)
        bytes += char(0x30 + i * 3);
    return bytes;
}

// Writes an image from the rig's folder, the dialog choosing it.
CommandResult writeImage(CommandRig& rig, const QByteArray& image) {
    const QString path = rig.path("image.bin");
    if (ImageFile::write(path, image) != QString())
        qFatal("cannot write the test image");
    rig.files.choose({path});
    return rig.runner.writeAndVerify();
}

// A regular file whose contents cannot be read, even by root (on Windows: held open unshared, as
// another program may hold it, for the rest of the test).
QString unreadableFile(CommandRig& rig) {
#ifdef Q_OS_WIN
    const QString path = rig.path("locked.bin");
    if (ImageFile::write(path, pattern(64)) != QString() ||
        CreateFileW(reinterpret_cast<const wchar_t*>(path.utf16()), GENERIC_READ, 0, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr) == INVALID_HANDLE_VALUE)
        qFatal("cannot lock the test image");
    return path;
#else
    if (geteuid() == 0)
        return QStringLiteral("/proc/self/mem");
    const QString path = rig.path("locked.bin");
    if (ImageFile::write(path, pattern(64)) != QString() ||
        !QFile::setPermissions(path, QFileDevice::Permissions()))
        qFatal("cannot lock the test image");
    return path;
#endif
}

DeviceFaults stuckCell(int cell) {
    DeviceFaults faults;
    faults.stuckCell = cell;
    return faults;
}

} // namespace

class tst_WriteAndVerify : public QObject {
    Q_OBJECT

private slots:
    void bytesAndPacing_data();
    void bytesAndPacing();
    void statusFollowsEveryStep();
    void byteCaptions_data();
    void byteCaptions();
    void retryYesWritesAgainWithTheSameFile();
    void differencesNameEveryCell();
    void refusals();
    void unplugMidWriteSendsNothingMore();
    void closingInsideEachWait_data();
    void closingInsideEachWait();
    void overlappingClicksAreRefused();
};

void tst_WriteAndVerify::bytesAndPacing_data() {
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("writeTicks");
    QTest::addColumn<QString>("verdict");
    QTest::newRow("64 bytes") << 64 << 66 << "Verify Completed";
    QTest::newRow("10 bytes, filled") << 10 << 66 << "Verify Completed";
    QTest::newRow("empty, all fill") << 0 << 66 << "Verify Completed";
    QTest::newRow("65 bytes, sent whole") << 65 << 67 << "Verify Failed!!!";
    QTest::newRow("70 bytes, sent whole") << 70 << 72 << "Verify Failed!!!";
    QTest::newRow("4096 bytes, sent whole") << 4096 << 4098 << "Verify Failed!!!";
}

void tst_WriteAndVerify::bytesAndPacing() {
    QFETCH(int, size);
    QFETCH(int, writeTicks);
    QFETCH(QString, verdict);
    CommandRig rig;
    rig.choosePort();
    const QByteArray image = pattern(size);
    const int ticksBefore = rig.timer1.ticks();
    QList<Progress> progress;
    QObject::connect(&rig.engine.reporter(), &CommandReporter::progressed,
                     [&](const Progress& p) { progress << p; });

    const CommandResult result = writeImage(rig, image);

    QCOMPARE(result.end, CommandEnd::Done);
    QCOMPARE(result.writePasses, 1);
    QCOMPARE(result.differences.isEmpty(), verdict == "Verify Completed");
    // Each pass counts from 0; the write counts every byte sent, fill bytes too.
    const int sentBytes = std::max(size, 64);
    QCOMPARE(progress.size(), (sentBytes + 1) + (size + 1));
    for (int i = 0; i <= sentBytes; ++i) {
        QCOMPARE(progress[i].pass, Progress::Pass::Write);
        QCOMPARE(progress[i].bytesDone, i);
        QCOMPARE(progress[i].filling(), i > size);
    }
    QCOMPARE(progress[sentBytes + 1].pass, Progress::Pass::Verify);
    QCOMPARE(progress.constLast().bytesDone, size);

    const QByteArray data = image.left(64) + QByteArray(std::max(0, 64 - size), FillByte);
    QCOMPARE(rig.sent().toHex(),
             (Wire::WriteAll + image + QByteArray(std::max(0, 64 - size), FillByte) +
              Wire::ReadAll + Wire::Wake)
                 .toHex());
    QCOMPARE(rig.device.cells().toHex(), data.toHex());
    // One tick after the header and after every byte: the device needs 5 ms per cell.
    const auto& outputs = rig.comm.outputs();
    for (size_t i = rig.start + 1; i <= rig.start + size_t(std::max(size, 64)); ++i)
        QCOMPARE(outputs[i].at - outputs[i - 1].at, VirtualTime::Duration(10ms));
    const auto readAll = outputs[rig.start + size_t(std::max(size, 64)) + 1];
    QCOMPARE(readAll.bytes, Wire::ReadAll);
    QCOMPARE(readAll.at - outputs[rig.start].at, VirtualTime::Duration(10ms * writeTicks));
    QCOMPARE(rig.ticksSince(ticksBefore), writeTicks + 1 + 100);
    QCOMPARE(rig.device.bytesLost(), 0);
    QCOMPARE(rig.captions().constLast(), "Caption=" + verdict);
    QCOMPARE(rig.messages.shown().size(), verdict == "Verify Completed" ? 0 : 1);
    QCOMPARE(rig.files.showings(), 1);
}

void tst_WriteAndVerify::statusFollowsEveryStep() {
    CommandRig rig;
    rig.choosePort();
    QCOMPARE(writeImage(rig, "AB" + QByteArray(62, 'x')).end, CommandEnd::Done);

    const QStringList& h = rig.history;
    const QStringList start{"Shape3 shown 0 000000ff",
                            "Shape3 shown 0 000000ff",
                            "Shape3 shown 0 000000ff",
                            "Shape2 shown 2775 00c0c0c0",
                            "Shape1 shown 2775 00000000",
                            "Caption=Write Started",
                            "ForeColor=8000000e",
                            "Shape3 shown 43.3594 000000ff",
                            "Caption=A",
                            "Caption=A (41)",
                            "Shape3 shown 86.7188 000000ff",
                            "Caption=B",
                            "Caption=B (42)"};
    QCOMPARE(h.mid(0, start.size()), start);
    const qsizetype finished = h.indexOf("Caption=Write Finished");
    QVERIFY(finished > 0);
    QCOMPARE(h.mid(finished - 4, 4),
             QStringList({"Caption=x (78)", "Shape2 shown 2775 00c0c0c0", "Shape3 shown 0 000000ff",
                          "Shape3 shown 0 0000ff00"}));
    QCOMPARE(h.mid(finished, 2), QStringList({"Caption=Write Finished", "Caption=Verify Started"}));
    QVERIFY(h.contains("Shape3 shown 2775 0000ff00"));
    QCOMPARE(h.mid(h.size() - 6),
             QStringList({"Shape3 hidden 2775 0000ff00", "Shape3 hidden 0 0000ff00",
                          "Shape2 hidden 2775 00c0c0c0", "Shape1 hidden 2775 00000000",
                          "ForeColor=80000012", "Caption=Verify Completed"}));
}

void tst_WriteAndVerify::byteCaptions_data() {
    QTest::addColumn<QByteArray>("byte");
    QTest::addColumn<QString>("caption");
    QTest::newRow("00") << QByteArray::fromHex("00") << ". (0)";
    QTest::newRow("05") << QByteArray::fromHex("05") << ". (5)";
    QTest::newRow("20") << QByteArray::fromHex("20") << ". (20)";
    QTest::newRow("21") << QByteArray::fromHex("21") << "! (21)";
    QTest::newRow("3C") << QByteArray::fromHex("3c") << "< (3C)";
    QTest::newRow("7F") << QByteArray::fromHex("7f") << "\x7f (7F)";
    QTest::newRow("80") << QByteArray::fromHex("80") << ". (80)";
    QTest::newRow("FF") << QByteArray::fromHex("ff") << ". (FF)";
}

void tst_WriteAndVerify::byteCaptions() {
    QFETCH(QByteArray, byte);
    QFETCH(QString, caption);
    CommandRig rig;
    rig.choosePort();
    writeImage(rig, byte);
    QVERIFY2(rig.captions().contains("Caption=" + caption), qPrintable(rig.captions().join('|')));
    // The fill bytes of a short image leave the caption alone.
    QCOMPARE(rig.captions().at(rig.captions().indexOf("Caption=" + caption) + 1),
             "Caption=Write Finished");
}

void tst_WriteAndVerify::retryYesWritesAgainWithTheSameFile() {
    CommandRig rig(stuckCell(5));
    rig.choosePort();
    rig.messages.answer({MessageBox::Answer::Yes, MessageBox::Answer::No});
    const int ticksBefore = rig.timer1.ticks();

    const CommandResult result = writeImage(rig, pattern(64));

    QCOMPARE(result.end, CommandEnd::Done);
    QCOMPARE(result.writePasses, 2);
    QCOMPARE(result.differences, QList<CellDifference>({{5, 0x3f, quint8(0xff)}}));
    QCOMPARE(result.cells.toHex(), rig.device.cells().toHex());
    QCOMPARE(rig.files.showings(), 1);
    QCOMPARE(rig.messages.shown().size(), 2);
    for (const auto& box : rig.messages.shown()) {
        QCOMPARE(box.prompt, "Try to write again?");
        QCOMPARE(box.code, 52);
        QCOMPARE(box.title, "Verify failed!");
    }
    const QByteArray pass = Wire::WriteAll + pattern(64) + Wire::ReadAll;
    QCOMPARE(rig.sent().toHex(), (pass + pass + Wire::Wake).toHex());
    QCOMPARE(rig.ticksSince(ticksBefore), 2 * 67 + 100);
    QCOMPARE(rig.history.filter("Caption=Write Started").size(), 2);
    QCOMPARE(rig.captions().constLast(), "Caption=Verify Failed!!!");
    QCOMPARE(rig.history.at(rig.history.size() - 2), "ForeColor=80000012");
}

void tst_WriteAndVerify::differencesNameEveryCell() {
    QCOMPARE(ImageComparison::describe(ImageComparison::differences(
                 QByteArray::fromHex("0102030405"), QByteArray::fromHex("01ff03"))),
             QStringList({"Address 01: file 02, device FF",
                          "Address 03: file 04, no byte from the device",
                          "Address 04: file 05, no byte from the device"}));

    CommandRig rig(stuckCell(5));
    rig.choosePort();
    writeImage(rig, pattern(64));
    QCOMPARE(rig.messages.shown().constFirst().details, "Address 05: file 3F, device FF");
}

void tst_WriteAndVerify::refusals() {
    {
        CommandRig rig; // no port chosen
        QCOMPARE(writeImage(rig, pattern(64)).end, CommandEnd::NotStarted);
        QCOMPARE(rig.messages.shown().size(), 1);
        QCOMPARE(rig.messages.shown().constFirst().prompt, "Please select COM port!");
        QCOMPARE(rig.messages.shown().constFirst().code, 48);
        QCOMPARE(rig.messages.shown().constFirst().title, "No COM port selected");
        QCOMPARE(rig.files.showings(), 0);
        QVERIFY(rig.comm.outputs().empty());
    }
    {
        CommandRig rig; // dialog cancelled
        rig.choosePort();
        rig.files.choose({std::nullopt});
        QCOMPARE(rig.runner.writeAndVerify().end, CommandEnd::Cancelled);
        QVERIFY(rig.sent().isEmpty());
        QVERIFY(rig.comm.calls().isEmpty());
        QVERIFY(rig.history.isEmpty());
    }
    for (const char* kind : {"missing", "unreadable"}) {
        CommandRig rig; // a mistyped name or a bad file must not fill the device with FF
        rig.choosePort();
        const QString path = kind == std::string_view("missing") ? rig.path("no such image.bin")
                                                                 : unreadableFile(rig);
        rig.files.choose({path});
        QCOMPARE(rig.runner.writeAndVerify().end, CommandEnd::FileFailed);
        QVERIFY(rig.sent().isEmpty());
        QVERIFY(rig.messages.shown().constFirst().prompt.contains(QDir::toNativeSeparators(path)));
        QCOMPARE(rig.captions().constLast(), "Caption=Write Aborted");
        QCOMPARE(writeImage(rig, pattern(64)).end, CommandEnd::Done);
    }
}

void tst_WriteAndVerify::unplugMidWriteSendsNothingMore() {
    CommandRig rig;
    rig.choosePort();
    rig.pump.setBeforePass([&] {
        if (rig.sent().size() == 20 && rig.link.PortOpen())
            rig.comm.unplug();
    });

    QCOMPARE(writeImage(rig, pattern(64)).end, CommandEnd::PortFailed);

    QCOMPARE(rig.sent().size(), 20);
    QCOMPARE(rig.messages.shown().size(), 1);
    QCOMPARE(rig.messages.shown().constFirst().title, "COM port failed");
    QVERIFY(rig.messages.shown().constFirst().prompt.contains("/dev/ttyUSB0"));
    QCOMPARE(rig.captions().constLast(), "Caption=Write Aborted");
    QVERIFY(!rig.panel.shape(StatusPanel::Shape::Shape1).Visible);
}

void tst_WriteAndVerify::closingInsideEachWait_data() {
    QTest::addColumn<int>("closeAfterBytes");
    QTest::addColumn<bool>("silent");
    QTest::addColumn<bool>("inCycle");
    QTest::newRow("pause after a data byte") << 10 << false << false;
    QTest::newRow("read-back of a silent device") << 69 << true << false;
    QTest::newRow("port cycle") << 69 << false << true;
}

void tst_WriteAndVerify::closingInsideEachWait() {
    QFETCH(int, closeAfterBytes);
    QFETCH(bool, silent);
    QFETCH(bool, inCycle);
    DeviceFaults faults;
    faults.silent = silent;
    CommandRig rig(faults);
    rig.choosePort();
    rig.pump.setBeforePass([&] {
        if (rig.sent().size() >= closeAfterBytes && !rig.waiter.isClosing() &&
            rig.link.PortOpen() != inCycle)
            rig.runner.shutDown();
    });

    QCOMPARE(writeImage(rig, pattern(64)).end, CommandEnd::Closing);

    QCOMPARE(rig.sent().size(), closeAfterBytes);
    QVERIFY(!rig.link.PortOpen());
    QVERIFY(!rig.timer1.isEnabled());
    QVERIFY(!rig.captions().contains("Caption=Verify Completed"));
    QCOMPARE(rig.runner.choosePort(1), CommandEnd::NotStarted);
    QVERIFY(!rig.link.PortOpen());
}

void tst_WriteAndVerify::overlappingClicksAreRefused() {
    CommandRig quiet;
    quiet.choosePort();
    writeImage(quiet, pattern(64));

    CommandRig rig;
    rig.choosePort();
    QList<bool> refused;
    rig.clickEverythingOnEachPass(refused);
    writeImage(rig, pattern(64));
    rig.pump.setBeforePass({});

    QVERIFY(refused.size() > 3 * 67);
    QVERIFY(!refused.contains(false));
    QCOMPARE(rig.sent(), quiet.sent());
    QCOMPARE(rig.history, quiet.history);
    QCOMPARE(rig.link.CommPort(), 1);
    QCOMPARE(rig.files.showings(), 1);
}

QTEST_GUILESS_MAIN(tst_WriteAndVerify)
#include "tst_WriteAndVerify.moc"
