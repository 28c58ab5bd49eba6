#pragma once

#include "commands/OperatorQuestions.h"

#include <QList>

namespace tavrin::test {

// An operator who answers from a script and remembers what was asked.
class FakeOperator : public OperatorQuestions {
public:
    // Answers for the next questions, in order; afterwards no.
    void answer(QList<bool> answers) { m_answers = std::move(answers); }
    bool writeAgain(const QList<CellDifference>& differences) override {
        m_asked << differences;
        return m_answers.isEmpty() ? false : m_answers.takeFirst();
    }
    // The differences of each question, in order.
    const QList<QList<CellDifference>>& asked() const { return m_asked; }

private:
    QList<bool> m_answers;
    QList<QList<CellDifference>> m_asked;
};

} // namespace tavrin::test
