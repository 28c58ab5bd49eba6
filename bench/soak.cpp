// Runs write-and-verify plus read-and-save rounds in the window against tavrin-devsim and prints
// what went wrong and the resident memory after each round; or, with --command-line, runs
// `tavrin write` again and again and checks that no run leaves a file or the port behind.
// Usage: tavrin-soak [--command-line | --typed [--folder DIR] | --new-files] [--files N] [ROUNDS]
// (default 200). --new-files names a new image and a new saved file each round, so the folder the
// file dialogs list grows; --files N puts N other files into that folder before the first round.
// --typed runs the real program as a process of its own under the X server of $DISPLAY and works
// it as a person does: clicks through the X server, each file's whole path typed key by key into
// the dialog (xdotool), a new file each round, in a new folder in DIR (default /var/tmp); the
// resident memory is the program's own.

#include "FakeMessageBox.h"
#include "RandomImage.h"
#include "SimulatorProcess.h"
#include "XDriver.h"

#include "app/Program.h"
#include "image/ImageFile.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QList>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

// Resident memory in KiB, from the kernel's own accounting.
long residentKiB(const QString& process = QStringLiteral("self")) {
    QFile status(QStringLiteral("/proc/%1/status").arg(process));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').constFirst().toLong();
    return -1;
}

// Memory taken before this round is warm-up: caches and first-use allocations.
constexpr int WarmUpRounds = 20;

// The resident memory after rounds 1, 20, 100, 500 and 1000, and its growth after the warm-up.
void printMemory(const QList<long>& roundKiB) {
    for (int round : {1, WarmUpRounds, 100, 500, 1000})
        if (round <= roundKiB.size())
            std::printf("  after round %-4d %ld KiB\n", round, roundKiB.at(round - 1));
    if (roundKiB.size() > WarmUpRounds)
        std::printf("growth after round %d: %ld KiB over %d rounds\n", WarmUpRounds,
                    roundKiB.constLast() - roundKiB.at(WarmUpRounds - 1),
                    int(roundKiB.size()) - WarmUpRounds);
}

// The data bytes the simulator lost, over every write it reported.
int bytesLostBy(tavrin::test::SimulatorProcess& sim) {
    sim.stop();
    int lost = 0;
    for (const QString& line : sim.events())
        if (line.startsWith("written lost="))
            lost += line.mid(13).toInt();
    return lost;
}

QString unitFile(const QTemporaryDir& dir, int run, const char* suffix = "") {
    return dir.filePath(QStringLiteral("unit-%1%2.bin").arg(run, 4, 10, QChar(u'0')).arg(suffix));
}

// Puts `count` files of no interest into the folder the dialogs list.
void addOtherFiles(const QTemporaryDir& dir, int count) {
    for (int file = 1; file <= count; ++file)
        (void)tavrin::ImageFile::write(dir.filePath(QStringLiteral("other-%1.bin").arg(file)),
                                       QByteArray(64, '\xff'));
}

int soakWindow(int rounds, bool newFiles, int otherFiles) {
    QTemporaryDir dir;
    tavrin::test::SimulatorProcess sim({"--image", dir.filePath("device.bin")});
    const QString device = sim.devicePath();
    if (device.isEmpty())
        return 1;
    addOtherFiles(dir, otherFiles);

    // The window's own file dialogs, answered as an operator would: the name, then Enter.
    QString answer;
    QTimer answering;
    answering.callOnTimeout([&] {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            dialog->selectFile(answer);
            static_cast<QDialog*>(dialog)->accept(); // as Enter does
        }
    });
    answering.start(10);
    tavrin::test::FakeMessageBox messages;
    messages.setWhileShown([](const auto& shown) {
        std::fprintf(stderr, "message: %s: %s\n", qPrintable(shown.title),
                     qPrintable(shown.prompt));
    });
    tavrin::Program program(
        {[&](int port) { return port == 1 ? device : QString(); }, nullptr, &messages});
    program.window().show();
    program.window().Com(0)->click();

    const long startKiB = residentKiB();
    QList<long> roundKiB;
    int done = 0;
    int verifyFailures = 0;
    int readMismatches = 0;
    for (; done < rounds; ++done) {
        answer = unitFile(dir, newFiles ? done + 1 : 0);
        const QByteArray image = tavrin::test::writeRandomImage(answer);
        program.window().OWEE()->click();
        if (program.window().Label4()->text() != "Verify Completed")
            ++verifyFailures;
        const QString saved = unitFile(dir, newFiles ? done + 1 : 0, "-read");
        answer = saved;
        program.window().RSEE()->click();
        if (tavrin::ImageFile::read(saved).bytes != image)
            ++readMismatches;
        roundKiB << residentKiB();
        std::printf("round %d  %ld KiB\n", done + 1, roundKiB.constLast());
        std::fflush(stdout);
    }

    const int bytesLost = bytesLostBy(sim);

    std::printf("rounds done       %d\n", done);
    std::printf("verify failures   %d\n", verifyFailures);
    std::printf("read mismatches   %d\n", readMismatches);
    std::printf("bytes lost        %d\n", bytesLost);
    std::printf("messages shown    %d\n", int(messages.shown().size()));
    std::printf("resident memory   %ld KiB before round 1\n", startKiB);
    printMemory(roundKiB);
    return verifyFailures + readMismatches + bytesLost + int(messages.shown().size()) == 0 ? 0 : 1;
}

// Each run is a process of its own: what could pile up is left behind in files or on the port.
int soakCommandLine(int runs) {
    QTemporaryDir dir;
    const QString temp = dir.filePath(QStringLiteral("tmp"));
    QDir().mkpath(temp);
    tavrin::test::SimulatorProcess sim({"--image", dir.filePath("device.bin")});
    if (sim.devicePath().isEmpty())
        return 1;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), temp);

    const auto count = [&](const QString& event) {
        return int(sim.events().filter(QRegularExpression(u'^' + event)).size());
    };
    int failures = 0;
    int portsLeftOpen = 0;
    qint64 slowestMs = 0;
    for (int run = 1; run <= runs; ++run) {
        const QByteArray image = tavrin::test::writeRandomImage(unitFile(dir, run));
        const int openedBefore = count("connected");
        QProcess tavrin;
        tavrin.setProcessEnvironment(environment);
        QElapsedTimer clock;
        clock.start();
        tavrin.start(QCoreApplication::applicationDirPath() + QStringLiteral("/tavrin"),
                     {"write", "--quiet", "--port", sim.devicePath(), unitFile(dir, run)});
        if (!tavrin.waitForFinished(60000) || tavrin.exitCode() != 0) {
            ++failures;
            std::fprintf(stderr, "run %d: exit %d: %s\n", run, tavrin.exitCode(),
                         tavrin.readAllStandardError().constData());
        }
        slowestMs = std::max(slowestMs, clock.elapsed());
        // The run's own connections must have been seen, and each one closed again; waiting
        // also drains the simulator's output, which would stop it once its pipe is full.
        if (!QTest::qWaitFor(
                [&] {
                    const int opened = count("connected");
                    return opened > openedBefore && count("disconnected") == opened;
                },
                5000))
            ++portsLeftOpen;
        if (run % 100 == 0) {
            std::printf("run %d\n", run);
            std::fflush(stdout);
        }
    }
    sim.stop();

    const QStringList left =
        QDir(temp).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    const QStringList beside =
        QDir(dir.path())
            .entryList(QDir::Files | QDir::Hidden)
            .filter(QRegularExpression(QStringLiteral("^(?!unit-\\d{4}\\.bin$|device\\.bin$)")));
    std::printf("runs              %d\n", runs);
    std::printf("failed runs       %d\n", failures);
    std::printf("port left open    %d runs\n", portsLeftOpen);
    std::printf("files left        %d in TMPDIR, %d beside the images\n", int(left.size()),
                int(beside.size()));
    std::printf("slowest run       %lld ms\n", slowestMs);
    for (const QString& name : left + beside)
        std::printf("  %s\n", qPrintable(name));
    return failures + portsLeftOpen + left.size() + beside.size() == 0 ? 0 : 1;
}

// Runs xdotool with `arguments`; its output, empty when it failed.
QString xdotool(const QStringList& arguments) {
    QProcess tool;
    tool.start(QStringLiteral("xdotool"), arguments);
    if (!tool.waitForFinished(30000) || tool.exitCode() != 0)
        return {};
    return QString::fromLocal8Bit(tool.readAllStandardOutput()).trimmed();
}

// The program's window and dialogs worked through the X server, as a person works them.
int soakTyped(int rounds, const QString& parent, int otherFiles) {
    QTemporaryDir dir(QDir(parent).filePath(QStringLiteral("tavrin-soak-XXXXXX")));
    addOtherFiles(dir, otherFiles);
    tavrin::test::SimulatorProcess sim({"--image", dir.filePath("device.bin")});
    tavrin::test::XDriver x;
    if (sim.devicePath().isEmpty() || !x.isConnected() || xdotool({"version"}).isEmpty()) {
        std::fprintf(stderr, "tavrin-soak: needs the simulator, an X server and xdotool\n");
        return 1;
    }
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TAVRIN_COM1"), sim.devicePath());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    program.setProcessEnvironment(environment);
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.start(QCoreApplication::applicationDirPath() + QStringLiteral("/tavrin"), {});
    const QString pid = QString::number(program.processId());
    xcb_window_t window = 0;
    (void)QTest::qWaitFor([&] { return (window = x.findWindow(program.processId())) != 0; }, 30000);
    if (!window) {
        std::fprintf(stderr, "tavrin-soak: the window did not show\n");
        return 1;
    }
    // The window's layout in its own pixels: the two buttons and the first port.
    const QPoint readAndSave(100, 20), openAndWrite(100, 52), com1(20, 80);
    const auto connections = [&] { return int(sim.events().filter("connected ").size()); };
    x.click(window, com1);
    if (!QTest::qWaitFor([&] { return connections() >= 1; }, 10000)) {
        std::fprintf(stderr, "tavrin-soak: choosing Com1 did not open the port\n");
        return 1;
    }

    // Clicks the button until the dialog shows (a click while the last round's port cycle ends is
    // refused), types the path, presses Return, and waits for the port cycle that ends the command.
    const auto work = [&](QPoint button, const QString& title, const QString& path) {
        const int before = connections();
        QString dialog;
        for (int click = 0; click < 10 && dialog.isEmpty(); ++click) {
            x.click(window, button);
            (void)QTest::qWaitFor(
                [&] {
                    dialog = xdotool({"search", "--onlyvisible", "--name", '^' + title + '$'});
                    return !dialog.isEmpty();
                },
                3000);
        }
        // Keys go where the keyboard is: wait until the dialog has it.
        (void)QTest::qWaitFor([&] { return xdotool({"getwindowfocus"}) == dialog; }, 5000);
        xdotool({"type", "--delay", "8", path});
        xdotool({"key", "Return"});
        return QTest::qWaitFor([&] { return connections() > before; }, 30000);
    };

    QList<long> roundKiB;
    int failures = 0;
    for (int round = 1; round <= rounds && program.state() == QProcess::Running; ++round) {
        const QString image = unitFile(dir, round);
        const QByteArray cells = tavrin::test::writeRandomImage(image);
        const QString saved = unitFile(dir, round, "-read");
        const char* failed = !work(openAndWrite, QStringLiteral("Open"), image)     ? "the write"
                             : !work(readAndSave, QStringLiteral("Save As"), saved) ? "the read"
                             : tavrin::ImageFile::read(saved).bytes != cells ? "the saved cells"
                                                                             : nullptr;
        if (failed) {
            ++failures;
            std::fprintf(stderr, "round %d: %s failed\n", round, failed);
        }
        roundKiB << residentKiB(pid);
        std::printf("round %d  %ld KiB\n", round, roundKiB.constLast());
        std::fflush(stdout);
    }
    x.requestClose(window);
    program.waitForFinished(20000);
    const int bytesLost = bytesLostBy(sim);

    std::printf("rounds done       %d\n", int(roundKiB.size()));
    std::printf("failed rounds     %d\n", failures);
    std::printf("bytes lost        %d\n", bytesLost);
    printMemory(roundKiB);
    return failures + bytesLost == 0 && roundKiB.size() == rounds ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[]) {
    // The typed soak works a program of its own through the X server; the others, the window in
    // this process.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    tavrin::QtMessagePump::prepareApplication();
    QApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption commandLine("command-line");
    const QCommandLineOption newFiles("new-files");
    const QCommandLineOption files("files", "", "N", "0");
    const QCommandLineOption typed("typed");
    const QCommandLineOption folder("folder", "", "DIR", "/var/tmp");
    parser.addOptions({commandLine, newFiles, files, typed, folder});
    parser.addPositionalArgument("rounds", "");
    parser.process(app);
    const int rounds = parser.positionalArguments().value(0, "200").toInt();
    if (parser.isSet(commandLine))
        return soakCommandLine(rounds);
    if (parser.isSet(typed))
        return soakTyped(rounds, parser.value(folder), parser.value(files).toInt());
    return soakWindow(rounds, parser.isSet(newFiles), parser.value(files).toInt());
}
