#pragma once

#include <QString>

namespace tavrin {

// The command line's --port: a port number 1..4, mapped as the window maps Com1..Com4, or a
// device such as /dev/ttyUSB0, COM7 or \\.\COM12.
struct PortArgument {
    enum class Kind { Number, Device, Invalid };

    static PortArgument parse(const QString& given);

    Kind kind = Kind::Invalid;
    int number = 0; // 1..4 for a Number
    QString device; // for a Device
};

} // namespace tavrin
