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
    QVERIFY(!rig.link.lastFailure().isError());

    // By its device: the messages name the device alone.
    QCOMPARE(rig.link.choosePort(QStringLiteral("/dev/ttyACM3")), Outcome::Completed);
    QCOMPARE(rig.comm.calls().mid(Opening.size() + 1, 2),
             QStringList({"PortOpen=False", "Device=/dev/ttyACM3"}));
    QCOMPARE(rig.link.device(), "/dev/ttyACM3");
    QCOMPARE(rig.link.describePort(), "/dev/ttyACM3");
    rig.comm.unplug();
    QCOMPARE(rig.link.choosePort(QStringLiteral("/dev/ttyACM3")), Outcome::PortLost);
    QCOMPARE(rig.link.lastFailure().kind, PortError::Kind::NotPresent);
    QCOMPARE(rig.link.CommPort(), 0);
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
    QTest::addColumn<PortError::Kind>("kept");

    QTest::newRow("no device for the number")
        << 3 << "" << PortError::Kind::None << "" << PortError::Kind::NotPresent;
    QTest::newRow("device missing") << 1 << "/dev/ttyUSB7" << PortError::Kind::NotPresent
                                    << "No such file or directory" << PortError::Kind::NotPresent;
    QTest::newRow("held by another program")
        << 2 << "/dev/ttyUSB0" << PortError::Kind::Busy
        << "Permission error while locking the device" << PortError::Kind::Busy;
    QTest::newRow("no permission") << 4 << "/dev/ttyS0" << PortError::Kind::PermissionDenied
                                   << "Permission denied" << PortError::Kind::PermissionDenied;
    QTest::newRow("anything else") << 1 << "/dev/ttyUSB0" << PortError::Kind::Failed
                                   << "Input/output error" << PortError::Kind::Failed;
}

// What failed is kept, as a value, for the front ends to word; nothing is sent.
void tst_SerialLink::openFailuresAreExplained() {
    QFETCH(int, port);
    QFETCH(QString, device);
    QFETCH(PortError::Kind, kind);
    QFETCH(QString, detail);
    QFETCH(PortError::Kind, kept);

    LinkRig rig;
    rig.comm.setDevice(port, device);
    if (kind != PortError::Kind::None)
        rig.comm.failOpens(kind, detail);

    QCOMPARE(rig.link.choosePort(port), Outcome::PortLost);

    QVERIFY(!rig.link.PortOpen());
    QVERIFY(rig.comm.outputs().empty());
    QCOMPARE(rig.link.lastFailure().kind, kept);
    QCOMPARE(rig.link.lastFailure().detail, detail);
    QVERIFY(rig.lost.isEmpty());
}

void tst_SerialLink::portWithoutModemLinesStillWorks() {
    LinkRig rig;
    rig.comm.failLines(PortError::Kind::LinesUnsupported, "Inappropriate ioctl for device");
    QCOMPARE(rig.link.choosePort(1), Outcome::Completed);
    QVERIFY(rig.link.PortOpen());
    QCOMPARE(rig.comm.sentBytes(), QByteArray("\x1b"));
    QVERIFY(!rig.link.lastFailure().isError());
    QCOMPARE(rig.link.CyclePort(), Outcome::Completed);
    QCOMPARE(rig.comm.sentBytes(), QByteArray("\x1b\x1b"));
}

void tst_SerialLink::otherLineFailuresCloseThePort() {
    LinkRig rig;
    rig.comm.failLines(PortError::Kind::Failed, "Input/output error");
    QCOMPARE(rig.link.choosePort(1), Outcome::PortLost);
    QVERIFY(!rig.link.PortOpen());
    QVERIFY(rig.comm.outputs().empty());
    QCOMPARE(rig.link.lastFailure().kind, PortError::Kind::Failed);
    QCOMPARE(rig.link.lastFailure().detail, "Input/output error");
}

void tst_SerialLink::failureWhileOpenIsReportedOnce() {
    LinkRig rig;
    rig.link.choosePort(2);
    rig.comm.unplug();
    QVERIFY(!rig.link.PortOpen());
    QVERIFY(!rig.link.output("x"));
    rig.waiter.pumpOnce();
    rig.waiter.pumpOnce();
    QCOMPARE(rig.lost.size(), 1);
    QCOMPARE(rig.lost.constFirst().kind, PortError::Kind::Lost);
    QVERIFY(rig.lost.constFirst().detail.contains(u"Input/output error"));
    QCOMPARE(rig.link.describePort(), "Com2 (/dev/ttyFAKE2)");
}

void tst_SerialLink::cyclePortThatCannotReopen() {
    LinkRig rig;
    rig.link.choosePort(1);
    rig.time.scheduleIn(300ms, [&] { rig.comm.unplug(); });
    QCOMPARE(rig.link.CyclePort(), Outcome::PortLost);
    QVERIFY(!rig.link.PortOpen());
    QCOMPARE(rig.comm.sentBytes(), QByteArray("\x1b"));
    QCOMPARE(rig.link.lastFailure().kind, PortError::Kind::NotPresent);
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
    QCOMPARE(rig.link.CyclePort(), Outcome::TimerFailed);
    QCOMPARE(rig.time.now(), 300ms);
    QVERIFY(!rig.link.PortOpen());
    QCOMPARE(rig.comm.dtr(), LineLevel::Dropped);
    QCOMPARE(rig.comm.sentBytes(), QByteArray("\x1b"));
    QCOMPARE(rig.pacing.failure(), "Access is denied.");
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
