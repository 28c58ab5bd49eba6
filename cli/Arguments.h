#pragma once

#include "cli/PortArgument.h"
#include "cli/ProductionOptions.h"

#include <QString>
#include <QStringList>

#include <chrono>

class QCommandLineParser;

namespace tavrin {

// The command line as given: which command, on which port and file, with which options; or why
// it makes no sense. Also the help text.
class Arguments {
public:
    enum class Command { Read, Write, Verify, Ports, Help, Version };

    static QString help();
    // The command's own word: read, write, verify.
    static QString word(Command command);

    // Parses `arguments` (the program's name first); problem() says what is wrong, if anything.
    explicit Arguments(const QStringList& arguments);

    QString problem() const { return m_problem; }

    Command command = Command::Help;
    PortArgument port;
    QString file;
    int retries = 0;
    std::chrono::milliseconds timeout{10000};
    bool quiet = false;
    ProductionOptions production;

private:
    QString parse(const QStringList& arguments);
    QString readTransfer(const QCommandLineParser& parser, const QString& command);
    QString readNumbers(const QCommandLineParser& parser, const QString& command);

    QString m_problem;
};

} // namespace tavrin
