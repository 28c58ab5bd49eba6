#pragma once

#include "FakeMessageBox.h"

#include "link/DeviceProtocol.h"
#include "link/PacingTimer.h"
#include "link/SerialLink.h"
#include "link/Waiter.h"
#include "platform/QtMessagePump.h"
#include "platform/QtSerialControl.h"
#include "platform/QtTickSource.h"

#include <QTimer>

namespace tavrin::test {

// The real link on one device path; a guard closes every wait after a generous bound.
struct RealLink {
    explicit RealLink(const QString& device)
        : comm([device](int port) { return port == 1 ? device : QString(); }) {
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [this] { waiter.close(); });
        guard.start(20000);
    }

    QtMessagePump pump;
    QtTickSource timer1;
    QtSerialControl comm;
    FakeMessageBox messages;
    Waiter waiter{pump};
    PacingTimer pacing{timer1, waiter};
    SerialLink link{comm, pacing, messages};
    DeviceProtocol protocol{link, waiter};
    QTimer guard;
};

} // namespace tavrin::test
