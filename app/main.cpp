#include "app/Program.h"
#include "app/SharedIconStyle.h"
#include "cli/CommandLine.h"

#include <QApplication>
#include <QDir>
#include <QProcess>
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
#ifdef TAVRIN_CONSOLE_FRONT_END
    // The console front end runs the commands; the window is tavrin.exe's, started beside it so
    // that the prompt comes back at once, as after starting any window program.
    if (!tavrin::CommandLine::wants(argc, argv)) {
        QCoreApplication app(argc, argv);
        const QString window =
            QCoreApplication::applicationDirPath() + QStringLiteral("/tavrin.exe");
        if (QProcess::startDetached(window, QCoreApplication::arguments().mid(1)))
            return int(tavrin::ExitCode::Done);
        std::fprintf(stderr, "tavrin: the window program %s could not be started\n",
                     qPrintable(QDir::toNativeSeparators(window)));
        return int(tavrin::ExitCode::FileError);
    }
#endif
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
    // The style Qt chose (or -style named), giving out its standard icons once.
    QApplication::setStyle(new tavrin::SharedIconStyle(QApplication::style()->name()));
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
