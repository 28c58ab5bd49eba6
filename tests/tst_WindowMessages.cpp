// The window's message boxes for every way a command can fail, from the results the commands
// end with on fakes in virtual time.

#include "CommandRig.h"
#include "FakeMessageBox.h"

#include "app/WindowMessages.h"
#include "image/ImageFile.h"

#include <QDir>
#include <QTest>

using namespace tavrin;
using namespace tavrin::test;
using namespace std::chrono_literals;

namespace {

// The commands on fakes with the window's words shown in scripted boxes.
struct WindowRig : CommandRig {
    explicit WindowRig(DeviceFaults faults = {})
        : CommandRig(std::move(faults)) {
        QObject::connect(&runner, &CommandRunner::commandEnded,
                         [this](const CommandResult& result) { words.show(result); });
    }
    FakeMessageBox boxes;
    WindowMessages words{boxes};
};

} // namespace

class tst_WindowMessages : public QObject {
    Q_OBJECT

private slots:
    void openFailuresAreExplained_data();
    void openFailuresAreExplained();
    void eachFailureIsToldOnce_data();
    void eachFailureIsToldOnce();
    void writeAgainIsAsked();
};

void tst_WindowMessages::openFailuresAreExplained_data() {
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("device");
    QTest::addColumn<PortError::Kind>("kind");
    QTest::addColumn<QString>("detail");
    QTest::addColumn<QStringList>("said");

    QTest::newRow("no device for the number")
        << 3 << "" << PortError::Kind::None << ""
        << QStringList{"Com3 is not available", "no serial device", "TAVRIN_COM3"};
    QTest::newRow("device missing")
        << 1 << "/dev/ttyUSB7" << PortError::Kind::NotPresent << "No such file or directory"
        << QStringList{"Com1 (/dev/ttyUSB7) could not be opened", "not present"};
    QTest::newRow("held by another program")
        << 2 << "/dev/ttyUSB0" << PortError::Kind::Busy
        << "Permission error while locking the device"
        << QStringList{"Com2 (/dev/ttyUSB0)", "another program is using this port"};
    QTest::newRow("no permission")
        << 4 << "/dev/ttyS0" << PortError::Kind::PermissionDenied << "Permission denied"
        << QStringList{"Com4 (/dev/ttyS0)", "no permission", "dialout", "logging in again"};
    QTest::newRow("anything else")
        << 1 << "/dev/ttyUSB0" << PortError::Kind::Failed << "Input/output error"
        << QStringList{"Com1 (/dev/ttyUSB0) could not be opened", "Input/output error."};
    // Windows's texts end with a full stop of their own.
    QTest::newRow("in Windows's words")
        << 1 << "COM1" << PortError::Kind::Failed << "The request is not supported."
        << QStringList{"Com1 (COM1) could not be opened: The request is not supported."};
}

void tst_WindowMessages::openFailuresAreExplained() {
    QFETCH(int, port);
    QFETCH(QString, device);
    QFETCH(PortError::Kind, kind);
    QFETCH(QString, detail);
    QFETCH(QStringList, said);
    WindowRig rig;
    rig.comm.setDevice(port, device);
    if (kind != PortError::Kind::None)
        rig.comm.failOpens(kind, detail);

    QCOMPARE(rig.runner.choosePort(port).end, CommandEnd::PortFailed);

    QCOMPARE(rig.boxes.shown().size(), 1);
    const FakeMessageBox::Shown shown = rig.boxes.shown().constFirst();
    QCOMPARE(shown.code, 48);
    QCOMPARE(shown.title, QStringLiteral("COM port not available"));
    for (const QString& words : said)
        QVERIFY2(shown.prompt.contains(words), qPrintable(shown.prompt));
    QVERIFY(!shown.prompt.contains(u"locking"));
    QVERIFY2(!shown.prompt.contains(u".."), qPrintable(shown.prompt));
}

void tst_WindowMessages::eachFailureIsToldOnce_data() {
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("said");
    QTest::newRow("no port chosen") << "no port"
                                    << "No COM port selected"
                                    << "Please select COM port!";
    QTest::newRow("port lost while writing") << "unplug"
                                             << "COM port failed"
                                             << "Com1 (/dev/ttyUSB0) stopped working: ";
    QTest::newRow("timer stopped while writing")
        << "timer"
        << "Timer failed"
        << "The system's timer stopped working: Access is denied.\n";
    QTest::newRow("image missing") << "missing"
                                   << "Image not opened"
                                   << "does not exist.";
    QTest::newRow("image not usable Intel HEX") << "hex"
                                                << "Image not opened"
                                                << "is not usable Intel HEX: line 1: ";
    QTest::newRow("save into a missing folder") << "save"
                                                << "Image not saved"
                                                << "could not be created: ";
    QTest::newRow("reopen after a verified write fails")
        << "reopen"
        << "COM port not available"
        << "Com1 (/dev/ttyUSB0) could not be opened: the device is not present.";
    QTest::newRow("timer stops in the port cycle") << "cycle timer"
                                                   << "Timer failed"
                                                   << "The system's timer stopped working: ";
}

void tst_WindowMessages::eachFailureIsToldOnce() {
    QFETCH(QString, failure);
    QFETCH(QString, title);
    QFETCH(QString, said);
    WindowRig rig;
    if (failure != "no port")
        rig.choosePort();
    const QString image = rig.path(failure == "hex" ? "image.hex" : "image.bin");
    QVERIFY(ImageFile::write(rig.path("image.bin"), QByteArray(64, 'i')).isEmpty());
    QFile hex(rig.path("image.hex"));
    QVERIFY(hex.open(QIODevice::WriteOnly) && hex.write("not hex\n") > 0);
    hex.close();
    rig.files.choose({failure == "missing" ? rig.path("gone.bin") : image});
    bool struck = false;
    rig.pump.setBeforePass([&] {
        if (struck)
            return;
        if (failure == "unplug" && rig.sent().size() == 20)
            rig.comm.unplug();
        else if (failure == "timer" && rig.sent().size() == 20)
            rig.timer1.fail(QStringLiteral("Access is denied."));
        else if (failure == "reopen" && !rig.link.PortOpen() && rig.sent().size() > 66)
            rig.comm.failOpens(PortError::Kind::NotPresent, "No such file or directory");
        else if (failure == "cycle timer" && !rig.link.PortOpen() && rig.sent().size() > 66)
            rig.timer1.fail(QStringLiteral("The wait failed."));
        else
            return;
        struck = true;
    });

    if (failure == "save") {
        rig.files.choose({rig.path("no folder/saved.bin")});
        rig.runner.readAndSave();
    } else {
        rig.runner.writeAndVerify();
    }

    QCOMPARE(rig.boxes.shown().size(), 1);
    const FakeMessageBox::Shown shown = rig.boxes.shown().constFirst();
    QCOMPARE(shown.code, 48);
    QCOMPARE(shown.title, title);
    QVERIFY2(shown.prompt.contains(said), qPrintable(shown.prompt));
    // The port is left closed where it failed or could not be reopened.
    if (failure != "no port")
        QCOMPARE(rig.link.PortOpen(),
                 failure != "unplug" && failure != "reopen" && failure != "cycle timer");
}

void tst_WindowMessages::writeAgainIsAsked() {
    FakeMessageBox boxes;
    WindowMessages words(boxes);
    boxes.answer({MessageBox::Answer::Yes, MessageBox::Answer::No});
    const QList<CellDifference> differences{{5, 0x69, quint8(0xff)}, {7, 0x69, std::nullopt}};

    QVERIFY(words.writeAgain(differences));
    QVERIFY(!words.writeAgain(differences));

    QCOMPARE(boxes.shown().size(), 2);
    for (const auto& box : boxes.shown()) {
        QCOMPARE(box.prompt, "Try to write again?");
        QCOMPARE(box.code, 52);
        QCOMPARE(box.title, "Verify failed!");
        QCOMPARE(box.details,
                 "Address 05: file 69, device FF\nAddress 07: file 69, no byte from the device");
    }
}

QTEST_GUILESS_MAIN(tst_WindowMessages)
#include "tst_WindowMessages.moc"
