#include "cli/PortClaim.h"

#include <QDir>
#include <QFileInfo>
#include <QObject>

namespace tavrin {

namespace {

// One file per device, whatever name the device was given: links are followed.
QString claimFileFor(const QString& device) {
    const QString real =
        QFileInfo::exists(device) ? QFileInfo(device).canonicalFilePath() : device.toUpper();
    QString name = real;
    for (QChar& c : name)
        if (!c.isLetterOrNumber() && c != u'.')
            c = u'_';
    return QDir(QDir::tempPath()).filePath(QStringLiteral("tavrin-port-%1.lock").arg(name));
}

} // namespace

PortClaim::PortClaim(const QString& device)
    : m_device(device)
    , m_lock(std::make_unique<QLockFile>(claimFileFor(device))) {
    m_lock->setStaleLockTime(0);
}

bool PortClaim::take() {
    return m_lock->tryLock(0);
}

QString PortClaim::holder() const {
    qint64 pid = 0;
    QString host, application;
    if (!m_lock->getLockInfo(&pid, &host, &application))
        return QObject::tr("another tavrin");
    return QObject::tr("another tavrin (process %1)").arg(pid);
}

} // namespace tavrin
