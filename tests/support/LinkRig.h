#pragma once

#include "FakeFileDialog.h"
#include "FakeMessagePump.h"
#include "FakeOperator.h"
#include "FakeSerialControl.h"
#include "FakeTickSource.h"
#include "VirtualTime.h"

#include "commands/Engine.h"
#include "devsim/DeviceModel.h"

namespace tavrin::test {

// The engine on fakes in virtual time, with a simulated device on the line. Keeps every result
// the runner ended with and every port failure the link reported.
struct LinkRig {
    explicit LinkRig(DeviceFaults faults = {})
        : device(std::move(faults)) {
        QObject::connect(&engine.runner(), &CommandRunner::commandEnded,
                         [this](const CommandResult& result) { ended << result; });
        QObject::connect(&link, &SerialLink::portLost,
                         [this](const PortError& error) { lost << error; });
    }

    // Ticks counted from now on.
    int ticksSince(int before) const { return timer1.ticks() - before; }

    VirtualTime time;
    DeviceModel device;
    FakeMessagePump pump{time};
    FakeTickSource timer1{time};
    FakeSerialControl comm{time, &device};
    FakeOperator questions;
    FakeFileDialog files;
    Engine engine{{pump, timer1, comm, files, &questions}};
    Waiter& waiter = engine.waiter();
    PacingTimer& pacing = engine.pacing();
    SerialLink& link = engine.link();
    DeviceProtocol& protocol = engine.protocol();
    QList<CommandResult> ended;
    QList<PortError> lost;
};

} // namespace tavrin::test
