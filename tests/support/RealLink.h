#pragma once

#include "FakeFileDialog.h"

#include "commands/Engine.h"
#include "platform/QtMessagePump.h"
#include "platform/QtSerialControl.h"
#include "platform/QtTickSource.h"

#include <QTimer>

namespace tavrin::test {

// The real link on one device path; a guard closes every wait after a generous bound.
struct RealLink {
    explicit RealLink(const QString& device)
        : comm([device](int port) { return port == 1 ? device : QString(); }) {
        QObject::connect(&link, &SerialLink::portLost,
                         [this](const PortError& error) { lost << error; });
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [this] { waiter.close(); });
        guard.start(20000);
    }

    QtMessagePump pump;
    QtTickSource timer1;
    QtSerialControl comm;
    FakeFileDialog files;
    Engine engine{{pump, timer1, comm, files}};
    Waiter& waiter = engine.waiter();
    SerialLink& link = engine.link();
    DeviceProtocol& protocol = engine.protocol();
    QTimer guard;
    QList<PortError> lost;
};

} // namespace tavrin::test
