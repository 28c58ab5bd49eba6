#pragma once

#include <QLockFile>
#include <QString>

#include <memory>

namespace tavrin {

// A claim on one serial device for as long as a command or a batch runs, across every opening
// and closing of the port: a second tavrin on the same device finds it taken and leaves the
// device alone. The claim is a lock file named after what the device is, in the folder that every
// process on the machine shares, so no TMPDIR, user or mount namespace of its own hides it. A
// claim left by a process that died is taken over.
class PortClaim {
public:
    enum class Outcome { Taken, Held, Failed };

    explicit PortClaim(const QString& device);

    Outcome take();
    // With Held: the process that holds the claim, 0 when it cannot be told.
    qint64 holder() const;
    // With Failed: the lock file that could not be made or taken over, and why.
    QString lockPath() const { return m_path; }
    QString failure() const { return m_failure; }

private:
    QString m_device;
    QString m_path;
    QString m_failure;
    std::unique_ptr<QLockFile> m_lock;
};

} // namespace tavrin
