#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace tavrin {

// Maps the port numbers 1..4 to the platform's serial devices.
class PortMap {
public:
    enum class System { Windows, Unix };

    struct Environment {
        System system = System::Unix;
        // Looks up an environment variable; empty when unset.
        std::function<QString(const QString&)> variable;
        // Device paths of the serial ports present, in any order.
        QStringList presentPorts;
    };

    // The device for port n, empty when there is none: COMn on Windows; elsewhere $TAVRIN_COMn
    // when set, else the n-th port present, USB and ACM adapters before built-in UARTs, each
    // group in natural name order.
    static QString deviceFor(int port, const Environment& environment);

    // The environment of this process and machine.
    static Environment current();
};

} // namespace tavrin
