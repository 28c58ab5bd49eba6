#include "app/Program.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

#include <cstdio>

int main(int argc, char* argv[]) {
    tavrin::QtMessagePump::prepareApplication();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tavrin"));
    QApplication::setApplicationVersion(QStringLiteral(TAVRIN_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("org.tavrin.Tavrin"));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Reads, saves, writes and verifies a device's data EEPROM over a serial "
                       "port.\nCom1..Com4 are the devices in TAVRIN_COM1..TAVRIN_COM4 when set."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.process(app);
    tavrin::Program program;
    program.window().show();
    // For start-up measurements and smoke tests: say "shown" once the window has been shown and
    // painted, then quit.
    if (qEnvironmentVariableIsSet("TAVRIN_QUIT_WHEN_SHOWN"))
        QTimer::singleShot(0, &app, [&] {
            std::puts(program.window().isVisible() ? "shown" : "not shown");
            std::fflush(stdout);
            QApplication::quit();
        });
    return QApplication::exec();
}
