#pragma once

#include <QString>

namespace tavrin {

// Tells the operator something, or asks a yes-or-no question, and waits for the answer.
class MessageBox {
public:
    enum class Answer { Yes, No };

    // The classic box codes the window draws them by: telling is an exclamation icon with OK,
    // asking an exclamation icon with Yes and No.
    static constexpr int TellCode = 48;
    static constexpr int AskCode = 52;

    virtual ~MessageBox() = default;

    // The details, when given, are there for the operator to look at (the box's details button).
    virtual void tell(const QString& prompt, const QString& title, const QString& details = {}) = 0;
    virtual Answer ask(const QString& prompt, const QString& title,
                       const QString& details = {}) = 0;
};

} // namespace tavrin
