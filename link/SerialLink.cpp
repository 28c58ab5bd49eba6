#include "link/SerialLink.h"

#include "link/DeviceProtocol.h"
#include "link/PacingTimer.h"

namespace tavrin {

SerialLink::SerialLink(SerialControl& comm, PacingTimer& timer, QObject* parent)
    : QObject(parent)
    , m_comm(comm)
    , m_timer(timer) {
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
    if (paused != Outcome::Completed)
        return paused;
    return openSelected();
}

Outcome SerialLink::openSelected() {
    const PortError error = m_comm.open();
    if (error.isError()) {
        recordOpenFailure(error);
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
            recordOpenFailure(error);
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

QString SerialLink::describePort(int port, const QString& device) {
    const QString name = port == 0 ? device : tr("Com%1").arg(port);
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

void SerialLink::recordOpenFailure(const PortError& error) {
    m_lastFailure = error;
    if (m_lastFailure.kind == PortError::Kind::None)
        m_lastFailure.kind = PortError::Kind::NotPresent;
}

void SerialLink::onFailed(const PortError& error) {
    if (m_shutDown)
        return;
    m_lastFailure = error;
    m_lastFailure.kind = PortError::Kind::Lost;
    emit portChanged();
    emit portLost(m_lastFailure);
}

} // namespace tavrin
