#include "cli/PortList.h"

#include "platform/PortMap.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QTextStream>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace tavrin {

namespace {

// Processes with `device` open, as far as this user may look; empty where the system says nothing.
QStringList holders(const QString& device) {
    QStringList found;
#ifdef Q_OS_LINUX
    const QString target = QFileInfo(device).canonicalFilePath();
    const QString self = QString::number(QCoreApplication::applicationPid());
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& pid : pids) {
        if (pid == self || pid.toLongLong() <= 0)
            continue;
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
        for (const QFileInfo& fd : fds.entryInfoList(QDir::Files | QDir::System)) {
            if (fd.symLinkTarget() != target)
                continue;
            QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
            const QString name = comm.open(QIODevice::ReadOnly)
                                     ? QString::fromLocal8Bit(comm.readAll()).trimmed()
                                     : QStringLiteral("?");
            found << QStringLiteral("%1 (pid %2)").arg(name, pid);
            break;
        }
    }
#else
    Q_UNUSED(device);
#endif
    return found;
}

QString orDash(const QString& text) {
    return text.isEmpty() ? QStringLiteral("-") : text;
}

} // namespace

QString PortList::availability(const QString& device) {
#ifdef Q_OS_WIN
    // Windows tells whether a port is free only to a program that opens it, and an opening may
    // wake or reset the device behind it.
    Q_UNUSED(device);
    return QStringLiteral("not checked");
#endif
#ifdef Q_OS_UNIX
    if (::access(QFile::encodeName(device).constData(), R_OK | W_OK) != 0)
        return QStringLiteral("no permission");
#endif
    const QStringList held = holders(device);
    if (!held.isEmpty())
        return QStringLiteral("held by %1").arg(held.join(QStringLiteral(", ")));
    return QStringLiteral("can be opened");
}

void PortList::print(QTextStream& out) {
    const PortMap::Environment environment = PortMap::current();
    for (int port = 1; port <= 4; ++port) {
        const QString device = PortMap::deviceFor(port, environment);
        const bool named =
            environment.system == PortMap::System::Unix && environment.variable &&
            !environment.variable(QStringLiteral("TAVRIN_COM%1").arg(port)).isEmpty();
        out << QStringLiteral("Com%1  %2%3\n")
                   .arg(port)
                   .arg(device.isEmpty() ? QStringLiteral("no serial device") : device)
                   .arg(named ? QStringLiteral("  (TAVRIN_COM%1)").arg(port) : QString());
    }
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    out << "\n"
        << ports.size() << (ports.size() == 1 ? " serial port" : " serial ports") << " present\n";
    for (const QSerialPortInfo& info : ports) {
        const QString usb = info.hasVendorIdentifier() && info.hasProductIdentifier()
                                ? QStringLiteral("%1:%2")
                                      .arg(info.vendorIdentifier(), 4, 16, QChar(u'0'))
                                      .arg(info.productIdentifier(), 4, 16, QChar(u'0'))
                                : QString();
        out << info.systemLocation() << "  usb " << orDash(usb) << "  serial "
            << orDash(info.serialNumber()) << "  " << orDash(info.description()) << "  "
            << availability(info.systemLocation()) << "\n";
    }
}

} // namespace tavrin
