#include "LinkRig.h"

#include <QTest>

using namespace tavrin;
using namespace tavrin::test;
using namespace std::chrono_literals;

namespace {

const QStringList Opening{"PortOpen=True", "DTREnable=True", "RTSEnable=True", "Output=1b"};

} // namespace

class tst_SerialLink : public QObject {
    Q_OBJECT

private slots:
    void choosingAPortOpensRaisesAndWakes();
    void choosingOnAnOpenPortClosesFirst();
    void cyclePortDropsTheLinesForOneHundredTicks();
    void cyclePortOnAClosedPortDoesNothing();
    void openFailuresAreExplained_data();
    void openFailuresAreExplained();
    void portWithoutModemLinesStillWorks();
    void otherLineFailuresCloseThePort();
    void failureWhileOpenIsReportedOnce();
    void cyclePortThatCannotReopen();
    void closingDuringACycleDoesNotReopen();
    void timerFailingDuringACycleLeavesThePortClosed();
    void nothingIsSentAfterShutDown();
};

void tst_SerialLink::choosingAPortOpensRaisesAndWakes() {
    LinkRig rig;
    QCOMPARE(rig.link.choosePort(2), Outcome::Completed);
    QCOMPARE(rig.comm.calls(), QStringList{"CommPort=2"} + Opening);
    QVERIFY(rig.link.PortOpen());
    QCOMPARE(rig.link.CommPort(), 2);
    QCOMPARE(rig.device.wakes(), 1);
    QVERIFY(rig.messages.shown().isEmpty());

    // By its device: the messages name the device alone.
    QCOMPARE(rig.link.choosePort(QStringLiteral("/dev/ttyACM3")), Outcome::Completed);
    QCOMPARE(rig.comm.calls().mid(Opening.size() + 1, 2),
             QStringList({"PortOpen=False", "Device=/dev/ttyACM3"}));
    QCOMPARE(rig.link.device(), "/dev/ttyACM3");
    QCOMPARE(rig.link.describePort(), "/dev/ttyACM3");
    rig.comm.unplug();
    QCOMPARE(rig.link.choosePort(QStringLiteral("/dev/ttyACM3")), Outcome::PortLost);
    QVERIFY(rig.messages.shown().constLast().prompt.startsWith(
        "/dev/ttyACM3 could not be opened: the device is not present"));
}

void tst_SerialLink::choosingOnAnOpenPortClosesFirst() {
    LinkRig rig;
    rig.link.choosePort(1);
    rig.comm.clearCalls();
    QCOMPARE(rig.link.choosePort(1), Outcome::Completed);
    QCOMPARE(rig.comm.calls(), QStringList({"PortOpen=False", "CommPort=1"}) + Opening);
    QCOMPARE(rig.device.wakes(), 2);
}

void tst_SerialLink::cyclePortDropsTheLinesForOneHundredTicks() {
    LinkRig rig;
    rig.link.choosePort(3);
    rig.comm.clearCalls();
    bool closedWithLinesDown = false;
    rig.time.scheduleIn(995ms, [&] {
        closedWithLinesDown = !rig.comm.isOpen() && rig.comm.dtr() == LineLevel::Dropped &&
                              rig.comm.rts() == LineLevel::Dropped;
    });
    const auto started = rig.time.now();
    const int resets = rig.device.resets();

    QCOMPARE(rig.link.CyclePort(), Outcome::Completed);

    QCOMPARE(rig.comm.calls(), QStringList{"PortOpen=False"} + Opening);
    QCOMPARE(rig.timer1.ticks(), 100);
    QCOMPARE(rig.time.now() - started, 1000ms);
    QVERIFY(closedWithLinesDown);
    QCOMPARE(rig.link.CommPort(), 3);
    QVERIFY(rig.link.PortOpen());
    QCOMPARE(rig.comm.dtr(), LineLevel::Raised);
    QCOMPARE(rig.comm.rts(), LineLevel::Raised);
    QCOMPARE(rig.device.resets(), resets + 1);
}

void tst_SerialLink::cyclePortOnAClosedPortDoesNothing() {
    LinkRig rig;
    QCOMPARE(rig.link.CyclePort(), Outcome::Completed);
    QVERIFY(rig.comm.calls().isEmpty());
    QCOMPARE(rig.timer1.ticks(), 0);
    QCOMPARE(rig.time.now(), 0ms);
}

void tst_SerialLink::openFailuresAreExplained_data() {
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

void tst_SerialLink::openFailuresAreExplained() {
    QFETCH(int, port);
    QFETCH(QString, device);
    QFETCH(PortError::Kind, kind);
    QFETCH(QString, detail);
    QFETCH(QStringList, said);

    LinkRig rig;
    rig.comm.setDevice(port, device);
    if (kind != PortError::Kind::None)
        rig.comm.failOpens(kind, detail);

    QCOMPARE(rig.link.choosePort(port), Outcome::PortLost);

    QVERIFY(!rig.link.PortOpen());
    QVERIFY(rig.comm.outputs().empty());
    QCOMPARE(rig.messages.shown().size(), 1);
    const FakeMessageBox::Shown shown = rig.messages.shown().constFirst();
    QCOMPARE(shown.code, 48);
    QCOMPARE(shown.title, QStringLiteral("COM port not available"));
    for (const QString& words : said)
        QVERIFY2(shown.prompt.contains(words), qPrintable(shown.prompt));
    QVERIFY(!shown.prompt.contains(u"locking"));
    QVERIFY2(!shown.prompt.contains(u".."), qPrintable(shown.prompt));
}

void tst_SerialLink::portWithoutModemLinesStillWorks() {
    LinkRig rig;
    rig.comm.failLines(PortError::Kind::LinesUnsupported, "Inappropriate ioctl for device");
    QCOMPARE(rig.link.choosePort(1), Outcome::Completed);
    QVERIFY(rig.link.PortOpen());
    QCOMPARE(rig.comm.sentBytes(), QByteArray("\x1b"));
    QVERIFY(rig.messages.shown().isEmpty());
    QCOMPARE(rig.link.CyclePort(), Outcome::Completed);
    QCOMPARE(rig.comm.sentBytes(), QByteArray("\x1b\x1b"));
}

void tst_SerialLink::otherLineFailuresCloseThePort() {
    LinkRig rig;
    rig.comm.failLines(PortError::Kind::Failed, "Input/output error");
    QCOMPARE(rig.link.choosePort(1), Outcome::PortLost);
    QVERIFY(!rig.link.PortOpen());
    QVERIFY(rig.comm.outputs().empty());
    QCOMPARE(rig.messages.shown().size(), 1);
    QVERIFY(rig.messages.shown().constFirst().prompt.contains(u"Input/output error"));
}

void tst_SerialLink::failureWhileOpenIsReportedOnce() {
    LinkRig rig;
    rig.link.choosePort(2);
    rig.comm.unplug();
    QVERIFY(!rig.link.PortOpen());
    QVERIFY(!rig.link.output("x"));
    rig.waiter.pumpOnce();
    rig.waiter.pumpOnce();
    QCOMPARE(rig.messages.shown().size(), 1);
    const FakeMessageBox::Shown shown = rig.messages.shown().constFirst();
    QCOMPARE(shown.title, QStringLiteral("COM port failed"));
    QVERIFY2(shown.prompt.contains(u"Com2 (/dev/ttyFAKE2) stopped working"),
             qPrintable(shown.prompt));
    QVERIFY(shown.prompt.contains(u"Input/output error"));
}

void tst_SerialLink::cyclePortThatCannotReopen() {
    LinkRig rig;
    rig.link.choosePort(1);
    rig.time.scheduleIn(300ms, [&] { rig.comm.unplug(); });
    QCOMPARE(rig.link.CyclePort(), Outcome::PortLost);
    QVERIFY(!rig.link.PortOpen());
    QCOMPARE(rig.comm.sentBytes(), QByteArray("\x1b"));
    QCOMPARE(rig.messages.shown().size(), 1);
    QVERIFY(rig.messages.shown().constFirst().prompt.contains(
        u"Com1 (/dev/ttyFAKE1) could not be opened"));
}

void tst_SerialLink::closingDuringACycleDoesNotReopen() {
    LinkRig rig;
    rig.link.choosePort(1);
    rig.time.scheduleIn(400ms, [&] {
        rig.link.shutDown();
        rig.waiter.close();
    });
    QCOMPARE(rig.link.CyclePort(), Outcome::Closing);
    QCOMPARE(rig.time.now(), 400ms);
    QVERIFY(!rig.comm.isOpen());
    QCOMPARE(rig.comm.dtr(), LineLevel::Dropped);
    QCOMPARE(rig.comm.calls().last(), QStringLiteral("PortOpen=False"));
}

// Without ticks the second down cannot be counted: reopening early would give the device a short
// cycle.
void tst_SerialLink::timerFailingDuringACycleLeavesThePortClosed() {
    LinkRig rig;
    rig.link.choosePort(1);
    rig.time.scheduleIn(300ms, [&] { rig.timer1.fail(QStringLiteral("Access is denied.")); });
    QCOMPARE(rig.link.CyclePort(), Outcome::PortLost);
    QCOMPARE(rig.time.now(), 300ms);
    QVERIFY(!rig.link.PortOpen());
    QCOMPARE(rig.comm.dtr(), LineLevel::Dropped);
    QCOMPARE(rig.comm.sentBytes(), QByteArray("\x1b"));
    QCOMPARE(rig.messages.shown().size(), 1);
    const FakeMessageBox::Shown shown = rig.messages.shown().constFirst();
    QCOMPARE(shown.title, QStringLiteral("Timer failed"));
    QVERIFY2(shown.prompt.contains(u"timer stopped working: Access is denied.\n"),
             qPrintable(shown.prompt));
}

void tst_SerialLink::nothingIsSentAfterShutDown() {
    LinkRig rig;
    rig.link.choosePort(1);
    rig.link.shutDown();
    rig.comm.clearCalls();
    QCOMPARE(rig.link.choosePort(2), Outcome::Closing);
    QCOMPARE(rig.link.CyclePort(), Outcome::Closing);
    QVERIFY(!rig.link.output("\x1b"));
    QVERIFY(rig.comm.calls().isEmpty());
}

QTEST_GUILESS_MAIN(tst_SerialLink)
#include "tst_SerialLink.moc"
