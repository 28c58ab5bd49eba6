#pragma once

#include <QString>
#include <QStringList>

#include <optional>
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
// What a file is, whatever name reaches it (links followed): the same for every name of one
// file. None when there is no such file.
struct FileId {
    quint64 volume = 0;
    quint64 file = 0;
    bool operator==(const FileId&) const = default;
};
std::optional<FileId> fileIdentity(const QString& path);
// What a serial device is, whatever name reaches it and whatever folder it was reached in, as
// text fit for a file name: on a system with device numbers, its numbers. Empty when it is not
// a device this system numbers.
QString deviceIdentity(const QString& device);
// The folder that every process on this machine sees as the same place, for claims on devices:
// the system's lock folder. Empty when the system has none.
QString sharedLockFolder();
// Whether the process is running, as far as the system tells this user.
bool processExists(qint64 pid);
// Makes the one folder `path` (its parent must be there); the system's reason when it could not,
// empty when it was made.
QString makeFolder(const QString& path);
// Why this user may not change the existing file at `path`, in the system's words (read-only,
// immutable, a read-only file system); empty when it may.
QString whyNotWritable(const QString& path);
// A reader of standard output that has gone must not end the program: writes to it fail quietly.
void ignoreBrokenPipe();
// The signals that ask a running command to stop: Ctrl+C, a service stopping, a dropped session.
std::vector<int> stopSignals();

} // namespace SystemCalls

} // namespace tavrin
