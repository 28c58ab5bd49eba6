// The real window under a real X server (run under Xvfb with the xcb platform): clicks and the
// close request travel through the server, as a person's do.

#include "FakeFileDialog.h"
#include "FakeMessageBox.h"
#include "SimulatorProcess.h"
#include "XDriver.h"

#include "app/Program.h"
#include "image/ImageFile.h"
#include "platform/QtMessagePump.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

using namespace tavrin;
using namespace tavrin::test;

namespace {

QPoint centreOf(const QWidget* widget) {
    return widget->geometry().center();
}

// Where the window's controls are, in its own pixels, for a program in another process.
const QPoint Com1At{16, 80};
const QPoint RSEEAt{100, 20};
// Long enough for a sanitized build on a loaded machine; a program that misses the close never
// ends at all.
constexpr int HangBound = 30000;

} // namespace

class tst_WindowSystem : public QObject {
    Q_OBJECT

public:
    static void initMain() { QtMessagePump::prepareApplication(); }

private slots:
    void initTestCase();
    void closeDuringASilentReadEndsTheProgram();
    void clickDuringTheWaitIsRefusedAndTheCommandCompletes();
};

void tst_WindowSystem::initTestCase() {
    if (QGuiApplication::platformName() != "xcb")
        QSKIP("needs an X server and the xcb platform");
}

// 50 times: start the program, choose Com1 on a device that never answers, click Read, close the
// window. The read waits for ever, so the program ends only if the close ends the wait; how soon
// is printed (on a quiet machine well under a second), and only a hang fails.
void tst_WindowSystem::closeDuringASilentReadEndsTheProgram() {
    XDriver x;
    QVERIFY(x.isConnected());
    SimulatorProcess sim({"--silent"});
    QVERIFY(!sim.devicePath().isEmpty());
    QList<qint64> closeTimes;
    for (int run = 1; run <= 50; ++run) {
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("TAVRIN_COM1", sim.devicePath());
        environment.insert("QT_QPA_PLATFORM", "xcb");
        program.setProcessEnvironment(environment);
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(TAVRIN_PROGRAM_PATH, {});
        QVERIFY(program.waitForStarted());
        xcb_window_t window = 0;
        QTRY_VERIFY_WITH_TIMEOUT((window = x.findWindow(program.processId())) != 0, 10000);

        x.click(window, Com1At);
        QVERIFY(sim.waitForEvent(QStringLiteral("connected %1").arg(run)));
        const qsizetype readsBefore = sim.events().count("read");
        x.click(window, RSEEAt);
        QTRY_VERIFY_WITH_TIMEOUT(sim.events().count("read") > readsBefore, 10000);

        // On its way to the close button the pointer crosses the window.
        for (int step = 0; step < 40; ++step)
            x.movePointer(window, {10 + 4 * step, 10 + 2 * (step % 30)});
        QElapsedTimer sinceClose;
        sinceClose.start();
        x.requestClose(window);
        const bool ended = program.waitForFinished(HangBound);
        closeTimes << sinceClose.elapsed();
        if (!ended) {
            program.kill();
            program.waitForFinished();
        }
        QVERIFY2(ended, qPrintable(QStringLiteral("run %1: the program did not end within %2 ms "
                                                  "of the close")
                                       .arg(run)
                                       .arg(HangBound)));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QVERIFY(sim.waitForEvent(QStringLiteral("disconnected"))); // the port was let go
    }
    std::sort(closeTimes.begin(), closeTimes.end());
    qInfo("close to exit: median %lld ms, max %lld ms", closeTimes.at(closeTimes.size() / 2),
          closeTimes.last());
}

// A click on the other command while the read waits for the rest of a reply is delivered at once
// and refused; the read then completes as if nothing had been clicked.
void tst_WindowSystem::clickDuringTheWaitIsRefusedAndTheCommandCompletes() {
    XDriver x;
    QVERIFY(x.isConnected());
    QTemporaryDir dir;
    SimulatorProcess sim({"--split", "2", "--split-gap", "1500"});
    FakeFileDialog files;
    FakeMessageBox messages;
    const QString device = sim.devicePath();
    Program program({[&](int port) { return port == 1 ? device : QString(); }, &files, &messages});
    Form1& window = program.window();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const xcb_window_t id = xcb_window_t(window.winId());

    x.click(id, centreOf(window.Com(0)));
    QTRY_VERIFY(program.link().PortOpen());
    const QString saved = dir.filePath("saved.bin");
    files.choose({saved});
    QStringList refusedWhile;
    QObject::connect(&program.runner(), &CommandRunner::commandEnded,
                     [&](const CommandResult& result) {
                         if (result.end == CommandEnd::NotStarted)
                             refusedWhile << window.Label4()->text();
                     });
    bool clicked = false;
    QObject::connect(&program.runner(), &CommandRunner::busyChanged, [&](bool busy) {
        if (busy && !clicked) {
            clicked = true;
            // Sent while the read waits: the click reaches the program inside that wait.
            QTimer::singleShot(200, [&] { x.click(id, centreOf(window.OWEE())); });
        }
    });

    x.click(id, centreOf(window.RSEE()));
    QTRY_COMPARE_WITH_TIMEOUT(window.Label4()->text(), QStringLiteral("Read Finished"), 10000);

    QCOMPARE(refusedWhile, QStringList{"Read Started"});
    QCOMPARE(files.showings(), 1); // the save dialog only
    QCOMPARE(ImageFile::read(saved).bytes.size(), 64);
    QVERIFY(messages.shown().isEmpty());
}

QTEST_MAIN(tst_WindowSystem)
#include "tst_WindowSystem.moc"
