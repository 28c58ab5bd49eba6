#include "production/DurableFile.h"

#include "platform/SystemCalls.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QObject>
#include <QSaveFile>

namespace tavrin {

namespace {

QString failed(const QString& path, const QString& reason) {
    return QObject::tr("%1 could not be written: %2").arg(QDir::toNativeSeparators(path), reason);
}

} // namespace

QString DurableFile::checkAppendable(const QString& path) {
    const QString name = QDir::toNativeSeparators(path);
    const QFileInfo info(path);
    if (info.exists() || info.isSymLink()) {
        // A FIFO would block, a device would swallow the line or fail on it, a folder is none.
        if (!info.isFile())
            return QObject::tr("%1 is not a regular file").arg(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
            return failed(path, file.errorString());
        return {};
    }
    const QFileInfo folder(info.absolutePath());
    if (!folder.isDir())
        return QObject::tr("%1 cannot be made: the folder %2 does not exist")
            .arg(name, QDir::toNativeSeparators(folder.filePath()));
    if (!folder.isWritable())
        return QObject::tr("%1 cannot be made: the folder %2 cannot be written to")
            .arg(name, QDir::toNativeSeparators(folder.filePath()));
    return {};
}

QString DurableFile::checkReplaceable(const QString& path) {
    const QString name = QDir::toNativeSeparators(path);
    const QFileInfo info(path);
    if (info.exists()) {
        if (const QString reason = SystemCalls::whyNotWritable(path); !reason.isEmpty())
            return QObject::tr("%1 cannot be changed: %2").arg(name, reason);
    }
    const QString folder = info.absolutePath();
    if (const QString reason = SystemCalls::whyNotWritable(folder); !reason.isEmpty())
        return QObject::tr("%1 cannot be changed: its folder %2 cannot be written to: %3")
            .arg(name, QDir::toNativeSeparators(folder), reason);
    return {};
}

QString DurableFile::prepareFolder(const QString& path, qsizetype probeSize) {
    const QString name = QDir::toNativeSeparators(path);
    QStringList missing;
    QFileInfo info(QFileInfo(path).absoluteFilePath());
    while (!info.exists() && !info.isSymLink() && info.absoluteFilePath() != info.absolutePath()) {
        missing.prepend(info.absoluteFilePath());
        info = QFileInfo(info.absolutePath());
    }
    if (!info.isDir())
        return QObject::tr("the folder %1 cannot be made: %2 is not a folder")
            .arg(name, QDir::toNativeSeparators(info.absoluteFilePath()));
    QStringList made;
    auto undo = [&made] {
        for (auto folder = made.crbegin(); folder != made.crend(); ++folder)
            QDir().rmdir(*folder);
    };
    for (const QString& folder : std::as_const(missing)) {
        if (const QString reason = SystemCalls::makeFolder(folder); !reason.isEmpty()) {
            undo();
            return QObject::tr("the folder %1 cannot be made: %2").arg(name, reason);
        }
        made << folder;
    }
    // Space, an inode, a name of that length and a sync: what the file to come needs.
    const QString probe = QDir(path).filePath(
        QStringLiteral(".tavrin-probe-%1").arg(QCoreApplication::applicationPid()));
    QString problem = replace(probe, QByteArray(probeSize, '\0'));
    if (QFile::exists(probe) && !QFile::remove(probe) && problem.isEmpty())
        problem = QObject::tr("%1 cannot be removed").arg(QDir::toNativeSeparators(probe));
    if (!problem.isEmpty()) {
        QFile::remove(probe);
        undo();
        return QObject::tr("the folder %1 cannot take a file: %2").arg(name, problem);
    }
    return {};
}

QString DurableFile::replace(const QString& path, const QByteArray& bytes) {
    if (const QString problem = checkReplaceable(path); !problem.isEmpty())
        return problem;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return failed(path, file.errorString());
    if (file.write(bytes) != bytes.size() || !file.flush() ||
        !SystemCalls::syncToDisk(file.handle())) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return failed(path, reason);
    }
    if (!file.commit())
        return failed(path, file.errorString());
    SystemCalls::syncFolderOf(path);
    return {};
}

QString DurableFile::rename(const QString& from, const QString& to) {
    QFile file(from);
    if (QFileInfo::exists(to) || QFileInfo(to).isSymLink())
        return QObject::tr("%1 cannot be renamed to %2: that name is taken")
            .arg(QDir::toNativeSeparators(from), QDir::toNativeSeparators(to));
    if (!file.rename(to))
        return QObject::tr("%1 cannot be renamed to %2: %3")
            .arg(QDir::toNativeSeparators(from), QDir::toNativeSeparators(to), file.errorString());
    SystemCalls::syncFolderOf(to);
    return {};
}

QString DurableFile::appendLine(const QString& path, const QByteArray& line) {
    if (const QString problem = checkAppendable(path); !problem.isEmpty())
        return problem;
    QFile file(path);
    const bool existed = file.exists();
    if (!file.open(QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered))
        return failed(path, file.errorString());
    QByteArray whole = line + '\n';
    if (file.size() > 0 && file.seek(file.size() - 1) && file.read(1) != "\n")
        whole.prepend('\n');
    if (file.write(whole) != whole.size() || !file.flush() ||
        !SystemCalls::syncToDisk(file.handle()))
        return failed(path, file.errorString());
    file.close();
    if (!existed)
        SystemCalls::syncFolderOf(path);
    return {};
}

} // namespace tavrin
