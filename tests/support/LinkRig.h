#pragma once

#include "FakeMessageBox.h"
#include "FakeMessagePump.h"
#include "FakeSerialControl.h"
#include "FakeTickSource.h"
#include "VirtualTime.h"

#include "devsim/DeviceModel.h"
#include "link/DeviceProtocol.h"
#include "link/PacingTimer.h"
#include "link/SerialLink.h"
#include "link/Waiter.h"

namespace tavrin::test {

// The device link wired to fakes in virtual time, with a simulated device on the line.
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
    Waiter waiter{pump};
    PacingTimer pacing{timer1, waiter};
    SerialLink link{comm, pacing, messages};
    DeviceProtocol protocol{link, waiter};
};

} // namespace tavrin::test
