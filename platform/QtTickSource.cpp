#include "platform/QtTickSource.h"

namespace tavrin {

QtTickSource::QtTickSource() {
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        if (m_handler)
            m_handler();
    });
}

void QtTickSource::setInterval(std::chrono::milliseconds interval) {
    m_timer.setInterval(interval);
}

void QtTickSource::enable() {
    m_timer.start();
}

void QtTickSource::disable() {
    m_timer.stop();
}

bool QtTickSource::isEnabled() const {
    return m_timer.isActive();
}

void QtTickSource::setTickHandler(std::function<void()> handler) {
    m_handler = std::move(handler);
}

} // namespace tavrin
