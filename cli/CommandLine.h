#pragma once

#include "cli/ExitCode.h"
#include "cli/PortArgument.h"
#include "cli/ProductionOptions.h"

#include <QStringList>

#include <chrono>

namespace tavrin {

class ProductionRun;
struct CommandResult;

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
    enum class Command { Read, Write, Verify };

    ExitCode transfer(Command command);
    ExitCode report(Command command, const CommandResult& result, const QString& where);
    ExitCode batch(ProductionRun& run);
    ExitCode usage(const QString& problem) const;

    QStringList m_arguments;
    PortArgument m_port;
    QString m_file;
    int m_retries = 0;
    std::chrono::milliseconds m_timeout{10000};
    bool m_quiet = false;
    ProductionOptions m_production;
};

} // namespace tavrin
