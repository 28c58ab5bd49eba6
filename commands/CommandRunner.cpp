#include "commands/CommandRunner.h"

#include "commands/CommandContext.h"
#include "link/SerialLink.h"
#include "link/Waiter.h"

#include <QScopedValueRollback>

namespace tavrin {

CommandRunner::CommandRunner(CommandContext& context, QObject* parent)
    : QObject(parent)
    , m_context(context)
    , m_readAndSave(context)
    , m_writeAndVerify(context) {}

template <typename Run> CommandEnd CommandRunner::runExclusive(Run run) {
    if (m_busy || m_context.waiter.isClosing())
        return CommandEnd::NotStarted;
    CommandEnd end;
    {
        QScopedValueRollback busy(m_busy, true);
        emit busyChanged(true);
        end = run();
    }
    emit busyChanged(false);
    return end;
}

CommandEnd CommandRunner::RSEE_Click() {
    const CommandEnd end = runExclusive([this] { return m_readAndSave.RSEE_Click(); });
    emit commandEnded(end);
    return end;
}

CommandEnd CommandRunner::OWEE_Click() {
    const CommandEnd end = runExclusive([this] { return m_writeAndVerify.OWEE_Click(); });
    emit commandEnded(end);
    return end;
}

bool CommandRunner::Com_Click(int index) {
    // Opening a port pumps no events, but it may show a message box, which does.
    return runExclusive([this, index] {
               m_context.link.Com_Click(index);
               return CommandEnd::Done;
           }) != CommandEnd::NotStarted;
}

void CommandRunner::Form_Unload() {
    m_context.waiter.close();
    m_context.link.shutDown();
}

} // namespace tavrin
