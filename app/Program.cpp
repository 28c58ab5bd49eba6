#include "app/Program.h"

namespace tavrin {

Program::Program()
    : Program(Options{}) {}

Program::Program(Options options)
    : m_MSComm1(std::move(options.resolver))
    , m_files(options.fileDialog ? *options.fileDialog : m_CommonDialog1)
    , m_shownMessages(options.messageBox ? *options.messageBox : m_messages) {
    m_CommonDialog1.setParentWidget(&m_form);
    m_messages.setParentWidget(&m_form);
}

} // namespace tavrin
