#include "platform/QtTickSource.h"

#include <QSocketNotifier>

#ifdef Q_OS_LINUX
#include <cstdint>
#include <sys/timerfd.h>
#include <unistd.h>
#endif

namespace tavrin {

QtTickSource::QtTickSource() {
#ifdef Q_OS_LINUX
    m_timerFd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (m_timerFd >= 0) {
        m_notifier = std::make_unique<QSocketNotifier>(m_timerFd, QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] {
            std::uint64_t expirations = 0;
            // Nothing to read: the timer was disarmed after the poll saw it expire.
            if (::read(m_timerFd, &expirations, sizeof expirations) == sizeof expirations)
                deliver();
        });
    }
#endif
    m_fallback.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_fallback, &QTimer::timeout, [this] { deliver(); });
}

QtTickSource::~QtTickSource() {
    m_notifier.reset();
#ifdef Q_OS_LINUX
    if (m_timerFd >= 0)
        ::close(m_timerFd);
#endif
}

void QtTickSource::setInterval(std::chrono::milliseconds interval) {
    m_interval = interval;
    m_fallback.setInterval(interval);
    if (m_enabled)
        enable();
}

// Like a timer control's Enabled: the first tick comes one whole interval after this.
void QtTickSource::enable() {
    m_enabled = true;
#ifdef Q_OS_LINUX
    if (m_timerFd >= 0) {
        const auto ns = std::chrono::nanoseconds(m_interval).count();
        const timespec period{time_t(ns / 1000000000), long(ns % 1000000000)};
        const itimerspec schedule{period, period};
        if (::timerfd_settime(m_timerFd, 0, &schedule, nullptr) == 0)
            return;
    }
#endif
    m_fallback.start();
}

void QtTickSource::disable() {
    m_enabled = false;
#ifdef Q_OS_LINUX
    if (m_timerFd >= 0) {
        const itimerspec stop{};
        ::timerfd_settime(m_timerFd, 0, &stop, nullptr);
    }
#endif
    m_fallback.stop();
}

bool QtTickSource::isEnabled() const {
    return m_enabled;
}

void QtTickSource::setTickHandler(std::function<void()> handler) {
    m_handler = std::move(handler);
}

void QtTickSource::deliver() {
    if (!m_enabled)
        return;
    ++m_ticks;
    if (m_handler)
        m_handler();
}

} // namespace tavrin
