#include "commands/WriteAndVerify.h"

#include "commands/CommandContext.h"
#include "commands/StatusPanel.h"
#include "image/ImageDialog.h"
#include "image/ImageFile.h"
#include "link/DeviceProtocol.h"
#include "link/PacingTimer.h"
#include "link/SerialLink.h"
#include "link/Waiter.h"
#include "platform/MessageBox.h"

namespace tavrin {

namespace {

using Shape = StatusPanel::Shape;

QString hex(quint8 value) {
    return QString::number(value, 16).toUpper();
}

// Blanks, control bytes and bytes above 7F show as a dot.
QString glyph(quint8 b) {
    return b <= 0x20 || b >= 0x80 ? QStringLiteral(".") : QString(QChar(b));
}

} // namespace

WriteAndVerify::WriteAndVerify(CommandContext& context)
    : m_context(context) {}

CommandEnd WriteAndVerify::OWEE_Click() {
    if (!m_context.requirePort())
        return CommandEnd::NotStarted;
    const std::optional<QString> path = m_context.dialog.chooseFileToOpen();
    if (m_context.waiter.isClosing())
        return CommandEnd::Closing;
    if (!path)
        return CommandEnd::Cancelled;
    m_path = *path;
    m_VerifyFailed = false;

    Step step;
    do {
        step = writePass();
        if (step == Step::Done)
            step = verifyPass();
    } while (step == Step::Done && m_VerifyFailed && askToWriteAgain());
    return end(step);
}

WriteAndVerify::Step WriteAndVerify::writePass() {
    const std::optional<QByteArray> image = openImage();
    if (!image)
        return Step::ImageUnreadable;
    StatusPanel& panel = m_context.panel;
    showBar(Colour::Red);
    panel.setCaption(QStringLiteral("Write Started"));
    panel.setForeColor(Colour::HighlightText);
    const int n = int(image->size());
    const float progressStep = panel.Width(Shape::Shape1) / EepromSize;

    Step step = sent(m_context.protocol.sendWriteHeader());
    if (step == Step::Done)
        step = pause();
    if (step == Step::Done)
        step = writeImageBytes(*image, progressStep);
    if (step == Step::Done)
        step = writeFillBytes(n, progressStep);
    if (step != Step::Done)
        return step;
    m_context.waiter.pumpOnce();
    if (m_context.waiter.isClosing())
        return Step::Closing;
    // The track ends where the fill ended, so it narrows or widens from pass to pass.
    panel.setWidth(Shape::Shape2, panel.Width(Shape::Shape3));
    return pause();
}

WriteAndVerify::Step WriteAndVerify::writeImageBytes(const QByteArray& image, float progressStep) {
    StatusPanel& panel = m_context.panel;
    for (int i = 1; i <= image.size(); ++i) {
        const quint8 b = quint8(image.at(i - 1));
        if (const Step step = sent(m_context.protocol.sendDataByte(b)); step != Step::Done)
            return step;
        panel.setWidth(Shape::Shape3, float(i) * progressStep);
        panel.setCaption(glyph(b));
        panel.setCaption(panel.Caption() + QStringLiteral(" (") + hex(b) + u')');
        if (const Step step = pause(); step != Step::Done)
            return step;
    }
    return Step::Done;
}

WriteAndVerify::Step WriteAndVerify::writeFillBytes(int n, float progressStep) {
    for (int k = 1; k <= EepromSize - n; ++k) {
        if (const Step step = sent(m_context.protocol.sendDataByte(quint8(FillByte)));
            step != Step::Done)
            return step;
        m_context.panel.setWidth(Shape::Shape3, float(k) * progressStep);
        if (const Step step = pause(); step != Step::Done)
            return step;
    }
    return Step::Done;
}

WriteAndVerify::Step WriteAndVerify::verifyPass() {
    StatusPanel& panel = m_context.panel;
    panel.setWidth(Shape::Shape3, 0);
    panel.setFillColor(Shape::Shape3, Colour::Green);
    panel.setCaption(QStringLiteral("Write Finished"));
    panel.setCaption(QStringLiteral("Verify Started"));

    const ReadBackResult reply = m_context.protocol.ReadBack();
    if (reply.outcome != Outcome::Completed)
        return stepFrom(reply.outcome);
    const std::optional<QByteArray> image = openImage();
    if (!image)
        return Step::ImageUnreadable;
    showBar(Colour::Green);
    const float progressStep = panel.Width(Shape::Shape1) / EepromSize;
    if (const Step step = pause(); step != Step::Done)
        return step;

    const QByteArray data = DeviceProtocol::replyData(reply.ReplyBuffer);
    m_VerifyFailed = false;
    for (int i = 1; i <= image->size(); ++i) {
        if (i > data.size() || image->at(i - 1) != data.at(i - 1))
            m_VerifyFailed = true;
        panel.setWidth(Shape::Shape3, float(i) * progressStep);
    }
    m_differences = differences(*image, data);
    return Step::Done;
}

bool WriteAndVerify::askToWriteAgain() {
    const MessageBox::Answer answer =
        m_context.messages.ask(QStringLiteral("Try to write again?"),
                               QStringLiteral("Verify failed!"), m_differences.join(u'\n'));
    return answer == MessageBox::Answer::Yes && !m_context.waiter.isClosing();
}

// The one place where how the last step ended becomes how the command ends. Closing touches
// nothing more; any other failure tidies the bar away and says the write did not complete.
CommandEnd WriteAndVerify::end(Step step) {
    if (step == Step::Closing || m_context.waiter.isClosing())
        return CommandEnd::Closing;
    if (step == Step::Done)
        return finish();
    hideBar();
    m_context.panel.setForeColor(Colour::ButtonText);
    m_context.panel.setCaption(QObject::tr("Write Aborted"));
    switch (step) {
    case Step::ImageUnreadable:
        return CommandEnd::FileFailed;
    case Step::TimedOut:
        return CommandEnd::TimedOut;
    default:
        return CommandEnd::PortFailed;
    }
}

CommandEnd WriteAndVerify::finish() {
    hideBar();
    if (m_context.link.CyclePort() == Outcome::Closing)
        return CommandEnd::Closing;
    m_context.panel.setForeColor(Colour::ButtonText);
    m_context.panel.setCaption(m_VerifyFailed ? QStringLiteral("Verify Failed!!!")
                                              : QStringLiteral("Verify Completed"));
    return CommandEnd::Done;
}

QStringList WriteAndVerify::differences(const QByteArray& image, const QByteArray& data) {
    QStringList lines;
    for (qsizetype i = 0; i < image.size(); ++i) {
        const QString address = QStringLiteral("%1").arg(i, 2, 16, QChar(u'0')).toUpper();
        const QString file = hex(quint8(image.at(i))).rightJustified(2, u'0');
        if (i >= data.size())
            lines << QObject::tr("Address %1: file %2, no byte from the device").arg(address, file);
        else if (image.at(i) != data.at(i))
            lines << QObject::tr("Address %1: file %2, device %3")
                         .arg(address, file, hex(quint8(data.at(i))).rightJustified(2, u'0'));
    }
    return lines;
}

std::optional<QByteArray> WriteAndVerify::openImage() {
    const ImageFile::ReadResult read = ImageFile::read(m_path);
    if (read.ok())
        return read.bytes;
    m_context.messages.tell(read.error, QObject::tr("Image not opened"));
    return std::nullopt;
}

void WriteAndVerify::showBar(quint32 fillColour) {
    StatusPanel& panel = m_context.panel;
    panel.setWidth(Shape::Shape3, 0);
    panel.setFillColor(Shape::Shape3, fillColour);
    panel.setVisible(Shape::Shape3, true);
    panel.setVisible(Shape::Shape2, true);
    panel.setVisible(Shape::Shape1, true);
}

void WriteAndVerify::hideBar() {
    StatusPanel& panel = m_context.panel;
    panel.setVisible(Shape::Shape3, false);
    panel.setWidth(Shape::Shape3, 0);
    panel.setVisible(Shape::Shape2, false);
    panel.setVisible(Shape::Shape1, false);
}

WriteAndVerify::Step WriteAndVerify::sent(bool sent) const {
    if (sent)
        return Step::Done;
    return m_context.waiter.isClosing() ? Step::Closing : Step::PortLost;
}

WriteAndVerify::Step WriteAndVerify::pause() {
    return stepFrom(m_context.pacing.Pause(OneTick));
}

WriteAndVerify::Step WriteAndVerify::stepFrom(Outcome outcome) {
    switch (outcome) {
    case Outcome::Completed:
        return Step::Done;
    case Outcome::TimedOut:
        return Step::TimedOut;
    case Outcome::Closing:
        return Step::Closing;
    case Outcome::PortLost:
        break;
    }
    return Step::PortLost;
}

} // namespace tavrin
