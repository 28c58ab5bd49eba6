#include "FakeFileDialog.h"

namespace tavrin::test {

std::optional<QString> FakeFileDialog::choose(Purpose purpose, const FileTypes& types) {
    m_calls << QStringLiteral("%1 %2 %3")
                   .arg(purpose == Purpose::Save ? u"Save" : u"Open", types.filter)
                   .arg(types.preselected);
    m_startedFrom << m_fileName;
    const std::optional<QString> answer = m_always              ? m_always
                                          : m_answers.isEmpty() ? std::nullopt
                                                                : m_answers.takeFirst();
    if (answer)
        m_fileName = *answer;
    return answer;
}

} // namespace tavrin::test
