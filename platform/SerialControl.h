#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

namespace tavrin {

// What went wrong with a serial port, sorted by what the operator can do about it.
struct PortError {
    enum class Kind {
        None,
        NotPresent,       // no device behind the port number, or the device node is missing
        Busy,             // another program holds the port
        PermissionDenied, // the user may not open the device
        LinesUnsupported, // the port has no modem control lines (pseudo-terminals, some adapters)
        Lost,             // the open port stopped working: unplugged, hung up, read or write failed
        Failed,           // anything else: the system's words are in detail
    };
    Kind kind = Kind::None;
    QString device; // the device path, empty when none is mapped
    QString detail; // the system's own description

    bool isError() const { return kind != Kind::None; }
};

enum class LineLevel { Dropped, Raised };

// The serial communications control: one numbered port with fixed line settings, polled input.
class SerialControl : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // Selects port n and looks up its device now: every opening until the next selection opens
    // that same device, whatever the machine's ports are by then.
    virtual void setCommPort(int port) = 0;
    // Selects a device by its path; the port number is then 0.
    virtual void selectDevice(const QString& device) = 0;
    virtual int commPort() const = 0;
    // The device selected with the port number, empty when there was none.
    virtual QString deviceName() const = 0;
    // The device a port number maps to now, empty when there is none.
    virtual QString deviceFor(int port) const = 0;

    virtual PortError open() = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    // Take effect while the port is open. The system raises both lines when it opens a port and
    // drops them when it closes it; an opening never drops a line again.
    virtual PortError setDtr(LineLevel level) = 0;
    virtual PortError setRts(LineLevel level) = 0;

    virtual PortError output(const QByteArray& bytes) = 0;
    virtual qint64 inBufferCount() const = 0;
    // Takes everything received so far, possibly nothing.
    virtual QByteArray input() = 0;
    // Drops everything received so far, also what the system holds and has not handed over yet.
    virtual void discardInput() = 0;

signals:
    // The open port stopped working (unplugged, read or write error). It is closed by then, and
    // this is raised once per failure.
    void failed(const tavrin::PortError& error);
};

} // namespace tavrin
