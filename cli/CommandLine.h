#pragma once

#include "cli/ExitCode.h"

#include <QStringList>

namespace tavrin {

// The command line: read, write and verify on the same engine as the window, for scripts and
// production benches; and the list of ports. No window system is needed.
class CommandLine {
public:
    // Whether these arguments ask for the command line rather than the window.
    static bool wants(int argc, char** argv);
    static QString help();

    explicit CommandLine(QStringList arguments);
    ExitCode run();

private:
    QStringList m_arguments;
};

} // namespace tavrin
