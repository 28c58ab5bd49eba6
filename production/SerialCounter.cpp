#include "production/SerialCounter.h"

#include "platform/SystemCalls.h"
#include "production/DurableFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QObject>

#include <algorithm>

namespace tavrin {

namespace {

QByteArray text(quint64 number) {
    return QByteArray::number(number) + '\n';
}

// The file's one true name: links followed, the path made absolute and plain. For a file not
// there yet, its folder's true name and its own.
QString trueName(const QString& path) {
    const QFileInfo info(path);
    if (info.exists())
        return info.canonicalFilePath();
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    return folder.isEmpty() ? info.absoluteFilePath() : QDir(folder).filePath(info.fileName());
}

} // namespace

SerialCounter::SerialCounter(QString path)
    : m_path(std::move(path)) {}

SerialCounter::~SerialCounter() = default;

QString SerialCounter::open(std::optional<quint64> start) {
    const QString name = QDir::toNativeSeparators(m_path);
    const QFileInfo info(m_path);
    if (info.exists() && !info.isFile())
        return QObject::tr("%1 is not a regular file").arg(name);
    if (info.exists() && SystemCalls::nameCount(info.canonicalFilePath()) > 1)
        return QObject::tr("%1 has more than one name (hard links): a counter must have one, so "
                           "that every process that uses it meets the same lock")
            .arg(name);
    if (!info.exists() && !QFileInfo(info.absolutePath()).isDir())
        return QObject::tr("the folder of %1 does not exist").arg(name);

    m_path = trueName(m_path);
    m_lock = std::make_unique<QLockFile>(m_path + QStringLiteral(".lock"));
    // Held for a whole batch, however long; a lock left by a process that died is taken over.
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0)) {
        qint64 pid = 0;
        QString host, application;
        m_lock->getLockInfo(&pid, &host, &application);
        return m_lock->error() == QLockFile::LockFailedError
                   ? QObject::tr("%1 is in use by another process (%2)").arg(name).arg(pid)
                   : QObject::tr("%1 cannot be locked: no lock file can be made beside it")
                         .arg(name);
    }
    QFile file(m_path);
    if (!file.exists()) {
        if (!start)
            return QObject::tr("%1 does not exist; --serial-start N creates it").arg(name);
        m_next = *start;
        return {};
    }
    if (!file.open(QIODevice::ReadOnly))
        return QObject::tr("%1 cannot be read: %2").arg(name, file.errorString());
    const QByteArray held = file.read(64).trimmed();
    const bool digits = !held.isEmpty() && std::all_of(held.begin(), held.end(),
                                                       [](char c) { return c >= '0' && c <= '9'; });
    bool ok = false;
    m_next = digits ? held.toULongLong(&ok) : 0;
    if (digits && !ok)
        return QObject::tr("%1 holds %2, beyond the largest serial number, %3")
            .arg(name, QString::fromLatin1(held))
            .arg(~quint64(0));
    if (!ok)
        return QObject::tr("%1 does not hold a serial number (decimal digits)").arg(name);
    return {};
}

std::optional<quint64> SerialCounter::take(QString* error) {
    if (usedUp()) {
        *error = QObject::tr("the serial numbers are used up");
        return std::nullopt;
    }
    const QString failed = DurableFile::replace(m_path, text(m_next + 1));
    if (!failed.isEmpty()) {
        *error = failed;
        return std::nullopt;
    }
    return m_next++;
}

} // namespace tavrin
