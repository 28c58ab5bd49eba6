// The real serial code against tavrin-devsim on a pseudo-terminal, in real time.

#include "FakeMessageBox.h"
#include "RealLink.h"
#include "SimulatorProcess.h"

#include "image/ImageFile.h"
#include "link/DeviceProtocol.h"
#include "link/PacingTimer.h"
#include "link/SerialLink.h"
#include "link/Waiter.h"
#include "link/WireFormat.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <pty.h>
#include <termios.h>
#include <unistd.h>

using namespace tavrin;
using namespace tavrin::test;

class tst_QtSerialControl : public QObject {
    Q_OBJECT

private slots:
    void readBackRoundTrip();
    void portCycleIsSeenByTheDevice();
    void unplugEndsTheWait();
    void secondProgramIsRefused();
    void bytesSentTooSoonAreLostAtTheDevice_data();
    void bytesSentTooSoonAreLostAtTheDevice();
    void inputWaitingOnTheLineIsDiscarded();
    void emptyLockFileLeftByAKillIsRemoved();
};

namespace {

// A pseudo-terminal of the test's own: the device's side stays here, the port's side is opened
// by the control.
struct Terminal {
    Terminal() {
        char name[256] = {};
        int port = -1;
        termios raw{};
        cfmakeraw(&raw);
        if (::openpty(&device, &port, name, &raw, nullptr) == 0)
            ::close(port);
        path = QString::fromLocal8Bit(name);
    }
    ~Terminal() {
        if (device >= 0)
            ::close(device);
    }
    bool send(const QByteArray& bytes) const {
        return ::write(device, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }
    int device = -1;
    QString path;
};

} // namespace

void tst_QtSerialControl::readBackRoundTrip() {
    QTemporaryDir dir;
    QByteArray cells;
    for (int i = 0; i < 64; ++i)
        cells += char(255 - i * 2);
    cells[3] = 0;
    QVERIFY(ImageFile::write(dir.filePath("cells.bin"), cells).isEmpty());
    SimulatorProcess sim({"--image", dir.filePath("cells.bin")});
    QVERIFY(!sim.devicePath().isEmpty());
    RealLink real(sim.devicePath());

    QCOMPARE(real.link.choosePort(1), Outcome::Completed);
    QVERIFY2(!real.link.lastFailure().isError(),
             "a pseudo-terminal has no modem lines; that is fine");
    const ReadBackResult result = real.protocol.ReadBack();

    QCOMPARE(result.outcome, Outcome::Completed);
    QCOMPARE(result.ReplyBuffer.toHex(), (QByteArray(1, char(64)) + cells).toHex());
    QVERIFY(sim.waitForEvent("read"));
}

void tst_QtSerialControl::portCycleIsSeenByTheDevice() {
    SimulatorProcess sim;
    RealLink real(sim.devicePath());
    QCOMPARE(real.link.choosePort(1), Outcome::Completed);
    QVERIFY(sim.waitForEvent("connected 1"));

    QCOMPARE(real.link.CyclePort(), Outcome::Completed);

    QVERIFY(sim.waitForEvent("disconnected"));
    QVERIFY(sim.waitForEvent("connected 2"));
    QVERIFY(real.link.PortOpen());
    QCOMPARE(real.protocol.ReadBack().outcome, Outcome::Completed);
}

void tst_QtSerialControl::unplugEndsTheWait() {
    SimulatorProcess sim({"--silent"});
    RealLink real(sim.devicePath());
    QCOMPARE(real.link.choosePort(1), Outcome::Completed);
    QTimer::singleShot(200, [&] { sim.stop(); });

    const ReadBackResult result = real.protocol.ReadBack();

    QCOMPARE(result.outcome, Outcome::PortLost);
    QVERIFY(real.guard.isActive());
    QVERIFY(!real.link.PortOpen());
    // Qt keeps raising errors on a hung-up line; the operator hears of it once.
    QTRY_COMPARE(real.lost.size(), 1);
    QTest::qWait(100);
    QCOMPARE(real.lost.size(), 1);
    QCOMPARE(real.link.lastFailure().kind, PortError::Kind::Lost);
    QCOMPARE(real.link.device(), sim.devicePath());
    QCOMPARE(real.link.choosePort(1), Outcome::PortLost);
}

void tst_QtSerialControl::secondProgramIsRefused() {
    SimulatorProcess sim;
    RealLink first(sim.devicePath());
    RealLink second(sim.devicePath());
    QCOMPARE(first.link.choosePort(1), Outcome::Completed);

    QCOMPARE(second.link.choosePort(1), Outcome::PortLost);

    QCOMPARE(second.link.lastFailure().kind, PortError::Kind::Busy);
    QVERIFY(first.link.PortOpen());
    QCOMPARE(first.protocol.ReadBack().outcome, Outcome::Completed);
}

// The simulator forgives a late handover by the kernel, not a host that sends too soon.
void tst_QtSerialControl::bytesSentTooSoonAreLostAtTheDevice_data() {
    QTest::addColumn<int>("pauseMs");
    QTest::addColumn<int>("atLeastLost"); // of 64; the kernel's handover may spread them a little
    QTest::newRow("no pause") << 0 << 40;
    QTest::newRow("2 ms pauses") << 2 << 10;
}

void tst_QtSerialControl::bytesSentTooSoonAreLostAtTheDevice() {
    QFETCH(int, pauseMs);
    QFETCH(int, atLeastLost);
    SimulatorProcess sim;
    RealLink real(sim.devicePath());
    QCOMPARE(real.link.choosePort(1), Outcome::Completed);

    QVERIFY(!real.comm.output(Wire::WriteAll).isError());
    for (int i = 0; i < Wire::EepromSize; ++i) {
        QTest::qSleep(pauseMs);
        QVERIFY(!real.comm.output(QByteArray(1, char(i))).isError());
    }

    QTRY_VERIFY_WITH_TIMEOUT(!sim.events().filter("written lost=").isEmpty(), 10000);
    const QString written = sim.events().filter("written lost=").constFirst();
    QVERIFY2(written.mid(13).toInt() >= atLeastLost, qPrintable(written));
}

// The rest of a reply to a command that was killed waits in the system's buffer; it must not be
// taken for the start of the next answer.
void tst_QtSerialControl::inputWaitingOnTheLineIsDiscarded() {
    Terminal terminal;
    QVERIFY(!terminal.path.isEmpty());
    QtSerialControl comm([&](int) { return terminal.path; });
    comm.setCommPort(1);
    QVERIFY(!comm.open().isError());
    QVERIFY(terminal.send(QByteArray::fromHex("40ffeeddccbb")));

    comm.discardInput();
    QVERIFY(terminal.send("fresh"));
    QByteArray received;
    QTRY_VERIFY_WITH_TIMEOUT((received += comm.input()).size() >= 5, 5000);
    QCOMPARE(received, QByteArray("fresh"));
    comm.close();
}

// A run killed between making the port's lock file and writing its process id into it leaves an
// empty file; it must not keep the port "in use" for the next run.
void tst_QtSerialControl::emptyLockFileLeftByAKillIsRemoved() {
    Terminal terminal;
    QString lockPath;
    for (const QString& folder : {QStringLiteral("/var/lock"), QStringLiteral("/run/lock")}) {
        if (QFileInfo(folder).isWritable()) {
            lockPath = folder + "/LCK.." + terminal.path.mid(5).replace(u'/', u'_');
            break;
        }
    }
    if (lockPath.isEmpty())
        QSKIP("no lock folder this test may write to");
    QFile lock(lockPath);
    QVERIFY(lock.open(QIODevice::WriteOnly));
    lock.close();
    QVERIFY(lock.open(QIODevice::ReadWrite));
    QVERIFY(lock.setFileTime(QDateTime::currentDateTime().addSecs(-5),
                             QFileDevice::FileModificationTime));
    lock.close();

    QtSerialControl comm([&](int) { return terminal.path; });
    comm.setCommPort(1);
    const PortError error = comm.open();
    QVERIFY2(!error.isError(), qPrintable(error.detail));
    comm.close();
    QVERIFY(!QFile::exists(lockPath));
}

QTEST_GUILESS_MAIN(tst_QtSerialControl)
#include "tst_QtSerialControl.moc"
