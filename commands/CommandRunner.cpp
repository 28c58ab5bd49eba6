#include "commands/CommandRunner.h"

#include "commands/CommandContext.h"
#include "commands/CommandReporter.h"
#include "link/DeviceProtocol.h"
#include "link/PacingTimer.h"
#include "link/SerialLink.h"
#include "link/Waiter.h"

#include <QScopedValueRollback>

namespace tavrin {

namespace {

CommandResult noPort() {
    CommandResult result;
    result.end = CommandEnd::NoPort;
    return result;
}

Stage verifyVerdict(const CommandResult& result) {
    return result.differences.isEmpty() ? Stage::VerifyCompleted : Stage::VerifyFailed;
}

} // namespace

CommandRunner::CommandRunner(CommandContext& context, QObject* parent)
    : QObject(parent)
    , m_context(context)
    , m_readAndSave(context)
    , m_writeAndVerify(context)
    , m_verifyImage(context) {}

template <typename Run> CommandResult CommandRunner::runExclusive(Run run, const Ending& ending) {
    if (m_busy || m_context.waiter.isClosing())
        return {};
    CommandResult result;
    m_context.link.forgetFailure();
    {
        QScopedValueRollback busy(m_busy, true);
        emit busyChanged(true);
        result = run();
        result.port = m_context.link.CommPort();
        result.device = m_context.link.device();
        if (result.end == CommandEnd::Done && ending.verdict) {
            if (ending.beforePortCycle)
                ending.beforePortCycle(result);
            cyclePort(result);
            if (result.end == CommandEnd::Done)
                emit m_context.reporter.stageReached(ending.verdict(result));
        }
    }
    // Whatever the end, a port that failed on the way is closed now: the result says why.
    if (!result.portFailure.isError() && m_context.link.lastFailure().isError())
        result.portFailure = m_context.link.lastFailure();
    if (result.end == CommandEnd::TimerFailed)
        result.timerFailure = m_context.pacing.failure();
    emit busyChanged(false);
    return result;
}

// Every way the port cycle can end, onto a result whose work is done: the work stands, and the
// result says when the port is closed afterwards.
void CommandRunner::cyclePort(CommandResult& result) {
    // The port stopped working after the last exchange: there is nothing to cycle.
    if (!m_context.link.PortOpen()) {
        if (m_context.link.lastFailure().isError()) {
            result.portCycle = CommandResult::PortCycle::NotReopened;
            result.portFailure = m_context.link.lastFailure();
        }
        return;
    }
    switch (m_context.link.CyclePort()) {
    case Outcome::Completed:
        result.portCycle = CommandResult::PortCycle::Reopened;
        return;
    case Outcome::Closing:
        result.end = CommandEnd::Closing;
        return;
    case Outcome::TimerFailed:
        result.portCycle = CommandResult::PortCycle::NotReopened;
        result.timerFailure = m_context.pacing.failure();
        return;
    case Outcome::PortLost:
    case Outcome::TimedOut:
        result.portCycle = CommandResult::PortCycle::NotReopened;
        result.portFailure = m_context.link.lastFailure();
        return;
    }
}

// Every command needs the port the operator chose; without one nothing is sent.
template <typename Run> CommandResult CommandRunner::onOpenPort(Run run) {
    return m_context.link.PortOpen() ? run() : noPort();
}

// Opening a port pumps no events.
template <typename Port> CommandResult CommandRunner::openPort(const Port& port) {
    const CommandResult result = runExclusive([this, &port] {
        CommandResult opened;
        opened.end = m_context.endFor(m_context.link.choosePort(port));
        return opened;
    });
    emit commandEnded(result);
    return result;
}

CommandResult CommandRunner::choosePort(int number) {
    return openPort(number);
}

CommandResult CommandRunner::choosePort(const QString& device) {
    return openPort(device);
}

CommandResult CommandRunner::choosePort(const PortChoice& port) {
    return port.number > 0 ? choosePort(port.number) : choosePort(port.device);
}

CommandResult CommandRunner::readAndSave() {
    const CommandResult result =
        runExclusive([this] { return onOpenPort([&] { return m_readAndSave.run(); }); },
                     {[](const CommandResult&) { return Stage::ReadFinished; }, {}});
    emit commandEnded(result);
    return result;
}

CommandResult CommandRunner::readOnly() {
    CommandResult read;
    const ReadBackResult reply = m_context.protocol.ReadBack();
    read.end = m_context.endFor(reply.outcome);
    if (read.end == CommandEnd::Done)
        read.cells = DeviceProtocol::replyData(reply.ReplyBuffer);
    return read;
}

CommandResult CommandRunner::readCells() {
    const CommandResult result =
        runExclusive([this] { return onOpenPort([this] { return readOnly(); }); });
    emit commandEnded(result);
    return result;
}

CommandResult CommandRunner::probe(const PortChoice& port, std::chrono::milliseconds timeout) {
    const CommandResult opened = choosePort(port);
    if (opened.end != CommandEnd::Done)
        return opened;
    DeviceProtocol& protocol = m_context.protocol;
    const std::optional<std::chrono::milliseconds> before = protocol.replyTimeout();
    protocol.setReplyTimeout(timeout);
    const CommandResult result = readCells();
    protocol.setReplyTimeout(before);
    return result;
}

CommandResult CommandRunner::writeAndVerify(const WriteAndVerify::Options& options) {
    const CommandResult result = runExclusive(
        [this, &options] { return onOpenPort([&] { return m_writeAndVerify.run(options); }); },
        {verifyVerdict, options.beforePortCycle});
    emit commandEnded(result);
    return result;
}

CommandResult CommandRunner::verify(const QString& path) {
    const CommandResult result =
        runExclusive([this, &path] { return onOpenPort([&] { return m_verifyImage.run(path); }); },
                     {verifyVerdict, {}});
    emit commandEnded(result);
    return result;
}

QString CommandRunner::portName() const {
    return m_context.link.describePort();
}

QString CommandRunner::device() const {
    return m_context.link.device();
}

void CommandRunner::shutDown() {
    m_context.waiter.close();
    m_context.link.shutDown();
}

} // namespace tavrin
