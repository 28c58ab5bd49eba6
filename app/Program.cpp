#include "app/Program.h"

namespace tavrin {

Program::Program(QtSerialControl::PortResolver resolver)
    : m_MSComm1(std::move(resolver)) {
    m_CommonDialog1.setParentWidget(&m_form);
    m_messages.setParentWidget(&m_form);
}

} // namespace tavrin
