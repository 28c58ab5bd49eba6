#include "commands/Engine.h"

namespace tavrin {

Engine::Engine(const Platform& platform)
    : m_waiter(platform.pump)
    , m_pacing(platform.timer1, m_waiter)
    , m_link(platform.comm, m_pacing)
    , m_protocol(m_link, m_waiter)
    , m_dialog(platform.files)
    , m_context(m_link, m_protocol, m_pacing, m_waiter, m_dialog, m_reporter, platform.questions)
    , m_runner(m_context) {}

} // namespace tavrin
