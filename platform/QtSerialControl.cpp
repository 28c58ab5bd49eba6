#include "platform/QtSerialControl.h"

#include "platform/PortMap.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QScopedValueRollback>

#ifdef Q_OS_UNIX
#include <QDateTime>
#include <QStandardPaths>

#include <unistd.h>
#endif
#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace tavrin {

namespace {

constexpr qint64 InBufferSize = 1024;
// How long the system may take to accept a few bytes before the port is taken as failed.
constexpr std::chrono::milliseconds HandOverTimeout{1000};

#ifdef Q_OS_WIN
// Qt takes only ERROR_INVALID_PARAMETER to mean that a port has no such line; other drivers
// without modem lines answer ERROR_NOT_SUPPORTED or ERROR_INVALID_FUNCTION. Asking the driver
// once more is the way to its own answer.
bool lineUnsupported(HANDLE port, DWORD function) {
    if (EscapeCommFunction(port, function))
        return false;
    const DWORD code = GetLastError();
    return code == ERROR_INVALID_PARAMETER || code == ERROR_NOT_SUPPORTED ||
           code == ERROR_INVALID_FUNCTION;
}

// QSerialPort restores at closing the settings it found at opening, and a port usually keeps
// DTR and RTS enabled from its last user: the restore would raise them again right after the close
// dropped them. Disabled before the opening, they stay down after the close. A port that cannot be
// opened here is left to the opening, which says why.
void disableLines(const QString& device) {
    const QString path =
        device.startsWith(QStringLiteral("\\\\.\\")) ? device : QStringLiteral("\\\\.\\") + device;
    const HANDLE port =
        CreateFileW(reinterpret_cast<const wchar_t*>(path.utf16()), GENERIC_READ | GENERIC_WRITE, 0,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE)
        return;
    DCB settings{};
    settings.DCBlength = sizeof settings;
    if (GetCommState(port, &settings) && (settings.fDtrControl != DTR_CONTROL_DISABLE ||
                                          settings.fRtsControl != RTS_CONTROL_DISABLE)) {
        settings.fDtrControl = DTR_CONTROL_DISABLE;
        settings.fRtsControl = RTS_CONTROL_DISABLE;
        SetCommState(port, &settings);
    }
    CloseHandle(port);
}
#endif

#ifdef Q_OS_UNIX
// QSerialPort locks a device with a lock file in the first of these folders that it may use. The
// lock's owner writes its process id into the file right after making it: a file still empty a
// second later was left by a process killed in between, and would otherwise keep the port "in use
// by another program" until Qt takes it for stale. Removing it is safe: nobody holds it.
void removeEmptyLockFile(const QString& device) {
    QString name = device.startsWith(QStringLiteral("/dev/")) ? device.mid(5) : device;
    name.replace(u'/', u'_');
    const QStringList folders{QStringLiteral("/var/lock"),
                              QStringLiteral("/etc/locks"),
                              QStringLiteral("/var/spool/locks"),
                              QStringLiteral("/var/spool/uucp"),
                              QStringLiteral("/tmp"),
                              QStringLiteral("/var/tmp"),
                              QStringLiteral("/var/lock/lockdev"),
                              QStringLiteral("/run/lock"),
                              QStandardPaths::writableLocation(QStandardPaths::TempLocation)};
    for (const QString& folder : folders) {
        const QFileInfo folderInfo(folder);
        const QFileInfo lock(folder + QStringLiteral("/LCK..") + name);
        if (!folderInfo.isReadable() || (!lock.exists() && !folderInfo.isWritable()))
            continue;
        if (lock.isFile() && lock.size() == 0 &&
            lock.lastModified().msecsTo(QDateTime::currentDateTime()) > 1000)
            QFile::remove(lock.filePath());
        return;
    }
}
#endif

} // namespace

QtSerialControl::QtSerialControl(PortResolver resolver, QObject* parent)
    : SerialControl(parent)
    , m_resolve(resolver ? std::move(resolver) : PortResolver([](int port) {
        return PortMap::deviceFor(port, PortMap::current());
    })) {
    connect(&m_port, &QSerialPort::errorOccurred, this, &QtSerialControl::onErrorOccurred);
}

void QtSerialControl::setCommPort(int port) {
    m_commPort = port;
    m_device = m_resolve(port);
}

void QtSerialControl::selectDevice(const QString& device) {
    m_commPort = 0;
    m_device = device;
}

int QtSerialControl::commPort() const {
    return m_commPort;
}

QString QtSerialControl::deviceFor(int port) const {
    return m_resolve(port);
}

PortError QtSerialControl::open() {
    if (m_device.isEmpty())
        return {PortError::Kind::NotPresent, {}, {}};
    if (m_port.isOpen())
        close();

    QScopedValueRollback inCall(m_inCall, true);
    m_port.setPortName(m_device);
    m_port.setBaudRate(QSerialPort::Baud9600);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    m_port.setReadBufferSize(InBufferSize);
#ifdef Q_OS_WIN
    disableLines(m_device);
#else
    removeEmptyLockFile(m_device);
#endif
    m_failing = false;
    if (!m_port.open(QIODevice::ReadWrite)) {
        PortError error = describe(m_port.error());
        m_port.clearError();
        return error;
    }
    m_port.clearError();
    return {};
}

void QtSerialControl::close() {
    if (m_port.isOpen() && !m_failing) {
        // Closing leaves the lines up where the terminal has no hang-up on close (HUPCL off, a
        // pseudo-terminal); the device must see them down while the port is closed.
        QScopedValueRollback inCall(m_inCall, true);
        m_port.setDataTerminalReady(false);
        m_port.setRequestToSend(false);
    }
    m_port.close();
    m_port.clearError();
    m_failing = false;
}

bool QtSerialControl::isOpen() const {
    return m_port.isOpen() && !m_failing;
}

PortError QtSerialControl::setDtr(LineLevel level) {
    return setLine(Line::Dtr, level);
}

PortError QtSerialControl::setRts(LineLevel level) {
    return setLine(Line::Rts, level);
}

PortError QtSerialControl::setLine(Line line, LineLevel level) {
    if (!isOpen())
        return {};
    QScopedValueRollback inCall(m_inCall, true);
    const bool raised = level == LineLevel::Raised;
    const bool ok =
        line == Line::Dtr ? m_port.setDataTerminalReady(raised) : m_port.setRequestToSend(raised);
    if (ok)
        return {};
    PortError error = describe(m_port.error());
    m_port.clearError();
#ifdef Q_OS_WIN
    if (error.kind == PortError::Kind::Failed &&
        lineUnsupported(m_port.handle(), line == Line::Dtr ? (raised ? SETDTR : CLRDTR)
                                                           : (raised ? SETRTS : CLRRTS)))
        error.kind = PortError::Kind::LinesUnsupported;
#endif
    return error;
}

PortError QtSerialControl::output(const QByteArray& bytes) {
    if (!isOpen())
        return {PortError::Kind::Failed, m_device, tr("the port is not open")};
    // Hand the bytes to the system now, so the pacing of the caller is the pacing on the line:
    // after what was sent before, which may still be on its way.
    if (!handOver() || m_port.write(bytes) != bytes.size() || !m_port.flush() || m_failing) {
        if (!m_failing)
            onErrorOccurred(QSerialPort::WriteError);
        return {PortError::Kind::Failed, m_device, tr("the bytes could not be sent")};
    }
    return {};
}

// On Windows one write is in flight at a time, and bytes written meanwhile wait in Qt's buffer
// until the event loop sees it complete; on Linux a full terminal keeps them there too. Waits
// until the system has taken everything written so far, so that the next write goes out at once.
bool QtSerialControl::handOver() {
    const QDeadlineTimer deadline(HandOverTimeout);
    while (m_port.bytesToWrite() > 0 && !m_failing) {
        if (!m_port.waitForBytesWritten(int(deadline.remainingTime())))
            return false;
    }
    return true;
}

qint64 QtSerialControl::inBufferCount() const {
    return isOpen() ? m_port.bytesAvailable() : 0;
}

QByteArray QtSerialControl::input() {
    return isOpen() ? m_port.readAll() : QByteArray();
}

// The rest of a reply to a command that was killed waits in the system's buffer for whoever
// opens the port next.
void QtSerialControl::discardInput() {
    if (!isOpen())
        return;
    QScopedValueRollback inCall(m_inCall, true);
    m_port.clear(QSerialPort::Input);
    m_port.readAll();
    m_port.clearError();
}

PortError QtSerialControl::describe(QSerialPort::SerialPortError error) const {
    const QString& device = m_device;
    const QString detail = m_port.errorString();
    switch (error) {
    case QSerialPort::NoError:
        return {};
    case QSerialPort::DeviceNotFoundError:
        return {PortError::Kind::NotPresent, device, detail};
    case QSerialPort::UnsupportedOperationError:
        return {PortError::Kind::LinesUnsupported, device, detail};
    case QSerialPort::PermissionError:
#ifdef Q_OS_UNIX
        // Qt says "permission" both for a device the user may not open and for one whose lock
        // another program holds; the file's own access rights tell them apart.
        if (::access(QFile::encodeName(device).constData(), R_OK | W_OK) != 0)
            return {PortError::Kind::PermissionDenied, device, detail};
#endif
        return {PortError::Kind::Busy, device, detail};
    default:
        return {PortError::Kind::Failed, device, detail};
    }
}

void QtSerialControl::onErrorOccurred(QSerialPort::SerialPortError error) {
    if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError || m_inCall ||
        m_failing || !m_port.isOpen())
        return;
    m_failing = true;
    // Qt's text for these is whatever the system said last, often about something else.
    const QString detail = error == QSerialPort::ReadError    ? tr("reading from it failed")
                           : error == QSerialPort::WriteError ? tr("writing to it failed")
                           : error == QSerialPort::ResourceError
                               ? tr("the device is gone or hung up")
                               : describe(error).detail;
    const PortError failure{PortError::Kind::Lost, m_device, detail};
    // Closing from inside QSerialPort's own notifier is not safe; close on the next pass.
    QMetaObject::invokeMethod(
        this,
        [this, failure] {
            if (!m_failing)
                return;
            m_port.close();
            m_port.clearError();
            m_failing = false;
            emit failed(failure);
        },
        Qt::QueuedConnection);
}

} // namespace tavrin
