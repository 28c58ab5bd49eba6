#include "app/Program.h"

namespace tavrin {

Program::Program()
    : Program(Options{}) {}

Program::Program(Options options)
    : m_MSComm1(std::move(options.resolver))
    , m_boxes(options.messageBox ? *options.messageBox : m_messageBoxes)
    , m_messages(m_boxes)
    , m_engine({m_pump, m_timer1, m_MSComm1,
                options.fileDialog ? *options.fileDialog : m_CommonDialog1, &m_messages})
    , m_panel(m_engine.reporter())
    , m_form(m_engine.runner(), m_engine.link(), m_panel) {
    m_CommonDialog1.setParentWidget(&m_form);
    m_messageBoxes.setParentWidget(&m_form);
    CommandRunner& runner = m_engine.runner();
    SerialLink& link = m_engine.link();
    QObject::connect(&runner, &CommandRunner::commandEnded, &m_form,
                     [this](const CommandResult& result) { m_messages.show(result); });
    // During a command the command's result carries the failure.
    QObject::connect(&link, &SerialLink::portLost, &m_form,
                     [this, &runner, &link](const PortError& error) {
                         if (!runner.isBusy())
                             m_messages.showPortFailure(error, link.CommPort(), link.device());
                     });
}

} // namespace tavrin
