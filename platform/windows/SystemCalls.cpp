#include "platform/SystemCalls.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <direct.h>
#include <io.h>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

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

namespace {

QString systemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

std::wstring wide(const QString& path) {
    return QDir::toNativeSeparators(path).toStdWString();
}

} // namespace

// The volume's serial number and the file's index: what NTFS keeps for every name of one file.
std::optional<FileId> fileIdentity(const QString& path) {
    const HANDLE file =
        ::CreateFileW(wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::nullopt;
    BY_HANDLE_FILE_INFORMATION information{};
    const bool known = ::GetFileInformationByHandle(file, &information) != 0;
    ::CloseHandle(file);
    if (!known)
        return std::nullopt;
    return FileId{information.dwVolumeSerialNumber,
                  quint64(information.nFileIndexHigh) << 32 | information.nFileIndexLow};
}

// A port is its name: COM3 is COM3 however it was written.
QString deviceIdentity(const QString& device) {
    QString name = QDir::fromNativeSeparators(device).section(u'/', -1).toUpper();
    return name.startsWith(QStringLiteral("COM")) ? name : QString();
}

// Shared by every user and session of the machine.
QString sharedLockFolder() {
    const QString programData = qEnvironmentVariable("ProgramData");
    if (programData.isEmpty())
        return {};
    const QString folder =
        QDir(QDir::fromNativeSeparators(programData)).filePath(QStringLiteral("tavrin/locks"));
    return QDir().mkpath(folder) ? folder : QString();
}

bool processExists(qint64 pid) {
    const HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, DWORD(pid));
    if (!process)
        return ::GetLastError() == ERROR_ACCESS_DENIED;
    const bool running = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    ::CloseHandle(process);
    return running;
}

QString makeFolder(const QString& path) {
    if (::_wmkdir(wide(path).c_str()) == 0)
        return {};
    return systemReason(errno);
}

QString whyNotWritable(const QString& path) {
    if (::_waccess(wide(path).c_str(), 2) == 0)
        return {};
    return systemReason(errno);
}

void ignoreBrokenPipe() {}

std::vector<int> stopSignals() {
    return {SIGINT, SIGTERM};
}

} // namespace tavrin::SystemCalls
