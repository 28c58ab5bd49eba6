#include "production/DurableFile.h"

#include "platform/SystemCalls.h"

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

QString DurableFile::checkFolder(const QString& path) {
    const QString name = QDir::toNativeSeparators(path);
    QFileInfo info(path);
    while (!info.exists() && !info.isSymLink() && info.absoluteFilePath() != info.absolutePath())
        info = QFileInfo(info.absolutePath());
    if (!info.isDir())
        return QObject::tr("the folder %1 cannot be made: %2 is not a folder")
            .arg(name, QDir::toNativeSeparators(info.absoluteFilePath()));
    if (!info.isWritable())
        return QObject::tr("the folder %1 cannot be written to").arg(name);
    return {};
}

QString DurableFile::replace(const QString& path, const QByteArray& bytes) {
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
