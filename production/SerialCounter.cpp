#include "production/SerialCounter.h"

#include "platform/SystemCalls.h"
#include "production/DurableFile.h"
#include "production/NumberText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QObject>

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

QString SerialCounter::lockPathFor(const QString& path) {
    return trueName(path) + QStringLiteral(".lock");
}

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

    m_lock = std::make_unique<QLockFile>(lockPathFor(m_path));
    m_path = trueName(m_path);
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
    // Read-only, immutable or on a read-only mount: found now, not once a unit waits for its
    // number.
    if (const QString problem = DurableFile::checkReplaceable(m_path); !problem.isEmpty())
        return problem;
    // Anything longer than a number and its white space is not one.
    const QByteArray held = file.read(4096).trimmed();
    const NumberText::Parsed parsed =
        file.atEnd() ? NumberText::parse(QString::fromLatin1(held)) : NumberText::Parsed{};
    m_next = parsed.value;
    if (parsed.problem == NumberText::Problem::TooBig)
        return QObject::tr("%1 holds %2, beyond the largest serial number, %3")
            .arg(name, QString::fromLatin1(held))
            .arg(~quint64(0));
    if (!parsed.ok())
        return QObject::tr("%1 does not hold a serial number (decimal, or hexadecimal after 0x)")
            .arg(name);
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

namespace tavrin {

// The file keeps no records: the log does.
SerialSource::Taken SerialCounter::take(quint64 largest, const Line&) {
    Taken taken;
    if (m_next > largest)
        taken.problem = QObject::tr("serial number %1 does not fit its cells").arg(m_next);
    else
        taken.serial = take(&taken.problem);
    return taken;
}

} // namespace tavrin
