#pragma once

#include <QString>

class QTextStream;

namespace tavrin {

// "tavrin ports": Com1..Com4 as the window maps them, and every serial port present with what is
// known of it and whether this user can open it now. Looks, never opens a port.
class PortList {
public:
    static void print(QTextStream& out);
    // "can be opened", "no permission", or "held by NAME (pid N)"; on Windows "not checked".
    static QString availability(const QString& device);
};

} // namespace tavrin
