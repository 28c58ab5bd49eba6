#include "app/WindowMessages.h"

#include "link/SerialLink.h"
#include "platform/MessageBox.h"

#include <QCoreApplication>

#include <QDir>

namespace tavrin {

namespace {

QString tr(const char* text) {
    return QCoreApplication::translate("tavrin::WindowMessages", text);
}

// The system's own words as a sentence: Windows ends its texts with a full stop already.
QString sentence(const QString& detail) {
    const QString trimmed = detail.trimmed();
    return trimmed.endsWith(u'.') || trimmed.endsWith(u'!') || trimmed.endsWith(u'?')
               ? trimmed
               : trimmed + u'.';
}

QString openingText(const FileProblem& problem) {
    const QString path = QDir::toNativeSeparators(problem.path);
    switch (problem.kind) {
    case FileProblem::Kind::Missing:
        return tr("The image file \"%1\" does not exist.").arg(path);
    case FileProblem::Kind::Folder:
        return tr("\"%1\" is a folder, not an image file.").arg(path);
    case FileProblem::Kind::NotOrdinary:
        return tr("\"%1\" is not an ordinary file.").arg(path);
    case FileProblem::Kind::DeviceName:
        return tr("\"%1\" is not an ordinary file (a device).").arg(path);
    case FileProblem::Kind::NotRead:
        return tr("The image file \"%1\" could not be read: %2.").arg(path, problem.reason);
    case FileProblem::Kind::NotHex:
        if (problem.line == 0)
            return tr("The image file \"%1\" is not usable Intel HEX: %2.")
                .arg(path, problem.reason);
        return tr("The image file \"%1\" is not usable Intel HEX: line %2: %3.")
            .arg(path)
            .arg(problem.line)
            .arg(problem.reason);
    case FileProblem::Kind::None:
    case FileProblem::Kind::NotOpened:
    case FileProblem::Kind::NotCreated:
    case FileProblem::Kind::NotSaved:
        break;
    }
    return tr("The image file \"%1\" could not be opened: %2.").arg(path, problem.reason);
}

QString savingText(const FileProblem& problem) {
    const QString path = QDir::toNativeSeparators(problem.path);
    switch (problem.kind) {
    case FileProblem::Kind::Folder:
        return tr("\"%1\" is a folder, not an image file; nothing was saved.").arg(path);
    case FileProblem::Kind::NotOrdinary:
    case FileProblem::Kind::DeviceName:
        return tr("\"%1\" is not an ordinary file (a device, pipe or socket); nothing "
                  "was saved.")
            .arg(path);
    case FileProblem::Kind::NotCreated:
        return tr("The image file \"%1\" could not be created: %2.").arg(path, problem.reason);
    case FileProblem::Kind::None:
    case FileProblem::Kind::Missing:
    case FileProblem::Kind::NotOpened:
    case FileProblem::Kind::NotRead:
    case FileProblem::Kind::NotHex:
    case FileProblem::Kind::NotSaved:
        break;
    }
    return tr("The image file \"%1\" could not be saved: %2.").arg(path, problem.reason);
}

} // namespace

WindowMessages::WindowMessages(MessageBox& boxes)
    : m_boxes(boxes) {}

void WindowMessages::show(const CommandResult& result) {
    if (result.end == CommandEnd::NoPort)
        m_boxes.tell(QStringLiteral("Please select COM port!"),
                     QStringLiteral("No COM port selected"));
    if (result.end == CommandEnd::FileFailed && !result.fileFailure.isEmpty())
        showFileFailure(result.fileFailure);
    if (result.portFailure.isError())
        showPortFailure(result.portFailure, result.port, result.device);
    if (!result.timerFailure.isEmpty())
        showTimerFailure(result.timerFailure);
}

bool WindowMessages::writeAgain(const QList<CellDifference>& differences) {
    return m_boxes.ask(QStringLiteral("Try to write again?"), QStringLiteral("Verify failed!"),
                       ImageComparison::describe(differences).join(u'\n')) ==
           MessageBox::Answer::Yes;
}

void WindowMessages::showPortFailure(const PortError& error, int port, const QString& device) {
    const QString name = SerialLink::describePort(port, device);
    QString reason;
    switch (error.kind) {
    case PortError::Kind::Lost:
        m_boxes.tell(tr("%1 stopped working: %2\nThe device may have been unplugged. The port "
                        "was closed; choose it again once the device is back.")
                         .arg(name, sentence(error.detail)),
                     tr("COM port failed"));
        return;
    case PortError::Kind::NotPresent:
        if (error.device.isEmpty()) {
            m_boxes.tell(tr("Com%1 is not available: no serial device is present for it.\n"
                            "Connect the adapter, or set TAVRIN_COM%1 to the device's path.")
                             .arg(port),
                         tr("COM port not available"));
            return;
        }
        reason = tr("the device is not present. Check that the adapter is plugged in.");
        break;
    case PortError::Kind::Busy:
        reason = tr("another program is using this port. Close that program, then choose the "
                    "port again.");
        break;
    case PortError::Kind::PermissionDenied:
        reason = tr("you have no permission to use this serial device. Ask for access to it, "
                    "for example membership of the dialout group; it takes effect after "
                    "logging in again.");
        break;
    case PortError::Kind::None:
    case PortError::Kind::LinesUnsupported:
    case PortError::Kind::Failed:
        reason = sentence(error.detail);
        break;
    }
    m_boxes.tell(tr("%1 could not be opened: %2").arg(name, reason), tr("COM port not available"));
}

void WindowMessages::showTimerFailure(const QString& detail) {
    m_boxes.tell(tr("The system's timer stopped working: %1\nNothing more can be timed; close "
                    "the program and start it again.")
                     .arg(sentence(detail)),
                 tr("Timer failed"));
}

void WindowMessages::showFileFailure(const FileProblem& problem) {
    if (problem.action == FileProblem::Action::Save)
        m_boxes.tell(savingText(problem), tr("Image not saved"));
    else
        m_boxes.tell(openingText(problem), tr("Image not opened"));
}

} // namespace tavrin
