// Runs read-and-save plus write-and-verify cycles against tavrin-devsim and prints what went
// wrong and how memory went. Usage: tavrin-soak [CYCLES] (default 200).

#include "app/Program.h"
#include "bench/BenchSimulator.h"
#include "bench/CountingMessages.h"
#include "bench/ScriptedDialog.h"
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
    tavrin::BenchSimulator sim({"--image", dir.filePath("device.bin")});
    const QString device = sim.device();
    if (device.isEmpty())
        return 1;

    tavrin::ScriptedDialog dialog;
    tavrin::CountingMessages messages;
    tavrin::Program program(
        {[&](int port) { return port == 1 ? device : QString(); }, &dialog, &messages});
    program.window().show();
    program.window().Com(0)->click();

    const long startKiB = residentKiB();
    int done = 0;
    int verifyFailures = 0;
    int readMismatches = 0;
    for (; done < cycles; ++done) {
        const QByteArray image = dialog.chooseRandomImage(dir.filePath("written.bin"));
        program.window().OWEE()->click();
        if (program.window().Label4()->text() != "Verify Completed")
            ++verifyFailures;
        const QString saved = dir.filePath("saved.bin");
        dialog.choose(saved);
        program.window().RSEE()->click();
        if (tavrin::ImageFile::read(saved).bytes != image)
            ++readMismatches;
    }
    const long endKiB = residentKiB();

    int bytesLost = 0;
    for (const QByteArray& line : sim.stop())
        if (line.startsWith("written lost="))
            bytesLost += line.mid(13).toInt();

    std::printf("cycles done       %d\n", done);
    std::printf("verify failures   %d\n", verifyFailures);
    std::printf("read mismatches   %d\n", readMismatches);
    std::printf("bytes lost        %d\n", bytesLost);
    std::printf("messages shown    %d\n", messages.shown());
    std::printf("resident memory   %ld KiB at start, %ld KiB at end\n", startKiB, endKiB);
    return verifyFailures + readMismatches + bytesLost + messages.shown() == 0 ? 0 : 1;
}
