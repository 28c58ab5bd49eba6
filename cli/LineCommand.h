#pragma once

#include "cli/ExitCode.h"

#include <QStringList>
#include <QTextStream>

namespace tavrin {

// `tavrin line ...`: the line database's own commands. init makes the schema (and grants a
// bench's role what it needs), sequence makes a sequence of serial numbers, report shows each
// sequence's units at each station.
class LineCommand {
public:
    static bool wants(const QStringList& arguments);
    static QString help();

    LineCommand(QStringList arguments, QTextStream& out, QTextStream& err);
    ExitCode run();

private:
    QStringList m_arguments;
    QTextStream& m_out;
    QTextStream& m_err;
};

} // namespace tavrin
