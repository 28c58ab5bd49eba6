#include "cli/Transfer.h"

#include "cli/Preflight.h"
#include "cli/ProgressBar.h"
#include "platform/StopSignals.h"
#include "production/ProductionRun.h"

#include <QScopeGuard>

#include <memory>
#include <optional>

namespace tavrin {

Transfer::Transfer(const Arguments& arguments, QTextStream& out, QTextStream& err)
    : m_arguments(arguments)
    , m_file(arguments.file)
    , m_engine({m_pump, m_timer1, m_comm, m_file})
    , m_recorder(arguments.production.logPath, Arguments::word(arguments.command),
                 [this] { return m_engine.waiter().now(); })
    , m_report(out, err, arguments) {}

PortChoice Transfer::port() const {
    const PortArgument& given = m_arguments.port;
    return given.kind == PortArgument::Kind::Number ? PortChoice{given.number, {}}
                                                    : PortChoice{0, given.device};
}

ExitCode Transfer::run() {
    // However the command ends, the port is closed with both lines down, as the window leaves it.
    const auto closePort = qScopeGuard([this] { m_engine.runner().shutDown(); });
    m_engine.protocol().setReplyTimeout(m_arguments.timeout);
    // While a write runs, a stop request lets the unit being written finish: a half-written
    // EEPROM is worse than a short wait.
    std::optional<StopSignals> stopSignals;
    if (m_arguments.command == Arguments::Command::Write)
        stopSignals.emplace();
    const PortChoice chosen = port();
    const QString device =
        chosen.number > 0 ? m_engine.link().deviceFor(chosen.number) : chosen.device;
    m_recorder.setDevice(device);

    // Everything the command and the unit's record need is checked before anything reaches the
    // device.
    Preflight preflight(m_arguments, device);
    if (const std::optional<Preflight::Refusal> refusal = preflight.check(m_recorder))
        return refuse(*refusal);
    // A batch finds its units by opening the port: it may not be there yet.
    if (!m_arguments.production.each) {
        const CommandResult opened = m_engine.runner().choosePort(chosen);
        if (opened.end != CommandEnd::Done)
            return finish(opened);
    }
    if (m_arguments.command == Arguments::Command::Write && m_arguments.production.wanted())
        return runProduction(preflight.counter());
    return finish(runCommand());
}

// A refusal is recorded once, when the log itself is usable and is no other file of the command:
// "refused" when it never reached the port, else how the port failed.
ExitCode Transfer::refuse(const Preflight::Refusal& refusal) {
    if (refusal.kind != Preflight::Refusal::Kind::Log &&
        refusal.kind != Preflight::Refusal::Kind::SameFile) {
        UnitRecorder::Facts facts;
        facts.state =
            refusal.result.end == CommandEnd::NotStarted ? QStringLiteral("refused") : QString();
        facts.problem = m_report.refusal(refusal);
        m_recorder.record(refusal.result, facts);
    }
    return m_report.refused(refusal);
}

CommandResult Transfer::runCommand() {
    std::unique_ptr<ProgressBar> progress;
    if (!m_arguments.quiet && ProgressBar::wanted())
        progress = std::make_unique<ProgressBar>(m_engine.reporter());
    CommandRunner& runner = m_engine.runner();
    WriteAndVerify::Options write;
    write.retries = m_arguments.retries;
    switch (m_arguments.command) {
    case Arguments::Command::Read:
        return runner.readAndSave();
    case Arguments::Command::Write:
        return runner.writeAndVerify(write);
    case Arguments::Command::Verify:
    case Arguments::Command::Ports:
    case Arguments::Command::Help:
    case Arguments::Command::Version:
        break;
    }
    return runner.verify(m_arguments.file);
}

ExitCode Transfer::finish(const CommandResult& result) {
    if (const QString problem = m_recorder.record(result); !problem.isEmpty()) {
        m_report.recordFailed(problem);
        if (result.end == CommandEnd::Done)
            return ExitCode::FileError;
    }
    return m_report.ended(result);
}

ExitCode Transfer::runProduction(SerialSource* counter) {
    const ProductionOptions& production = m_arguments.production;
    ProductionRun run(m_engine, {production.stamp, counter, production.backupFolder,
                                 production.logPath, m_arguments.retries, port()});
    if (production.each)
        return runBatch(run);
    std::optional<ProductionRun::Unit> unit;
    {
        std::unique_ptr<ProgressBar> progress;
        if (!m_arguments.quiet && ProgressBar::wanted())
            progress = std::make_unique<ProgressBar>(m_engine.reporter());
        unit = run.programUnit();
    }
    return m_report.unitEnded(*unit);
}

// Ctrl+C, SIGTERM and SIGHUP end the batch after the unit being written.
ExitCode Transfer::runBatch(ProductionRun& run) {
    QObject::connect(
        &run, &ProductionRun::unitEnded,
        [this](int number, const ProductionRun::Unit& unit) { m_report.batchUnit(number, unit); });
    QObject::connect(&run, &ProductionRun::unitStillThere,
                     [this](const QString& port) { m_report.unitStillThere(port); });
    QObject::connect(&run, &ProductionRun::waitingForNumbers,
                     [this](const QString& problem) { m_report.waitingForNumbers(problem); });
    m_report.batchStarted();
    return m_report.batchEnded(run.runBatch([] { return StopSignals::requested(); }));
}

} // namespace tavrin
