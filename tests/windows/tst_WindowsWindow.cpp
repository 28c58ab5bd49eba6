// The window under Windows's own window system: a close sent as a Windows message during a wait
// reaches the window at once and ends the wait; the wait pumps Windows messages, not only Qt's.

#include "FakeFileDialog.h"
#include "FakeMessageBox.h"

#include "app/Program.h"

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

QTEST_MAIN(tst_WindowsWindow)
#include "tst_WindowsWindow.moc"
