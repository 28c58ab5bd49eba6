#pragma once

#include "platform/MessageBox.h"

#include <QList>

#include <functional>

namespace tavrin::test {

// Message boxes that answer from a script and remember what they showed.
class FakeMessageBox : public MessageBox {
public:
    struct Shown {
        QString prompt;
        int code;
        QString title;
        QString details;
    };

    int show(const QString& prompt, int code, const QString& title,
             const QString& details = {}) override;

    // Answers for the next Yes/No boxes, in order; afterwards No.
    void answer(QList<int> answers) { m_answers = std::move(answers); }
    // Runs while a box is shown, as a modal box's own event loop would let things happen.
    void setWhileShown(std::function<void(const Shown&)> hook) { m_whileShown = std::move(hook); }

    const QList<Shown>& shown() const { return m_shown; }

private:
    QList<int> m_answers;
    QList<Shown> m_shown;
    std::function<void(const Shown&)> m_whileShown;
};

} // namespace tavrin::test
