#include "commands/ReadAndSave.h"

#include "commands/CommandContext.h"
#include "commands/StatusPanel.h"
#include "image/ImageDialog.h"
#include "image/ImageFile.h"
#include "link/DeviceProtocol.h"
#include "link/SerialLink.h"
#include "link/Waiter.h"
#include "platform/MessageBox.h"

namespace tavrin {

ReadAndSave::ReadAndSave(CommandContext& context)
    : m_context(context) {}

CommandEnd ReadAndSave::RSEE_Click() {
    if (!m_context.requirePort())
        return CommandEnd::NotStarted;
    m_context.panel.setCaption(QStringLiteral("Read Started"));

    const ReadBackResult reply = m_context.protocol.ReadBack();
    if (reply.outcome != Outcome::Completed)
        return m_context.closing(reply.outcome)
                   ? CommandEnd::Closing
                   : abandon(reply.outcome == Outcome::TimedOut ? CommandEnd::TimedOut
                                                                : CommandEnd::PortFailed);

    const std::optional<QString> path = m_context.dialog.chooseFileToSave();
    if (m_context.waiter.isClosing())
        return CommandEnd::Closing;
    if (!path)
        return CommandEnd::Cancelled;

    // Only the cells the reply announced: anything after them is not EEPROM data.
    const QString error = ImageFile::write(*path, DeviceProtocol::replyData(reply.ReplyBuffer));
    if (!error.isEmpty()) {
        m_context.messages.tell(error, QObject::tr("Image not saved"));
        return abandon(CommandEnd::FileFailed);
    }

    if (m_context.link.CyclePort() == Outcome::Closing)
        return CommandEnd::Closing;
    m_context.panel.setCaption(QStringLiteral("Read Finished"));
    return CommandEnd::Done;
}

CommandEnd ReadAndSave::abandon(CommandEnd end) {
    m_context.panel.setCaption(QObject::tr("Read Aborted"));
    return end;
}

} // namespace tavrin
