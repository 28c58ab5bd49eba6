#pragma once

#include <QString>

namespace tavrin {

// Modal message boxes, by the classic codes: 48 exclamation with OK, 52 exclamation with Yes/No.
class MessageBox {
public:
    static constexpr int Exclamation = 48;
    static constexpr int ExclamationYesNo = 52;
    static constexpr int Ok = 1;
    static constexpr int Yes = 6;
    static constexpr int No = 7;

    virtual ~MessageBox() = default;

    // Returns the button pressed. The details, when given, sit behind the box's details button.
    virtual int show(const QString& prompt, int code, const QString& title,
                     const QString& details = {}) = 0;
};

} // namespace tavrin
