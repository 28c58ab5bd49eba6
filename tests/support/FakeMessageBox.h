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
        int code; // TellCode or AskCode
        QString title;
        QString details;
    };

    void tell(const QString& prompt, const QString& title, const QString& details = {}) override;
    Answer ask(const QString& prompt, const QString& title, const QString& details = {}) override;

    // Answers for the next questions, in order; afterwards No.
    void answer(QList<Answer> answers) { m_answers = std::move(answers); }
    // Runs while a box is shown, as a modal box's own event loop would let things happen.
    void setWhileShown(std::function<void(const Shown&)> hook) { m_whileShown = std::move(hook); }
    const QList<Shown>& shown() const { return m_shown; }

private:
    void show(Shown shown);

    QList<Answer> m_answers;
    QList<Shown> m_shown;
    std::function<void(const Shown&)> m_whileShown;
};

} // namespace tavrin::test
