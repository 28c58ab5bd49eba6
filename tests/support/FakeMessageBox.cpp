#include "FakeMessageBox.h"

namespace tavrin::test {

int FakeMessageBox::show(const QString& prompt, int code, const QString& title,
                         const QString& details) {
    m_shown.append({prompt, code, title, details});
    if (m_whileShown)
        m_whileShown(m_shown.constLast());
    if ((code & 0x0F) != 4)
        return Ok;
    return m_answers.isEmpty() ? No : m_answers.takeFirst();
}

} // namespace tavrin::test
