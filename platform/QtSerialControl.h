#pragma once

#include "platform/SerialControl.h"

#include <QSerialPort>

#include <functional>

namespace tavrin {

// The serial control over QSerialPort: 9600 bit/s, 8N1, no flow control, exclusive use.
class QtSerialControl : public SerialControl {
    Q_OBJECT

public:
    using PortResolver = std::function<QString(int port)>;

    // Ports are resolved by PortMap unless a resolver is given.
    explicit QtSerialControl(PortResolver resolver = {}, QObject* parent = nullptr);

    void setCommPort(int port) override;
    void selectDevice(const QString& device) override;
    int commPort() const override;
    QString deviceName() const override { return m_device; }
    QString deviceFor(int port) const override;

    PortError open() override;
    void close() override;
    bool isOpen() const override;

    PortError setDtr(LineLevel level) override;
    PortError setRts(LineLevel level) override;

    PortError output(const QByteArray& bytes) override;
    qint64 inBufferCount() const override;
    QByteArray input() override;
    void discardInput() override;

private:
    enum class Line { Dtr, Rts };

    PortError setLine(Line line, LineLevel level);
    bool handOver();
    PortError describe(QSerialPort::SerialPortError error) const;
    void onErrorOccurred(QSerialPort::SerialPortError error);

    PortResolver m_resolve;
    QSerialPort m_port;
    QString m_device;
    int m_commPort = 1;
    // Set from the first error of an open port until it is closed: Qt keeps raising errors on a
    // hung-up line, and only the first one counts.
    bool m_failing = false;
    // Errors raised while opening or setting a line are answered by the call's own result.
    bool m_inCall = false;
};

} // namespace tavrin
