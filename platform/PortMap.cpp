#include "platform/PortMap.h"

#include <QCollator>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>

namespace tavrin {

namespace {

bool isAdapter(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    return name.startsWith(u"ttyUSB") || name.startsWith(u"ttyACM") || name.startsWith(u"cu.usb") ||
           name.startsWith(u"tty.usb");
}

} // namespace

QString PortMap::deviceFor(int port, const Environment& environment) {
    if (port < 1)
        return {};
    if (environment.system == System::Windows)
        return QStringLiteral("COM%1").arg(port);

    if (environment.variable) {
        const QString named = environment.variable(QStringLiteral("TAVRIN_COM%1").arg(port));
        if (!named.isEmpty())
            return named;
    }

    // The C locale's collator has no numeric ordering; any real locale does.
    QCollator natural{QLocale(QLocale::English)};
    natural.setNumericMode(true);
    QStringList ports = environment.presentPorts;
    std::sort(ports.begin(), ports.end(), [&](const QString& a, const QString& b) {
        if (isAdapter(a) != isAdapter(b))
            return isAdapter(a);
        return natural.compare(QFileInfo(a).fileName(), QFileInfo(b).fileName()) < 0;
    });
    return port <= ports.size() ? ports.at(port - 1) : QString();
}

PortMap::Environment PortMap::current() {
    Environment environment;
#ifdef Q_OS_WIN
    environment.system = System::Windows;
#endif
    environment.variable = [](const QString& name) {
        return qEnvironmentVariable(qPrintable(name));
    };
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        environment.presentPorts << info.systemLocation();
    return environment;
}

} // namespace tavrin
