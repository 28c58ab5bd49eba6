#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace tavrin {

// The few things the program asks of the operating system itself rather than of Qt; one
// implementation per system, chosen by the build.
namespace SystemCalls {

// Puts what was written through `handle` on the disk; false when the system could not.
bool syncToDisk(int handle);
// Makes a rename or a new name in the folder that holds `path` durable, where the system needs
// that done on its own.
void syncFolderOf(const QString& path);
// How many names (hard links) the file has; 1 where the system does not say.
int nameCount(const QString& path);
// Processes other than this one that hold `device` open, as "NAME (pid N)", as far as this user
// may look; empty where the system does not say.
QStringList holdersOf(const QString& device);
// Whether this user may read and write `device`; true where the system tells only by opening it.
bool mayOpen(const QString& device);
// Whether the system can tell, without opening a port, that it is free.
bool seesFreePorts();
// Whether standard error is a terminal.
bool standardErrorIsTerminal();
// Whether `fileName` names one of the system's devices in any folder, such as "nul.bin" on
// Windows.
bool isReservedDeviceName(const QString& fileName);
// The signals that ask a running command to stop: Ctrl+C, a service stopping, a dropped session.
std::vector<int> stopSignals();

} // namespace SystemCalls

} // namespace tavrin
