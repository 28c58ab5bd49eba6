#include "app/Program.h"
#include "cli/CommandLine.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

namespace {

void describe() {
    QCoreApplication::setApplicationName(QStringLiteral("tavrin"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TAVRIN_VERSION));
}

} // namespace

int main(int argc, char* argv[]) {
    tavrin::QtMessagePump::prepareApplication();
    if (tavrin::CommandLine::wants(argc, argv)) {
        QCoreApplication app(argc, argv);
        describe();
        return int(tavrin::CommandLine(QCoreApplication::arguments()).run());
    }

    QApplication app(argc, argv);
    describe();
    QApplication::setDesktopFileName(QStringLiteral("org.tavrin.Tavrin"));
    // Qt has taken its own options (-style, -platform, ...); anything left is not for the window.
    if (QCoreApplication::arguments().size() > 1) {
        std::fprintf(stderr, "tavrin: unknown option \"%s\"\n\n%s",
                     qPrintable(QCoreApplication::arguments().at(1)),
                     qPrintable(tavrin::CommandLine::help()));
        return int(tavrin::ExitCode::Usage);
    }
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
