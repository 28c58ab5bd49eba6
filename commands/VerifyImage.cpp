#include "commands/VerifyImage.h"

#include "commands/CommandContext.h"
#include "commands/StatusPanel.h"
#include "commands/WriteAndVerify.h"
#include "image/ImageFile.h"
#include "link/DeviceProtocol.h"
#include "link/SerialLink.h"
#include "platform/MessageBox.h"

namespace tavrin {

VerifyImage::VerifyImage(CommandContext& context)
    : m_context(context) {}

CommandEnd VerifyImage::run(const QString& path) {
    m_differences.clear();
    if (!m_context.requirePort())
        return CommandEnd::NotStarted;
    const ImageFile::ReadResult image = ImageFile::read(path);
    if (!image.ok()) {
        m_context.messages.tell(image.error, QObject::tr("Image not opened"));
        return CommandEnd::FileFailed;
    }
    m_context.panel.setCaption(QStringLiteral("Verify Started"));

    const ReadBackResult reply = m_context.protocol.ReadBack();
    if (reply.outcome != Outcome::Completed) {
        if (m_context.closing(reply.outcome))
            return CommandEnd::Closing;
        m_context.panel.setCaption(QObject::tr("Read Aborted"));
        return reply.outcome == Outcome::TimedOut ? CommandEnd::TimedOut : CommandEnd::PortFailed;
    }
    m_differences =
        WriteAndVerify::differences(image.bytes, DeviceProtocol::replyData(reply.ReplyBuffer));

    if (m_context.link.CyclePort() == Outcome::Closing)
        return CommandEnd::Closing;
    m_context.panel.setCaption(m_differences.isEmpty() ? QStringLiteral("Verify Completed")
                                                       : QStringLiteral("Verify Failed!!!"));
    return CommandEnd::Done;
}

} // namespace tavrin
