#pragma once

#include "devsim/DeviceModel.h"

#include "link/WireFormat.h"

#include <QString>

#include <csignal>
#include <deque>
#include <functional>

namespace tavrin {

// Serves a DeviceModel on a pseudo-terminal: timestamps what the host sends, answers at the
// line's pace, and notices the host closing and reopening the port.
class PtyDevice {
public:
    // One character at 9600 bit/s: start bit, 8 data bits, stop bit.
    static constexpr auto ByteTime = std::chrono::round<std::chrono::microseconds>(Wire::ByteTime);

    PtyDevice(DeviceModel& model, QString imagePath);
    ~PtyDevice();
    PtyDevice(const PtyDevice&) = delete;
    PtyDevice& operator=(const PtyDevice&) = delete;

    // Creates the pseudo-terminal; the path of the host's side, empty on failure.
    QString open(QString* error);
    // After every completed write transfer, says "arrivals" and when each data byte came (µs).
    void reportArrivals() { m_reportArrivals = true; }
    // Serves until `stop` is set (by a signal blocked outside the wait) or the device hangs up;
    // `woken` runs after every wait, so that what a signal asked for is done between events.
    void serve(const volatile std::sig_atomic_t& stop, const sigset_t& waitMask,
               const std::function<void()>& woken = {});

private:
    struct Outgoing {
        DeviceModel::Time due;
        char byte;
    };

    DeviceModel::Time now() const;
    void readFromHost();
    void handle(const DeviceModel::Response& response, DeviceModel::Time at);
    void sendDue();
    void hostConnected();
    void hostDisconnected();
    void say(const QString& line) const;

    DeviceModel& m_model;
    QString m_imagePath;
    int m_master = -1;
    bool m_connected = false;
    bool m_hungUp = false;
    bool m_reportArrivals = false;
    bool m_outputBlocked = false; // the host reads nothing, and the pseudo-terminal is full
    int m_connections = 0;
    std::deque<Outgoing> m_outgoing;
};

} // namespace tavrin
