#include "cli/ConsoleReport.h"

#include "image/ImageComparison.h"
#include "link/SerialLink.h"
#include "link/WireFormat.h"
#include "production/LineCounter.h"

#include <QDir>

namespace tavrin {

namespace {

QString where(const CommandResult& result) {
    return SerialLink::describePort(result.port, result.device);
}

QString cellCount(qsizetype cells) {
    return QString::number(cells) +
           (cells == 1 ? QStringLiteral(" cell") : QStringLiteral(" cells"));
}

} // namespace

ConsoleReport::ConsoleReport(QTextStream& out, QTextStream& err, const Arguments& arguments)
    : m_out(out)
    , m_err(err)
    , m_arguments(arguments) {}

ExitCode ConsoleReport::statusFor(const CommandResult& result) const {
    switch (result.end) {
    case CommandEnd::Done:
        if (!result.differences.isEmpty())
            return ExitCode::Differences;
        return m_arguments.command == Arguments::Command::Read &&
                       result.cells.size() < Wire::EepromSize
                   ? ExitCode::ShortReply
                   : ExitCode::Done;
    case CommandEnd::NoPort:
    case CommandEnd::NotStarted:
    case CommandEnd::PortFailed:
        return ExitCode::PortError;
    case CommandEnd::Cancelled:
    case CommandEnd::FileFailed:
        return ExitCode::FileError;
    case CommandEnd::TimedOut:
        return ExitCode::NoReply;
    case CommandEnd::TimerFailed:
        return ExitCode::TimerFailed;
    case CommandEnd::Closing:
        return ExitCode::Stopped;
    }
    return ExitCode::Stopped;
}

QString ConsoleReport::failure(const CommandResult& result) const {
    switch (result.end) {
    case CommandEnd::Done:
        return {};
    case CommandEnd::NoPort:
    case CommandEnd::NotStarted:
        return QStringLiteral("no port is open; nothing was sent");
    case CommandEnd::PortFailed:
        return portFailure(result.portFailure, where(result), result.port);
    case CommandEnd::Cancelled:
        return QStringLiteral("no file was chosen");
    case CommandEnd::FileFailed:
        return fileFailure(result.fileFailure);
    case CommandEnd::TimedOut:
        return QStringLiteral("%1: no reply from the device within %2 s")
            .arg(where(result))
            .arg(double(m_arguments.timeout.count()) / 1000);
    case CommandEnd::TimerFailed:
        return QStringLiteral("the system's timer stopped working: %1").arg(result.timerFailure);
    case CommandEnd::Closing:
        return QStringLiteral("stopped before the end");
    }
    return {};
}

QString ConsoleReport::portFailure(const PortError& error, const QString& port, int number) const {
    switch (error.kind) {
    case PortError::Kind::NotPresent:
        if (error.device.isEmpty())
            return QStringLiteral("Com%1 has no serial device; set TAVRIN_COM%1 or give a device")
                .arg(number);
        return QStringLiteral("%1 is not present").arg(port);
    case PortError::Kind::Busy:
        return QStringLiteral("%1 is in use by another program").arg(port);
    case PortError::Kind::PermissionDenied:
        return QStringLiteral("%1: no permission to use it (for example, not in the dialout group)")
            .arg(port);
    case PortError::Kind::Lost:
        return QStringLiteral("%1 stopped working: %2").arg(port, error.detail);
    case PortError::Kind::None:
    case PortError::Kind::LinesUnsupported:
    case PortError::Kind::Failed:
        break;
    }
    return QStringLiteral("%1 could not be opened: %2").arg(port, error.detail);
}

QString ConsoleReport::fileFailure(const FileProblem& problem) const {
    const QString path = QDir::toNativeSeparators(problem.path);
    const QString verb = problem.action == FileProblem::Action::Save ? QStringLiteral("save")
                                                                     : QStringLiteral("open");
    switch (problem.kind) {
    case FileProblem::Kind::Missing:
        return QStringLiteral("%1 does not exist").arg(path);
    case FileProblem::Kind::Folder:
        return QStringLiteral("%1 is a folder, not an image file").arg(path);
    case FileProblem::Kind::NotOrdinary:
    case FileProblem::Kind::DeviceName:
        return QStringLiteral("%1 is not an ordinary file (a device, pipe or socket)").arg(path);
    case FileProblem::Kind::NotHex:
        return problem.line == 0
                   ? QStringLiteral("%1 is not usable Intel HEX: %2").arg(path, problem.reason)
                   : QStringLiteral("%1 is not usable Intel HEX: line %2: %3")
                         .arg(path)
                         .arg(problem.line)
                         .arg(problem.reason);
    case FileProblem::Kind::None:
    case FileProblem::Kind::NotOpened:
    case FileProblem::Kind::NotRead:
    case FileProblem::Kind::NotCreated:
    case FileProblem::Kind::NotSaved:
        break;
    }
    return QStringLiteral("cannot %1 %2: %3").arg(verb, path, problem.reason);
}

QString ConsoleReport::refusal(const Preflight::Refusal& refusal) const {
    return refusal.kind == Preflight::Refusal::Kind::Image ? fileFailure(refusal.image)
                                                           : refusal.problem;
}

ExitCode ConsoleReport::refused(const Preflight::Refusal& refused) {
    m_err << "tavrin: " << refusal(refused) << "; nothing was sent" << Qt::endl;
    return refused.status;
}

void ConsoleReport::recordFailed(const QString& problem) {
    m_err << "tavrin: " << problem << Qt::endl;
}

void ConsoleReport::warnIfNotReopened(const CommandResult& result) {
    if (result.portCycle != CommandResult::PortCycle::NotReopened)
        return;
    const QString reason =
        !result.timerFailure.isEmpty()
            ? QStringLiteral("the system's timer stopped working: %1").arg(result.timerFailure)
            : portFailure(result.portFailure, where(result), result.port);
    m_err << "tavrin: warning: the port could not be reopened after the port cycle (" << reason
          << "); it is closed" << Qt::endl;
}

ExitCode ConsoleReport::ended(const CommandResult& result) {
    const ExitCode status = statusFor(result);
    if (result.end != CommandEnd::Done) {
        m_err << "tavrin: " << failure(result) << Qt::endl;
        return status;
    }
    warnIfNotReopened(result);
    const QString file = m_arguments.file;
    if (status == ExitCode::Differences) {
        for (const QString& line : ImageComparison::describe(result.differences))
            m_out << line << "\n";
        m_err << "tavrin: " << file << " and the EEPROM on " << where(result) << " differ in "
              << cellCount(result.differences.size()) << Qt::endl;
    } else if (status == ExitCode::ShortReply) {
        m_err << "tavrin: " << where(result) << " answered with " << result.cells.size()
              << " of the " << Wire::EepromSize << " cells; those were saved in " << file
              << Qt::endl;
    } else {
        reportDone(result);
    }
    return status;
}

void ConsoleReport::reportDone(const CommandResult& result) {
    if (m_arguments.quiet)
        return;
    const QString file = m_arguments.file;
    switch (m_arguments.command) {
    case Arguments::Command::Read:
        m_out << "read " << result.cells.size() << " bytes from " << where(result) << " into "
              << file << "\n";
        break;
    case Arguments::Command::Write:
        m_out << "wrote " << file << " to " << where(result) << ", verified\n";
        break;
    case Arguments::Command::Verify:
        m_out << file << " matches the EEPROM on " << where(result) << "\n";
        break;
    case Arguments::Command::Ports:
    case Arguments::Command::Help:
    case Arguments::Command::Version:
        break;
    }
    m_out.flush();
}

// A unit's problems outside the device, each once.
void ConsoleReport::reportProblems(const ProductionRun::Unit& unit) {
    if (unit.obstacle == ProductionRun::Obstacle::StartLine && unit.serial) {
        m_err << "tavrin: " << unit.problem << "; serial number " << *unit.serial
              << " was taken from the counter and is on record nowhere else; the unit was not "
                 "written"
              << Qt::endl;
        return;
    }
    if (!unit.problem.isEmpty())
        m_err << "tavrin: " << unit.problem << Qt::endl;
    if (!unit.logProblem.isEmpty() && unit.logProblem != unit.problem)
        m_err << "tavrin: " << unit.logProblem << Qt::endl;
}

ExitCode ConsoleReport::unitEnded(const ProductionRun::Unit& unit) {
    reportProblems(unit);
    switch (unit.obstacle) {
    case ProductionRun::Obstacle::StartLine:
        return ExitCode::Usage;
    case ProductionRun::Obstacle::Counter:
    case ProductionRun::Obstacle::Backup:
        return ExitCode::FileError;
    case ProductionRun::Obstacle::None:
        break;
    }
    if (!unit.logProblem.isEmpty() && unit.result.end == CommandEnd::Done)
        return ExitCode::FileError;
    return ended(unit.result);
}

// Quiet, a batch says only what failed.
void ConsoleReport::batchStarted() {
    if (!m_arguments.quiet)
        m_out << "waiting for units; Ctrl+C stops after the unit being written" << Qt::endl;
}

void ConsoleReport::batchUnit(int number, const ProductionRun::Unit& unit) {
    reportProblems(unit);
    if (m_arguments.quiet && unit.done())
        return;
    QTextStream& out = m_out;
    out << "unit " << number;
    if (unit.serial)
        out << ", serial " << *unit.serial;
    out << ": " << UnitLog::resultWord(unit.result);
    if (const qsizetype cells = unit.result.differences.size(); cells > 0)
        out << " (" << cellCount(cells) << ")";
    out << ", " << QString::number(double(unit.milliseconds) / 1000, 'f', 2) << " s";
    if (unit.result.portCycle == CommandResult::PortCycle::NotReopened)
        out << "; the port could not be reopened, waiting for it";
    out << Qt::endl;
}

void ConsoleReport::unitStillThere(const QString& port) {
    m_err << "tavrin: the unit on " << port << " still answers after "
          << ProductionRun::StillThereReport.count() << " minutes; waiting for it to be taken off"
          << Qt::endl;
}

void ConsoleReport::waitingForNumbers(const QString& problem) {
    m_err << "tavrin: waiting for the serial numbers: " << problem << Qt::endl;
}

QString ConsoleReport::lineFailure(const LineDatabase::Error& error, const QString& sequence) {
    return LineCounter::describe(error, sequence);
}

ExitCode ConsoleReport::batchEnded(const ProductionRun::Summary& summary) {
    const bool failed = summary.done != summary.units;
    if (!m_arguments.quiet || failed) {
        QTextStream& out = m_out;
        out << summary.units << (summary.units == 1 ? " unit: " : " units: ") << summary.done
            << " done, " << summary.units - summary.done << " failed";
        if (summary.firstSerial)
            out << "; serial numbers " << *summary.firstSerial
                << (*summary.lastSerial != *summary.firstSerial
                        ? "-" + QString::number(*summary.lastSerial)
                        : QString());
        out << Qt::endl;
    }
    if (summary.stoppedBy == ProductionRun::Obstacle::StartLine)
        return ExitCode::Usage;
    return failed ? ExitCode::Differences : ExitCode::Done;
}

} // namespace tavrin
