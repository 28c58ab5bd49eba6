#include "FakeFileDialog.h"

namespace tavrin::test {

void FakeFileDialog::setCancelError(bool raise) {
    m_calls << QStringLiteral("CancelError=%1").arg(raise ? u"True" : u"False");
}

void FakeFileDialog::setFlags(int flags) {
    m_calls << QStringLiteral("Flags=%1").arg(flags);
}

void FakeFileDialog::setFilter(const QString& filter) {
    m_calls << QStringLiteral("Filter=%1").arg(filter);
}

void FakeFileDialog::setFilterIndex(int index) {
    m_calls << QStringLiteral("FilterIndex=%1").arg(index);
}

FileDialog::Answer FakeFileDialog::show(const QString& call) {
    m_calls << call;
    m_startedFrom << m_fileName;
    const std::optional<QString> answer =
        m_answers.isEmpty() ? std::nullopt : m_answers.takeFirst();
    if (!answer)
        return Answer::Cancelled;
    m_fileName = *answer;
    return Answer::Chosen;
}

} // namespace tavrin::test
