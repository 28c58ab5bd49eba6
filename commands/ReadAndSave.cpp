#include "commands/ReadAndSave.h"

#include "commands/CommandContext.h"
#include "commands/CommandReporter.h"
#include "image/ImageDialog.h"
#include "image/ImageFile.h"
#include "link/DeviceProtocol.h"
#include "link/Waiter.h"

namespace tavrin {

ReadAndSave::ReadAndSave(CommandContext& context)
    : m_context(context) {}

CommandResult ReadAndSave::run() {
    CommandResult result;
    result.end = readAndSave(result);
    return result;
}

CommandEnd ReadAndSave::readAndSave(CommandResult& result) {
    emit m_context.reporter.stageReached(Stage::ReadStarted);

    const ReadBackResult reply = m_context.protocol.ReadBack();
    if (reply.outcome != Outcome::Completed)
        return abandon(m_context.endFor(reply.outcome));
    // Only the cells the reply announced: anything after them is not EEPROM data.
    result.cells = DeviceProtocol::replyData(reply.ReplyBuffer);

    const std::optional<QString> path = m_context.dialog.chooseFileToSave();
    if (m_context.waiter.isClosing())
        return CommandEnd::Closing;
    if (!path)
        return CommandEnd::Cancelled;

    result.fileFailure = ImageFile::write(*path, result.cells);
    if (!result.fileFailure.isEmpty())
        return abandon(CommandEnd::FileFailed);
    return CommandEnd::Done;
}

CommandEnd ReadAndSave::abandon(CommandEnd end) {
    if (end != CommandEnd::Closing)
        emit m_context.reporter.stageReached(Stage::ReadAborted);
    return end;
}

} // namespace tavrin
