#include "LinkRig.h"

#include <QRandomGenerator>
#include <QTest>

using namespace tavrin;
using namespace tavrin::test;
using namespace std::chrono_literals;

namespace {

// "delay-ms:hex" pieces, separated by blanks.
void arrive(FakeSerialControl& comm, const QString& pieces) {
    for (const QString& piece : pieces.split(u' ', Qt::SkipEmptyParts))
        comm.arriveIn(std::chrono::milliseconds(piece.section(u':', 0, 0).toInt()),
                      QByteArray::fromHex(piece.section(u':', 1).toLatin1()));
}

QByteArray everyByteValue() {
    QByteArray reply(1, char(0xFF));
    for (int value = 0; value < 255; ++value)
        reply += char(value);
    return reply;
}

DeviceFaults silentDevice() {
    DeviceFaults faults;
    faults.silent = true;
    return faults;
}

} // namespace

class tst_DeviceProtocol : public QObject {
    Q_OBJECT

private slots:
    void commandBytes();
    void readBack_data();
    void readBack();
    void everyByteValuePassesUnchanged();
    void randomStreamsInRandomPieces();
    void readBackFromTheDevice();
    void portFailureEndsTheWait();
    void closingEndsTheWaitOnASilentDevice();
    void replyTimeoutEndsTheWait_data();
    void replyTimeoutEndsTheWait();
    void noPortNoBytes();
};

void tst_DeviceProtocol::commandBytes() {
    QCOMPARE(Wire::Wake, QByteArray::fromHex("1b"));
    QCOMPARE(Wire::ReadAll, QByteArray::fromHex("1b1b55"));
    QCOMPARE(Wire::WriteAll, QByteArray::fromHex("1b44"));

    LinkRig rig;
    rig.comm.attach(nullptr);
    rig.link.choosePort(1);
    rig.comm.clearCalls();
    QVERIFY(rig.protocol.sendWriteHeader());
    QVERIFY(rig.protocol.sendDataByte(0x00));
    QVERIFY(rig.protocol.sendDataByte(0xFF));
    QCOMPARE(rig.comm.calls(), QStringList({"Output=1b44", "Output=00", "Output=ff"}));
}

void tst_DeviceProtocol::readBack_data() {
    QTest::addColumn<QString>("before");   // pieces arriving before the read-back
    QTest::addColumn<QString>("pieces");   // pieces arriving after the command, "ms:hex"
    QTest::addColumn<QByteArray>("reply"); // ReplyBuffer
    QTest::addColumn<QByteArray>("data");  // the data bytes the count announces

    QTest::newRow("whole at once")
        << ""
        << "3:03aabbcc" << QByteArray::fromHex("03aabbcc") << QByteArray::fromHex("aabbcc");
    QTest::newRow("split at every byte") << ""
                                         << "1:03 2:aa 3:bb 4:cc" << QByteArray::fromHex("03aabbcc")
                                         << QByteArray::fromHex("aabbcc");
    QTest::newRow("split after the count")
        << ""
        << "1:03 9:aabbcc" << QByteArray::fromHex("03aabbcc") << QByteArray::fromHex("aabbcc");
    QTest::newRow("zero count is complete at once")
        << ""
        << "1:00 20:ff" << QByteArray::fromHex("00") << QByteArray();
    QTest::newRow("extras in the same piece stay")
        << ""
        << "1:02aabbee" << QByteArray::fromHex("02aabbee") << QByteArray::fromHex("aabb");
    QTest::newRow("extras that arrived with the last piece stay")
        << ""
        << "1:03aa 5:bbccdd 30:ee" << QByteArray::fromHex("03aabbccdd")
        << QByteArray::fromHex("aabbcc");
    QTest::newRow("extras after the reply are left")
        << ""
        << "1:01aa 40:ee" << QByteArray::fromHex("01aa") << QByteArray::fromHex("aa");
    QTest::newRow("stale input is flushed first")
        << "0:4040"
        << "2:0111" << QByteArray::fromHex("0111") << QByteArray::fromHex("11");
    QTest::newRow("announces more than it sends so far")
        << ""
        << "1:ff00 2:0102" << QByteArray() << QByteArray();
}

void tst_DeviceProtocol::readBack() {
    QFETCH(QString, before);
    QFETCH(QString, pieces);
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, data);

    LinkRig rig;
    rig.comm.attach(nullptr);
    rig.link.choosePort(1);
    arrive(rig.comm, before);
    rig.waiter.pumpOnce();
    rig.comm.clearCalls();
    arrive(rig.comm, pieces);
    bool stalled = false;
    rig.pump.setStallHandler([&] {
        stalled = true;
        rig.waiter.close();
    });

    const ReadBackResult result = rig.protocol.ReadBack();

    QCOMPARE(rig.comm.calls().mid(0, 2), QStringList({"DiscardInput", "Output=1b1b55"}));
    if (reply.isEmpty()) {
        // A device that never sends what it announced: the read-back waits until closing.
        QVERIFY(stalled);
        QCOMPARE(result.outcome, Outcome::Closing);
        return;
    }
    QVERIFY(!stalled);
    QCOMPARE(result.outcome, Outcome::Completed);
    QCOMPARE(result.ReplyBuffer.toHex(), reply.toHex());
    QCOMPARE(DeviceProtocol::replyData(result.ReplyBuffer).toHex(), data.toHex());
}

void tst_DeviceProtocol::everyByteValuePassesUnchanged() {
    LinkRig rig;
    rig.comm.attach(nullptr);
    rig.link.choosePort(1);
    const QByteArray all = everyByteValue();
    rig.comm.arriveIn(1ms, all.left(100));
    rig.comm.arriveIn(2ms, all.mid(100));
    const ReadBackResult result = rig.protocol.ReadBack();
    QCOMPARE(result.outcome, Outcome::Completed);
    QCOMPARE(result.ReplyBuffer, all);
    QCOMPARE(DeviceProtocol::replyData(result.ReplyBuffer), all.mid(1));
}

// Whatever the device sends, in whatever pieces: the reply ends at the first piece that completes
// count + 1 bytes and holds that piece whole; a stream that never completes waits until closing.
void tst_DeviceProtocol::randomStreamsInRandomPieces() {
    QRandomGenerator random(20261207);
    for (int run = 0; run < 2000; ++run) {
        const int count = random.bounded(2) ? random.bounded(256) : random.bounded(8);
        QByteArray stream(random.bounded(count + 12), Qt::Uninitialized);
        for (char& byte : stream)
            byte = char(random.bounded(256));
        if (!stream.isEmpty())
            stream[0] = char(count);
        QList<QByteArray> pieces;
        for (qsizetype at = 0; at < stream.size();) {
            const qsizetype size = 1 + random.bounded(random.bounded(2) ? 4 : 80);
            pieces << stream.mid(at, size);
            at += size;
        }
        QByteArray expected;
        for (const QByteArray& piece : pieces) {
            if (expected.size() > count)
                break;
            expected += piece;
        }
        const bool complete = expected.size() > count;

        LinkRig rig;
        rig.comm.attach(nullptr);
        rig.link.choosePort(1);
        std::chrono::milliseconds at{0};
        for (const QByteArray& piece : pieces)
            rig.comm.arriveIn(at += std::chrono::milliseconds(random.bounded(1, 30)), piece);
        rig.pump.setStallHandler([&] { rig.waiter.close(); });

        const ReadBackResult result = rig.protocol.ReadBack();

        const QByteArray where = QByteArray::number(run) + ": " + stream.toHex();
        QVERIFY2(result.outcome == (complete ? Outcome::Completed : Outcome::Closing), where);
        if (complete) {
            QVERIFY2(result.ReplyBuffer == expected, where);
            QVERIFY2(DeviceProtocol::replyData(result.ReplyBuffer) == stream.mid(1, count), where);
        }
    }
}

void tst_DeviceProtocol::readBackFromTheDevice() {
    LinkRig rig;
    QByteArray cells;
    for (int i = 0; i < 64; ++i)
        cells += char(0xC0 ^ i);
    rig.device.setCells(cells);
    rig.link.choosePort(1);
    const auto sent = rig.time.now();

    const ReadBackResult result = rig.protocol.ReadBack();

    QCOMPARE(result.outcome, Outcome::Completed);
    QCOMPARE(result.ReplyBuffer, QByteArray(1, char(64)) + cells);
    QCOMPARE(rig.device.reads(), 1);
    // 65 bytes at the line's pace.
    QCOMPARE(rig.time.now() - sent, 65 * FakeSerialControl::ByteTime);
}

void tst_DeviceProtocol::portFailureEndsTheWait() {
    LinkRig rig(silentDevice());
    rig.link.choosePort(1);
    rig.time.scheduleIn(2s, [&] { rig.comm.unplug(); });

    const ReadBackResult result = rig.protocol.ReadBack();

    QCOMPARE(result.outcome, Outcome::PortLost);
    QCOMPARE(rig.time.now(), 2s);
    rig.waiter.pumpOnce();
    QCOMPARE(rig.lost.size(), 1);
    QCOMPARE(rig.lost.constFirst().kind, PortError::Kind::Lost);
    QCOMPARE(rig.comm.sentBytes(), QByteArray::fromHex("1b1b1b55"));
}

void tst_DeviceProtocol::closingEndsTheWaitOnASilentDevice() {
    LinkRig rig(silentDevice());
    rig.link.choosePort(1);
    rig.pump.setStallHandler([&] {
        rig.link.shutDown();
        rig.waiter.close();
    });
    QCOMPARE(rig.protocol.ReadBack().outcome, Outcome::Closing);
    QCOMPARE(rig.pump.stalls(), 1);
    QVERIFY(!rig.comm.isOpen());
}

void tst_DeviceProtocol::replyTimeoutEndsTheWait_data() {
    QTest::addColumn<QByteArray>("reply"); // what arrives, 100 ms after the command
    QTest::newRow("silent") << QByteArray();
    QTest::newRow("count byte only") << QByteArray::fromHex("40");
    QTest::newRow("half the data") << QByteArray::fromHex("40") + QByteArray(32, 'x');
}

// The timeout covers the whole reply, from the command on; a reply complete in time is unhurt.
void tst_DeviceProtocol::replyTimeoutEndsTheWait() {
    QFETCH(QByteArray, reply);
    LinkRig rig(silentDevice());
    rig.link.choosePort(1);
    rig.protocol.setReplyTimeout(3s);
    const auto sent = rig.time.now();
    if (!reply.isEmpty())
        rig.comm.arriveIn(100ms, reply);

    const ReadBackResult result = rig.protocol.ReadBack();

    QCOMPARE(result.outcome, Outcome::TimedOut);
    QCOMPARE(rig.time.now() - sent, 3s);
    QVERIFY(rig.comm.isOpen());
    QVERIFY(rig.lost.isEmpty());

    rig.comm.arriveIn(2900ms, QByteArray::fromHex("02aabb"));
    const ReadBackResult late = rig.protocol.ReadBack();
    QCOMPARE(late.outcome, Outcome::Completed);
    QCOMPARE(late.ReplyBuffer.toHex(), "02aabb");
}

void tst_DeviceProtocol::noPortNoBytes() {
    LinkRig rig;
    QCOMPARE(rig.protocol.ReadBack().outcome, Outcome::PortLost);
    QVERIFY(rig.comm.outputs().empty());
}

QTEST_GUILESS_MAIN(tst_DeviceProtocol)
#include "tst_DeviceProtocol.moc"
