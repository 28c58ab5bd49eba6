#include "platform/SystemCalls.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace tavrin::SystemCalls {

bool syncToDisk(int handle) {
    return ::fsync(handle) == 0;
}

void syncFolderOf(const QString& path) {
    const int folder = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(),
                              O_RDONLY | O_DIRECTORY);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
}

int nameCount(const QString& path) {
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return 1;
    return int(status.st_nlink);
}

// The /proc scan: every process's open files, as links to what they opened.
QStringList holdersOf(const QString& device) {
    QStringList found;
    const QString target = QFileInfo(device).canonicalFilePath();
    const QString self = QString::number(QCoreApplication::applicationPid());
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& pid : pids) {
        if (pid == self || pid.toLongLong() <= 0)
            continue;
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
        for (const QFileInfo& fd : fds.entryInfoList(QDir::Files | QDir::System)) {
            if (fd.symLinkTarget() != target)
                continue;
            QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
            const QString name = comm.open(QIODevice::ReadOnly)
                                     ? QString::fromLocal8Bit(comm.readAll()).trimmed()
                                     : QStringLiteral("?");
            found << QStringLiteral("%1 (pid %2)").arg(name, pid);
            break;
        }
    }
    return found;
}

bool mayOpen(const QString& device) {
    return ::access(QFile::encodeName(device).constData(), R_OK | W_OK) == 0;
}

bool seesFreePorts() {
    return true;
}

bool standardErrorIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

bool isReservedDeviceName(const QString&) {
    return false;
}

namespace {

QString systemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

std::optional<FileId> fileIdentity(const QString& path) {
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return std::nullopt;
    return FileId{quint64(status.st_dev), quint64(status.st_ino)};
}

QString deviceIdentity(const QString& device) {
    struct stat status {};
    if (::stat(QFile::encodeName(device).constData(), &status) != 0 || !S_ISCHR(status.st_mode))
        return {};
    return QStringLiteral("char-%1-%2").arg(major(status.st_rdev)).arg(minor(status.st_rdev));
}

// Where serial programs put their claims on a device (the Filesystem Hierarchy Standard's lock
// folder): one tmpfs for the whole machine, whatever TMPDIR or private /tmp a process has.
QString sharedLockFolder() {
    for (const char* folder : {"/run/lock", "/var/lock"})
        if (QFileInfo(QString::fromLatin1(folder)).isDir())
            return QString::fromLatin1(folder);
    return {};
}

bool processExists(qint64 pid) {
    return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
}

QString makeFolder(const QString& path) {
    if (::mkdir(QFile::encodeName(path).constData(), 0777) == 0)
        return {};
    return systemReason(errno);
}

QString whyNotWritable(const QString& path) {
    if (::access(QFile::encodeName(path).constData(), W_OK) == 0)
        return {};
    return systemReason(errno);
}

void ignoreBrokenPipe() {
    std::signal(SIGPIPE, SIG_IGN);
}

std::vector<int> stopSignals() {
    return {SIGINT, SIGTERM, SIGHUP};
}

} // namespace tavrin::SystemCalls
