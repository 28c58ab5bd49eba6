#include "FakeMessageBox.h"

namespace tavrin::test {

void FakeMessageBox::tell(const QString& prompt, const QString& title, const QString& details) {
    show({prompt, TellCode, title, details});
}

MessageBox::Answer FakeMessageBox::ask(const QString& prompt, const QString& title,
                                       const QString& details) {
    show({prompt, AskCode, title, details});
    return m_answers.isEmpty() ? Answer::No : m_answers.takeFirst();
}

void FakeMessageBox::show(Shown shown) {
    m_shown << shown;
    if (m_whileShown)
        m_whileShown(m_shown.constLast());
}

} // namespace tavrin::test
