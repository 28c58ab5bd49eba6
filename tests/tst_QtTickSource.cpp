// The real tick source, in real time: the pacing relies on a tick never coming early.

#include "platform/QtTickSource.h"

#include <QElapsedTimer>
#include <QTest>

using namespace std::chrono_literals;

class tst_QtTickSource : public QObject {
    Q_OBJECT

private slots:
    void ticksNeverComeEarly();
    void noTickAfterDisable();
};

void tst_QtTickSource::ticksNeverComeEarly() {
    tavrin::QtTickSource source;
    source.setInterval(10ms);
    QList<qint64> at;
    QElapsedTimer clock;
    source.setTickHandler([&] { at << clock.nsecsElapsed(); });

    qsizetype ticks = 0;
    for (int pause = 0; pause < 5; ++pause) {
        at.clear();
        clock.start();
        source.enable();
        QTRY_VERIFY_WITH_TIMEOUT(!at.isEmpty(), 5000);
        source.disable();
        QVERIFY2(at.first() >= 10'000'000, qPrintable(QString::number(at.first())));
        ticks += at.size();
    }
    at.clear();
    clock.start();
    source.enable();
    QTRY_VERIFY_WITH_TIMEOUT(at.size() >= 4, 5000);
    source.disable();
    for (qsizetype i = 0; i < at.size(); ++i)
        QVERIFY(at[i] >= (i + 1) * 10'000'000);
    QCOMPARE(source.ticks(), int(ticks + at.size()));
}

void tst_QtTickSource::noTickAfterDisable() {
    tavrin::QtTickSource source;
    source.setInterval(1ms);
    int ticks = 0;
    source.setTickHandler([&] { ++ticks; });
    source.enable();
    QTRY_VERIFY_WITH_TIMEOUT(ticks > 0, 5000);
    // Let expirations pile up unseen, then disable before the event loop looks.
    QElapsedTimer busy;
    busy.start();
    while (busy.elapsed() < 5) {
    }
    source.disable();
    const int atDisable = ticks;
    QVERIFY(!source.isEnabled());
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    QCOMPARE(ticks, atDisable);
}

QTEST_GUILESS_MAIN(tst_QtTickSource)
#include "tst_QtTickSource.moc"
