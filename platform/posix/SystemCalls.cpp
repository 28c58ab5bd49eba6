#include "platform/SystemCalls.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
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

std::vector<int> stopSignals() {
    return {SIGINT, SIGTERM, SIGHUP};
}

} // namespace tavrin::SystemCalls
