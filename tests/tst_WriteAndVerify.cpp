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
    if (!ImageFile::write(path, image).isEmpty())
        qFatal("cannot write the test image");
    rig.files.choose({path});
    return rig.runner.writeAndVerify();
}

// A regular file whose contents cannot be read, even by root (on Windows: held open unshared, as
// another program may hold it, for the rest of the test).
QString unreadableFile(CommandRig& rig) {
#ifdef Q_OS_WIN
    const QString path = rig.path("locked.bin");
    if (!ImageFile::write(path, pattern(64)).isEmpty() ||
        CreateFileW(reinterpret_cast<const wchar_t*>(path.utf16()), GENERIC_READ, 0, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr) == INVALID_HANDLE_VALUE)
        qFatal("cannot lock the test image");
    return path;
#else
    if (geteuid() == 0)
        return QStringLiteral("/proc/self/mem");
    const QString path = rig.path("locked.bin");
    if (!ImageFile::write(path, pattern(64)).isEmpty() ||
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
    void stagesInOrder();
    void failedReopenAfterAVerifiedUnit_data();
    void failedReopenAfterAVerifiedUnit();
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
    QTest::newRow("64 bytes") << 64 << 66 << "VerifyCompleted";
    QTest::newRow("10 bytes, filled") << 10 << 66 << "VerifyCompleted";
    QTest::newRow("empty, all fill") << 0 << 66 << "VerifyCompleted";
    QTest::newRow("65 bytes, sent whole") << 65 << 67 << "VerifyFailed";
    QTest::newRow("70 bytes, sent whole") << 70 << 72 << "VerifyFailed";
    QTest::newRow("4096 bytes, sent whole") << 4096 << 4098 << "VerifyFailed";
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
    QCOMPARE(result.differences.isEmpty(), verdict == "VerifyCompleted");
    QCOMPARE(result.portCycle, CommandResult::PortCycle::Reopened);
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
    QCOMPARE(rig.stages().constLast(), "Stage=" + verdict);
    QCOMPARE(rig.questions.asked().size(), verdict == "VerifyCompleted" ? 0 : 1);
    QCOMPARE(rig.files.showings(), 1);
}

void tst_WriteAndVerify::stagesInOrder() {
    CommandRig rig;
    rig.choosePort();
    QCOMPARE(writeImage(rig, "AB" + QByteArray(62, 'x')).end, CommandEnd::Done);

    const QStringList& h = rig.history;
    QCOMPARE(h.mid(0, 4), QStringList({"Progress=Write 0 00", "Stage=WriteStarted",
                                       "Progress=Write 1 41", "Progress=Write 2 42"}));
    const qsizetype passEnded = h.indexOf("Stage=WritePassEnded");
    QCOMPARE(passEnded, 1 + 1 + 64);
    QCOMPARE(h.mid(passEnded, 4), QStringList({"Stage=WritePassEnded", "Stage=WriteFinished",
                                               "Stage=VerifyStarted", "Progress=Verify 0 00"}));
    QCOMPARE(h.mid(h.size() - 3),
             QStringList({"Progress=Verify 64 00", "Stage=VerifyEnded", "Stage=VerifyCompleted"}));
}

void tst_WriteAndVerify::failedReopenAfterAVerifiedUnit_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<PortError::Kind>("kind");
    QTest::newRow("device gone") << "absent" << PortError::Kind::NotPresent;
    QTest::newRow("taken by another program") << "busy" << PortError::Kind::Busy;
    QTest::newRow("permission withdrawn") << "permission" << PortError::Kind::PermissionDenied;
    QTest::newRow("timer stopped in the cycle") << "timer" << PortError::Kind::None;
}

// The unit's cells are verified, so the command is done; the result says the port is closed.
void tst_WriteAndVerify::failedReopenAfterAVerifiedUnit() {
    QFETCH(QString, fault);
    QFETCH(PortError::Kind, kind);
    CommandRig rig;
    rig.choosePort();
    bool struck = false;
    rig.pump.setBeforePass([&] {
        if (struck || rig.link.PortOpen() || rig.sent().size() < 69)
            return;
        struck = true;
        if (fault == "timer")
            rig.timer1.fail(QStringLiteral("the wait failed"));
        else
            rig.comm.failOpens(kind, QStringLiteral("refused"));
    });

    const CommandResult result = writeImage(rig, pattern(64));

    QCOMPARE(result.end, CommandEnd::Done);
    QVERIFY(result.differences.isEmpty());
    QCOMPARE(result.portCycle, CommandResult::PortCycle::NotReopened);
    QCOMPARE(result.portFailure.kind, kind);
    QCOMPARE(result.timerFailure.isEmpty(), fault != "timer");
    QVERIFY(!rig.link.PortOpen());
    QCOMPARE(rig.sent(), Wire::WriteAll + pattern(64) + Wire::ReadAll);
    QCOMPARE(rig.stages().constLast(), "Stage=VerifyCompleted");
    // The next command finds no port, as after a failed opening.
    QCOMPARE(rig.runner.readAndSave().end, CommandEnd::NoPort);
}

void tst_WriteAndVerify::retryYesWritesAgainWithTheSameFile() {
    CommandRig rig(stuckCell(5));
    rig.choosePort();
    rig.questions.answer({true, false});
    const int ticksBefore = rig.timer1.ticks();

    const CommandResult result = writeImage(rig, pattern(64));

    QCOMPARE(result.end, CommandEnd::Done);
    QCOMPARE(result.writePasses, 2);
    QCOMPARE(result.differences, QList<CellDifference>({{5, 0x3f, quint8(0xff)}}));
    QCOMPARE(result.cells.toHex(), rig.device.cells().toHex());
    QCOMPARE(rig.files.showings(), 1);
    QCOMPARE(rig.questions.asked(),
             QList<QList<CellDifference>>(2, QList<CellDifference>({{5, 0x3f, quint8(0xff)}})));
    const QByteArray pass = Wire::WriteAll + pattern(64) + Wire::ReadAll;
    QCOMPARE(rig.sent().toHex(), (pass + pass + Wire::Wake).toHex());
    QCOMPARE(rig.ticksSince(ticksBefore), 2 * 67 + 100);
    QCOMPARE(rig.history.filter("Stage=WriteStarted").size(), 2);
    QCOMPARE(rig.stages().mid(rig.stages().size() - 2),
             QStringList({"Stage=VerifyEnded", "Stage=VerifyFailed"}));
}

void tst_WriteAndVerify::differencesNameEveryCell() {
    QCOMPARE(ImageComparison::describe(ImageComparison::differences(
                 QByteArray::fromHex("0102030405"), QByteArray::fromHex("01ff03"))),
             QStringList({"Address 01: file 02, device FF",
                          "Address 03: file 04, no byte from the device",
                          "Address 04: file 05, no byte from the device"}));

    CommandRig rig(stuckCell(5));
    rig.choosePort();
    QCOMPARE(ImageComparison::describe(writeImage(rig, pattern(64)).differences),
             QStringList{"Address 05: file 3F, device FF"});
}

void tst_WriteAndVerify::refusals() {
    {
        CommandRig rig; // no port chosen
        QCOMPARE(writeImage(rig, pattern(64)).end, CommandEnd::NoPort);
        QVERIFY(rig.history.isEmpty());
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
        const CommandResult result = rig.runner.writeAndVerify();
        QCOMPARE(result.end, CommandEnd::FileFailed);
        QVERIFY(rig.sent().isEmpty());
        QCOMPARE(result.fileFailure.path, path);
        QCOMPARE(result.fileFailure.action, FileProblem::Action::Open);
        if (kind == std::string_view("missing"))
            QCOMPARE(result.fileFailure.kind, FileProblem::Kind::Missing);
        else
            QVERIFY(result.fileFailure.kind == FileProblem::Kind::NotOpened ||
                    result.fileFailure.kind == FileProblem::Kind::NotRead);
        QCOMPARE(rig.stages(), QStringList{"Stage=WriteAborted"});
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

    const CommandResult result = writeImage(rig, pattern(64));

    QCOMPARE(result.end, CommandEnd::PortFailed);
    QCOMPARE(result.portFailure.kind, PortError::Kind::Lost);
    QCOMPARE(result.device, "/dev/ttyUSB0");
    QCOMPARE(result.port, 1);
    QCOMPARE(rig.sent().size(), 20);
    // Reported once, through the result.
    QCOMPARE(rig.ended.size(), 1);
    QCOMPARE(rig.lost.size(), 1);
    QCOMPARE(rig.stages().constLast(), "Stage=WriteAborted");
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
    QVERIFY(!rig.stages().contains("Stage=VerifyCompleted"));
    QCOMPARE(rig.runner.choosePort(1).end, CommandEnd::NotStarted);
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
