#include "link/SerialLink.h"

#include "link/DeviceProtocol.h"
#include "link/PacingTimer.h"
#include "platform/MessageBox.h"

namespace tavrin {

namespace {

// The system's own words as a sentence: Windows ends its texts with a full stop already.
QString sentence(const QString& detail) {
    const QString trimmed = detail.trimmed();
    return trimmed.endsWith(u'.') || trimmed.endsWith(u'!') || trimmed.endsWith(u'?')
               ? trimmed
               : trimmed + u'.';
}

} // namespace

SerialLink::SerialLink(SerialControl& comm, PacingTimer& timer, MessageBox& messages,
                       QObject* parent)
    : QObject(parent)
    , m_comm(comm)
    , m_timer(timer)
    , m_messages(messages) {
    connect(&m_comm, &SerialControl::failed, this, &SerialLink::onFailed);
}

Outcome SerialLink::choosePort(int number) {
    if (m_shutDown)
        return Outcome::Closing;
    if (m_comm.isOpen())
        m_comm.close();
    m_comm.setCommPort(number);
    return openSelected();
}

Outcome SerialLink::choosePort(const QString& device) {
    if (m_shutDown)
        return Outcome::Closing;
    if (m_comm.isOpen())
        m_comm.close();
    m_comm.selectDevice(device);
    return openSelected();
}

Outcome SerialLink::CyclePort() {
    if (m_shutDown)
        return Outcome::Closing;
    if (!m_comm.isOpen())
        return Outcome::Completed;
    // Closing drops both lines.
    m_comm.close();
    emit portChanged();
    const Outcome paused = m_timer.Pause(PortCycleUnits);
    if (paused == Outcome::Closing || m_shutDown)
        return Outcome::Closing;
    // Without ticks the second cannot be counted: the port stays closed.
    if (paused == Outcome::TimerFailed) {
        reportTimerFailure();
        return Outcome::PortLost;
    }
    return openSelected();
}

Outcome SerialLink::openSelected() {
    const PortError error = m_comm.open();
    if (error.isError()) {
        reportOpenFailure(error);
        emit portChanged();
        return Outcome::PortLost;
    }
    if (raiseLines() != Outcome::Completed) {
        emit portChanged();
        return Outcome::PortLost;
    }
    emit portChanged();
    return output(Wire::Wake) ? Outcome::Completed : Outcome::PortLost;
}

Outcome SerialLink::raiseLines() {
    for (auto setLine : {&SerialControl::setDtr, &SerialControl::setRts}) {
        const PortError error = (m_comm.*setLine)(LineLevel::Raised);
        // Without modem lines there is nothing to raise; the data still flows.
        if (error.isError() && error.kind != PortError::Kind::LinesUnsupported) {
            m_comm.close();
            reportOpenFailure(error);
            return Outcome::PortLost;
        }
    }
    return Outcome::Completed;
}

bool SerialLink::PortOpen() const {
    return m_comm.isOpen();
}

int SerialLink::CommPort() const {
    return m_comm.commPort();
}

QString SerialLink::describePort() const {
    const QString device = m_comm.deviceName();
    const QString name = m_comm.commPort() == 0 ? device : tr("Com%1").arg(m_comm.commPort());
    return device.isEmpty() || device == name ? name : tr("%1 (%2)").arg(name, device);
}

bool SerialLink::output(const QByteArray& bytes) {
    if (m_shutDown || !m_comm.isOpen())
        return false;
    return !m_comm.output(bytes).isError();
}

qint64 SerialLink::inBufferCount() const {
    return m_comm.inBufferCount();
}

QByteArray SerialLink::input() {
    return m_comm.input();
}

void SerialLink::discardInput() {
    m_comm.discardInput();
}

void SerialLink::shutDown() {
    m_shutDown = true;
    if (m_comm.isOpen())
        m_comm.close();
}

void SerialLink::reportOpenFailure(const PortError& error) {
    m_lastFailure = error;
    if (m_lastFailure.kind == PortError::Kind::None)
        m_lastFailure.kind = PortError::Kind::NotPresent;
    const int port = m_comm.commPort();
    QString reason;
    switch (error.kind) {
    case PortError::Kind::NotPresent:
        if (error.device.isEmpty()) {
            m_messages.tell(tr("Com%1 is not available: no serial device is present for it.\n"
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
    default:
        reason = sentence(error.detail);
        break;
    }
    m_messages.tell(tr("%1 could not be opened: %2").arg(describePort(), reason),
                    tr("COM port not available"));
}

void SerialLink::reportTimerFailure() {
    m_messages.tell(tr("The system's timer stopped working: %1\nNothing more can be timed; close "
                       "the program and start it again.")
                        .arg(sentence(m_timer.failure())),
                    tr("Timer failed"));
}

void SerialLink::onFailed(const PortError& error) {
    if (m_shutDown)
        return;
    m_lastFailure = error;
    m_lastFailure.kind = PortError::Kind::Lost;
    emit portChanged();
    m_messages.tell(tr("%1 stopped working: %2\nThe device may have been unplugged. The port "
                       "was closed; choose it again once the device is back.")
                        .arg(describePort(), sentence(error.detail)),
                    tr("COM port failed"));
}

} // namespace tavrin
