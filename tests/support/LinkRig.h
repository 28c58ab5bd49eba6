#pragma once

#include "FakeFileDialog.h"
#include "FakeMessageBox.h"
#include "FakeMessagePump.h"
#include "FakeSerialControl.h"
#include "FakeTickSource.h"
#include "VirtualTime.h"

#include "commands/Engine.h"
#include "devsim/DeviceModel.h"

namespace tavrin::test {

// The engine on fakes in virtual time, with a simulated device on the line.
struct LinkRig {
    explicit LinkRig(DeviceFaults faults = {})
        : device(std::move(faults)) {}

    // Ticks counted from now on.
    int ticksSince(int before) const { return timer1.ticks() - before; }

    VirtualTime time;
    DeviceModel device;
    FakeMessagePump pump{time};
    FakeTickSource timer1{time};
    FakeSerialControl comm{time, &device};
    FakeMessageBox messages;
    FakeFileDialog files;
    Engine engine{{pump, timer1, comm, files, messages}};
    Waiter& waiter = engine.waiter();
    PacingTimer& pacing = engine.pacing();
    SerialLink& link = engine.link();
    DeviceProtocol& protocol = engine.protocol();
};

} // namespace tavrin::test
