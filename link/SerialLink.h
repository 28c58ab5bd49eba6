#pragma once

#include "link/Outcome.h"
#include "platform/SerialControl.h"

#include <QObject>

namespace tavrin {

class PacingTimer;

// The one serial port to the device: which port, when it is open, its DTR and RTS lines and the
// wake byte after every opening. A failure leaves the port closed and is kept, as a value, until
// it is forgotten.
class SerialLink : public QObject {
    Q_OBJECT

public:
    static constexpr int PortCycleUnits = 2000;

    SerialLink(SerialControl& comm, PacingTimer& timer, QObject* parent = nullptr);

    // Opens port `number` (1..4), raises the lines and wakes the device.
    Outcome choosePort(int number);
    // The same for a port given by its device rather than a number.
    Outcome choosePort(const QString& device);
    // Close with both lines down for 100 ticks, then reopen the same port and wake the device.
    // Does nothing on a closed port. TimerFailed leaves the port closed: the second could not be
    // counted.
    Outcome CyclePort();

    bool PortOpen() const;
    // The port number; 0 for a port chosen by its device.
    int CommPort() const;
    // The device behind the port, empty when there is none.
    QString device() const { return m_comm.deviceName(); }
    // "Com2 (/dev/ttyUSB0)"; "Com2" when no device is behind the number; the device alone for a
    // port chosen by its device.
    QString describePort() const { return describePort(CommPort(), device()); }
    static QString describePort(int port, const QString& device);
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

    // The program is ending: close the port and never open it or send anything again.
    void shutDown();

signals:
    void portChanged();
    // The open port stopped working; it is closed by then.
    void portLost(const tavrin::PortError& error);

private:
    Outcome openSelected();
    Outcome raiseLines();
    void recordOpenFailure(const PortError& error);
    void onFailed(const PortError& error);

    SerialControl& m_comm;
    PacingTimer& m_timer;
    bool m_shutDown = false;
    PortError m_lastFailure;
};

} // namespace tavrin
