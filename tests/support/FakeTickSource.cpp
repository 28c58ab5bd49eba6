#include "FakeTickSource.h"

namespace tavrin::test {

FakeTickSource::FakeTickSource(VirtualTime& time)
    : m_time(time) {}

void FakeTickSource::enable() {
    if (m_event == 0 && m_failure.isEmpty())
        scheduleNext();
}

void FakeTickSource::disable() {
    m_time.cancel(m_event);
    m_event = 0;
}

void FakeTickSource::fail(const QString& failure) {
    disable();
    m_failure = failure;
}

void FakeTickSource::scheduleNext() {
    m_event = m_time.scheduleIn(m_interval, [this] {
        ++m_ticks;
        scheduleNext();
        if (m_handler)
            m_handler();
    });
}

} // namespace tavrin::test
