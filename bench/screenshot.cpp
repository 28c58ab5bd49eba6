// Takes the README's picture: the window in the middle of a write to tavrin-devsim.
// Usage: tavrin-screenshot OUTPUT.png (run under a display, e.g. xvfb-run).

#include "FakeFileDialog.h"
#include "SimulatorProcess.h"

#include "app/Program.h"
#include "image/ImageFile.h"

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>

int main(int argc, char* argv[]) {
    tavrin::QtMessagePump::prepareApplication();
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: tavrin-screenshot OUTPUT.png\n");
        return 2;
    }
    const QString output = QString::fromLocal8Bit(argv[1]);
    QTemporaryDir dir;
    tavrin::test::SimulatorProcess sim;
    const QString device = sim.devicePath();
    if (device.isEmpty())
        return 1;

    const QString image = dir.filePath("image.bin");
    QByteArray bytes = "Tavrin EEPROM image";
    bytes.resize(64, char(0x5A));
    (void)tavrin::ImageFile::write(image, bytes);
    tavrin::test::FakeFileDialog dialog;
    dialog.chooseAlways(image);
    tavrin::Program program(
        {[&](int port) { return port == 1 ? device : QString(); }, &dialog, nullptr});
    program.window().show();
    program.window().Com(0)->click();
    bool taken = false;
    QObject::connect(&program.panel(), &tavrin::StatusPanel::captionChanged,
                     [&](const QString& caption) {
                         if (!taken && caption == "E (45)") {
                             taken = program.window().grab().save(output);
                         }
                     });
    program.window().OWEE()->click();
    return taken ? 0 : 1;
}
