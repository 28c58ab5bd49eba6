#include "platform/QtTickSource.h"

#ifdef Q_OS_LINUX
#include <QSocketNotifier>

#include <cstdint>
#include <sys/timerfd.h>
#include <unistd.h>
#endif
#ifdef Q_OS_WIN
#include <atomic>
#include <thread>
#include <windows.h>
#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif
#endif

namespace tavrin {

#if defined(Q_OS_LINUX)

// Expirations are read from the descriptor by the event loop; re-arming discards unread ones.
class QtTickSource::SystemTimer {
public:
    SystemTimer(std::function<void()> expired, const std::function<void(QString)>&) {
        m_fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
        if (m_fd < 0)
            return;
        m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this, expired] {
            std::uint64_t expirations = 0;
            // Nothing to read: the timer was disarmed after the poll saw it expire.
            if (::read(m_fd, &expirations, sizeof expirations) == sizeof expirations)
                expired();
        });
    }
    ~SystemTimer() {
        m_notifier.reset();
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool arm(std::chrono::milliseconds interval) {
        const auto ns = std::chrono::nanoseconds(interval).count();
        const timespec period{time_t(ns / 1000000000), long(ns % 1000000000)};
        const itimerspec schedule{period, period};
        return m_fd >= 0 && ::timerfd_settime(m_fd, 0, &schedule, nullptr) == 0;
    }
    void disarm() {
        const itimerspec stop{};
        if (m_fd >= 0)
            ::timerfd_settime(m_fd, 0, &stop, nullptr);
    }

private:
    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

#elif defined(Q_OS_WIN)

// A thread waits on the timer and posts each expiry to the event loop of the thread that made
// it. High resolution from Windows 10 1803 on; before that the system's 15.6 ms timer, made
// finer while armed. A timer wakes late (Wine rounds it up to the next millisecond, Windows's
// high-resolution timer by up to half of one): it is armed Lead early, and the thread waits out
// the rest of each period on the performance counter, so that a tick is posted when it is due.
class QtTickSource::SystemTimer {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::microseconds Lead{1000};

    SystemTimer(std::function<void()> expired, std::function<void(QString)> failed) {
        m_timer = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                         TIMER_ALL_ACCESS);
        m_highResolution = m_timer != nullptr;
        if (!m_timer)
            m_timer = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
        m_stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (!m_timer || !m_stop)
            return;
        m_waiter = std::thread([this, expired, failed] {
            const HANDLE handles[] = {m_stop, m_timer};
            DWORD woken;
            while ((woken = WaitForMultipleObjects(2, handles, FALSE, INFINITE)) ==
                   WAIT_OBJECT_0 + 1) {
                waitUntilDue();
                QMetaObject::invokeMethod(&m_receiver, expired, Qt::QueuedConnection);
            }
            // Anything but the stop is a wait that failed: no tick would ever come again.
            if (woken != WAIT_OBJECT_0) {
                const QString error = qt_error_string(int(GetLastError()));
                QMetaObject::invokeMethod(
                    &m_receiver, [failed, error] { failed(error); }, Qt::QueuedConnection);
            }
        });
    }
    ~SystemTimer() {
        disarm();
        if (m_waiter.joinable()) {
            SetEvent(m_stop);
            m_waiter.join();
        }
        for (HANDLE handle : {m_timer, m_stop})
            if (handle)
                CloseHandle(handle);
    }
    bool arm(std::chrono::milliseconds interval) {
        if (!m_waiter.joinable())
            return false;
        if (!m_highResolution)
            timeBeginPeriod(1);
        using Units = std::chrono::duration<LONGLONG, std::ratio<1, 10'000'000>>;
        m_interval = interval;
        m_firstDue = Clock::now() + interval;
        LARGE_INTEGER due;
        due.QuadPart = -std::chrono::duration_cast<Units>(interval - Lead).count(); // relative
        m_armed = SetWaitableTimer(m_timer, &due, LONG(interval.count()), nullptr, nullptr, FALSE);
        if (!m_armed && !m_highResolution)
            timeEndPeriod(1);
        return m_armed;
    }
    void disarm() {
        if (!m_armed)
            return;
        CancelWaitableTimer(m_timer);
        m_armed = false;
        if (!m_highResolution)
            timeEndPeriod(1);
    }

private:
    // The expiry that woke the thread is the due time it came Lead early for.
    void waitUntilDue() const {
        const Clock::duration interval = m_interval.load();
        const Clock::time_point firstDue = m_firstDue.load();
        const auto since = Clock::now() + Lead - firstDue;
        if (interval <= Clock::duration::zero() || since < Clock::duration::zero())
            return;
        const Clock::time_point due = firstDue + (since / interval) * interval;
        while (Clock::now() < due)
            YieldProcessor();
    }

    std::atomic<Clock::duration> m_interval{};
    std::atomic<Clock::time_point> m_firstDue{};
    HANDLE m_timer = nullptr;
    HANDLE m_stop = nullptr;
    bool m_highResolution = false;
    bool m_armed = false;
    QObject m_receiver; // lives in the thread that made the timer
    std::thread m_waiter;
};

#else

class QtTickSource::SystemTimer {
public:
    SystemTimer(const std::function<void()>&, const std::function<void(QString)>&) {}
    bool arm(std::chrono::milliseconds) { return false; }
    void disarm() {}
};

#endif

QtTickSource::QtTickSource()
    : m_system(std::make_unique<SystemTimer>([this] { deliver(); },
                                             [this](const QString& error) { fail(error); })) {
    m_fallback.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_fallback, &QTimer::timeout, [this] { deliver(); });
}

QtTickSource::~QtTickSource() = default;

void QtTickSource::setInterval(std::chrono::milliseconds interval) {
    m_interval = interval;
    m_fallback.setInterval(interval);
    if (m_enabled)
        enable();
}

// Like a timer control's Enabled: the first tick comes one whole interval after this.
void QtTickSource::enable() {
    if (!m_failure.isEmpty())
        return;
    m_system->disarm();
    m_enabled = true;
    m_enabledAt = std::chrono::steady_clock::now();
    m_ticksSinceEnabled = 0;
    if (!m_system->arm(m_interval))
        m_fallback.start();
}

void QtTickSource::disable() {
    m_enabled = false;
    m_system->disarm();
    m_fallback.stop();
}

bool QtTickSource::isEnabled() const {
    return m_enabled;
}

void QtTickSource::setTickHandler(std::function<void()> handler) {
    m_handler = std::move(handler);
}

void QtTickSource::fail(const QString& failure) {
    disable();
    m_failure = failure.isEmpty() ? QStringLiteral("the wait for the timer failed") : failure;
}

void QtTickSource::deliver() {
    // A tick signalled before the last enabling, or a timer catching up after a late one, must
    // not end a wait before its time.
    if (!m_enabled ||
        std::chrono::steady_clock::now() < m_enabledAt + (m_ticksSinceEnabled + 1) * m_interval)
        return;
    ++m_ticksSinceEnabled;
    ++m_ticks;
    if (m_handler)
        m_handler();
}

} // namespace tavrin
