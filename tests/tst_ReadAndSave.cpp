// The read-and-save command in virtual time against the device model.

#include "CommandRig.h"
#include "FileContents.h"

#include "image/ImageFile.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace tavrin;
using namespace tavrin::test;

class tst_ReadAndSave : public QObject {
    Q_OBJECT

private slots:
    void savesTheCellsAndCyclesThePort_data();
    void savesTheCellsAndCyclesThePort();
    void refusals();
    void failedSaveKeepsTheOldFile();
    void closingDuringTheReadWritesNothing();
    void overlappingClicksAreRefused();
};

void tst_ReadAndSave::savesTheCellsAndCyclesThePort_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("saved");
    QByteArray cells;
    for (int i = 0; i < 64; ++i)
        cells += char(0xFF - i);
    QTest::newRow("64 cells") << QByteArray(1, char(64)) + cells << cells;
    QTest::newRow("zero count") << QByteArray::fromHex("00") << QByteArray();
    QTest::newRow("extra bytes are not cells")
        << QByteArray(1, char(64)) + cells + QByteArray::fromHex("0d0a") << cells;
    QTest::newRow("short count") << QByteArray::fromHex("03414243") << QByteArray("ABC");
}

void tst_ReadAndSave::savesTheCellsAndCyclesThePort() {
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, saved);
    CommandRig rig;
    rig.comm.attach(nullptr);
    rig.choosePort();
    const QString path = rig.path("saved.bin");
    rig.files.choose({path});
    rig.pump.setBeforePass([&] {
        if (rig.sent() == Wire::ReadAll) {
            rig.comm.arrive(reply);
            rig.pump.setBeforePass({});
        }
    });
    const int ticksBefore = rig.timer1.ticks();

    const CommandResult result = rig.runner.readAndSave();

    QCOMPARE(result.end, CommandEnd::Done);
    QCOMPARE(result.cells.toHex(), saved.toHex());
    QCOMPARE(result.device, "/dev/ttyUSB0");
    QCOMPARE(fileContents(path).toHex(), saved.toHex());
    QCOMPARE(rig.files.calls().filter("Save"), QStringList{"Save " + ImageDialog::Filter + " 2"});
    QCOMPARE(rig.sent().toHex(), (Wire::ReadAll + Wire::Wake).toHex());
    QVERIFY(rig.comm.calls().contains("PortOpen=False"));
    QCOMPARE(rig.ticksSince(ticksBefore), 100);
    QCOMPARE(rig.stages(), QStringList({"Stage=ReadStarted", "Stage=ReadFinished"}));
    QCOMPARE(result.portCycle, CommandResult::PortCycle::Reopened);
    QVERIFY(!result.portFailure.isError() && result.fileFailure.isEmpty());
}

void tst_ReadAndSave::refusals() {
    {
        CommandRig rig;
        QCOMPARE(rig.runner.readAndSave().end, CommandEnd::NoPort);
        QVERIFY(rig.comm.outputs().empty());
        QVERIFY(rig.history.isEmpty());
    }
    {
        CommandRig rig;
        rig.choosePort();
        rig.files.choose({std::nullopt});
        QCOMPARE(rig.runner.readAndSave().end, CommandEnd::Cancelled);
        QCOMPARE(rig.sent(), Wire::ReadAll);
        QVERIFY(!rig.comm.calls().contains("PortOpen=False")); // no port cycle
        QCOMPARE(rig.stages(), QStringList{"Stage=ReadStarted"});
        QCOMPARE(QDir(rig.dir.path()).entryList(QDir::Files), QStringList());
    }
}

void tst_ReadAndSave::failedSaveKeepsTheOldFile() {
    CommandRig rig;
    rig.choosePort();
    const QString path = rig.path("missing folder/saved.bin");
    rig.files.choose({path});

    const CommandResult result = rig.runner.readAndSave();

    QCOMPARE(result.end, CommandEnd::FileFailed);
    QCOMPARE(result.fileFailure.path, path);
    QCOMPARE(result.fileFailure.action, FileProblem::Action::Save);
    QCOMPARE(result.fileFailure.kind, FileProblem::Kind::NotCreated);
    QVERIFY(!result.fileFailure.reason.isEmpty());
    QCOMPARE(rig.stages().constLast(), "Stage=ReadAborted");
    QVERIFY(rig.link.PortOpen());
    QVERIFY(!rig.comm.calls().contains("PortOpen=False"));
}

void tst_ReadAndSave::closingDuringTheReadWritesNothing() {
    DeviceFaults faults;
    faults.silent = true;
    CommandRig rig(faults);
    rig.choosePort();
    rig.files.choose({rig.path("saved.bin")});
    rig.pump.setStallHandler([&] { rig.runner.shutDown(); });

    QCOMPARE(rig.runner.readAndSave().end, CommandEnd::Closing);

    QCOMPARE(rig.files.showings(), 0);
    QVERIFY(!QFile::exists(rig.path("saved.bin")));
    QVERIFY(!rig.link.PortOpen());
    QCOMPARE(rig.sent(), Wire::ReadAll);
}

void tst_ReadAndSave::overlappingClicksAreRefused() {
    CommandRig quiet;
    quiet.choosePort();
    quiet.files.choose({quiet.path("saved.bin")});
    QCOMPARE(quiet.runner.readAndSave().end, CommandEnd::Done);

    CommandRig rig;
    rig.choosePort();
    rig.files.choose({rig.path("saved.bin")});
    QList<bool> refused;
    rig.clickEverythingOnEachPass(refused);
    QCOMPARE(rig.runner.readAndSave().end, CommandEnd::Done);
    rig.pump.setBeforePass({});

    QVERIFY(refused.size() > 3 * 100); // the reply wait and every tick of the port cycle
    QVERIFY(!refused.contains(false));
    QCOMPARE(rig.sent(), quiet.sent());
    QCOMPARE(rig.history, quiet.history);
    QCOMPARE(fileContents(rig.path("saved.bin")).toHex(), rig.device.cells().toHex());
    QCOMPARE(rig.link.CommPort(), 1);
    QCOMPARE(rig.files.showings(), 1);
}

QTEST_GUILESS_MAIN(tst_ReadAndSave)
#include "tst_ReadAndSave.moc"
