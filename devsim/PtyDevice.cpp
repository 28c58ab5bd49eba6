#include "devsim/PtyDevice.h"

#include "image/ImageFile.h"

#include <QTextStream>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace tavrin {

namespace {

// How often a disconnected pseudo-terminal is looked at for the host opening it again: poll()
// reports a hang-up for as long as nobody holds the other side.
constexpr std::chrono::milliseconds ReconnectPoll{2};

} // namespace

PtyDevice::PtyDevice(DeviceModel& model, QString imagePath)
    : m_model(model)
    , m_imagePath(std::move(imagePath)) {}

PtyDevice::~PtyDevice() {
    if (m_master >= 0)
        ::close(m_master);
}

QString PtyDevice::open(QString* error) {
    termios raw{};
    cfmakeraw(&raw);
    cfsetispeed(&raw, B9600);
    cfsetospeed(&raw, B9600);
    int slave = -1;
    char name[256] = {};
    if (::openpty(&m_master, &slave, name, &raw, nullptr) != 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return {};
    }
    ::close(slave);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    return QString::fromLocal8Bit(name);
}

DeviceModel::Time PtyDevice::now() const {
    return std::chrono::duration_cast<DeviceModel::Time>(
        std::chrono::steady_clock::now().time_since_epoch());
}

void PtyDevice::serve(const volatile std::sig_atomic_t& stop, const sigset_t& waitMask,
                      const std::function<void()>& woken) {
    while (!stop && !m_hungUp) {
        if (woken)
            woken();
        timespec timeout{};
        timespec* wait = nullptr;
        if (!m_connected) {
            // The hang-up is reported at once and for ever; sleep first, then look without waiting.
            timespec nap{0, std::chrono::nanoseconds(ReconnectPoll).count()};
            if (::ppoll(nullptr, 0, &nap, &waitMask) < 0 && errno == EINTR)
                continue;
            wait = &timeout;
        } else if (!m_outgoing.empty() && !m_outputBlocked) {
            const auto left = std::max(DeviceModel::Time{0}, m_outgoing.front().due - now());
            timeout.tv_sec = left.count() / 1000000;
            timeout.tv_nsec = (left.count() % 1000000) * 1000;
            wait = &timeout;
        }
        // At a real-time priority a full output buffer must be waited on, never polled.
        pollfd fd{m_master, short(POLLIN | (m_outputBlocked ? POLLOUT : 0)), 0};
        const int ready = ::ppoll(&fd, 1, wait, &waitMask);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            say(QStringLiteral("error %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
            return;
        }
        if (fd.revents & POLLOUT)
            m_outputBlocked = false;
        if (fd.revents & POLLIN)
            readFromHost();
        if (fd.revents & POLLHUP) {
            if (m_connected)
                hostDisconnected();
        } else if (!m_connected) {
            hostConnected();
        }
        if (m_connected)
            sendDue();
    }
}

void PtyDevice::readFromHost() {
    char buffer[256];
    for (;;) {
        const ssize_t count = ::read(m_master, buffer, sizeof buffer);
        if (count <= 0)
            return;
        if (!m_connected)
            hostConnected();
        const DeviceModel::Time at = now();
        const int reads = m_model.reads();
        handle(m_model.receive(QByteArray(buffer, count), at), at);
        if (m_model.reads() != reads)
            say(QStringLiteral("read")); // also when the device stays silent
        if (m_hungUp)
            return;
    }
}

void PtyDevice::handle(const DeviceModel::Response& response, DeviceModel::Time at) {
    DeviceModel::Time next = at;
    for (const DeviceModel::Piece& piece : response.reply) {
        next += piece.delay;
        for (char byte : piece.bytes) {
            next += ByteTime;
            m_outgoing.push_back({next, byte});
        }
    }
    if (response.writeCompleted) {
        say(QStringLiteral("written lost=%1").arg(m_model.bytesLost()));
        if (m_reportArrivals) {
            QString line = QStringLiteral("arrivals");
            for (const DeviceModel::Time arrival : m_model.dataArrivals())
                line += u' ' + QString::number(arrival.count());
            say(line);
        }
        if (!m_imagePath.isEmpty()) {
            const FileProblem problem = ImageFile::write(m_imagePath, m_model.cells());
            if (!problem.isEmpty())
                say(QStringLiteral("error %1 not saved: %2").arg(problem.path, problem.reason));
        }
    }
    if (response.hangUp) {
        say(QStringLiteral("hangup"));
        ::close(m_master);
        m_master = -1;
        m_hungUp = true;
    }
}

void PtyDevice::sendDue() {
    const DeviceModel::Time current = now();
    while (!m_outgoing.empty() && m_outgoing.front().due <= current) {
        const char byte = m_outgoing.front().byte;
        if (::write(m_master, &byte, 1) != 1) {
            m_outputBlocked = errno == EAGAIN;
            if (m_outputBlocked)
                return;
            m_outgoing.clear();
            return;
        }
        m_outgoing.pop_front();
    }
}

void PtyDevice::hostConnected() {
    m_connected = true;
    m_model.reset();
    say(QStringLiteral("connected %1").arg(++m_connections));
}

void PtyDevice::hostDisconnected() {
    m_connected = false;
    m_outgoing.clear();
    m_outputBlocked = false;
    say(QStringLiteral("disconnected"));
}

void PtyDevice::say(const QString& line) const {
    std::fputs(qPrintable(line + u'\n'), stdout);
    std::fflush(stdout);
}

} // namespace tavrin
