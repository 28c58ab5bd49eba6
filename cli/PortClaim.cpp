#include "cli/PortClaim.h"

#include "platform/SystemCalls.h"

#include <QDir>
#include <QFileInfo>
#include <QObject>

namespace tavrin {

namespace {

// One file per device, whatever name the device was given; a device not there yet is claimed by
// its path.
QString claimNameFor(const QString& device) {
    QString name = SystemCalls::deviceIdentity(device);
    if (name.isEmpty())
        name = QFileInfo::exists(device) ? QFileInfo(device).canonicalFilePath() : device.toUpper();
    for (QChar& c : name)
        if (!c.isLetterOrNumber() && c != u'.' && c != u'-')
            c = u'_';
    return QStringLiteral("tavrin-%1.lock").arg(name);
}

} // namespace

PortClaim::PortClaim(const QString& device)
    : m_device(device) {}

PortClaim::Outcome PortClaim::take() {
    const QString folder = SystemCalls::sharedLockFolder();
    if (folder.isEmpty()) {
        m_failure = QObject::tr("the system has no lock folder");
        return Outcome::Failed;
    }
    m_path = QDir(folder).filePath(claimNameFor(m_device));
    m_lock = std::make_unique<QLockFile>(m_path);
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0))
        return Outcome::Taken;
    if (m_lock->error() != QLockFile::LockFailedError) {
        const QString reason = SystemCalls::whyNotWritable(folder);
        m_failure = reason.isEmpty() ? QObject::tr("the lock file cannot be made") : reason;
        return Outcome::Failed;
    }
    // A claim of a process that is gone, which this user may not remove (another user's, in the
    // shared folder), is no tavrin at work.
    if (const qint64 pid = holder(); pid > 0 && !SystemCalls::processExists(pid)) {
        m_failure = QObject::tr("it was left by process %1, which has ended, and this user may "
                                "not remove it")
                        .arg(pid);
        return Outcome::Failed;
    }
    return Outcome::Held;
}

qint64 PortClaim::holder() const {
    qint64 pid = 0;
    QString host, application;
    if (!m_lock || !m_lock->getLockInfo(&pid, &host, &application))
        return 0;
    return pid;
}

} // namespace tavrin
