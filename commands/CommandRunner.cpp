#include "commands/CommandRunner.h"

#include "commands/CommandContext.h"
#include "link/DeviceProtocol.h"
#include "link/SerialLink.h"
#include "link/Waiter.h"

#include <QScopedValueRollback>

namespace tavrin {

CommandRunner::CommandRunner(CommandContext& context, QObject* parent)
    : QObject(parent)
    , m_context(context)
    , m_readAndSave(context)
    , m_writeAndVerify(context)
    , m_verifyImage(context) {}

template <typename Run> CommandResult CommandRunner::runExclusive(Run run) {
    if (m_busy || m_context.waiter.isClosing())
        return {};
    CommandResult result;
    m_context.link.forgetFailure();
    {
        QScopedValueRollback busy(m_busy, true);
        emit busyChanged(true);
        result = run();
    }
    result.device = m_context.link.device();
    if (result.end == CommandEnd::PortFailed)
        result.portFailure = m_context.link.lastFailure().kind;
    emit busyChanged(false);
    return result;
}

// Opening a port pumps no events, but it may show a message box, which does.
template <typename Port> CommandEnd CommandRunner::openPort(const Port& port) {
    return runExclusive([this, &port] {
               CommandResult result;
               result.end = m_context.endFor(m_context.link.choosePort(port));
               return result;
           })
        .end;
}

CommandEnd CommandRunner::choosePort(int number) {
    return openPort(number);
}

CommandEnd CommandRunner::choosePort(const QString& device) {
    return openPort(device);
}

CommandResult CommandRunner::readAndSave() {
    const CommandResult result = runExclusive([this] { return m_readAndSave.run(); });
    emit commandEnded(result);
    return result;
}

CommandResult CommandRunner::readCells() {
    const CommandResult result = runExclusive([this] {
        CommandResult read;
        if (!m_context.requirePort())
            return read;
        const ReadBackResult reply = m_context.protocol.ReadBack();
        read.end = m_context.endFor(reply.outcome);
        if (read.end == CommandEnd::Done)
            read.cells = DeviceProtocol::replyData(reply.ReplyBuffer);
        return read;
    });
    emit commandEnded(result);
    return result;
}

CommandResult CommandRunner::writeAndVerify(const WriteAndVerify::Options& options) {
    const CommandResult result =
        runExclusive([this, &options] { return m_writeAndVerify.run(options); });
    emit commandEnded(result);
    return result;
}

CommandResult CommandRunner::verify(const QString& path) {
    const CommandResult result = runExclusive([this, &path] { return m_verifyImage.run(path); });
    emit commandEnded(result);
    return result;
}

void CommandRunner::shutDown() {
    m_context.waiter.close();
    m_context.link.shutDown();
}

} // namespace tavrin
