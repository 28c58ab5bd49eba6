// The real tick source and event loop, in real time: the pacing relies on a tick never coming
// early.

#include "link/PacingTimer.h"
#include "link/Waiter.h"
#include "platform/QtMessagePump.h"
#include "platform/QtTickSource.h"

#include <QElapsedTimer>
#include <QTest>

#include <algorithm>

using namespace std::chrono_literals;

class tst_QtTickSource : public QObject {
    Q_OBJECT

private slots:
    void pausesNeverEndEarly();
    void noTickAfterDisable();
};

// Pauses as the program makes them, on the real event loop: over 500 of them, none may end before
// 10 ms, and a long pause is never shorter than its ticks.
void tst_QtTickSource::pausesNeverEndEarly() {
    tavrin::QtMessagePump pump;
    tavrin::QtTickSource timer1;
    tavrin::Waiter waiter(pump);
    tavrin::PacingTimer pacing(timer1, waiter);

    QList<double> pauses;
    QElapsedTimer clock;
    for (int pause = 0; pause < 500; ++pause) {
        clock.start();
        QCOMPARE(pacing.Pause(5), tavrin::Outcome::Completed);
        pauses << clock.nsecsElapsed() / 1e6;
    }
    clock.start();
    QCOMPARE(pacing.Pause(2000), tavrin::Outcome::Completed);
    const double cycle = clock.nsecsElapsed() / 1e6;

    std::sort(pauses.begin(), pauses.end());
    qInfo("Pause(5), 500 times: min %.3f ms, median %.3f ms, p99 %.3f ms, max %.3f ms; "
          "Pause(2000): %.1f ms",
          pauses.first(), pauses.at(pauses.size() / 2), pauses.at(pauses.size() * 99 / 100),
          pauses.last(), cycle);
    QVERIFY2(pauses.first() >= 10.0, qPrintable(QString::number(pauses.first())));
    QVERIFY2(cycle >= 1000.0, qPrintable(QString::number(cycle)));
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
