// The window and the waits under Windows's own window system: a close sent as a Windows message
// during a wait reaches the window at once and ends the wait; the wait pumps Windows messages, not
// only Qt's; and an event posted while a pass runs ends the wait that follows it.

#include "FakeFileDialog.h"
#include "FakeMessageBox.h"

#include "app/Program.h"
#include "link/Waiter.h"
#include "platform/QtMessagePump.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <windows.h>

namespace {

// Notes when a close event reaches the window: Wine may then block for a while unmapping it.
class CloseSeen : public QObject {
public:
    explicit CloseSeen(std::function<void()> seen)
        : m_seen(std::move(seen)) {}
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Close)
            m_seen();
        return false;
    }

private:
    std::function<void()> m_seen;
};

} // namespace

class tst_WindowsWindow : public QObject {
    Q_OBJECT

private slots:
    void closeDuringAWaitEndsIt_data();
    void closeDuringAWaitEndsIt();
    void eventPostedDuringAPassEndsTheWait();
};

void tst_WindowsWindow::closeDuringAWaitEndsIt_data() {
    QTest::addColumn<int>("afterMs");
    for (int ms : {0, 15, 120, 600})
        QTest::addRow("closed after %d ms", ms) << ms;
}

void tst_WindowsWindow::closeDuringAWaitEndsIt() {
    QFETCH(int, afterMs);
    tavrin::test::FakeFileDialog dialog;
    tavrin::test::FakeMessageBox messages;
    tavrin::Program program({[](int) { return QString(); }, &dialog, &messages});
    program.window().show();
    QVERIFY(QTest::qWaitForWindowExposed(&program.window()));
    const auto window = reinterpret_cast<HWND>(program.window().winId());

    QElapsedTimer clock;
    qint64 closedAt = -1;
    CloseSeen closeSeen([&] { closedAt = clock.elapsed(); });
    program.window().installEventFilter(&closeSeen);
    QTimer::singleShot(afterMs, [window] { PostMessageW(window, WM_CLOSE, 0, 0); });
    clock.start();
    const tavrin::Outcome outcome = program.engine().pacing().Pause(6000);
    const qint64 waited = clock.elapsed();

    QCOMPARE(outcome, tavrin::Outcome::Closing);
    QVERIFY2(closedAt >= 0 && closedAt < afterMs + 500, qPrintable(QString::number(closedAt)));
    // Without a window manager, Wine waits up to 2 s for the X server to unmap a closed window.
    QVERIFY2(waited < afterMs + 3000, qPrintable(QString::number(waited)));
    QVERIFY(!program.window().isVisible());
    QVERIFY(!program.engine().link().PortOpen());
}

// A Windows timer message handled in the first pass posts the event waited for; the pass takes the
// wake-up message that the posting sent, and the next pass delivers the event before it sleeps.
// That sleep must not last: nothing else would come to end it before the deadline.
void tst_WindowsWindow::eventPostedDuringAPassEndsTheWait() {
    tavrin::QtMessagePump pump;
    tavrin::Waiter waiter(pump);
    for (int round = 0; round < 20; ++round) {
        QObject receiver;
        bool arrived = false;
        // A coarse timer of 20 ms or more is a Windows timer message, handled inside a pass.
        QTimer::singleShot(25, Qt::CoarseTimer, &receiver, [&receiver, &arrived] {
            QMetaObject::invokeMethod(
                &receiver, [&arrived] { arrived = true; }, Qt::QueuedConnection);
        });
        // Its message is queued before the wait starts, so the wait's first pass handles it.
        QElapsedTimer queued;
        queued.start();
        while (!(HIWORD(GetQueueStatus(QS_TIMER)) & QS_TIMER) && queued.elapsed() < 2000)
            SleepEx(1, FALSE);

        QElapsedTimer clock;
        clock.start();
        const tavrin::Outcome outcome =
            waiter.waitUntil([&arrived] { return arrived; }, pump.now() + std::chrono::seconds(5));
        QCOMPARE(outcome, tavrin::Outcome::Completed);
        QVERIFY2(clock.elapsed() < 1000,
                 qPrintable(QStringLiteral("round %1: %2 ms").arg(round).arg(clock.elapsed())));
    }
}

QTEST_MAIN(tst_WindowsWindow)
#include "tst_WindowsWindow.moc"
