// Runs read-and-save plus write-and-verify cycles against tavrin-devsim and prints what went
// wrong and how memory went. Usage: tavrin-soak [CYCLES] (default 200).

#include "FakeFileDialog.h"
#include "FakeMessageBox.h"
#include "RandomImage.h"
#include "SimulatorProcess.h"

#include "app/Program.h"
#include "image/ImageFile.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>

#include <cstdio>

namespace {

// Resident memory in KiB, from the kernel's own accounting.
long residentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').constFirst().toLong();
    return -1;
}

} // namespace

int main(int argc, char* argv[]) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    tavrin::QtMessagePump::prepareApplication();
    QApplication app(argc, argv);
    const int cycles = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 200;
    QTemporaryDir dir;
    tavrin::test::SimulatorProcess sim({"--image", dir.filePath("device.bin")});
    const QString device = sim.devicePath();
    if (device.isEmpty())
        return 1;

    tavrin::test::FakeFileDialog dialog;
    tavrin::test::FakeMessageBox messages;
    messages.setWhileShown([](const auto& shown) {
        std::fprintf(stderr, "message: %s: %s\n", qPrintable(shown.title),
                     qPrintable(shown.prompt));
    });
    tavrin::Program program(
        {[&](int port) { return port == 1 ? device : QString(); }, &dialog, &messages});
    program.window().show();
    program.window().Com(0)->click();

    const long startKiB = residentKiB();
    int done = 0;
    int verifyFailures = 0;
    int readMismatches = 0;
    for (; done < cycles; ++done) {
        const QByteArray image = tavrin::test::writeRandomImage(dir.filePath("written.bin"));
        dialog.chooseAlways(dir.filePath("written.bin"));
        program.window().OWEE()->click();
        if (program.window().Label4()->text() != "Verify Completed")
            ++verifyFailures;
        const QString saved = dir.filePath("saved.bin");
        dialog.chooseAlways(saved);
        program.window().RSEE()->click();
        if (tavrin::ImageFile::read(saved).bytes != image)
            ++readMismatches;
    }
    const long endKiB = residentKiB();

    int bytesLost = 0;
    sim.stop();
    for (const QString& line : sim.events())
        if (line.startsWith("written lost="))
            bytesLost += line.mid(13).toInt();

    std::printf("cycles done       %d\n", done);
    std::printf("verify failures   %d\n", verifyFailures);
    std::printf("read mismatches   %d\n", readMismatches);
    std::printf("bytes lost        %d\n", bytesLost);
    std::printf("messages shown    %d\n", int(messages.shown().size()));
    std::printf("resident memory   %ld KiB at start, %ld KiB at end\n", startKiB, endKiB);
    return verifyFailures + readMismatches + bytesLost + int(messages.shown().size()) == 0 ? 0 : 1;
}
