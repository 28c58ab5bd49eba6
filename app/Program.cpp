#include "app/Program.h"

namespace tavrin {

Program::Program()
    : Program(Options{}) {}

Program::Program(Options options)
    : m_MSComm1(std::move(options.resolver))
    , m_engine({m_pump, m_timer1, m_MSComm1,
                options.fileDialog ? *options.fileDialog : m_CommonDialog1,
                options.messageBox ? *options.messageBox : m_messages})
    , m_panel(m_engine.reporter())
    , m_form(m_engine.runner(), m_engine.link(), m_panel) {
    m_CommonDialog1.setParentWidget(&m_form);
    m_messages.setParentWidget(&m_form);
}

} // namespace tavrin
