#pragma once

#include "link/Outcome.h"
#include "platform/SerialControl.h"

#include <QObject>

namespace tavrin {

class MessageBox;
class PacingTimer;

// The one serial port to the device: which port, when it is open, its DTR and RTS lines and the
// wake byte after every opening. Failures are told to the operator here, once, and leave the
// port closed.
class SerialLink : public QObject {
    Q_OBJECT

public:
    static constexpr int PortCycleUnits = 2000;

    SerialLink(SerialControl& comm, PacingTimer& timer, MessageBox& messages,
               QObject* parent = nullptr);

    // Opens port `number` (1..4), raises the lines and wakes the device.
    Outcome choosePort(int number);
    // The same for a port given by its device rather than a number.
    Outcome choosePort(const QString& device);
    // Close with both lines down for 100 ticks, then reopen the same port and wake the device.
    // Does nothing on a closed port.
    Outcome CyclePort();

    bool PortOpen() const;
    // The port number; 0 for a port chosen by its device.
    int CommPort() const;
    // The device behind the port, empty when there is none.
    QString device() const { return m_comm.deviceName(); }
    // "Com2 (/dev/ttyUSB0)"; "Com2" when no device is behind the number; the device alone for a
    // port chosen by its device.
    QString describePort() const;
    // The device behind a port number, empty when there is none.
    QString deviceFor(int port) const { return m_comm.deviceFor(port); }

    // False when the bytes were not sent: the port is closed or has just failed.
    bool output(const QByteArray& bytes);
    qint64 inBufferCount() const;
    QByteArray input();
    void discardInput();
    // The last failure of the port since forgetFailure(): why it could not be opened or stopped
    // working. None when there was none.
    const PortError& lastFailure() const { return m_lastFailure; }
    void forgetFailure() { m_lastFailure = {}; }

    // Tells the operator that the ticks stopped, and why.
    void reportTimerFailure();

    // The program is ending: close the port and never open it or send anything again.
    void shutDown();

signals:
    void portChanged();

private:
    Outcome openSelected();
    Outcome raiseLines();
    void reportOpenFailure(const PortError& error);
    void onFailed(const PortError& error);

    SerialControl& m_comm;
    PacingTimer& m_timer;
    MessageBox& m_messages;
    bool m_shutDown = false;
    PortError m_lastFailure;
};

} // namespace tavrin
