#pragma once

#include "VirtualTime.h"
#include "link/WireFormat.h"
#include "platform/SerialControl.h"

#include <QMap>
#include <QStringList>

#include <vector>

namespace tavrin {
class DeviceModel;
}

namespace tavrin::test {

// The serial control in virtual time. It logs every call ("CommPort=2", "PortOpen=True",
// "Output=1b1b55", ...), keeps the modem lines as the system does (raised by opening, dropped by
// closing, untouched while closed), and when a device model is attached it carries bytes to it
// and its replies back at the line's pace.
class FakeSerialControl : public SerialControl {
    Q_OBJECT

public:
    static constexpr auto ByteTime = std::chrono::round<std::chrono::microseconds>(Wire::ByteTime);

    struct Sent {
        VirtualTime::Duration at;
        QByteArray bytes;
    };

    explicit FakeSerialControl(VirtualTime& time, DeviceModel* device = nullptr);

    void setCommPort(int port) override;
    void selectDevice(const QString& device) override;
    int commPort() const override { return m_commPort; }
    QString deviceName() const override { return m_selected; }
    QString deviceFor(int port) const override { return m_devices.value(port); }
    PortError open() override;
    void close() override;
    bool isOpen() const override { return m_open; }
    PortError setDtr(LineLevel level) override;
    PortError setRts(LineLevel level) override;
    PortError output(const QByteArray& bytes) override;
    qint64 inBufferCount() const override { return m_input.size(); }
    QByteArray input() override;
    void discardInput() override {
        log(QStringLiteral("DiscardInput"));
        m_input.clear();
    }

    // Drills.
    void attach(DeviceModel* device) { m_device = device; }
    void setDevice(int port, const QString& path) { m_devices[port] = path; }
    void failOpens(PortError::Kind kind, const QString& detail = {});
    void failLines(PortError::Kind kind, const QString& detail = {});
    void arrive(const QByteArray& bytes) { m_input += bytes; }
    void arriveIn(VirtualTime::Duration delay, const QByteArray& bytes);
    // The adapter is pulled out: the port fails, and opens fail until plugIn().
    void unplug();
    void plugIn() { m_unplugged = false; }

    QStringList calls() const { return m_calls; }
    void clearCalls() { m_calls.clear(); }
    const std::vector<Sent>& outputs() const { return m_outputs; }
    QByteArray sentBytes() const;
    LineLevel dtr() const { return m_dtr; }
    LineLevel rts() const { return m_rts; }

private:
    PortError setLine(const char* name, LineLevel& line, LineLevel level);
    void deliver(const QByteArray& bytes);
    void log(const QString& call) { m_calls << call; }

    VirtualTime& m_time;
    DeviceModel* m_device;
    QMap<int, QString> m_devices;
    int m_commPort = 1;
    QString m_selected = QStringLiteral("/dev/ttyFAKE1");
    bool m_open = false;
    bool m_unplugged = false;
    int m_session = 0;
    LineLevel m_dtr = LineLevel::Dropped;
    LineLevel m_rts = LineLevel::Dropped;
    PortError m_openError;
    PortError m_lineError;
    QByteArray m_input;
    QStringList m_calls;
    std::vector<Sent> m_outputs;
};

} // namespace tavrin::test
