#include "platform/SystemCalls.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <csignal>
#include <cstdio>
#include <io.h>

namespace tavrin::SystemCalls {

bool syncToDisk(int handle) {
    return ::_commit(handle) == 0;
}

// A rename on NTFS is durable with the file's own flush.
void syncFolderOf(const QString&) {}

int nameCount(const QString&) {
    return 1;
}

QStringList holdersOf(const QString&) {
    return {};
}

bool mayOpen(const QString&) {
    return true;
}

// Windows tells whether a port is free only to a program that opens it, and an opening may wake
// or reset the device behind it.
bool seesFreePorts() {
    return false;
}

bool standardErrorIsTerminal() {
    return ::_isatty(::_fileno(stderr)) != 0;
}

// Windows opens its devices by these names in any folder, with any extension: a save to "nul.bin"
// would vanish, and a read of "con" would wait for the keyboard.
bool isReservedDeviceName(const QString& fileName) {
    static const QRegularExpression device(
        QStringLiteral("^(con|prn|aux|nul|com[1-9]|lpt[1-9]) *(\\..*)?$"),
        QRegularExpression::CaseInsensitiveOption);
    return device.match(QFileInfo(fileName).fileName()).hasMatch();
}

std::vector<int> stopSignals() {
    return {SIGINT, SIGTERM};
}

} // namespace tavrin::SystemCalls
