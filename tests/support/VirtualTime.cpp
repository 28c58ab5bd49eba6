#include "VirtualTime.h"

namespace tavrin::test {

int VirtualTime::schedule(Duration at, std::function<void()> action) {
    const int id = m_nextId++;
    m_events.emplace(Key{std::max(at, m_now), id}, std::move(action));
    m_dueOf.emplace(id, std::max(at, m_now));
    return id;
}

void VirtualTime::cancel(int id) {
    const auto due = m_dueOf.find(id);
    if (due == m_dueOf.end())
        return;
    m_events.erase(Key{due->second, id});
    m_dueOf.erase(due);
}

VirtualTime::Duration VirtualTime::nextDue() const {
    return m_events.empty() ? Duration::max() : m_events.begin()->first.first;
}

void VirtualTime::runDue() {
    while (!m_events.empty() && m_events.begin()->first.first <= m_now) {
        auto event = m_events.extract(m_events.begin());
        m_dueOf.erase(event.key().second);
        event.mapped()();
    }
}

void VirtualTime::advanceTo(Duration at) {
    m_now = std::max(m_now, at);
    runDue();
}

bool VirtualTime::advance() {
    if (m_events.empty())
        return false;
    m_now = std::max(m_now, nextDue());
    runDue();
    return true;
}

} // namespace tavrin::test
