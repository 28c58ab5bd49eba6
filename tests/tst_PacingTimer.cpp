#include "LinkRig.h"

#include <QTest>

using namespace tavrin;
using namespace tavrin::test;
using namespace std::chrono_literals;

class tst_PacingTimer : public QObject {
    Q_OBJECT

private slots:
    void startsDisabledAtTenMilliseconds();
    void pauseLastsTicks_data();
    void pauseLastsTicks();
    void pumpsBeforeTheFirstTest();
    void consecutivePausesDoNotShareTicks();
    void closingEndsAPause();
    void aFailedTimerEndsEveryPause();
};

void tst_PacingTimer::startsDisabledAtTenMilliseconds() {
    LinkRig rig;
    QCOMPARE(rig.timer1.interval(), 10ms);
    QVERIFY(!rig.timer1.isEnabled());
}

void tst_PacingTimer::pauseLastsTicks_data() {
    QTest::addColumn<int>("sec");
    QTest::addColumn<int>("ticks");
    QTest::newRow("zero returns after one pass") << 0 << 0;
    QTest::newRow("negative returns after one pass") << -7 << 0;
    QTest::newRow("5 is one tick") << 5 << 1;
    QTest::newRow("20 is one tick") << 20 << 1;
    QTest::newRow("21 is two ticks") << 21 << 2;
    QTest::newRow("port cycle: 2000 is 100 ticks") << 2000 << 100;
}

void tst_PacingTimer::pauseLastsTicks() {
    QFETCH(int, sec);
    QFETCH(int, ticks);
    LinkRig rig;
    // A stray event some way off must not end the pause.
    rig.time.scheduleIn(3ms, [] {});

    const auto started = rig.time.now();
    QCOMPARE(rig.pacing.Pause(sec), Outcome::Completed);

    QCOMPARE(rig.timer1.ticks(), ticks);
    QCOMPARE(rig.time.now() - started, ticks * 10ms);
    QVERIFY(!rig.timer1.isEnabled());
    if (ticks == 0)
        QCOMPARE(rig.pump.passes(), 1);
}

void tst_PacingTimer::pumpsBeforeTheFirstTest() {
    LinkRig rig;
    bool enabledDuringFirstPass = false;
    rig.pump.setBeforePass([&] {
        if (rig.pump.passes() == 1)
            enabledDuringFirstPass = rig.timer1.isEnabled();
    });
    QCOMPARE(rig.pacing.Pause(5), Outcome::Completed);
    QVERIFY(enabledDuringFirstPass);
    QVERIFY(rig.pump.passes() >= 2);
}

void tst_PacingTimer::consecutivePausesDoNotShareTicks() {
    LinkRig rig;
    QCOMPARE(rig.pacing.Pause(2000), Outcome::Completed);
    QCOMPARE(rig.pacing.TimerB(), 2000);
    const int before = rig.timer1.ticks();
    QCOMPARE(rig.pacing.Pause(2000), Outcome::Completed);
    QCOMPARE(rig.ticksSince(before), 100);
}

void tst_PacingTimer::closingEndsAPause() {
    LinkRig rig;
    rig.time.scheduleIn(250ms, [&] { rig.waiter.close(); });
    QCOMPARE(rig.pacing.Pause(2000), Outcome::Closing);
    QCOMPARE(rig.time.now(), 250ms);
    QVERIFY(!rig.timer1.isEnabled());
    // Once closing, no wait lasts any time at all.
    QCOMPARE(rig.pacing.Pause(5), Outcome::Closing);
    QCOMPARE(rig.time.now(), 250ms);
}

// No tick comes after the system's timer failed: a pause must not wait for one for ever.
void tst_PacingTimer::aFailedTimerEndsEveryPause() {
    LinkRig rig;
    rig.time.scheduleIn(35ms, [&] { rig.timer1.fail(QStringLiteral("The handle is invalid.")); });
    QCOMPARE(rig.pacing.Pause(2000), Outcome::TimerFailed);
    QCOMPARE(rig.time.now(), 35ms);
    QCOMPARE(rig.pacing.failure(), QStringLiteral("The handle is invalid."));
    QCOMPARE(rig.pacing.Pause(5), Outcome::TimerFailed);
    QCOMPARE(rig.time.now(), 35ms);
}

QTEST_GUILESS_MAIN(tst_PacingTimer)
#include "tst_PacingTimer.moc"
