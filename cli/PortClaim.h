#pragma once

#include <QLockFile>
#include <QString>

#include <memory>

namespace tavrin {

// A claim on one serial device for as long as a command or a batch runs, across every opening
// and closing of the port: a second tavrin on the same device finds it taken and leaves the
// device alone. A claim left by a process that died is taken over.
class PortClaim {
public:
    explicit PortClaim(const QString& device);

    // False when another process holds the claim; holder() then says which.
    bool take();
    QString holder() const;

private:
    QString m_device;
    std::unique_ptr<QLockFile> m_lock;
};

} // namespace tavrin
