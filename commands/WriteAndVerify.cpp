#include "commands/WriteAndVerify.h"

#include "commands/CommandContext.h"
#include "commands/CommandReporter.h"
#include "commands/OperatorQuestions.h"
#include "image/ImageDialog.h"
#include "image/ImageFile.h"
#include "link/DeviceProtocol.h"
#include "link/PacingTimer.h"
#include "link/Waiter.h"

namespace tavrin {

WriteAndVerify::WriteAndVerify(CommandContext& context)
    : m_context(context) {}

CommandResult WriteAndVerify::run(const Options& options) {
    m_result = {};
    m_options = options;
    m_retriesLeft = options.retries.value_or(0);
    const std::optional<QString> path = m_context.dialog.chooseFileToOpen();
    if (m_context.waiter.isClosing() || !path) {
        m_result.end = m_context.waiter.isClosing() ? CommandEnd::Closing : CommandEnd::Cancelled;
        return m_result;
    }
    m_path = *path;

    CommandEnd step;
    do {
        step = writePass();
        if (step == CommandEnd::Done)
            step = verifyPass();
    } while (step == CommandEnd::Done && !m_result.differences.isEmpty() && writeAgain());
    m_result.end = end(step);
    return m_result;
}

CommandEnd WriteAndVerify::writePass() {
    const std::optional<QByteArray> image = openImage();
    if (!image)
        return CommandEnd::FileFailed;
    ++m_result.writePasses;
    m_result.image = *image;
    Progress progress{Progress::Pass::Write, 0, int(image->size()), 0};
    report(progress);
    emit m_context.reporter.stageReached(Stage::WriteStarted);

    CommandEnd step = sent(m_context.protocol.sendWriteHeader());
    if (step == CommandEnd::Done)
        step = pause();
    if (step == CommandEnd::Done)
        step = writeBytes(*image, progress);
    if (step == CommandEnd::Done)
        step = writeBytes(QByteArray(std::max(0, EepromSize - progress.bytesDone), FillByte),
                          progress);
    if (step != CommandEnd::Done)
        return step;
    m_context.waiter.pumpOnce();
    if (m_context.waiter.isClosing())
        return CommandEnd::Closing;
    emit m_context.reporter.stageReached(Stage::WritePassEnded);
    return pause();
}

CommandEnd WriteAndVerify::writeBytes(const QByteArray& bytes, Progress& progress) {
    for (const char byte : bytes) {
        if (const CommandEnd step = sent(m_context.protocol.sendDataByte(quint8(byte)));
            step != CommandEnd::Done)
            return step;
        ++progress.bytesDone;
        progress.lastByte = quint8(byte);
        report(progress);
        if (const CommandEnd step = pause(); step != CommandEnd::Done)
            return step;
    }
    return CommandEnd::Done;
}

CommandEnd WriteAndVerify::verifyPass() {
    emit m_context.reporter.stageReached(Stage::WriteFinished);
    emit m_context.reporter.stageReached(Stage::VerifyStarted);

    const ReadBackResult reply = m_context.protocol.ReadBack();
    if (reply.outcome != Outcome::Completed)
        return m_context.endFor(reply.outcome);
    const std::optional<QByteArray> image = openImage();
    if (!image)
        return CommandEnd::FileFailed;
    Progress progress{Progress::Pass::Verify, 0, int(image->size()), 0};
    report(progress);
    if (const CommandEnd step = pause(); step != CommandEnd::Done)
        return step;

    m_result.cells = DeviceProtocol::replyData(reply.ReplyBuffer);
    m_result.differences = ImageComparison::differences(*image, m_result.cells);
    for (progress.bytesDone = 1; progress.bytesDone <= image->size(); ++progress.bytesDone)
        report(progress);
    return CommandEnd::Done;
}

bool WriteAndVerify::writeAgain() {
    if (m_options.retries)
        return m_retriesLeft-- > 0 && !m_context.waiter.isClosing();
    if (!m_context.questions)
        return false;
    return m_context.questions->writeAgain(m_result.differences) && !m_context.waiter.isClosing();
}

// How the last step ended becomes how the command ends. Closing touches nothing more; any other
// failure says the write did not complete.
CommandEnd WriteAndVerify::end(CommandEnd step) {
    if (m_context.waiter.isClosing())
        return CommandEnd::Closing;
    if (step != CommandEnd::Done) {
        if (step != CommandEnd::Closing)
            emit m_context.reporter.stageReached(Stage::WriteAborted);
        return step;
    }
    emit m_context.reporter.stageReached(Stage::VerifyEnded);
    return CommandEnd::Done;
}

std::optional<QByteArray> WriteAndVerify::openImage() {
    const ImageFile::ReadResult read = ImageFile::read(m_path);
    if (read.ok())
        return m_options.edit ? m_options.edit(read.bytes) : read.bytes;
    m_result.fileFailure = read.problem;
    return std::nullopt;
}

void WriteAndVerify::report(const Progress& progress) {
    emit m_context.reporter.progressed(progress);
}

CommandEnd WriteAndVerify::sent(bool sent) const {
    return m_context.endFor(sent ? Outcome::Completed : Outcome::PortLost);
}

CommandEnd WriteAndVerify::pause() {
    return m_context.endFor(m_context.pacing.Pause(OneTick));
}

} // namespace tavrin
