#include "cli/PortArgument.h"

#include <algorithm>

namespace tavrin {

PortArgument PortArgument::parse(const QString& given) {
    // Windows's own spelling of a device path, \\.\COM12, names the same port as COM12.
    const QString devicePrefix = QStringLiteral("\\\\.\\");
    const QString text = given.startsWith(devicePrefix) ? given.mid(devicePrefix.size()) : given;
    if (text.isEmpty() || text.contains(QChar(0)))
        return {};
    const bool digits =
        std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    if (!digits)
        return {Kind::Device, 0, text};
    // Port numbers are small; anything longer than a few digits is simply not one of them.
    const int number = text.size() <= 3 ? text.toInt() : 0;
    if (number < 1 || number > 4)
        return {};
    return {Kind::Number, number, {}};
}

} // namespace tavrin
