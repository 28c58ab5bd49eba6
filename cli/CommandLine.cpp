#include "cli/CommandLine.h"

#include "cli/Arguments.h"
#include "cli/LineCommand.h"
#include "cli/PortList.h"
#include "cli/Transfer.h"
#include "platform/SystemCalls.h"

#include <QCoreApplication>
#include <QTextStream>

namespace tavrin {

namespace {

QTextStream& out() {
    static QTextStream stream(stdout);
    return stream;
}

QTextStream& err() {
    static QTextStream stream(stderr);
    return stream;
}

} // namespace

bool CommandLine::wants(int argc, char** argv) {
    if (argc < 2)
        return false;
    // Qt's own options for a window program, which QApplication takes for itself.
    static const QStringList windowOptions{QStringLiteral("platform"),
                                           QStringLiteral("platformpluginpath"),
                                           QStringLiteral("platformtheme"),
                                           QStringLiteral("plugin"),
                                           QStringLiteral("qwindowgeometry"),
                                           QStringLiteral("qwindowicon"),
                                           QStringLiteral("qwindowtitle"),
                                           QStringLiteral("reverse"),
                                           QStringLiteral("session"),
                                           QStringLiteral("style"),
                                           QStringLiteral("stylesheet"),
                                           QStringLiteral("widgetcount"),
                                           QStringLiteral("display"),
                                           QStringLiteral("geometry"),
                                           QStringLiteral("name"),
                                           QStringLiteral("title"),
                                           QStringLiteral("visual"),
                                           QStringLiteral("sync"),
                                           QStringLiteral("nograb"),
                                           QStringLiteral("dograb")};
    QString first = QString::fromLocal8Bit(argv[1]);
    if (!first.startsWith(u'-'))
        return true;
    while (first.startsWith(u'-'))
        first.remove(0, 1);
    return !windowOptions.contains(first.section(u'=', 0, 0));
}

QString CommandLine::help() {
    return Arguments::help();
}

CommandLine::CommandLine(QStringList arguments)
    : m_arguments(std::move(arguments)) {}

ExitCode CommandLine::run() {
    // A script's reader that has gone (`tavrin ... | head`) must not end a unit in the middle:
    // the unit is finished, and the exit status says what it did.
    SystemCalls::ignoreBrokenPipe();
    if (LineCommand::wants(m_arguments))
        return LineCommand(m_arguments, out(), err()).run();
    const Arguments arguments(m_arguments);
    if (!arguments.problem().isEmpty()) {
        err() << "tavrin: " << arguments.problem() << "\n\n" << help();
        err().flush();
        return ExitCode::Usage;
    }
    switch (arguments.command) {
    case Arguments::Command::Help:
        out() << help();
        return ExitCode::Done;
    case Arguments::Command::Version:
        out() << "tavrin " << QCoreApplication::applicationVersion() << "\n";
        return ExitCode::Done;
    case Arguments::Command::Ports:
        PortList::print(out());
        return ExitCode::Done;
    case Arguments::Command::Read:
    case Arguments::Command::Write:
    case Arguments::Command::Verify:
        break;
    }
    return Transfer(arguments, out(), err()).run();
}

} // namespace tavrin
