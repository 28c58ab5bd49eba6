#include "commands/VerifyImage.h"

#include "commands/CommandContext.h"
#include "commands/CommandReporter.h"
#include "image/ImageFile.h"
#include "link/DeviceProtocol.h"
#include "link/SerialLink.h"
#include "platform/MessageBox.h"

namespace tavrin {

VerifyImage::VerifyImage(CommandContext& context)
    : m_context(context) {}

CommandResult VerifyImage::run(const QString& path) {
    CommandResult result;
    result.end = verify(path, result);
    return result;
}

CommandEnd VerifyImage::verify(const QString& path, CommandResult& result) {
    if (!m_context.requirePort())
        return CommandEnd::NotStarted;
    const ImageFile::ReadResult image = ImageFile::read(path);
    if (!image.ok()) {
        m_context.messages.tell(image.error, QObject::tr("Image not opened"));
        return CommandEnd::FileFailed;
    }
    emit m_context.reporter.stageReached(Stage::VerifyStarted);

    const ReadBackResult reply = m_context.protocol.ReadBack();
    const CommandEnd end = m_context.endFor(reply.outcome);
    if (end != CommandEnd::Done) {
        if (end != CommandEnd::Closing)
            emit m_context.reporter.stageReached(Stage::ReadAborted);
        return end;
    }
    result.cells = DeviceProtocol::replyData(reply.ReplyBuffer);
    result.differences = ImageComparison::differences(image.bytes, result.cells);

    if (m_context.link.CyclePort() == Outcome::Closing)
        return CommandEnd::Closing;
    emit m_context.reporter.stageReached(result.differences.isEmpty() ? Stage::VerifyCompleted
                                                                      : Stage::VerifyFailed);
    return CommandEnd::Done;
}

} // namespace tavrin
