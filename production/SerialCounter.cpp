#include "production/SerialCounter.h"

#include "production/DurableFile.h"

#include <QDir>
#include <QFile>
#include <QObject>

namespace tavrin {

namespace {

QByteArray text(quint64 number) {
    return QByteArray::number(number) + '\n';
}

} // namespace

SerialCounter::SerialCounter(QString path)
    : m_path(std::move(path))
    , m_lock(m_path + QStringLiteral(".lock")) {
    // Held for a whole batch, however long; a lock left by a process that died is taken over.
    m_lock.setStaleLockTime(0);
}

QString SerialCounter::open(std::optional<quint64> start) {
    const QString name = QDir::toNativeSeparators(m_path);
    if (!m_lock.tryLock(0)) {
        qint64 pid = 0;
        QString host, application;
        m_lock.getLockInfo(&pid, &host, &application);
        return m_lock.error() == QLockFile::LockFailedError
                   ? QObject::tr("%1 is in use by another process (%2)").arg(name).arg(pid)
                   : QObject::tr("%1 cannot be locked: no lock file can be made beside it")
                         .arg(name);
    }
    QFile file(m_path);
    if (!file.exists()) {
        if (!start)
            return QObject::tr("%1 does not exist; --serial-start N creates it").arg(name);
        m_next = *start;
        return DurableFile::replace(m_path, text(m_next));
    }
    if (!file.open(QIODevice::ReadOnly))
        return QObject::tr("%1 cannot be read: %2").arg(name, file.errorString());
    const QByteArray held = file.read(64).trimmed();
    bool ok = !held.isEmpty() && held.front() != '+' && held.front() != '-';
    m_next = ok ? held.toULongLong(&ok) : 0;
    if (!ok)
        return QObject::tr("%1 does not hold a serial number (decimal digits)").arg(name);
    return {};
}

std::optional<quint64> SerialCounter::take(QString* error) {
    if (m_next == ~quint64(0)) {
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
