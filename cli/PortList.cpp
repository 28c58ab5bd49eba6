#include "cli/PortList.h"

#include "platform/PortMap.h"
#include "platform/SystemCalls.h"

#include <QSerialPortInfo>
#include <QTextStream>

namespace tavrin {

namespace {

QString orDash(const QString& text) {
    return text.isEmpty() ? QStringLiteral("-") : text;
}

} // namespace

QString PortList::availability(const QString& device) {
    if (!SystemCalls::seesFreePorts())
        return QStringLiteral("not checked");
    if (!SystemCalls::mayOpen(device))
        return QStringLiteral("no permission");
    const QStringList held = SystemCalls::holdersOf(device);
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
