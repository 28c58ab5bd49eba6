#include "commands/VerifyImage.h"

#include "commands/CommandContext.h"
#include "commands/CommandReporter.h"
#include "image/ImageFile.h"
#include "link/DeviceProtocol.h"

namespace tavrin {

VerifyImage::VerifyImage(CommandContext& context)
    : m_context(context) {}

CommandResult VerifyImage::run(const QString& path) {
    CommandResult result;
    result.end = verify(path, result);
    return result;
}

CommandEnd VerifyImage::verify(const QString& path, CommandResult& result) {
    const ImageFile::ReadResult image = ImageFile::read(path);
    if (!image.ok()) {
        result.fileFailure = image.problem;
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
    return CommandEnd::Done;
}

} // namespace tavrin
