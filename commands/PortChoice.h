#pragma once

#include <QString>

namespace tavrin {

// A port as the operator names it: a number 1..4, mapped as the window maps Com1..Com4, or a
// device such as /dev/ttyUSB0 or COM7.
struct PortChoice {
    int number = 0; // 0: the port is given by its device
    QString device;
};

} // namespace tavrin
