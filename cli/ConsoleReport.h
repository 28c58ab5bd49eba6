#pragma once

#include "cli/Arguments.h"
#include "cli/ExitCode.h"
#include "cli/Preflight.h"
#include "commands/CommandResult.h"
#include "platform/LineDatabase.h"
#include "production/ProductionRun.h"

#include <QTextStream>

#include <chrono>

namespace tavrin {

// The one place the command line words what happened, and the one mapping from it to the exit
// status: a failure is one line on standard error in the console's words, a success one line on
// standard output unless quiet.
class ConsoleReport {
public:
    ConsoleReport(QTextStream& out, QTextStream& err, const Arguments& arguments);

    // A command's end.
    ExitCode ended(const CommandResult& result);
    // A production unit written alone.
    ExitCode unitEnded(const ProductionRun::Unit& unit);
    ExitCode refused(const Preflight::Refusal& refusal);
    // The unit's record could not be written.
    void recordFailed(const QString& problem);
    // The line of a failure, without "tavrin: "; empty for a success.
    QString failure(const CommandResult& result) const;
    // The refusal as the log records it.
    QString refusal(const Preflight::Refusal& refusal) const;

    // A batch: waiting for units, a line per unit, a unit left on the line, the summary.
    void batchStarted();
    void batchUnit(int number, const ProductionRun::Unit& unit);
    void unitStillThere(const QString& port);
    void waitingForNumbers(const QString& problem);
    ExitCode batchEnded(const ProductionRun::Summary& summary);

    ExitCode statusFor(const CommandResult& result) const;
    // A failure of the line database, for the sequence `sequence` when it concerns one.
    static QString lineFailure(const LineDatabase::Error& error, const QString& sequence = {});

private:
    QString portFailure(const PortError& error, const QString& port, int number) const;
    QString fileFailure(const FileProblem& problem) const;
    void warnIfNotReopened(const CommandResult& result);
    void reportDone(const CommandResult& result);
    void reportProblems(const ProductionRun::Unit& unit);

    QTextStream& m_out;
    QTextStream& m_err;
    const Arguments& m_arguments;
};

} // namespace tavrin
