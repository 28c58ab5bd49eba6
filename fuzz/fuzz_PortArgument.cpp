// The command line's --port from anywhere: a number is 1..4, a device is the text as given, less
// Windows's device prefix \\.\ when it starts with one.

#include "cli/PortArgument.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const tavrin::PortArgument port = tavrin::PortArgument::parse(text);
    const QString prefix = QStringLiteral("\\\\.\\");
    const QString named = text.startsWith(prefix) ? text.mid(prefix.size()) : text;
    switch (port.kind) {
    case tavrin::PortArgument::Kind::Number:
        if (port.number < 1 || port.number > 4 || named.toInt() != port.number)
            std::abort();
        break;
    case tavrin::PortArgument::Kind::Device:
        if (port.device != named || port.device.isEmpty())
            std::abort();
        break;
    case tavrin::PortArgument::Kind::Invalid:
        break;
    }
    return 0;
}
