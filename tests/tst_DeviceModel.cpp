#include "devsim/DeviceModel.h"

#include <QTest>

using namespace tavrin;
using namespace std::chrono_literals;

namespace {

QByteArray pattern() {
    QByteArray bytes;
    for (int i = 0; i < DeviceModel::CellCount; ++i)
        bytes += char(i * 3 + 1);
    return bytes;
}

QByteArray replyBytes(const DeviceModel::Response& response) {
    QByteArray all;
    for (const DeviceModel::Piece& piece : response.reply)
        all += piece.bytes;
    return all;
}

// Sends ESC "D" and the bytes one at a time, `gap` apart, starting at `start`.
DeviceModel::Response write(DeviceModel& device, const QByteArray& bytes,
                            std::chrono::microseconds gap, DeviceModel::Time start = 1s) {
    device.receive("\x1b"
                   "D",
                   start);
    DeviceModel::Response last;
    for (qsizetype i = 0; i < bytes.size(); ++i)
        last = device.receive(bytes.mid(i, 1), start + (i + 1) * gap);
    return last;
}

} // namespace

class tst_DeviceModel : public QObject {
    Q_OBJECT

private slots:
    void commands_data();
    void commands();
    void writeStoresSixtyFourCells();
    void bytesArrivingTooSoonAreLost_data();
    void bytesArrivingTooSoonAreLost();
    void stuckCellKeepsItsValue();
    void replyInPiecesWithExtras();
    void hangsUpMidTransfer();
    void resetAbandonsAPartialCommand();
};

void tst_DeviceModel::commands_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("reads");
    QTest::addColumn<int>("wakes");

    QTest::newRow("read") << QByteArray::fromHex("1b1b55") << 1 << 1;
    QTest::newRow("wake then read: the wake does not hide the read")
        << QByteArray::fromHex("1b1b1b55") << 1 << 1;
    QTest::newRow("wake alone") << QByteArray::fromHex("1b") << 0 << 1;
    QTest::newRow("one ESC is not a read") << QByteArray::fromHex("1b55") << 0 << 1;
    QTest::newRow("U alone") << QByteArray::fromHex("55") << 0 << 0;
    QTest::newRow("noise between") << QByteArray::fromHex("1b411b1b55") << 1 << 2;
}

void tst_DeviceModel::commands() {
    QFETCH(QByteArray, line);
    QFETCH(int, reads);
    QFETCH(int, wakes);
    DeviceModel device;
    device.setCells(pattern());
    QByteArray answer;
    for (qsizetype i = 0; i < line.size(); ++i)
        answer += replyBytes(device.receive(line.mid(i, 1), 1ms * i));
    QCOMPARE(device.reads(), reads);
    QCOMPARE(device.wakes(), wakes);
    QCOMPARE(answer, reads ? QByteArray(1, char(64)) + pattern() : QByteArray());
}

void tst_DeviceModel::writeStoresSixtyFourCells() {
    DeviceModel device;
    // A wake ESC just before the write header.
    device.receive("\x1b", 0ms);
    const DeviceModel::Response last = write(device, pattern(), 10ms);
    QVERIFY(last.writeCompleted);
    QCOMPARE(device.cells(), pattern());
    QCOMPARE(device.bytesLost(), 0);
    QCOMPARE(device.writesCompleted(), 1);
    QCOMPARE(device.dataArrivals().size(), size_t(64));
    // After the transfer the device takes commands again.
    QCOMPARE(replyBytes(device.receive("\x1b\x1bU", 5s)).size(), 65);
}

void tst_DeviceModel::bytesArrivingTooSoonAreLost_data() {
    QTest::addColumn<QList<int>>("gapsMs"); // between data bytes, repeated over the 64
    QTest::addColumn<int>("lost");
    QTest::newRow("paced") << QList<int>{10} << 0;
    QTest::newRow("one byte handed over 8 ms late")
        << QList<int>{10, 10, 18, 2, 10, 10, 10, 10, 10, 10, 10, 10, 10, 10, 10, 10} << 0;
    QTest::newRow("three bytes handed over together, the first 20 ms late")
        << QList<int>{10, 10, 30, 0, 0, 10, 10, 10, 10, 10, 10, 10, 10, 10, 10, 10} << 0;
    QTest::newRow("eight bytes handed over together, the first 70 ms late")
        << QList<int>{10, 10, 80, 0, 0, 0, 0, 0, 0, 0, 10, 10, 10, 10, 10, 10} << 0;
    QTest::newRow("no pause at all") << QList<int>{0} << 61;
    QTest::newRow("1 ms pauses") << QList<int>{1} << 49;
    QTest::newRow("3 ms pauses") << QList<int>{3} << 24;
    QTest::newRow("4.5 ms pauses on average") << QList<int>{4, 5} << 5;
    QTest::newRow("pairs 1 ms apart, 5.5 ms on average") << QList<int>{10, 1} << 0;
}

// The host sends ESC "D" 10 ms before the first data byte; a lost byte leaves its cell as it was.
void tst_DeviceModel::bytesArrivingTooSoonAreLost() {
    QFETCH(QList<int>, gapsMs);
    QFETCH(int, lost);
    DeviceModel device;
    write(device, QByteArray(64, 'A'), 10ms);

    DeviceModel::Time at = 10s;
    device.receive("\x1b"
                   "D",
                   at - 10ms);
    for (int i = 0; i < 64; ++i) {
        device.receive(QByteArray(1, 'B'), at);
        at += std::chrono::milliseconds(gapsMs.at(i % gapsMs.size()));
    }
    QCOMPARE(device.bytesLost(), lost);
    QCOMPARE(device.cells().count('B'), 64 - lost);
}

void tst_DeviceModel::stuckCellKeepsItsValue() {
    DeviceFaults faults;
    faults.stuckCell = 5;
    DeviceModel device(faults);
    write(device, pattern(), 10ms);
    QCOMPARE(device.cells().at(5), char(0xFF));
    QCOMPARE(device.cells().mid(6), pattern().mid(6));
}

void tst_DeviceModel::replyInPiecesWithExtras() {
    DeviceFaults faults;
    faults.replyPieces = 3;
    faults.pieceGap = 40ms;
    faults.extraBytes = "\x55\xAA";
    DeviceModel device(faults);
    const DeviceModel::Response response = device.receive("\x1b\x1bU", 0ms);
    QCOMPARE(response.reply.size(), size_t(3));
    QCOMPARE(response.reply.at(1).delay, DeviceModel::Time(40ms));
    QCOMPARE(replyBytes(response),
             QByteArray(1, char(64)) + QByteArray(64, char(0xFF)) + "\x55\xAA");
}

void tst_DeviceModel::hangsUpMidTransfer() {
    DeviceFaults faults;
    faults.hangUpAfter = 20;
    DeviceModel device(faults);
    device.receive("\x1b"
                   "D",
                   0ms);
    DeviceModel::Response response;
    int sent = 0;
    while (!response.hangUp && sent < 64)
        response = device.receive("Z", 10ms * ++sent);
    QVERIFY(response.hangUp);
    QCOMPARE(sent, 20);
    QVERIFY(replyBytes(device.receive("\x1b\x1bU", 1s)).isEmpty());
}

void tst_DeviceModel::resetAbandonsAPartialCommand() {
    DeviceModel device;
    device.receive("\x1b"
                   "D"
                   "12345",
                   0ms);
    device.reset();
    QCOMPARE(device.resets(), 1);
    QCOMPARE(replyBytes(device.receive("\x1b\x1bU", 1s)).size(), 65);
    QCOMPARE(device.writesCompleted(), 0);
}

QTEST_GUILESS_MAIN(tst_DeviceModel)
#include "tst_DeviceModel.moc"
